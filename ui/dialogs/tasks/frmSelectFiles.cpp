#include "ui/dialogs/tasks/frmSelectFiles.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/Filters.h"
#include "engine/Listing.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/dialogs/PathTree.h"
#include "ui/dialogs/tasks/frmFileMask.h"
#include "ui/dialogs/tasks/frmTaskProperties.h"
#include "ui/dialogs/tasks/modFileTypes.h"
#include "ui/qt/HelpLink.h"
#include "ui/qt/KestrowIcons.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace kestrow::gui {

namespace {

using pathtree::isFolderKey;
using pathtree::KeyRole;
using pathtree::kRootKey;
using pathtree::LoadedRole;
using pathtree::SequenceRole;
constexpr int IconRole = pathtree::FirstFreeRole;        // the TreeIcon shown
constexpr int CheckedRole = pathtree::FirstFreeRole + 1; // the check mark the rules last saw

bool isChecked(const QTreeWidgetItem* item)
{
    return item->checkState(0) == Qt::Checked;
}

bool hasCheckedBelow(const QTreeWidgetItem* item)
{
    for (int i = 0; i < item->childCount(); ++i) {
        const QTreeWidgetItem* child = item->child(i);
        if (isChecked(child) || hasCheckedBelow(child))
            return true;
    }
    return false;
}

// A mask list line: the mask, a tab, its type description.
QString maskLine(const std::string& mask)
{
    return q(mask) + QLatin1Char('\t') + q(GetFileType(mask));
}

// The masks of a list joined by ",": each line's text before its first tab.
std::string CreateFileMasksStringFromLBItems(const QListWidget* list)
{
    std::string masks;
    for (int i = 0; i < list->count(); ++i) {
        const std::string mask = s(list->item(i)->text().section(QLatin1Char('\t'), 0, 0));
        if (mask.empty())
            continue;
        if (!masks.empty())
            masks += ',';
        masks += mask;
    }
    return masks;
}

QGroupBox* maskFrame(QWidget* parent, const char* name, const char* caption, QListWidget*& list,
                     const char* listName, QPushButton*& add, const char* addName, QPushButton*& remove,
                     const char* removeName)
{
    auto* frame = new QGroupBox(QString::fromLatin1(caption), parent);
    frame->setObjectName(QString::fromLatin1(name));
    list = new QListWidget(frame);
    list->setObjectName(QString::fromLatin1(listName));
    list->setMaximumHeight(110);
    add = dialogButton(addName, "Add &New...", frame);
    remove = dialogButton(removeName, "&Remove", frame);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(frame);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);
    return frame;
}

QTreeWidget* treeIn(QGroupBox* frame, const char* name)
{
    auto* tree = new QTreeWidget(frame);
    tree->setObjectName(QString::fromLatin1(name));
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setExpandsOnDoubleClick(false);
    tree->setUniformRowHeights(true);
    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(tree);
    return tree;
}

} // namespace

struct frmSelectFiles::TreeState
{
    QTreeWidget* tree = nullptr;
    StringCollection specs{KeyCase::Sensitive};
    bool loaded = false;
    bool include = true;
    const char* clickLocation = "";
};

frmSelectFiles::frmSelectFiles(frmTaskProperties& owner)
    : QDialog(&owner), m_owner(&owner), m_include(std::make_unique<TreeState>()),
      m_exclude(std::make_unique<TreeState>())
{
    setObjectName(QStringLiteral("frmSelectFiles"));
    setWindowTitle(QStringLiteral("Select Files and Folders"));
    setModal(true);

    m_tabSelectFiles = new QTabWidget(this);
    m_tabSelectFiles->setObjectName(QStringLiteral("tabSelectFiles"));
    auto* includePage = new QWidget(m_tabSelectFiles);
    auto* excludePage = new QWidget(m_tabSelectFiles);
    m_tabSelectFiles->addTab(includePage, QStringLiteral("Include"));
    m_tabSelectFiles->addTab(excludePage, QStringLiteral("Exclude"));

    m_fraIncludeFiles =
        new QGroupBox(QStringLiteral("Checkmark the files/folders that you DO want to clone"), includePage);
    m_fraIncludeFiles->setObjectName(QStringLiteral("fraIncludeFiles"));
    m_tvwIncludeTabFolder = treeIn(m_fraIncludeFiles, "tvwIncludeTabFolder");
    QPushButton* cmdIncludeAddNew = nullptr;
    QPushButton* cmdIncludeRemove = nullptr;
    m_fraIncludeFileMasks = maskFrame(includePage, "fraIncludeFileMasks",
                                      "Also include files matching these File Masks - (Optional)",
                                      m_lstIncludeFileMasks, "lstIncludeFileMasks", cmdIncludeAddNew,
                                      "cmdIncludeAddNew", cmdIncludeRemove, "cmdIncludeRemove");
    auto* includeLayout = new QVBoxLayout(includePage);
    includeLayout->addWidget(m_fraIncludeFiles, 1);
    includeLayout->addWidget(m_fraIncludeFileMasks);

    m_fraExcludeFiles = new QGroupBox(
        QStringLiteral("Checkmark the files/folders that you DO NOT want to clone"), excludePage);
    m_fraExcludeFiles->setObjectName(QStringLiteral("fraExcludeFiles"));
    m_tvwExcludeTabFolder = treeIn(m_fraExcludeFiles, "tvwExcludeTabFolder");
    QPushButton* cmdExcludeAddNew = nullptr;
    QPushButton* cmdExcludeRemove = nullptr;
    m_fraExcludeFileMasks = maskFrame(excludePage, "fraExcludeFileMasks",
                                      "Also exclude files matching these File Masks - (Optional)",
                                      m_lstExcludeFileMasks, "lstExcludeFileMasks", cmdExcludeAddNew,
                                      "cmdExcludeAddNew", cmdExcludeRemove, "cmdExcludeRemove");
    auto* excludeLayout = new QVBoxLayout(excludePage);
    excludeLayout->addWidget(m_fraExcludeFiles, 1);
    excludeLayout->addWidget(m_fraExcludeFileMasks);

    const OkCancelHelpRow buttons = okCancelHelpRow(this, OkIsDefault::no);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabSelectFiles, 1);
    layout->addLayout(buttons.layout);
    resize(560, 580);

    m_include->tree = m_tvwIncludeTabFolder;
    m_include->include = true;
    m_include->clickLocation = "frmSelectFiles.tvwIncludeTabFolder_Click";
    m_exclude->tree = m_tvwExcludeTabFolder;
    m_exclude->include = false;
    m_exclude->clickLocation = "frmSelectFiles.tvwExcludeTabFolder_Click";

    connect(buttons.ok, &QPushButton::clicked, this, &frmSelectFiles::cmdOK_Click);
    connect(buttons.cancel, &QPushButton::clicked, this, &frmSelectFiles::cmdCancel_Click);
    connect(buttons.help, &QPushButton::clicked, this, &frmSelectFiles::cmdHelp_Click);
    connect(cmdIncludeAddNew, &QPushButton::clicked, this, &frmSelectFiles::cmdIncludeAddNew_Click);
    connect(cmdExcludeAddNew, &QPushButton::clicked, this, &frmSelectFiles::cmdExcludeAddNew_Click);
    connect(cmdIncludeRemove, &QPushButton::clicked, this, &frmSelectFiles::cmdIncludeRemove_Click);
    connect(cmdExcludeRemove, &QPushButton::clicked, this, &frmSelectFiles::cmdExcludeRemove_Click);
    connect(m_tabSelectFiles, &QTabWidget::currentChanged, this, &frmSelectFiles::tabSelectFiles_Click);
    m_lstIncludeFileMasks->installEventFilter(this);
    for (TreeState* state : {m_include.get(), m_exclude.get()}) {
        QTreeWidget* tree = state->tree;
        tree->viewport()->installEventFilter(this);
        connect(tree, &QTreeWidget::itemPressed, this,
                [this](QTreeWidgetItem*, int) { m_checkChangedByClick = false; });
        connect(tree, &QTreeWidget::itemClicked, this, [this, tree](QTreeWidgetItem* item, int) {
            if (!std::exchange(m_checkChangedByClick, false))
                NodeClick(tree, item);
        });
        connect(tree, &QTreeWidget::itemChanged, this, [this, state](QTreeWidgetItem* item, int column) {
            if (column == 0 && !m_changingNodes && item->data(0, CheckedRole).toBool() != isChecked(item))
                NodeCheck(*state, item);
        });
        connect(tree, &QTreeWidget::itemExpanded, this, [this, state](QTreeWidgetItem* item) {
            if (m_changingNodes)
                return;
            Guarded(state->clickLocation, [&] {
                WaitCursor wait;
                loadChildren(*state, item);
            });
        });
    }

    // Loading: the inputs of the task properties dialog, parsed.
    Guarded("frmSelectFiles.Form_Load", [&] {
        WaitCursor wait;
        setWindowIcon(owner.windowIcon());
        m_sourceFolder = owner.SourceFolderSpec();
        if (!m_sourceFolder.empty() && m_sourceFolder.back() != '/')
            m_sourceFolder += '/';
        m_includeSubFolders = owner.IncludeSubFolders();
        m_includeSpecs = owner.IncludeFileSpecs();
        m_includeMasks = owner.IncludeFileMasks();
        m_excludeSpecs = owner.ExcludeFileSpecs();
        m_excludeMasks = owner.ExcludeFileMasks();
        m_include->specs = PutFileSpecsInCollection(m_includeSpecs);
        m_exclude->specs = PutFileSpecsInCollection(m_excludeSpecs);
    });
}

frmSelectFiles::~frmSelectFiles() = default;

frmSelectFiles::TreeState& frmSelectFiles::stateOf(const QTreeWidget* tree)
{
    return tree == m_tvwExcludeTabFolder ? *m_exclude : *m_include;
}

void frmSelectFiles::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_loaded)
        Form_Activate();
}

void frmSelectFiles::Form_Activate()
{
    Guarded("frmSelectFiles.Form_Activate", [&] {
        WaitCursor wait;
        const QFileIconProvider provider;
        m_icons[FileIcon] = provider.icon(QAbstractFileIconProvider::File);
        m_icons[FolderIcon] = provider.icon(QAbstractFileIconProvider::Folder);
        m_icons[SelectionIcon] = selectionFolderIcon(m_icons[FolderIcon]);
        LoadAndCheckMarkIncludeTopLevel();
        for (QListWidget* list : {m_lstIncludeFileMasks, m_lstExcludeFileMasks})
            SetListBoxTabStops(list);
        const StringCollection includeMasks = ParseStringElementsIntoCollection(m_includeMasks, ",");
        for (const std::string& mask : includeMasks.Items())
            m_lstIncludeFileMasks->addItem(maskLine(mask));
        const StringCollection excludeMasks = ParseStringElementsIntoCollection(m_excludeMasks, ",");
        for (const std::string& mask : excludeMasks.Items())
            m_lstExcludeFileMasks->addItem(maskLine(mask));
        m_loaded = true;
    });
}

void frmSelectFiles::LoadAndCheckMarkIncludeTopLevel()
{
    Guarded("frmSelectFiles.LoadAndCheckMarkIncludeTopLevel",
            [&] { buildTree(*m_include, m_includeSpecs.empty() && m_includeMasks.empty()); });
}

void frmSelectFiles::LoadAndCheckMarkExcludeTopLevel()
{
    Guarded("frmSelectFiles.LoadAndCheckMarkExcludeTopLevel", [&] { buildTree(*m_exclude, false); });
}

void frmSelectFiles::buildTree(TreeState& state, bool checkRootWhenEmpty)
{
    WaitCursor wait;
    state.tree->clear();
    QTreeWidgetItem* root = addNode(state, nullptr, kRootKey, m_sourceFolder, FolderIcon);
    loadChildren(state, root);
    if (checkRootWhenEmpty)
        withFlag(m_changingNodes, [&] {
            root->setCheckState(0, Qt::Checked);
            root->setData(0, CheckedRole, true);
        });
    withFlag(m_changingNodes, [&] { root->setExpanded(true); });
    state.loaded = true;
}

QTreeWidgetItem* frmSelectFiles::addNode(TreeState& state, QTreeWidgetItem* parent, const std::string& key,
                                         const std::string& text, TreeIcon icon)
{
    QTreeWidgetItem* item = nullptr;
    withFlag(m_changingNodes, [&] {
        item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(state.tree);
        item->setText(0, q(text));
        item->setData(0, KeyRole, QByteArray(key.data(), static_cast<qsizetype>(key.size())));
        item->setData(0, SequenceRole, m_nodesAdded++);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, CheckedRole, false);
        setIcon(item, icon);
        if (isFolderKey(key))
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    });
    return item;
}

void frmSelectFiles::loadChildren(TreeState& state, QTreeWidgetItem* item)
{
    const std::string key = nodeKey(item);
    if (!isFolderKey(key) || item->data(0, LoadedRole).toBool())
        return;
    withFlag(m_changingNodes, [&] {
        item->setData(0, LoadedRole, true);
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    });
    const bool isRoot = key == kRootKey;
    if (isRoot && !m_topLevel)
        m_topLevel = std::make_unique<StringCollection>(
            GetTopLevelFolderContentsInCollection(m_sourceFolder, m_includeSubFolders));
    const StringCollection contents =
        isRoot ? *m_topLevel : GetTopLevelFolderContentsInCollection(key, m_includeSubFolders);

    std::vector<QTreeWidgetItem*> folders;
    for (size_t i = 0; i < contents.Count(); ++i) {
        const std::string& name = contents.Item(i);
        const std::string& childKey = contents.Key(i);
        const bool folder = !name.empty() && name.back() == '/';
        QTreeWidgetItem* child = addNode(state, item, childKey, name, folder ? FolderIcon : FileIcon);
        if (state.specs.ContainsKey(childKey)) {
            withFlag(m_changingNodes, [&] {
                child->setCheckState(0, Qt::Checked);
                child->setData(0, CheckedRole, true);
                setIcon(item, SelectionIcon);
            });
        } else if (folder) {
            folders.push_back(child);
        }
    }
    // A folder on the way to a saved item is opened so the item shows.
    for (QTreeWidgetItem* folder : folders) {
        const std::string folderKey = nodeKey(folder);
        const bool holdsSpec =
            std::any_of(state.specs.Items().begin(), state.specs.Items().end(),
                        [&](const std::string& spec) { return spec.starts_with(folderKey); });
        if (!holdsSpec)
            continue;
        loadChildren(state, folder);
        withFlag(m_changingNodes, [&] {
            folder->setExpanded(true);
            setIcon(folder, SelectionIcon);
        });
        markAncestors(folder);
    }
}

void frmSelectFiles::NodeClick(QTreeWidget* tree, QTreeWidgetItem* item)
{
    if (!item)
        return;
    TreeState& state = stateOf(tree);
    Guarded(state.clickLocation, [&] {
        if (!isFolderKey(nodeKey(item)))
            return;
        WaitCursor wait;
        if (!item->isExpanded())
            loadChildren(state, item);
        withFlag(m_changingNodes, [&] { item->setExpanded(!item->isExpanded()); });
    });
}

void frmSelectFiles::setIcon(QTreeWidgetItem* item, TreeIcon icon)
{
    withFlag(m_changingNodes, [&] {
        item->setData(0, IconRole, static_cast<int>(icon));
        item->setIcon(0, m_icons[icon]);
    });
}

void frmSelectFiles::markAncestors(QTreeWidgetItem* item)
{
    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
        setIcon(up, SelectionIcon);
}

void frmSelectFiles::NodeCheck(TreeState& state, QTreeWidgetItem* item)
{
    m_checkChangedByClick = true;
    const bool checked = isChecked(item);
    Guarded(state.include ? "frmSelectFiles.tvwIncludeTabFolder_NodeCheck"
                          : "frmSelectFiles.tvwExcludeTabFolder_NodeCheck",
            [&] {
                const std::string key = nodeKey(item);
                if (!state.include && key == kRootKey && checked) {
                    ui().messageBox(
                        "Invalid Selection",
                        "You cannot Exclude all of the subfolders and files in the Source folder.",
                        MsgIcon::Exclamation, MsgButtons::Ok);
                    mnodNodeToBeUnchecked = item;
                    // The button was released while the message was up.
                    uncheckRememberedNode();
                    return;
                }
                withFlag(m_changingNodes, [&] {
                    item->setData(0, CheckedRole, checked);
                    if (!checked) {
                        for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
                            setIcon(up, hasCheckedBelow(up) ? SelectionIcon : FolderIcon);
                        return;
                    }
                    // Nothing below a checked node stays checked, and its folders lose the
                    // selection icon.
                    std::vector<QTreeWidgetItem*> below;
                    for (int i = 0; i < item->childCount(); ++i)
                        below.push_back(item->child(i));
                    while (!below.empty()) {
                        QTreeWidgetItem* node = below.back();
                        below.pop_back();
                        node->setCheckState(0, Qt::Unchecked);
                        node->setData(0, CheckedRole, false);
                        if (isFolderKey(nodeKey(node)))
                            setIcon(node, FolderIcon);
                        for (int i = 0; i < node->childCount(); ++i)
                            below.push_back(node->child(i));
                    }
                    if (isFolderKey(key))
                        setIcon(item, FolderIcon);
                    // Nor anything above it; everything above now holds a checked item.
                    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) {
                        up->setCheckState(0, Qt::Unchecked);
                        up->setData(0, CheckedRole, false);
                        setIcon(up, SelectionIcon);
                    }
                });
            });
}

void frmSelectFiles::uncheckRememberedNode()
{
    if (!mnodNodeToBeUnchecked)
        return;
    QTreeWidgetItem* item = std::exchange(mnodNodeToBeUnchecked, nullptr);
    withFlag(m_changingNodes, [&] {
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, CheckedRole, false);
    });
}

std::string frmSelectFiles::GetCheckedFoldersAndFilesInTVW(const QTreeWidget* tree) const
{
    return Guarded("modKestrow.GetCheckedFoldersAndFilesInTVW", std::string(),
                   [&] { return pathtree::checkedSpec(tree); });
}

void frmSelectFiles::tabSelectFiles_Click(int index)
{
    Guarded("frmSelectFiles.tabSelectFiles_Click", [&] {
        const bool include = index == 0;
        if (index != 0 && index != 1) {
            ui().messageBox("Unhandled Case Option", "Oops!  Unhandled Case in tabSelectFiles_Click",
                            MsgIcon::None, MsgButtons::Ok);
            return;
        }
        m_fraIncludeFiles->setEnabled(include);
        m_fraIncludeFileMasks->setEnabled(include);
        m_fraExcludeFiles->setEnabled(!include);
        m_fraExcludeFileMasks->setEnabled(!include);
        if (m_tabSelectFiles->currentIndex() != index)
            m_tabSelectFiles->setCurrentIndex(index);
        if (include && !m_include->loaded)
            LoadAndCheckMarkIncludeTopLevel();
        if (!include && !m_exclude->loaded)
            LoadAndCheckMarkExcludeTopLevel();
    });
}

void frmSelectFiles::AddNewMasks(QListWidget* list)
{
    m_FileMask.clear();
    frmFileMask dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        m_FileMask = dialog.FileMask();
    if (m_FileMask.empty())
        return;
    for (const std::string& mask : SplitString(m_FileMask, ";"))
        list->addItem(maskLine(mask));
}

void frmSelectFiles::RemoveMask(QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        ui().messageBox("Remove File Mask", "No file mask is selected", MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    delete selected.front();
}

void frmSelectFiles::cmdIncludeAddNew_Click()
{
    Guarded("frmSelectFiles.cmdIncludeAddNew_Click", [&] { AddNewMasks(m_lstIncludeFileMasks); });
}

void frmSelectFiles::cmdExcludeAddNew_Click()
{
    Guarded("frmSelectFiles.cmdExcludeAddNew_Click", [&] { AddNewMasks(m_lstExcludeFileMasks); });
}

void frmSelectFiles::cmdIncludeRemove_Click()
{
    Guarded("frmSelectFiles.cmdIncludeRemove_Click", [&] { RemoveMask(m_lstIncludeFileMasks); });
}

void frmSelectFiles::cmdExcludeRemove_Click()
{
    Guarded("frmSelectFiles.cmdExcludeRemove_Click", [&] { RemoveMask(m_lstExcludeFileMasks); });
}

void frmSelectFiles::cmdOK_Click()
{
    Guarded("frmSelectFiles.cmdOK_Click", [&] {
        WaitCursor wait;
        const std::string includeSpecs = GetCheckedFoldersAndFilesInTVW(m_tvwIncludeTabFolder);
        const std::string includeMasks = CreateFileMasksStringFromLBItems(m_lstIncludeFileMasks);
        std::string excludeSpecs = m_excludeSpecs;
        std::string excludeMasks = m_excludeMasks;
        if (m_exclude->loaded) {
            excludeSpecs = GetCheckedFoldersAndFilesInTVW(m_tvwExcludeTabFolder);
            excludeMasks = CreateFileMasksStringFromLBItems(m_lstExcludeFileMasks);
        }
        const bool any =
            !includeSpecs.empty() || !includeMasks.empty() || !excludeSpecs.empty() || !excludeMasks.empty();
        m_owner->setIncludeFileSpecs(any ? includeSpecs : std::string());
        m_owner->setIncludeFileMasks(any ? includeMasks : std::string());
        m_owner->setExcludeFileSpecs(any ? excludeSpecs : std::string());
        m_owner->setExcludeFileMasks(any ? excludeMasks : std::string());
        m_owner->setAllFilesAndFolders(!any);
    });
    accept();
}

void frmSelectFiles::cmdCancel_Click()
{
    reject();
}

void frmSelectFiles::cmdHelp_Click()
{
    ShowHelp(HelpUrl(helpcontext::SelectFiles), "frmSelectFiles.cmdHelp_Click");
}

bool frmSelectFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease && watched == m_lstIncludeFileMasks &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        cmdIncludeRemove_Click();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && watched == m_tvwExcludeTabFolder->viewport())
        uncheckRememberedNode();
    return QDialog::eventFilter(watched, event);
}

std::string frmSelectFiles::nodeKey(const QTreeWidgetItem* item)
{
    return pathtree::nodeKey(item);
}

frmSelectFiles::TreeIcon frmSelectFiles::nodeIcon(const QTreeWidgetItem* item)
{
    return static_cast<TreeIcon>(item->data(0, IconRole).toInt());
}

QTreeWidgetItem* frmSelectFiles::node(const QTreeWidget* tree, const std::string& key)
{
    return pathtree::findNode(tree, key);
}

} // namespace kestrow::gui
