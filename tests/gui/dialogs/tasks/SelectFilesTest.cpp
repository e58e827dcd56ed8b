// The file and folder selection dialog on a real Source tree.

#include "tests/gui/dialogs/tasks/TaskDialogTest.h"
#include "ui/dialogs/tasks/frmFileMask.h"
#include "ui/dialogs/tasks/frmSelectFiles.h"
#include "ui/dialogs/tasks/modFileTypes.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace kestrow::test {
namespace {

using gui::frmSelectFiles;
using gui::frmTaskProperties;

class SelectFilesTest : public TaskDialogTest
{
protected:
    SelectFilesTest()
    {
        dir.writeFile("src/a/b/deep.txt", "d");
        dir.writeFile("src/a/b/other.txt", "o");
        dir.writeFile("src/a/x.txt", "x");
        dir.writeFile("src/top.txt", "t");
        dir.makeDir("src/zfolder");
        src = dir.path() + "/src/";
        owner.setSourceFolderSpec(src);
        owner.setIncludeSubFolders(true);
    }

    // A click on a folder node, as the user opens it.
    static QTreeWidgetItem* open(frmSelectFiles& d, QTreeWidget* tree, const std::string& key)
    {
        QTreeWidgetItem* item = frmSelectFiles::node(tree, key);
        EXPECT_NE(item, nullptr) << key;
        if (item && !item->isExpanded())
            d.NodeClick(tree, item);
        return item;
    }

    static void check(QTreeWidget* tree, const std::string& key, bool on)
    {
        QTreeWidgetItem* item = frmSelectFiles::node(tree, key);
        ASSERT_NE(item, nullptr) << key;
        item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }

    static bool checked(QTreeWidget* tree, const std::string& key)
    {
        QTreeWidgetItem* item = frmSelectFiles::node(tree, key);
        return item && item->checkState(0) == Qt::Checked;
    }

    static frmSelectFiles::TreeIcon icon(QTreeWidget* tree, const std::string& key)
    {
        QTreeWidgetItem* item = frmSelectFiles::node(tree, key);
        return item ? frmSelectFiles::nodeIcon(item) : frmSelectFiles::TreeIcon{};
    }

    // No checked node has a checked ancestor, and a folder shows the selection icon
    // exactly when something below it is checked.
    static void expectInvariant(QTreeWidget* tree)
    {
        std::function<bool(QTreeWidgetItem*, bool)> walk = [&](QTreeWidgetItem* item, bool ancestorChecked) {
            const bool on = item->checkState(0) == Qt::Checked;
            const std::string key = frmSelectFiles::nodeKey(item);
            EXPECT_FALSE(on && ancestorChecked) << key << " and a node above it are both checked";
            bool below = false;
            for (int i = 0; i < item->childCount(); ++i)
                below = walk(item->child(i), ancestorChecked || on) || below;
            if (key == "Root" || key.back() == '/')
                EXPECT_EQ(frmSelectFiles::nodeIcon(item),
                          below ? frmSelectFiles::SelectionIcon : frmSelectFiles::FolderIcon)
                    << key;
            else
                EXPECT_EQ(frmSelectFiles::nodeIcon(item), frmSelectFiles::FileIcon) << key;
            return on || below;
        };
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            walk(tree->topLevelItem(i), false);
    }

    frmTaskProperties owner;
    std::string src;
};

TEST_F(SelectFilesTest, NothingChosenShowsTheIncludeRootCheckedAndGivesAllFiles)
{
    owner.show();
    child<QLineEdit>(&owner, "txtSourceFolderPath")->setText(q(src));
    onModal<frmSelectFiles>([&](frmSelectFiles* d) {
        QTreeWidget* tree = d->includeTree();
        EXPECT_TRUE(checked(tree, "Root"));
        EXPECT_EQ(s(frmSelectFiles::node(tree, "Root")->text(0)), src);
        std::vector<std::string> top;
        QTreeWidgetItem* root = frmSelectFiles::node(tree, "Root");
        for (int i = 0; i < root->childCount(); ++i)
            top.push_back(s(root->child(i)->text(0)));
        EXPECT_EQ(top, (std::vector<std::string>{"a/", "zfolder/", "top.txt"}))
            << "folders first, then files";
        EXPECT_EQ(icon(tree, src + "a/"), frmSelectFiles::FolderIcon);
        EXPECT_EQ(icon(tree, src + "top.txt"), frmSelectFiles::FileIcon);
        EXPECT_EQ(frmSelectFiles::node(tree, src + "a/")->childCount(), 0)
            << "not listed before it is opened";
        click(d, "cmdOK");
    });
    click(&owner, "cmdSelect");
    ASSERT_EQ(modalsHandled, 1);
    EXPECT_TRUE(owner.AllFilesAndFolders());
    EXPECT_TRUE(child<QRadioButton>(&owner, "optWhichFiles0")->isChecked());
    EXPECT_EQ(owner.IncludeFileSpecs() + owner.IncludeFileMasks() + owner.ExcludeFileSpecs() +
                  owner.ExcludeFileMasks(),
              "");
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

TEST_F(SelectFilesTest, CheckMarksKeepTheInvariant)
{
    frmSelectFiles d(owner);
    d.show();
    QTreeWidget* tree = d.includeTree();
    ASSERT_TRUE(checked(tree, "Root"));
    open(d, tree, src + "a/");
    open(d, tree, src + "a/b/");

    check(tree, src + "a/b/deep.txt", true);
    EXPECT_FALSE(checked(tree, "Root"));
    for (const std::string& key : {std::string("Root"), src + "a/", src + "a/b/"})
        EXPECT_EQ(icon(tree, key), frmSelectFiles::SelectionIcon) << key;
    expectInvariant(tree);

    check(tree, src + "a/b/deep.txt", false);
    for (const std::string& key : {std::string("Root"), src + "a/", src + "a/b/"})
        EXPECT_EQ(icon(tree, key), frmSelectFiles::FolderIcon) << key;
    expectInvariant(tree);

    // A folder showing the selection icon takes over the checks below it.
    check(tree, src + "a/b/deep.txt", true);
    check(tree, src + "a/x.txt", true);
    check(tree, src + "a/", true);
    EXPECT_FALSE(checked(tree, src + "a/b/deep.txt"));
    EXPECT_FALSE(checked(tree, src + "a/x.txt"));
    EXPECT_EQ(icon(tree, src + "a/"), frmSelectFiles::FolderIcon);
    EXPECT_EQ(icon(tree, src + "a/b/"), frmSelectFiles::FolderIcon);
    EXPECT_EQ(icon(tree, "Root"), frmSelectFiles::SelectionIcon);
    expectInvariant(tree);

    // A file below a checked folder takes the check away from it.
    check(tree, src + "a/b/other.txt", true);
    EXPECT_FALSE(checked(tree, src + "a/"));
    expectInvariant(tree);

    check(tree, "Root", true);
    EXPECT_FALSE(checked(tree, src + "a/b/other.txt"));
    expectInvariant(tree);
    EXPECT_EQ(d.GetCheckedFoldersAndFilesInTVW(tree), "") << "a checked root selects nothing single";
}

TEST_F(SelectFilesTest, TheExcludeRootCannotBeChecked)
{
    owner.setIncludeFileSpecs(src + "top.txt");
    owner.setExcludeFileSpecs(src + "a/x.txt");
    frmSelectFiles d(owner);
    d.show();
    QTreeWidget* tree = d.excludeTree();
    EXPECT_EQ(tree->topLevelItemCount(), 0) << "built on first use";
    d.findChild<QTabWidget*>(QStringLiteral("tabSelectFiles"))->setCurrentIndex(1);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_TRUE(checked(tree, src + "a/x.txt"));

    check(tree, "Root", true);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Invalid Selection|You cannot Exclude all of the "
                                                       "subfolders and files in the Source folder."});
    EXPECT_EQ(ui.messages().back().icon, MsgIcon::Exclamation);
    EXPECT_FALSE(checked(tree, "Root"));
    EXPECT_TRUE(checked(tree, src + "a/x.txt")) << "the rules did not run";
    expectInvariant(tree);
}

TEST_F(SelectFilesTest, OKBuildsTheFourStrings)
{
    frmSelectFiles d(owner);
    d.show();
    QTreeWidget* include = d.includeTree();
    open(d, include, src + "a/");
    check(include, src + "a/x.txt", true);
    check(include, src + "top.txt", true);

    onModal<gui::frmFileMask>([](gui::frmFileMask* mask) {
        mask->findChild<QRadioButton*>(QStringLiteral("optMaskType1"))->click();
        mask->findChild<QLineEdit*>(QStringLiteral("txtCustomFileMask"))
            ->setText(QStringLiteral("*.log;*.txt"));
        mask->OKButton_Click();
    });
    click(&d, "cmdIncludeAddNew");
    ASSERT_EQ(modalsHandled, 1);
    EXPECT_EQ(listLines(d.includeMaskList()),
              (std::vector<std::string>{"*.log\t" + gui::GetFileType("*.log"),
                                        "*.txt\t" + gui::GetFileType("*.txt")}));
    EXPECT_FALSE(gui::GetFileType("*.txt").empty());

    d.findChild<QTabWidget*>(QStringLiteral("tabSelectFiles"))->setCurrentIndex(1);
    QTreeWidget* exclude = d.excludeTree();
    open(d, exclude, src + "a/");
    check(exclude, src + "a/b/", true);
    onModal<gui::frmFileMask>([](gui::frmFileMask* mask) {
        mask->findChild<QRadioButton*>(QStringLiteral("optMaskType1"))->click();
        mask->findChild<QLineEdit*>(QStringLiteral("txtCustomFileMask"))->setText(QStringLiteral("*.tmp"));
        mask->OKButton_Click();
    });
    click(&d, "cmdExcludeAddNew");

    click(&d, "cmdOK");
    EXPECT_EQ(d.result(), QDialog::Accepted);
    // Nodes in the order they were added: the top level before the opened folder's.
    EXPECT_EQ(owner.IncludeFileSpecs(), src + "top.txt<:>" + src + "a/x.txt");
    EXPECT_EQ(owner.IncludeFileMasks(), "*.log,*.txt");
    EXPECT_EQ(owner.ExcludeFileSpecs(), src + "a/b/");
    EXPECT_EQ(owner.ExcludeFileMasks(), "*.tmp");
    EXPECT_FALSE(owner.AllFilesAndFolders());
    EXPECT_TRUE(child<QRadioButton>(&owner, "optWhichFiles1")->isChecked());
}

TEST_F(SelectFilesTest, ASavedSelectionIsShownOnOpening)
{
    owner.setAllFilesAndFolders(false);
    owner.setIncludeFileSpecs(src + "a/b/deep.txt<:>" + src + "top.txt");
    owner.setIncludeFileMasks("*.doc");
    owner.setExcludeFileSpecs(src + "zfolder/");
    owner.setExcludeFileMasks("*.bak,*.tmp");
    frmSelectFiles d(owner);
    d.show();
    QTreeWidget* tree = d.includeTree();
    EXPECT_FALSE(checked(tree, "Root"));
    EXPECT_TRUE(checked(tree, src + "a/b/deep.txt"));
    EXPECT_TRUE(checked(tree, src + "top.txt"));
    for (const std::string& key : {src + "a/", src + "a/b/"}) {
        ASSERT_NE(frmSelectFiles::node(tree, key), nullptr) << key;
        EXPECT_TRUE(frmSelectFiles::node(tree, key)->isExpanded()) << key;
    }
    EXPECT_FALSE(frmSelectFiles::node(tree, src + "zfolder/")->isExpanded());
    expectInvariant(tree);
    EXPECT_EQ(listLines(d.includeMaskList()),
              std::vector<std::string>{"*.doc\t" + gui::GetFileType("*.doc")});
    EXPECT_EQ(d.ExcludeMasks(), "*.bak,*.tmp");

    // Never opened, the Exclude side is handed back as it came.
    click(&d, "cmdOK");
    EXPECT_EQ(owner.IncludeFileSpecs(), src + "top.txt<:>" + src + "a/b/deep.txt");
    EXPECT_EQ(owner.ExcludeFileSpecs(), src + "zfolder/");
    EXPECT_EQ(owner.ExcludeFileMasks(), "*.bak,*.tmp");
}

TEST_F(SelectFilesTest, WithoutSubfoldersOnlyTheFilesShow)
{
    owner.setIncludeSubFolders(false);
    frmSelectFiles d(owner);
    d.show();
    QTreeWidgetItem* root = frmSelectFiles::node(d.includeTree(), "Root");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(s(root->child(0)->text(0)), "top.txt");
}

TEST_F(SelectFilesTest, MaskRemovalNeedsASelectedLineAndCancelWritesNothing)
{
    owner.setAllFilesAndFolders(false);
    owner.setIncludeFileMasks("*.doc,*.xls");
    frmSelectFiles d(owner);
    d.show();
    QListWidget* masks = d.includeMaskList();
    click(&d, "cmdIncludeRemove");
    EXPECT_EQ(lastMessage(), "Remove File Mask|No file mask is selected");
    masks->setCurrentRow(0);
    QTest::keyClick(masks, Qt::Key_Delete);
    EXPECT_EQ(masks->count(), 1);
    EXPECT_TRUE(s(masks->item(0)->text()).starts_with("*.xls\t"));

    click(&d, "cmdCancel");
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(owner.IncludeFileMasks(), "*.doc,*.xls");
}

} // namespace
} // namespace kestrow::test
