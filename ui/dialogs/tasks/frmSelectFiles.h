#pragma once
// "Select Files and Folders": which items of a task's Source folder take part. The
// Include tab check-marks the items to clone and lists include file masks; the Exclude
// tab check-marks the items not to clone and lists exclude file masks. Both trees list
// a folder only when it is first opened. OK turns the check marks and the mask lists
// into the four strings (IncludeFileSpecs, IncludeFileMasks, ExcludeFileSpecs,
// ExcludeFileMasks) and writes them, with AllFilesAndFolders, into the task properties
// dialog; Cancel writes nothing.
//
// Check marks keep this invariant: a checked node has no checked ancestor and no
// checked descendant, and a folder shows the selection icon exactly when something
// below it is checked. The Exclude root cannot be checked.

#include <QDialog>
#include <QIcon>

#include <memory>
#include <optional>
#include <string>

class QGroupBox;
class QListWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrow {
class StringCollection;
}

namespace kestrow::gui {

class frmTaskProperties;

class frmSelectFiles : public QDialog
{
    Q_OBJECT
public:
    // Reads the Source folder, the include-subfolders flag and the four strings from
    // `owner`, which receives the result of OK.
    explicit frmSelectFiles(frmTaskProperties& owner);
    ~frmSelectFiles() override;

    // The icons of the tree nodes, numbered as the image list numbers them.
    enum TreeIcon
    {
        FileIcon = 1,
        SelectionIcon = 2, // a folder with checked items somewhere below it
        FolderIcon = 3,
    };

    // The result channel of the file mask dialog: masks separated by ";".
    const std::string& FileMask() const { return m_FileMask; }
    void setFileMask(const std::string& value) { m_FileMask = value; }
    // The mask strings received.
    const std::string& IncludeMasks() const { return m_includeMasks; }
    const std::string& ExcludeMasks() const { return m_excludeMasks; }

    // Empty when `tree` has no nodes or its root is checked; otherwise the keys of the
    // checked nodes joined by "<:>", in the order the nodes were added.
    std::string GetCheckedFoldersAndFilesInTVW(const QTreeWidget* tree) const;

    QTreeWidget* includeTree() const { return m_tvwIncludeTabFolder; }
    QTreeWidget* excludeTree() const { return m_tvwExcludeTabFolder; }
    QListWidget* includeMaskList() const { return m_lstIncludeFileMasks; }
    QListWidget* excludeMaskList() const { return m_lstExcludeFileMasks; }
    // The node of `tree` with `key` ("Root", or a full path, folders ending in "/");
    // null when it is not loaded.
    static QTreeWidgetItem* node(const QTreeWidget* tree, const std::string& key);
    static std::string nodeKey(const QTreeWidgetItem* item);
    static TreeIcon nodeIcon(const QTreeWidgetItem* item);

    // Opens a folder node that is closed (listing it on first opening) and closes
    // one that is open, as a click on it does.
    void NodeClick(QTreeWidget* tree, QTreeWidgetItem* item);
    // 0 the Include tab, 1 the Exclude tab (built on first use).
    void tabSelectFiles_Click(int index);

    void cmdIncludeAddNew_Click();
    void cmdExcludeAddNew_Click();
    void cmdIncludeRemove_Click();
    void cmdExcludeRemove_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TreeState;

    void Form_Activate();
    void LoadAndCheckMarkIncludeTopLevel();
    void LoadAndCheckMarkExcludeTopLevel();
    void buildTree(TreeState& state, bool checkRootWhenEmpty);
    // Lists the folder of `item` (once) and adds its children with their check marks;
    // a folder that holds items of the spec set is opened in turn.
    void loadChildren(TreeState& state, QTreeWidgetItem* item);
    QTreeWidgetItem* addNode(TreeState& state, QTreeWidgetItem* parent, const std::string& key,
                             const std::string& text, TreeIcon icon);
    void NodeCheck(TreeState& state, QTreeWidgetItem* item);
    void uncheckRememberedNode();
    void setIcon(QTreeWidgetItem* item, TreeIcon icon);
    void markAncestors(QTreeWidgetItem* item);
    void AddNewMasks(QListWidget* list);
    void RemoveMask(QListWidget* list);
    TreeState& stateOf(const QTreeWidget* tree);

    frmTaskProperties* m_owner;
    std::string m_sourceFolder; // ends with "/"
    bool m_includeSubFolders = true;
    std::string m_includeSpecs;
    std::string m_includeMasks;
    std::string m_excludeSpecs;
    std::string m_excludeMasks;
    std::string m_FileMask;
    std::unique_ptr<StringCollection> m_topLevel; // the Source folder's listing, made once
    std::unique_ptr<TreeState> m_include;
    std::unique_ptr<TreeState> m_exclude;
    bool m_loaded = false;
    bool m_changingNodes = false;
    bool m_checkChangedByClick = false;
    int m_nodesAdded = 0;
    QTreeWidgetItem* mnodNodeToBeUnchecked = nullptr;

    QIcon m_icons[4];
    QTabWidget* m_tabSelectFiles = nullptr;
    QGroupBox* m_fraIncludeFiles = nullptr;
    QGroupBox* m_fraIncludeFileMasks = nullptr;
    QGroupBox* m_fraExcludeFiles = nullptr;
    QGroupBox* m_fraExcludeFileMasks = nullptr;
    QTreeWidget* m_tvwIncludeTabFolder = nullptr;
    QTreeWidget* m_tvwExcludeTabFolder = nullptr;
    QListWidget* m_lstIncludeFileMasks = nullptr;
    QListWidget* m_lstExcludeFileMasks = nullptr;
};

} // namespace kestrow::gui
