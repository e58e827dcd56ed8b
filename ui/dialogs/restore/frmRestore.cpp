#include "ui/dialogs/restore/frmRestore.h"

#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "engine/Filters.h"
#include "engine/FolderRoutines.h"
#include "engine/Listing.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/dialogs/PathTree.h"
#include "ui/qt/HelpLink.h"
#include "ui/qt/QtText.h"
#include "util/ScopeExit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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

// A moment line's index into the window's moments.
constexpr int MomentRole = Qt::UserRole;

const char* const kNoVersions = "No earlier versions of this Target.";

// "3/2/2026 9:00:00 AM", and "(2)" after it for a later run within the same second.
QString MomentText(const VersionMoment& moment)
{
    QString text = q(DateAndTimeText(moment.time));
    if (moment.name.size() > 18)
        text += QStringLiteral(" (") + q(moment.name.substr(18)) + QLatin1Char(')');
    return text;
}

// "512 bytes", "1.5 KB", "3.2 MB": powers of 1024, one decimal.
QString SizeText(uint64_t bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    for (value /= 1024; value >= 1024 && unit + 1 < std::size(units); value /= 1024)
        ++unit;
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QString::fromLatin1(units[unit]);
}

std::string withSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

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
    m_targetFolder = withSlash(m_restore.TargetFolderSpec());

    m_pctRestore = new QLabel(this);
    m_pctRestore->setObjectName(QStringLiteral("pctRestore"));
    m_pctRestore->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
    m_lblInstruct = new QLabel(
        QStringLiteral("Place a checkmark next to the files/folders that you want to restore."), this);
    m_lblInstruct->setObjectName(QStringLiteral("lblInstruct"));
    m_lblInstruct->setWordWrap(true);

    m_fraRestoreFrom = new QGroupBox(QStringLiteral("Restore from"), this);
    m_fraRestoreFrom->setObjectName(QStringLiteral("fraRestoreFrom"));
    m_optFromTarget = new QRadioButton(QStringLiteral("From the Target as it is now"), m_fraRestoreFrom);
    m_optFromTarget->setObjectName(QStringLiteral("optFromTarget"));
    m_optFromTarget->setChecked(true);
    m_optFromVersion = new QRadioButton(QStringLiteral("From an earlier version"), m_fraRestoreFrom);
    m_optFromVersion->setObjectName(QStringLiteral("optFromVersion"));
    m_lblNoVersions = new QLabel(m_fraRestoreFrom);
    m_lblNoVersions->setObjectName(QStringLiteral("lblNoVersions"));
    m_lblNoVersions->setVisible(false);
    m_lvwMoments = new QTreeWidget(m_fraRestoreFrom);
    m_lvwMoments->setObjectName(QStringLiteral("lvwMoments"));
    m_lvwMoments->setColumnCount(3);
    m_lvwMoments->setHeaderLabels(
        {QStringLiteral("Date and time"), QStringLiteral("Items"), QStringLiteral("Size")});
    m_lvwMoments->setRootIsDecorated(false);
    m_lvwMoments->setUniformRowHeights(true);
    m_lvwMoments->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lvwMoments->setEnabled(false);
    m_lvwMoments->setMaximumHeight(130);
    m_lvwMoments->header()->setStretchLastSection(false);
    m_lvwMoments->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_lvwMoments->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_lvwMoments->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    auto* from = new QVBoxLayout(m_fraRestoreFrom);
    from->addWidget(m_optFromTarget);
    auto* fromVersion = new QHBoxLayout;
    fromVersion->addWidget(m_optFromVersion);
    fromVersion->addWidget(m_lblNoVersions, 1);
    from->addLayout(fromVersion);
    from->addWidget(m_lvwMoments);

    m_tvwFolderContents = new QTreeWidget(this);
    m_tvwFolderContents->setObjectName(QStringLiteral("tvwFolderContents"));
    m_tvwFolderContents->setHeaderHidden(true);
    m_tvwFolderContents->setColumnCount(1);
    m_tvwFolderContents->setExpandsOnDoubleClick(false);
    m_tvwFolderContents->setUniformRowHeights(true);
    m_tvwFolderContents->installEventFilter(this);

    m_fraRestoreInto = new QGroupBox(QStringLiteral("Restore into"), this);
    m_fraRestoreInto->setObjectName(QStringLiteral("fraRestoreInto"));
    m_optIntoSource = new QRadioButton(
        QStringLiteral("The Source folder: ") + q(m_restore.SourceFolderSpec()), m_fraRestoreInto);
    m_optIntoSource->setObjectName(QStringLiteral("optIntoSource"));
    m_optIntoSource->setChecked(true);
    m_optIntoFolder = new QRadioButton(QStringLiteral("Another folder:"), m_fraRestoreInto);
    m_optIntoFolder->setObjectName(QStringLiteral("optIntoFolder"));
    m_txtIntoFolder = new QLineEdit(m_fraRestoreInto);
    m_txtIntoFolder->setObjectName(QStringLiteral("txtIntoFolder"));
    m_cmdBrowse = dialogButton("cmdBrowse", "Browse...", m_fraRestoreInto);
    auto* into = new QGridLayout(m_fraRestoreInto);
    into->addWidget(m_optIntoSource, 0, 0, 1, 3);
    into->addWidget(m_optIntoFolder, 1, 0);
    into->addWidget(m_txtIntoFolder, 1, 1);
    into->addWidget(m_cmdBrowse, 1, 2);
    into->setColumnStretch(1, 1);

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
    layout->addWidget(m_fraRestoreFrom);
    layout->addWidget(m_tvwFolderContents, 1);
    layout->addWidget(m_fraRestoreInto);
    layout->addLayout(buttons);
    resize(560, 640);

    connect(m_cmdRestore, &QPushButton::clicked, this, &frmRestore::cmdRestore_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmRestore::cmdCancel_Click);
    connect(m_cmdHelp, &QPushButton::clicked, this, &frmRestore::cmdHelp_Click);
    connect(m_cmdBrowse, &QPushButton::clicked, this, &frmRestore::cmdBrowse_Click);
    // Typing a folder means restoring into it.
    connect(m_txtIntoFolder, &QLineEdit::textEdited, this, [this] { m_optIntoFolder->setChecked(true); });
    connect(m_optFromVersion, &QRadioButton::toggled, this, [this](bool on) {
        m_lvwMoments->setEnabled(on);
        // The newest moment is shown until the user chooses another.
        if (on && !m_lvwMoments->currentItem() && m_lvwMoments->topLevelItemCount() > 0)
            m_lvwMoments->setCurrentItem(m_lvwMoments->topLevelItem(0)); // shown by the handler below
        else
            ShowChosenFolder();
    });
    connect(m_lvwMoments, &QTreeWidget::currentItemChanged, this, [this] {
        if (m_optFromVersion->isChecked())
            ShowChosenFolder();
    });
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
        } catch (...) {
            m_tvwFolderContents->setUpdatesEnabled(true);
            throw;
        }
        m_tvwFolderContents->setUpdatesEnabled(true);
        ListVersions();
        ShowChosenFolder();
    });
}

void frmRestore::ListVersions()
{
    Guarded("frmRestore.ListVersions", [&] {
        m_lvwMoments->clear();
        m_moments.clear();
        const std::string versionsFolder = gClone ? gClone->VersionsFolder() : std::string();
        const std::string target = CanonicalFolderSpec(m_restore.TargetFolderSpec());
        m_versionsRoot = target.empty() ? std::string() : VersionsRootFor(target, versionsFolder);
        // A versions folder that is missing or cannot be read holds no moments to offer.
        if (m_versionsRoot.empty() || ListMoments(m_versionsRoot, m_moments) != 0)
            m_moments.clear();
        std::reverse(m_moments.begin(), m_moments.end());
        for (size_t i = 0; i < m_moments.size(); ++i) {
            const VersionMoment& moment = m_moments[i];
            auto* line = new QTreeWidgetItem(m_lvwMoments);
            line->setText(0, MomentText(moment));
            line->setText(1, QString::number(moment.items));
            line->setText(2, SizeText(moment.bytes));
            line->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            line->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            line->setData(0, MomentRole, static_cast<qulonglong>(i));
        }
        const bool none = m_moments.empty();
        m_optFromVersion->setEnabled(!none);
        m_optFromVersion->setToolTip(none ? QString::fromLatin1(kNoVersions) : QString());
        m_lblNoVersions->setText(none ? QString::fromLatin1(kNoVersions) : QString());
        m_lblNoVersions->setVisible(none);
    });
}

void frmRestore::ShowChosenFolder()
{
    if (!m_optFromVersion->isChecked()) {
        ShowFolder(m_targetFolder, m_restore.TargetFolderSpec());
        return;
    }
    const QTreeWidgetItem* line = m_lvwMoments->currentItem();
    const size_t index = line ? line->data(0, MomentRole).toULongLong() : m_moments.size();
    if (index >= m_moments.size()) {
        ShowFolder({}, {});
        return;
    }
    const std::string folder = m_versionsRoot + m_moments[index].name + '/';
    ShowFolder(folder, folder);
}

void frmRestore::ShowFolder(const std::string& folder, const std::string& rootText)
{
    Guarded("frmRestore.ShowFolder", [&] {
        WaitCursor wait;
        m_tvwFolderContents->setUpdatesEnabled(false);
        const util::ScopeExit updates([&] { m_tvwFolderContents->setUpdatesEnabled(true); });
        withFlag(m_changingNodes, [&] { m_tvwFolderContents->clear(); });
        m_nodesAdded = 0;
        m_rootFolder = folder;
        if (folder.empty())
            return;
        QTreeWidgetItem* root = AddNode(nullptr, kRootKey, rootText, true);
        LoadChildren(root);
        root->setExpanded(true);
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
    // The versions folder at the top of a root is no part of what it holds (the
    // engine leaves it out of every run too).
    const bool rootLevel = folderSpec == m_rootFolder;
    for (size_t i = 0; i < contents.Count(); ++i) {
        const std::string& item = contents.Item(i);
        const bool folder = !item.empty() && item.back() == '/';
        if (rootLevel &&
            IsVersionsFolderName(folder ? std::string_view(item).substr(0, item.size() - 1) : item))
            continue;
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
    AddFolderContents(item, key == kRootKey ? m_rootFolder : key);
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
    m_fraRestoreFrom->setEnabled(!running);
    m_fraRestoreInto->setEnabled(!running);
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
        // The checked root restores the whole folder shown: one item, the folder itself.
        const std::string selection =
            root && root->checkState(0) == Qt::Checked ? m_rootFolder : GetCheckedFoldersAndFilesInTVW();
        // From the folder shown (the Target or a moment) into the folder chosen.
        cRestore restore = m_restore;
        restore.setTargetFolderSpec(m_rootFolder.empty() ? m_restore.TargetFolderSpec() : m_rootFolder);
        restore.setSourceFolderSpec(restoreInto());
        // A moment comes back whole, hidden and special entries too.
        restore.setEveryEntry(!m_rootFolder.empty() && m_rootFolder != m_targetFolder);
        RestoreFrontEnd frontEnd;
        frontEnd.runStateChanged = [this](bool running) { setRunning(running); };
        frontEnd.runWork = m_runWork;
        m_lastOutcome = RunRestore(restore, treeHasNodes, selection, frontEnd);
    });
    if (m_running)
        setRunning(false);
    accept();
}

std::string frmRestore::restoreInto() const
{
    if (!m_optIntoFolder->isChecked())
        return m_restore.SourceFolderSpec();
    return withSlash(s(m_txtIntoFolder->text().trimmed()));
}

void frmRestore::cmdBrowse_Click()
{
    Guarded("frmRestore.cmdBrowse_Click", [&] {
        // It starts at the folder typed, else at the Source.
        QString initial = QDir::homePath();
        for (const std::string& folder : {s(m_txtIntoFolder->text().trimmed()), m_restore.SourceFolderSpec()})
            if (!folder.empty() && FolderExists(folder, platform::FollowLinks::yes)) {
                initial = q(folder);
                break;
            }
        QFileDialog dialog(this, QStringLiteral("Browse For Folder"), initial);
        dialog.setObjectName(QStringLiteral("mobjBrowseDialog"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Specify the folder to restore into."));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        m_txtIntoFolder->setText(q(withSlash(s(dialog.selectedFiles().front()))));
        m_optIntoFolder->setChecked(true);
    });
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
