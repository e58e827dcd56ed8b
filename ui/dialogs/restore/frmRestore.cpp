#include "ui/dialogs/restore/frmRestore.h"

#include "base/ErrorReporter.h"
#include "engine/Filters.h"
#include "engine/Listing.h"
#include "engine/RunControl.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/dialogs/PathTree.h"
#include "ui/qt/HelpLink.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
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

void uncheckBelow(QTreeWidgetItem* item)
{
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        child->setCheckState(0, Qt::Unchecked);
        uncheckBelow(child);
    }
}

} // namespace

frmRestore::frmRestore(const cRestore& restore, QWidget* parent) : QDialog(parent), m_restore(restore)
{
    WaitCursor wait;
    setObjectName(QStringLiteral("frmRestore"));
    if (parent)
        setWindowIcon(parent->windowIcon());
    setWindowTitle(q(RestoreTaskName(m_restore.TaskName())));
    m_targetFolder = m_restore.TargetFolderSpec();
    if (!m_targetFolder.empty() && m_targetFolder.back() != '/')
        m_targetFolder += '/';

    m_pctRestore = new QLabel(this);
    m_pctRestore->setObjectName(QStringLiteral("pctRestore"));
    m_pctRestore->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
    m_lblInstruct = new QLabel(
        QStringLiteral("Place a checkmark next to the files/folders that you want to restore."), this);
    m_lblInstruct->setObjectName(QStringLiteral("lblInstruct"));
    m_lblInstruct->setWordWrap(true);

    m_tvwFolderContents = new QTreeWidget(this);
    m_tvwFolderContents->setObjectName(QStringLiteral("tvwFolderContents"));
    m_tvwFolderContents->setHeaderHidden(true);
    m_tvwFolderContents->setColumnCount(1);
    m_tvwFolderContents->setExpandsOnDoubleClick(false);
    m_tvwFolderContents->setUniformRowHeights(true);
    m_tvwFolderContents->installEventFilter(this);

    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_cmdRestore = new QPushButton(QStringLiteral("&Restore"), this);
    m_cmdRestore->setObjectName(QStringLiteral("cmdRestore"));
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdHelp = new QPushButton(QStringLiteral("&Help"), this);
    m_cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    // Enter in the tree must not restore by accident.
    for (QPushButton* button : {m_cmdRestore, m_cmdCancel, m_cmdHelp})
        button->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(m_pctRestore, 0, Qt::AlignTop);
    top->addWidget(m_lblInstruct, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_lblStatus, 1);
    buttons->addWidget(m_cmdRestore);
    buttons->addWidget(m_cmdCancel);
    buttons->addWidget(m_cmdHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tvwFolderContents, 1);
    layout->addLayout(buttons);
    resize(520, 460);

    connect(m_cmdRestore, &QPushButton::clicked, this, &frmRestore::cmdRestore_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmRestore::cmdCancel_Click);
    connect(m_cmdHelp, &QPushButton::clicked, this, &frmRestore::cmdHelp_Click);
    connect(m_tvwFolderContents, &QTreeWidget::itemPressed, this,
            [this](QTreeWidgetItem*, int) { m_checkChangedByClick = false; });
    connect(m_tvwFolderContents, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item, int) { tvwFolderContents_Click(item); });
    connect(m_tvwFolderContents, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == 0 && !m_changingNodes)
            tvwFolderContents_NodeCheck(item);
    });
    connect(m_tvwFolderContents, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { tvwFolderContents_Expand(item, true); });
    connect(m_tvwFolderContents, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { tvwFolderContents_Expand(item, false); });
}

frmRestore::~frmRestore() = default;

void frmRestore::setRunWork(std::function<void(const std::function<void()>&)> runWork)
{
    m_runWork = std::move(runWork);
}

void frmRestore::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
    }
}

void frmRestore::Form_Activate()
{
    Guarded("frmRestore.Form_Activate", [&] {
        WaitCursor wait;
        m_tvwFolderContents->setUpdatesEnabled(false);
        try {
            const QFileIconProvider icons;
            m_genericFile = icons.icon(QAbstractFileIconProvider::File);
            m_closedFolder = icons.icon(QAbstractFileIconProvider::Folder);
            m_openFolder = style()->standardIcon(QStyle::SP_DirOpenIcon);
            QTreeWidgetItem* root = AddNode(nullptr, kRootKey, m_restore.TargetFolderSpec(), true);
            LoadChildren(root);
            root->setExpanded(true);
        } catch (...) {
            m_tvwFolderContents->setUpdatesEnabled(true);
            throw;
        }
        m_tvwFolderContents->setUpdatesEnabled(true);
    });
}

QTreeWidgetItem* frmRestore::AddNode(QTreeWidgetItem* parent, const std::string& key, const std::string& text,
                                     bool folder)
{
    QTreeWidgetItem* item = nullptr;
    withFlag(m_changingNodes, [&] {
        item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tvwFolderContents);
        item->setText(0, q(text));
        item->setData(0, KeyRole, QByteArray(key.data(), static_cast<qsizetype>(key.size())));
        item->setData(0, SequenceRole, m_nodesAdded++);
        item->setIcon(0, folder ? m_closedFolder : m_genericFile);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        if (folder)
            item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    });
    return item;
}

void frmRestore::AddFolderContents(QTreeWidgetItem* parent, const std::string& folderSpec)
{
    const StringCollection contents =
        GetTopLevelFolderContentsInCollection(folderSpec, m_restore.IncludeSubFolders());
    for (size_t i = 0; i < contents.Count(); ++i) {
        const std::string& item = contents.Item(i);
        const bool folder = !item.empty() && item.back() == '/';
        AddNode(parent, contents.Key(i), folder ? item.substr(0, item.size() - 1) : item, folder);
    }
}

void frmRestore::LoadChildren(QTreeWidgetItem* item)
{
    const std::string key = nodeKey(item);
    if (!isFolderKey(key) || item->data(0, LoadedRole).toBool())
        return;
    withFlag(m_changingNodes, [&] {
        item->setData(0, LoadedRole, true);
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    });
    AddFolderContents(item, key == kRootKey ? m_targetFolder : key);
}

void frmRestore::tvwFolderContents_Click(QTreeWidgetItem* item)
{
    if (std::exchange(m_checkChangedByClick, false) || !item)
        return;
    Guarded("frmRestore.tvwFolderContents_Click", [&] {
        if (!isFolderKey(nodeKey(item)))
            return;
        WaitCursor wait;
        // Opening a folder for the first time lists it (see tvwFolderContents_Expand).
        item->setExpanded(!item->isExpanded());
    });
}

void frmRestore::tvwFolderContents_Expand(QTreeWidgetItem* item, bool expanded)
{
    Guarded("frmRestore.tvwFolderContents_Expand", [&] {
        if (expanded)
            LoadChildren(item);
        withFlag(m_changingNodes, [&] { item->setIcon(0, expanded ? m_openFolder : m_closedFolder); });
    });
}

void frmRestore::tvwFolderContents_NodeCheck(QTreeWidgetItem* item)
{
    m_checkChangedByClick = true;
    if (item->checkState(0) != Qt::Checked)
        return;
    Guarded("frmRestore.tvwFolderContents_NodeCheck", [&] {
        withFlag(m_changingNodes, [&] {
            for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
                up->setCheckState(0, Qt::Unchecked);
            if (isFolderKey(nodeKey(item)))
                uncheckBelow(item);
        });
    });
}

std::string frmRestore::nodeKey(const QTreeWidgetItem* item)
{
    return pathtree::nodeKey(item);
}

QTreeWidgetItem* frmRestore::node(const std::string& key) const
{
    return pathtree::findNode(m_tvwFolderContents, key);
}

std::string frmRestore::GetCheckedFoldersAndFilesInTVW() const
{
    return Guarded("modKestrow.GetCheckedFoldersAndFilesInTVW", std::string(),
                   [&] { return pathtree::checkedSpec(m_tvwFolderContents); });
}

void frmRestore::setRunning(bool running)
{
    m_running = running;
    for (QPushButton* button : {m_cmdRestore, m_cmdCancel, m_cmdHelp})
        button->setEnabled(!running);
    m_lblStatus->setText(running ? QStringLiteral("Restore in Progress...") : QString());
    if (running)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmRestore::cmdRestore_Click()
{
    if (m_running)
        return;
    Guarded("frmRestore.cmdRestore_Click", [&] {
        const bool treeHasNodes = m_tvwFolderContents->topLevelItemCount() > 0;
        QTreeWidgetItem* root = treeHasNodes ? m_tvwFolderContents->topLevelItem(0) : nullptr;
        // The checked root restores the whole Target folder: one item, the folder itself.
        const std::string selection =
            root && root->checkState(0) == Qt::Checked ? m_targetFolder : GetCheckedFoldersAndFilesInTVW();
        RestoreFrontEnd frontEnd;
        frontEnd.runStateChanged = [this](bool running) { setRunning(running); };
        frontEnd.runWork = m_runWork;
        m_lastOutcome = RunRestore(m_restore, treeHasNodes, selection, frontEnd);
    });
    if (m_running)
        setRunning(false);
    accept();
}

void frmRestore::cmdCancel_Click()
{
    if (!m_running)
        reject();
}

void frmRestore::cmdHelp_Click()
{
    ShowHelp(HelpUrl(helpcontext::Restore), "frmRestore.cmdHelp_Click");
}

void frmRestore::keyPressEvent(QKeyEvent* event)
{
    // Escape belongs to the cancel of a run (on release); it does not close the window.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmRestore::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !event->isAutoRepeat()) {
        CancelRequested = true;
        event->accept();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

bool frmRestore::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tvwFolderContents && event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
            CancelRequested = true;
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmRestore::closeEvent(QCloseEvent* event)
{
    // A running restore finishes (or is cancelled with Escape) before the window goes.
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace kestrow::gui
