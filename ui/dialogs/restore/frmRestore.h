#pragma once
// frmRestore: the restore window. It shows a folder as a tree with check boxes,
// loaded a level at a time as folders are opened, and restores the checked items
// (RunRestore, tasks/cRestore.h). The window closes after every Restore attempt,
// whatever its outcome.
//
// The tree shows either the restore's Target folder as it is now (the default; its
// versions folder is left out, being no part of the Target) or one moment of the
// Target's old versions (engine/Versions.h), chosen from a list, newest first. The
// checked items go into the Source folder (the default) or another folder the user
// names.
//
// Check rules: checking a node unchecks every node above it, and checking a folder
// (or the root) unchecks every node below it; unchecking changes nothing else. Escape
// released anywhere in the window asks a running restore to stop (CancelRequested);
// it never closes the window.

#include "engine/Versions.h"
#include "tasks/cRestore.h"

#include <QDialog>
#include <QIcon>

#include <functional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrow::gui {

class frmRestore : public QDialog
{
    Q_OBJECT
public:
    // Copies the parameters of `restore`; takes the icon of `parent` (the main window).
    explicit frmRestore(const cRestore& restore, QWidget* parent = nullptr);
    ~frmRestore() override;

    // How the temporary task runs (see RestoreFrontEnd::runWork); by default on the
    // window thread, where the run host lets the window's events through.
    void setRunWork(std::function<void(const std::function<void()>& work)> runWork);

    // The spec string of the checked nodes: empty when the tree has no nodes or its
    // root is checked, else the keys of the checked nodes joined by "<:>" in the order
    // the nodes were added.
    std::string GetCheckedFoldersAndFilesInTVW() const;

    // The node with `key` ("Root", or a full path, folders ending in "/"); null
    // when it is not loaded.
    QTreeWidgetItem* node(const std::string& key) const;
    // The key of a node of the tree.
    static std::string nodeKey(const QTreeWidgetItem* item);
    QTreeWidget* tree() const { return m_tvwFolderContents; }
    // The moments of the Target's old versions, newest first (listed when the window
    // is first shown), one line each in the moment list.
    const std::vector<VersionMoment>& moments() const { return m_moments; }
    QTreeWidget* momentList() const { return m_lvwMoments; }
    // The folder the tree shows: the Target's, or the chosen moment's; ends with "/".
    // Empty while "From an earlier version" has no moment chosen.
    const std::string& rootFolder() const { return m_rootFolder; }
    // The folder the checked items go into: the Source, or the folder typed or
    // browsed for (with a "/" added; empty when none was given).
    std::string restoreInto() const;
    // The outcome of the last Restore press (NoOutcome before one).
    RestoreOutcome lastOutcome() const { return m_lastOutcome; }

    // The three buttons.
    void cmdRestore_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    // "Browse...": a folder picker whose choice fills the folder line and selects
    // "Another folder".
    void cmdBrowse_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Activate();
    // Lists the moments of the Target into the moment list; without any, the
    // earlier-version choice is disabled and says why.
    void ListVersions();
    // Empties the tree and shows `folder` (ending "/") from its root; an empty
    // `folder` leaves the tree empty.
    void ShowFolder(const std::string& folder, const std::string& rootText);
    // The tree for the choice in force: the Target, or the moment chosen in the list.
    void ShowChosenFolder();
    // Lists `folderSpec` and adds its items below `parent`, collapsed.
    void AddFolderContents(QTreeWidgetItem* parent, const std::string& folderSpec);
    // Loads a folder node's contents once (the root lists the Target folder).
    void LoadChildren(QTreeWidgetItem* item);
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const std::string& key, const std::string& text,
                             bool folder);
    void tvwFolderContents_Click(QTreeWidgetItem* item);
    void tvwFolderContents_NodeCheck(QTreeWidgetItem* item);
    void tvwFolderContents_Expand(QTreeWidgetItem* item, bool expanded);
    void setRunning(bool running);

    cRestore m_restore;
    // The Target folder with its trailing "/".
    std::string m_targetFolder;
    // The folder the tree shows, with its trailing "/": the root's folder.
    std::string m_rootFolder;
    // Where the Target's moments are, ending "/", and the moments, newest first.
    std::string m_versionsRoot;
    std::vector<VersionMoment> m_moments;
    std::function<void(const std::function<void()>&)> m_runWork;
    bool m_activated = false;
    bool m_running = false;
    // Set while the window itself changes nodes, so its own changes run no rules.
    bool m_changingNodes = false;
    // A check box changed during the current click, so the click does not open the folder.
    bool m_checkChangedByClick = false;
    int m_nodesAdded = 0;
    RestoreOutcome m_lastOutcome = RestoreOutcome::NoOutcome;

    QIcon m_genericFile;
    QIcon m_closedFolder;
    QIcon m_openFolder;

    QLabel* m_pctRestore;
    QLabel* m_lblInstruct;
    QGroupBox* m_fraRestoreFrom;
    QRadioButton* m_optFromTarget;
    QRadioButton* m_optFromVersion;
    QLabel* m_lblNoVersions;
    QTreeWidget* m_lvwMoments;
    QTreeWidget* m_tvwFolderContents;
    QGroupBox* m_fraRestoreInto;
    QRadioButton* m_optIntoSource;
    QRadioButton* m_optIntoFolder;
    QLineEdit* m_txtIntoFolder;
    QPushButton* m_cmdBrowse;
    QLabel* m_lblStatus;
    QPushButton* m_cmdRestore;
    QPushButton* m_cmdCancel;
    QPushButton* m_cmdHelp;
};

} // namespace kestrow::gui
