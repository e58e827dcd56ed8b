#include "engine/Listing.h"

#include "engine/RunControl.h"
#include "tests/support/EngineTestSupport.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::EngineTest;

const std::string kLongName = std::string(251, 'n') + ".txt"; // 255 bytes, the longest a name can be

// A Source tree holding the awkward names and entries a real disk can hold.
class ListingTest : public EngineTest
{
protected:
    ListingTest()
    {
        tmp.writeFile("s/a.txt", "a");
        tmp.writeFile("s/b.doc", "b");
        tmp.writeFile("s/sub/c.txt", "c");
        tmp.writeFile("s/sub/deeper/d.TXT", "d");
        tmp.writeFile("s/.git/e.txt", "e");
        tmp.writeFile("s/name with space.txt", "");
        tmp.writeFile("s/new\nline.txt", "");
        tmp.writeFile("s/back\\slash.txt", "");
        tmp.writeFile("s/star*?[.txt", "");
        tmp.writeFile("s/bad \xff\xfe.txt", "");
        tmp.writeFile("s/" + kLongName, "");
        tmp.makeDir("s/empty");
        tmp.makeDir("s/nest/inner");
        fs::create_symlink("a.txt", s("link.txt"));
        fs::create_symlink("nowhere.txt", s("dangling.txt"));
        fs::create_symlink(".", s("self"));    // a loop if it were ever entered
        fs::create_symlink("..", s("sub/up")); // another way out and round
        makeFifo(s("pipe.txt"));
    }

    std::string s(const std::string& relative = {}) const { return tmp.path() + "/s/" + relative; }

    static std::set<std::string> asSet(const std::vector<std::string>& items)
    {
        return {items.begin(), items.end()};
    }

    StringCollection masksOf(const std::string& maskString)
    {
        StringCollection masks;
        FillColWithParsedStringElems(masks, maskString, ",");
        return masks;
    }
};

TEST_F(ListingTest, MatchingFilesAcrossAwkwardNamesLinksAndFifos)
{
    std::vector<std::string> items;
    ASSERT_TRUE(GetFilesInPathMatchingMasks(s(), true, masksOf("*.txt"), items));
    const std::set<std::string> expected = {
        s("a.txt"),
        s("sub/c.txt"),
        s("sub/deeper/d.TXT"),
        s(".git/e.txt"),
        s("name with space.txt"),
        s("new\nline.txt"),
        s("back\\slash.txt"),
        s("star*?[.txt"),
        s("bad \xff\xfe.txt"),
        s(kLongName),
        s("link.txt"),
        s("dangling.txt"),
        s("pipe.txt"),
    };
    EXPECT_EQ(asSet(items), expected);
    EXPECT_EQ(items.size(), expected.size()) << "each file once: links were not entered";
    EXPECT_TRUE(log.InMemoryString().empty());
}

TEST_F(ListingTest, HiddenFolderIsNotEnteredAndLoggedOnceWhenIgnored)
{
    compare.setIgnoreHiddenFolders(true);
    std::vector<std::string> items;
    ASSERT_TRUE(GetFilesInPathMatchingMasks(s(), true, masksOf("e.txt,c.txt"), items));
    EXPECT_EQ(items, std::vector<std::string>{s("sub/c.txt")});
    ASSERT_EQ(logEntries().size(), 1u);
    EXPECT_EQ(logEntries()[0],
              " - Information Only: Folder was skipped because it is a Hidden folder and the "
              "Ignore Hidden Folders option is selected. - '" +
                  s(".git/") + "' ");
}

TEST_F(ListingTest, WithoutSubfoldersOnlyTheTopLevel)
{
    std::vector<std::string> items = {"kept"};
    ASSERT_TRUE(GetFilesInPathMatchingMasks(s(), false, masksOf("*.TXT,*.doc"), items));
    EXPECT_EQ(items.front(), "kept") << "appends";
    EXPECT_TRUE(std::none_of(items.begin(), items.end(),
                             [&](const std::string& i) { return i.find("/sub/") != std::string::npos; }));
    EXPECT_EQ(std::count(items.begin(), items.end(), s("b.doc")), 1);
}

TEST_F(ListingTest, NoMasksListsNothing)
{
    std::vector<std::string> items;
    CancelRequested = true; // a listing would see it
    EXPECT_TRUE(GetFilesInPathMatchingMasks(s(), true, StringCollection{}, items));
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(log.InMemoryString().empty());
}

TEST_F(ListingTest, CancelStopsEveryListingAndIsLoggedOnce)
{
    CancelRequested = true;
    std::vector<std::string> items;
    EXPECT_FALSE(GetFilesInPathMatchingMasks(s(), true, masksOf("*"), items));
    EXPECT_FALSE(GetFolderContents_ExclusionsUse(s(), items, true));
    StringCollection masks;
    EXPECT_FALSE(PopulateIncludedItemsArray(s(), "", "*", true, items, masks));
    std::vector<std::string> result;
    EXPECT_FALSE(RemoveItemsMatchingExclusions("", "", {s("a.txt")}, result, masks));
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(logCount(" *User Cancelled Error: "), 1);
    EXPECT_EQ(logEntries().size(), 1u);
}

TEST_F(ListingTest, FolderContentsHoldEveryFileAndEveryEmptyFolder)
{
    std::vector<std::string> items;
    ASSERT_TRUE(GetFolderContents_ExclusionsUse(s(), items, true));
    const std::set<std::string> listed = asSet(items);
    EXPECT_TRUE(listed.contains(s("empty/"))) << "an empty folder is an item of its own";
    EXPECT_TRUE(listed.contains(s("nest/inner/")));
    EXPECT_FALSE(listed.contains(s("nest/"))) << "a folder with a subfolder has content";
    EXPECT_FALSE(listed.contains(s())) << "the root has content";
    for (const char* file :
         {"a.txt", "b.doc", "sub/deeper/d.TXT", ".git/e.txt", "pipe.txt", "self", "sub/up"})
        EXPECT_TRUE(listed.contains(s(file))) << file;
    EXPECT_EQ(items.size(), listed.size());
}

TEST_F(ListingTest, FolderContentsSkipHiddenFolderButCountItAsContent)
{
    tmp.makeDir("only-hidden/.cache/x");
    compare.setIgnoreHiddenFolders(true);
    std::vector<std::string> items;
    ASSERT_TRUE(GetFolderContents_ExclusionsUse(tmp / "only-hidden", items, true));
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(logCount("Folder was skipped because it is a Hidden folder"), 1);
}

TEST_F(ListingTest, FolderContentsWithoutSubfolders)
{
    std::vector<std::string> items;
    ASSERT_TRUE(GetFolderContents_ExclusionsUse(s("nest"), items, false));
    EXPECT_TRUE(items.empty()) << "its only entry is a folder, which is not entered";
    ASSERT_TRUE(GetFolderContents_ExclusionsUse(s("empty"), items, false));
    EXPECT_EQ(items, std::vector<std::string>{s("empty/")});
}

TEST_F(ListingTest, PathsBeyondTheSystemLimitAreListedFromTheirRoot)
{
    const std::string deep = makeDeepFolder("deep");
    const std::vector<std::string> deepest{deep + "/f"};
    std::vector<std::string> items;
    EXPECT_TRUE(GetFolderContents_ExclusionsUse(tmp / "deep", items, true));
    EXPECT_EQ(items, deepest) << "every level below the root is reached by name, whatever the path's length";
    items.clear();
    EXPECT_TRUE(GetFilesInPathMatchingMasks(tmp / "deep", true, masksOf("*"), items));
    EXPECT_EQ(items, deepest);
    // A root named by a path past the limit cannot be opened: nothing, and no error entry.
    EXPECT_TRUE(GetTopLevelFolderContentsInCollection(deep, true).empty());
    EXPECT_TRUE(log.InMemoryString().empty());
}

TEST_F(ListingTest, UnreadableFolderYieldsNothing)
{
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        tmp.writeFile("s/locked/hidden-away.txt", "x");
        fs::permissions(s("locked"), fs::perms::none);
        std::vector<std::string> items;
        EXPECT_TRUE(GetFilesInPathMatchingMasks(s(), true, masksOf("hidden-away.txt"), items));
        EXPECT_TRUE(items.empty());
        items.clear();
        EXPECT_TRUE(GetFolderContents_ExclusionsUse(s("locked"), items, true));
        EXPECT_TRUE(items.empty()) << "a folder that cannot be listed is not taken for an empty one";
    });
}

TEST_F(ListingTest, TopLevelContentsFoldersFirstEachRunSorted)
{
    tmp.makeDir("top/B");
    tmp.makeDir("top/a");
    tmp.makeDir("top/A");
    tmp.makeDir("top/.hidden");
    tmp.writeFile("top/z.txt", "");
    tmp.writeFile("top/Y.txt", "");
    tmp.writeFile("top/y.txt", "");
    fs::create_symlink("B", tmp / "top/link-to-B");
    const std::string top = tmp / "top/";

    const StringCollection all = GetTopLevelFolderContentsInCollection(top, true);
    EXPECT_EQ(all.Items(), (std::vector<std::string>{".hidden/", "A/", "a/", "B/", "link-to-B", "Y.txt",
                                                     "y.txt", "z.txt"}));
    for (size_t i = 0; i < all.Count(); ++i)
        EXPECT_EQ(all.Key(i), top + all.Item(i));

    compare.setIgnoreHiddenFolders(true);
    EXPECT_FALSE(GetTopLevelFolderContentsInCollection(top, true).ContainsKey(top + ".hidden/"));
    EXPECT_EQ(GetTopLevelFolderContentsInCollection(tmp / "top", false).Items(),
              (std::vector<std::string>{"link-to-B", "Y.txt", "y.txt", "z.txt"}));
    EXPECT_TRUE(log.InMemoryString().empty()) << "the dialogs' listing logs nothing";
}

TEST_F(ListingTest, IncludedItemsAreTheSpecsThenTheMatchingFiles)
{
    std::vector<std::string> items = {"stale"};
    StringCollection masks;
    ASSERT_TRUE(PopulateIncludedItemsArray(s(), s("nest/") + "<:>" + s("b.doc"), " *.DOC , *.doc", true,
                                           items, masks));
    EXPECT_EQ(masks.Items(), std::vector<std::string>{"*.DOC"});
    EXPECT_EQ(items, (std::vector<std::string>{s("nest/"), s("b.doc"), s("b.doc")}))
        << "the spec items first (duplicates kept), then the files matching the masks";

    ASSERT_TRUE(PopulateIncludedItemsArray(s(), s("a.txt") + "," + s("b.doc"), "", true, items, masks));
    EXPECT_EQ(items, (std::vector<std::string>{s("a.txt"), s("b.doc")})) << "legacy comma list, no masks";
    EXPECT_TRUE(masks.empty());

    ASSERT_TRUE(PopulateIncludedItemsArray(s(), "", "", true, items, masks));
    EXPECT_TRUE(items.empty());
}

TEST_F(ListingTest, ExclusionsRemoveItemsByFolderFileAndMask)
{
    const std::string r = "/r/";
    const std::vector<std::string> items = {
        r + "a.txt", r + "Temp/b.txt", r + "Temp/Sub/",  r + "keep.doc",
        r + "x.tmp", r + "a.txt.bak",  r + "temp/c.txt", r + "Other/",
    };
    std::vector<std::string> result = {"stale"};
    StringCollection masks;
    ASSERT_TRUE(RemoveItemsMatchingExclusions(r + "Temp/<:>" + r + "a.txt", "*.TMP", items, result, masks));
    EXPECT_EQ(result,
              (std::vector<std::string>{r + "keep.doc", r + "a.txt.bak", r + "temp/c.txt", r + "Other/"}));
    EXPECT_EQ(masks.Items(), std::vector<std::string>{"*.TMP"});

    ASSERT_TRUE(RemoveItemsMatchingExclusions("", "", items, result, masks));
    EXPECT_EQ(result, items) << "no exclusions: every item kept, the earlier masks forgotten";
    EXPECT_TRUE(masks.empty());
}

// The freedesktop trash at the top of a mounted file system is never listed.
TEST_F(ListingTest, TrashFoldersAtAMountTopAreNeverListed)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::string top = tmp.makeDir("volume") + "/";
    test::ScopedMount volume("mount -t tmpfs -o size=1m kestrow-test", top);
    if (!volume.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    fs::create_directories(top + ".Trash-0/files");
    fs::create_directories(top + ".Trash/1000");
    fs::create_directories(top + ".Trash-abc");
    fs::create_directories(top + "work/.Trash-0"); // not at the top: an ordinary folder
    std::ofstream(top + ".Trash-0/files/old.txt") << "x";
    std::ofstream(top + "a.txt") << "x";

    EXPECT_TRUE(IsMountTrashEntry(top, ".Trash-0"));
    EXPECT_TRUE(IsMountTrashEntry(top, ".Trash"));
    EXPECT_FALSE(IsMountTrashEntry(top, ".Trash-abc"));
    EXPECT_FALSE(IsMountTrashEntry(top + "work/", ".Trash-0"));

    std::vector<std::string> items;
    ASSERT_TRUE(GetFolderContents_ExclusionsUse(top, items, true));
    EXPECT_EQ(asSet(items),
              (std::set<std::string>{top + "a.txt", top + ".Trash-abc/", top + "work/.Trash-0/"}));
    items.clear();
    ASSERT_TRUE(GetFilesInPathMatchingMasks(top, true, masksOf("*"), items));
    EXPECT_EQ(items, std::vector<std::string>{top + "a.txt"});
    EXPECT_EQ(GetTopLevelFolderContentsInCollection(top, true).Items(),
              (std::vector<std::string>{".Trash-abc/", "work/", "a.txt"}));
}

} // namespace
} // namespace kestrow
