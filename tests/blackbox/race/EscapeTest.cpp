// Ways out of the roots that are no race at all: include items that lead outside
// the Source ("..", absolute paths, links inside the Source), exclude items spelt
// otherwise than the Source root, roots that overlap only by a bind mount, and the
// trash folders at a mount's top reached through another spelling of the root.

#include "tests/support/RaceSupport.h"

#include <algorithm>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

class EscapeTest : public RaceFixture
{
protected:
    // The Target lies one level deeper than the Source, so an item that climbs out
    // of the Source by ".." lands outside the Target too instead of on the Source.
    std::string s() const { return root() + "s/"; }
    std::string t() const { return root() + "t/deep/"; }
    std::string other() const { return root() + "other/"; }

    void MakeOther()
    {
        file("other/o.txt", "OTHER:o");
        file("other/inner/i.txt", "OTHER:i");
        file("t/deep/keep.txt", "TARGET:keep");
        // Where an item climbing out of the Source would land on the Target side.
        file("t/other/outside.txt", "OUTSIDE:keep");
    }

    static std::vector<std::string> NamesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Runs the include-item modes with `items`.
struct IncludeMode
{
    const char* what;
    std::function<bool(cClone&, const std::string&, const std::string&, const std::string&)> run;
};

const IncludeMode kIncludeModes[] = {
    {"inclusions only",
     [](cClone& c, const std::string& s, const std::string& t, const std::string& items) {
         return c.CloneSelected_InclusionsOnly(s, t, true, items, "");
     }},
    {"inclusion and exclusion",
     [](cClone& c, const std::string& s, const std::string& t, const std::string& items) {
         return c.CloneSelected_InclusionExclusion(s, t, true, items, "", "", "*.tmp");
     }},
};

TEST_F(EscapeTest, IncludeItemsLeadingOutOfTheSourceReadAndChangeNothingOutside)
{
    file("s/sub/a.txt", "SOURCE:a");
    file("s/real/b.txt", "SOURCE:b");
    link("s/lnk", other().substr(0, other().size() - 1));
    struct Row
    {
        const char* what;
        std::string item;
    };
    const Row rows[] = {
        {"relative, climbing out", "sub/../../other/"},
        {"relative file, climbing out", "sub/../../other/o.txt"},
        {"absolute, outside the Source", other()},
        {"absolute file, outside the Source", other() + "o.txt"},
        {"below the Source root in text, climbing out", s() + "sub/../../other/"},
        {"file below the Source root in text, climbing out", s() + "sub/../../other/o.txt"},
        {"through a link inside the Source", s() + "lnk/"},
        {"a file through a link inside the Source", s() + "lnk/o.txt"},
        {"a folder through a link inside the Source", s() + "lnk/inner/"},
    };
    // Relative items mean the same whether taken from the Source root or the working folder.
    fs::current_path(s());
    for (const IncludeMode& mode : kIncludeModes) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(mode.what) + ": " + row.what);
            RemoveTreeAt(other());
            RemoveTreeAt(root() + "t");
            MakeOther();
            const std::string otherBefore = TreeDigestAt(other());
            const std::string outsideBefore = TreeDigestAt(root() + "t/other");
            fs::remove(log.LogFileSpec());
            log.ResetInMemoryLog();
            // A good item beside the bad one is still cloned.
            const std::string items = s() + "real/<:>" + row.item;
            EXPECT_FALSE(mode.run(clone, s(), t(), items));
            EXPECT_EQ(logLinesHolding(" *Include Filter Error: ").size(), 1u) << allLog();
            EXPECT_EQ(TreeDigestAt(other()), otherBefore);
            EXPECT_EQ(TreeDigestAt(root() + "t/other"), outsideBefore);
            EXPECT_EQ(FilesHolding(root() + "t", "OTHER:"), std::vector<std::string>{});
            EXPECT_EQ(NamesIn(root() + "t"), (std::vector<std::string>{"deep", "other"}));
            EXPECT_EQ(NamesIn(t()), (std::vector<std::string>{"keep.txt", "real"}));
            EXPECT_EQ(read(t() + "real/b.txt"), "SOURCE:b");
        }
    }
    fs::current_path(savedCwd);
}

// Runs the exclude-item modes.
struct ExcludeMode
{
    const char* what;
    std::function<bool(cClone&, const std::string&, const std::string&, const std::string&)> run;
};

const ExcludeMode kExcludeModes[] = {
    {"exclusions only",
     [](cClone& c, const std::string& s, const std::string& t, const std::string& items) {
         return c.CloneSelected_ExclusionsOnly(s, t, true, items, "");
     }},
    {"inclusion and exclusion by mask",
     [](cClone& c, const std::string& s, const std::string& t, const std::string& items) {
         return c.CloneSelected_InclusionExclusion(s, t, true, "", "*", items, "");
     }},
};

TEST_F(EscapeTest, ExcludedFolderSpeltOtherwiseThanTheSourceRootIsLeftAlone)
{
    const std::string r = root();
    struct Row
    {
        const char* what;
        std::string sourceRoot; // relative ones are taken from the temporary root
        std::string excluded;
    };
    const Row rows[] = {
        {"the same spelling", r + "s/", r + "s/x/"},
        {"item with ./", r + "s/", r + "s/./x/"},
        {"item with //", r + "s/", r + "s//x/"},
        {"item with // before the root", r + "s/", r.substr(0, r.size() - 1) + "//s/x/"},
        {"root with ./", r + "./s/", r + "s/x/"},
        {"root with //", r + "s//", r + "s/x/"},
        {"relative root, absolute item", "s/", r + "s/x/"},
        {"relative root with ./, absolute item", "./s/", r + "s/x/"},
    };
    fs::current_path(root());
    for (const ExcludeMode& mode : kExcludeModes) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(mode.what) + ": " + row.what);
            fs::remove_all(s());
            fs::remove_all(root() + "t");
            file("s/keep.txt", "SOURCE:keep");
            file("s/x/a.txt", "SOURCE:a", 1'700'000'000);
            file("s/x/new.txt", "SOURCE:new");
            file("t/x/a.txt", "TARGET:a", 1'500'000'000);
            file("t/x/target-only.txt", "TARGET:only");
            file("t/x/deeper/target-only.txt", "TARGET:deeper");
            const std::string excludedBefore = TreeDigestAt(root() + "t/x");
            mode.run(clone, row.sourceRoot, root() + "t/", row.excluded);
            EXPECT_EQ(TreeDigestAt(root() + "t/x"), excludedBefore);
            EXPECT_EQ(read(root() + "t/keep.txt"), "SOURCE:keep"); // the rest is cloned
        }
    }
    fs::current_path(savedCwd);
}

TEST_F(EscapeTest, TargetOnlyFileMatchingAnExcludeItemIsNeverDeleted)
{
    struct Mode
    {
        const char* what;
        std::function<bool(cClone&, const std::string&)> run;
    };
    const std::string sr = root() + "s/", tr = root() + "t/";
    const Mode modes[] = {
        {"exclusions only",
         [&](cClone& c, const std::string& ex) {
             return c.CloneSelected_ExclusionsOnly(sr, tr, true, ex, "");
         }},
        {"include mask, exclude item",
         [&](cClone& c, const std::string& ex) {
             return c.CloneSelected_InclusionExclusion(sr, tr, true, "", "*.txt", ex, "");
         }},
        {"include folder item, exclude item",
         [&](cClone& c, const std::string& ex) {
             return c.CloneSelected_InclusionExclusion(sr, tr, true, sr + "inc/", "", ex, "");
         }},
        {"include file item, exclude item",
         [&](cClone& c, const std::string& ex) {
             return c.CloneSelected_InclusionExclusion(sr, tr, true, sr + "inc/a.txt", "*.txt", ex, "");
         }},
    };
    for (const Mode& mode : modes) {
        for (const bool asFolder : {false, true}) {
            SCOPED_TRACE(std::string(mode.what) + (asFolder ? ", folder item" : ", file item"));
            fs::remove_all(sr);
            fs::remove_all(tr);
            file("s/inc/a.txt", "SOURCE:a");
            file("t/inc/private.txt", "TARGET:private");
            file("t/inc/mine/notes.txt", "TARGET:notes");
            file("t/inc/orphan.txt", "TARGET:orphan");
            const std::string excluded = asFolder ? sr + "inc/mine/" : sr + "inc/private.txt";
            EXPECT_TRUE(mode.run(clone, excluded)) << allLog();
            if (asFolder)
                EXPECT_EQ(read(tr + "inc/mine/notes.txt"), "TARGET:notes");
            else
                EXPECT_EQ(read(tr + "inc/private.txt"), "TARGET:private");
            EXPECT_EQ(read(tr + "inc/a.txt"), "SOURCE:a");
        }
    }
}

// Roots that are one folder, or one inside the other, only through a bind mount.
TEST_F(EscapeTest, RootsThatOverlapThroughABindMountAreRefused)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    struct Row
    {
        const char* what;
        const char* mountedFrom; // bound at `mountedAt`
        const char* mountedAt;
        const char* source;
        const char* target;
    };
    const Row rows[] = {
        {"Source is a Target subfolder", "t/x", "s", "s/", "t/"},
        {"Target is a Source subfolder", "s/y", "t", "s/", "t/"},
        {"Target is the Source", "s", "t", "s/", "t/"},
        {"Source is a subfolder of the Target, named through another mount", "t", "m", "m/x/", "t/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        unmountAll();
        for (const char* p : {"s", "t", "m"})
            fs::remove_all(root() + p);
        file("s/a.txt", "SOURCE:a");
        file("s/y/b.txt", "SOURCE:b");
        file("t/x/c.txt", "TARGET:c");
        file("t/x/sub/d.txt", "TARGET:d");
        file("t/orphan.txt", "TARGET:orphan");
        folder("m");
        ASSERT_TRUE(mountFor("mount --bind " + shellQuoted(root() + row.mountedFrom), root() + row.mountedAt))
            << "a bind mount cannot be made here";
        const std::string sBefore = TreeDigestAt(root() + "s"), tBefore = TreeDigestAt(root() + "t");
        const std::string source = root() + row.source, target = root() + row.target;
        const std::function<bool()> runs[] = {
            [&] { return clone.CloneAll(source, target, true); },
            [&] { return clone.CloneSelected_InclusionsOnly(source, target, true, "", "*"); },
            [&] { return clone.CloneSelected_ExclusionsOnly(source, target, true, "", "*.tmp"); },
            [&] {
                return clone.CloneSelected_InclusionExclusion(source, target, true, "", "*", "", "*.tmp");
            },
        };
        for (const auto& run : runs) {
            log.ResetInMemoryLog();
            EXPECT_FALSE(run());
            EXPECT_EQ(logLinesHolding(" *Folder Path Error: ").size(), 1u) << allLog();
            EXPECT_EQ(TreeDigestAt(root() + "s"), sBefore);
            EXPECT_EQ(TreeDigestAt(root() + "t"), tBefore);
        }
    }
}

// However the root is spelt, the trash of the mount whose top it is stays out of the run.
TEST_F(EscapeTest, TrashAtAMountTopIsLeftAloneWhateverTheRootsSpelling)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    folder("mnt");
    if (!mountFor("mount -t tmpfs -o size=1m kestrow-race", root() + "mnt"))
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    link("mntlink", "mnt");
    const std::string spellings[] = {
        "mnt", "./mnt", "mnt//", "mntlink", root() + "mntlink", root() + "./mnt/", root() + "mnt//"};
    fs::current_path(root());
    for (const int32_t deleteMethod : {0, 1}) {
        for (const std::string& spelling : spellings) {
            SCOPED_TRACE(spelling + ", delete method " + std::to_string(deleteMethod));
            clone.setDeleteMethod(deleteMethod);
            RemoveTreeAt(root() + "mnt/.Trash-0");
            RemoveTreeAt(root() + "plain");
            RemoveTreeAt(root() + "mnt/a.txt");
            file("mnt/.Trash-0/files/x", "TRASH:x");
            file("mnt/.Trash-0/info/x.trashinfo", "[Trash Info]\nPath=/x\n");
            file("plain/a.txt", "SOURCE:a");
            const std::string trashBefore = TreeDigestAt(root() + "mnt/.Trash-0");

            // As the Target: the plan holds no entry for it, and the run leaves it.
            clone.setPlanOnly(true);
            clone.CloneAll(root() + "plain/", spelling, true);
            clone.setPlanOnly(false);
            std::vector<std::string> texts;
            clone.GetSyncActionStrings(texts);
            for (const std::string& text : texts)
                EXPECT_EQ(text.find(".Trash-0/files"), std::string::npos) << text;
            clone.CloneAll(root() + "plain/", spelling, true);
            EXPECT_EQ(TreeDigestAt(root() + "mnt/.Trash-0"), trashBefore);
            EXPECT_EQ(FilesHolding(homeTrash(), "TRASH:"), std::vector<std::string>{});
            EXPECT_EQ(read(root() + "mnt/a.txt"), "SOURCE:a");

            // As the Source: it is not copied.
            RemoveTreeAt(root() + "copy");
            folder("copy");
            clone.CloneAll(spelling, root() + "copy/", true);
            EXPECT_EQ(FilesHolding(root() + "copy", "TRASH:"), std::vector<std::string>{});
            EXPECT_FALSE(exists(root() + "copy/.Trash-0"));
            EXPECT_EQ(read(root() + "copy/a.txt"), "SOURCE:a");
            EXPECT_EQ(TreeDigestAt(root() + "mnt/.Trash-0"), trashBefore);
        }
    }
    fs::current_path(savedCwd);
}

} // namespace
} // namespace kestrow::test
