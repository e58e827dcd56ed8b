#pragma once
// The folder trees of the restore window and the file selection: one item per file or
// folder, keyed by its path ("Root" for the top folder, folders ending in "/"), with
// check boxes whose checked items make a specification string.

#include "engine/Filters.h"

#include <QByteArray>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace kestrow::gui::pathtree {

constexpr int KeyRole = Qt::UserRole;          // the node's key, as the bytes of the path
constexpr int LoadedRole = Qt::UserRole + 1;   // a folder's contents were listed
constexpr int SequenceRole = Qt::UserRole + 2; // order in which the node was added
// Roles from FirstFreeRole up are the dialogs' own.
constexpr int FirstFreeRole = Qt::UserRole + 3;

inline const char* const kRootKey = "Root";

inline bool isFolderKey(const std::string& key)
{
    return key == kRootKey || (!key.empty() && key.back() == '/');
}

inline std::string nodeKey(const QTreeWidgetItem* item)
{
    const QByteArray key = item->data(0, KeyRole).toByteArray();
    return std::string(key.constData(), static_cast<std::size_t>(key.size()));
}

// The item of `key` anywhere in `tree`, or nullptr.
inline QTreeWidgetItem* findNode(const QTreeWidget* tree, const std::string& key)
{
    const QByteArray wanted(key.data(), static_cast<qsizetype>(key.size()));
    std::vector<QTreeWidgetItem*> pending;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        pending.push_back(tree->topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (item->data(0, KeyRole).toByteArray() == wanted)
            return item;
        for (int i = 0; i < item->childCount(); ++i)
            pending.push_back(item->child(i));
    }
    return nullptr;
}

inline void collectChecked(QTreeWidgetItem* item, std::vector<QTreeWidgetItem*>& out)
{
    if (item->checkState(0) == Qt::Checked)
        out.push_back(item);
    for (int i = 0; i < item->childCount(); ++i)
        collectChecked(item->child(i), out);
}

// The keys of the checked items in the order they were added, joined by kSpecSeparator;
// "" when the tree is empty or its checked root stands for everything.
inline std::string checkedSpec(const QTreeWidget* tree)
{
    if (tree->topLevelItemCount() == 0)
        return std::string();
    std::vector<QTreeWidgetItem*> checked;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        if (nodeKey(top) == kRootKey && top->checkState(0) == Qt::Checked)
            return std::string();
        collectChecked(top, checked);
    }
    std::sort(checked.begin(), checked.end(), [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        return a->data(0, SequenceRole).toInt() < b->data(0, SequenceRole).toInt();
    });
    std::string spec;
    for (const QTreeWidgetItem* item : checked) {
        if (!spec.empty())
            spec += kSpecSeparator;
        spec += nodeKey(item);
    }
    return spec;
}

} // namespace kestrow::gui::pathtree
