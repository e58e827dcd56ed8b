// Names a person or a program can give files that other tools trip over, trees
// far deeper than anyone makes by hand, names that change only in letter case, and
// a Target that keeps times to two seconds only (FAT).

#include "tests/support/CloneTestSupport.h"
#include "tests/support/FaultSupport.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using NamesTest = CloneTest;

// Every name below `folder` (links not followed), relative, as bytes.
std::set<std::string> namesUnder(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

std::string utf8(int codePoints, const char* each)
{
    std::string s;
    for (int i = 0; i < codePoints; ++i)
        s += each;
    return s;
}

TEST_F(NamesTest, HostileNamesAreMirroredByteExactAndASecondRunPlansNothing)
{
    struct Row
    {
        const char* what;
        std::string name;
    };
    const std::vector<Row> rows = {
        {"line feed", "two\nlines.txt"},
        {"carriage return", "cr\r.txt"},
        {"line feed only", "\n"},
        {"invalid UTF-8", "bad\xff\xfe\x80.txt"},
        {"truncated UTF-8 sequence", "cut\xc3"},
        {"leading dash", "-rf"},
        {"looks like an option", "--help"},
        {"255 bytes", std::string(251, 'n') + ".txt"},
        {"255 bytes of two-byte characters and one more", utf8(127, "\xc3\xa9") + "x"},
        {"blank", " "},
        {"trailing blank", "end "},
        {"tab", "\t"},
        {"backslash", "a\\b"},
        {"glob characters", "*?[x].txt"},
        {"list separators", "a,b;c|d.txt"},
        {"target separator", "x<:>y"},
        {"leftover look-alike", "kw_notes.tmp"},
    };
    for (const Row& row : rows) {
        ASSERT_LE(row.name.size(), 255u) << row.what;
        file("src/" + row.name, "file " + row.name, 1'600'000'000);
        // The same name as a folder holding a file, one level down.
        file("src/dirs/" + row.name + "/inside", "in " + row.name, 1'600'000'000);
        // Orphans with these names must go, and an older copy must be replaced.
        file("tgt/orphans/" + row.name, "orphan");
        file("tgt/" + row.name, "old", 1'500'000'000);
    }
    clone.setDeleteMethod(0);
    for (const int copyMethod : {0, 1, 2}) {
        SCOPED_TRACE(copyMethod);
        clone.setCopyMethod(copyMethod);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
        EXPECT_TRUE(TreeDifferences(src(), tgt()).empty())
            << ::testing::PrintToString(TreeDifferences(src(), tgt()));
        EXPECT_EQ(namesUnder(tgt()), namesUnder(src()));
        for (const Row& row : rows)
            EXPECT_EQ(read(tgt() + row.name), "file " + row.name) << row.what;
        EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
        // Next round starts from a Target that differs again.
        for (const Row& row : rows)
            file("tgt/" + row.name, "old", 1'500'000'000);
    }
    EXPECT_FALSE(exists(tgt() + "orphans"));
}

TEST_F(NamesTest, ATreeThreeHundredLevelsDeepIsMirroredAndAnOrphanOneRemoved)
{
    std::string deep = "src";
    std::string orphan = "tgt/gone";
    for (int level = 0; level < 300; ++level) {
        deep += "/d";
        orphan += "/o";
        if (level % 50 == 49) {
            file(deep + "/f" + std::to_string(level), std::to_string(level));
            file(orphan + "/x", "x");
        }
    }
    file(deep + "/bottom.txt", "bottom");
    folder(deep + "/empty");
    clone.setDeleteMethod(0);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
    EXPECT_TRUE(TreeDifferences(src(), tgt()).empty())
        << ::testing::PrintToString(TreeDifferences(src(), tgt()));
    EXPECT_EQ(namesUnder(tgt()), namesUnder(src()));
    EXPECT_FALSE(exists(tgt() + "gone"));
    EXPECT_TRUE(plan().empty());

    // Removing the whole deep tree from the Source removes it from the Target, bottom up.
    fs::remove_all(src() + "d");
    file("src/keep.txt", "k");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
    EXPECT_EQ(namesUnder(tgt()), std::set<std::string>{"keep.txt"});
}

// a.txt renamed A.txt (and a folder renamed the same way) in the Source: on a
// file system that tells the two apart the Target ends with the new names only.
TEST_F(NamesTest, CaseOnlyRenamesInTheSourceEndAsAnExactMirror)
{
    clone.setDeleteMethod(0);
    for (const int copyMethod : {0, 1, 2}) {
        SCOPED_TRACE(copyMethod);
        fs::remove_all(src());
        fs::remove_all(tgt());
        folder("tgt");
        file("src/a.txt", "contents of a", 1'600'000'000);
        file("src/Docs/Note.txt", "note", 1'600'000'000);
        file("src/both/x.txt", "lower", 1'600'000'000);
        clone.setCopyMethod(copyMethod);
        ASSERT_TRUE(clone.CloneAll(src(), tgt(), true));

        fs::rename(src() + "a.txt", src() + "A.txt");
        fs::rename(src() + "Docs", src() + "docs");
        fs::rename(src() + "docs/Note.txt", src() + "docs/NOTE.txt");
        // Two names that differ only in case, side by side.
        file("src/both/X.txt", "upper", 1'600'000'000);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
        EXPECT_EQ(namesUnder(tgt()), namesUnder(src()));
        EXPECT_TRUE(TreeDifferences(src(), tgt()).empty())
            << ::testing::PrintToString(TreeDifferences(src(), tgt()));
        EXPECT_EQ(read(tgt() + "A.txt"), "contents of a");
        EXPECT_EQ(read(tgt() + "both/X.txt"), "upper");
        EXPECT_EQ(read(tgt() + "both/x.txt"), "lower");
        EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
    }
}

// What FAT keeps of a time: whole seconds, even ones. Linux rounds down; other
// systems that write FAT round up.
void keepFatTimes(const std::string& folder, bool roundUp)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        struct stat st;
        ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
        int64_t seconds = st.st_mtim.tv_sec;
        if (roundUp && (seconds % 2 != 0 || st.st_mtim.tv_nsec != 0))
            seconds += seconds % 2 != 0 ? 1 : 2;
        else if (!roundUp)
            seconds -= seconds % 2;
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
}

TEST_F(NamesTest, TimesKeptToTwoSecondsCopyNothingOnTheSecondRunWithTheTwoSecondOption)
{
    for (const bool roundUp : {false, true}) {
        SCOPED_TRACE(roundUp ? "rounded up" : "rounded down");
        fs::remove_all(src());
        fs::remove_all(tgt());
        folder("tgt");
        file("src/odd.txt", "o", 1'600'000'001, 500'000'000);
        file("src/even-with-fraction.txt", "e", 1'600'000'000, 999'999'900);
        file("src/exact.txt", "x", 1'600'000'002);
        file("src/sub/deeper.txt", "d", 1'600'000'003, 1);
        compare.setIgnoreFAT_NTFS_TwoSecDiff(true);
        ASSERT_TRUE(clone.CloneAll(src(), tgt(), true));
        keepFatTimes(tgt(), roundUp);
        EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
        // Without the option the same times count as changed: the check above can fail.
        compare.setIgnoreFAT_NTFS_TwoSecDiff(false);
        EXPECT_EQ(plan().size(), 3u) << ::testing::PrintToString(plan());
    }
}

TEST_F(NamesTest, AFatTargetCopiesNothingOnTheSecondRunAndFollowsCaseOnlyRenames)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting an image needs root";
    std::string mkfs;
    for (const char* candidate : {"/usr/sbin/mkfs.vfat", "/sbin/mkfs.vfat"})
        if (fs::exists(candidate))
            mkfs = candidate;
    if (mkfs.empty())
        GTEST_SKIP() << "mkfs.vfat (dosfstools) is not installed";
    const std::string image = root() + "fat.img";
    if (std::system(("truncate -s 8M " + shellQuoted(image) + " && " + mkfs + " " + shellQuoted(image) +
                     " >/dev/null 2>&1")
                        .c_str()) != 0)
        GTEST_SKIP() << "the FAT image cannot be made";
    folder("tgt");
    // The kernel's vfat where there is one, else the FUSE driver (fusefat).
    std::unique_ptr<ScopedMount> fat =
        std::make_unique<ScopedMount>("mount -t vfat -o loop " + shellQuoted(image), tgt());
    if (!fat->mounted() && (fs::exists("/usr/bin/fusefat") || fs::exists("/bin/fusefat")))
        fat = std::make_unique<ScopedMount>("fusefat -o rw+ " + shellQuoted(image), tgt());
    if (!fat->mounted())
        GTEST_SKIP() << "a FAT image cannot be mounted here (no vfat in this kernel, no fusefat)";

    file("src/odd.txt", "o", 1'600'000'001, 500'000'000);
    file("src/a.txt", "contents of a", 1'600'000'004);
    file("src/sub/deeper.txt", "d", 1'600'000'003, 1);
    file("src/Docs/letter.txt", "dear", 1'600'000'006);
    compare.setIgnoreFAT_NTFS_TwoSecDiff(true);
    clone.setDeleteMethod(0);
    for (const int copyMethod : {0, 1}) {
        SCOPED_TRACE(copyMethod);
        clone.setCopyMethod(copyMethod);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
        EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
    }
    EXPECT_EQ(read(tgt() + "odd.txt"), "o");
    EXPECT_EQ(read(tgt() + "sub/deeper.txt"), "d");

    // Case only: on FAT a.txt and A.txt are one name. A file takes the new
    // spelling in one run, a folder keeps its old one (renaming folders is what
    // FAT drivers get wrong); the contents are never lost to a deletion of the
    // old name, and the next run has nothing to do.
    fs::rename(src() + "a.txt", src() + "A.txt");
    fs::rename(src() + "Docs", src() + "docs");
    log.ResetInMemoryLog();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
    EXPECT_EQ(logCount(" - Deleted"), 0) << ::testing::PrintToString(logEntries());
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(tgt()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"A.txt", "Docs", "odd.txt", "sub"}));
    EXPECT_EQ(read(tgt() + "A.txt"), "contents of a");
    EXPECT_EQ(read(tgt() + "Docs/letter.txt"), "dear");
    EXPECT_EQ(logCount("The folder \"Docs\" keeps this spelling in the Target"), 1)
        << ::testing::PrintToString(logEntries());
    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
}

} // namespace
} // namespace kestrow::test
