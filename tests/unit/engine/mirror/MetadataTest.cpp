// What a run keeps besides the data: folder modes and times set after their
// contents, metadata-only changes applied in place (never by a copy), and a
// secure delete that does not reach through a hard link.

#include "tests/support/CloneTestSupport.h"

#include <algorithm>
#include <filesystem>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

struct stat StatOf(const std::string& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

bool SetAttribute(const std::string& path, const std::string& name, const std::string& value)
{
    return ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

class MetadataTest : public CloneTest, public ::testing::WithParamInterface<int32_t>
{
protected:
    void SetUp() override { clone.setCopyMethod(GetParam()); }

    void Mirror()
    {
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
        const std::vector<std::string> differences = TreeDifferences(src(), tgt());
        EXPECT_TRUE(differences.empty()) << ::testing::PrintToString(differences);
    }
};

TEST_P(MetadataTest, FoldersKeepTheirModesAndTimesAfterTheirContents)
{
    file("src/private/secret.txt", "s");
    file("src/shared/drop.txt", "d");
    file("src/team/plan.txt", "p");
    file("src/locked/inner/deep.txt", "x");
    setMode(src() + "private", 0700);
    setMode(src() + "shared", 01777);
    setMode(src() + "team", 02775);
    setMode(src() + "locked", 0555);
    for (const char* f : {"private", "shared", "team", "locked/inner", "locked", ""})
        setLastWrite(src() + f, 1'500'000'000, 123'456'789);
    folder("tgt");
    Mirror();
    EXPECT_EQ(modeOf(tgt() + "private") & 07777, 0700u);
    EXPECT_EQ(modeOf(tgt() + "shared") & 07777, 01777u);
    EXPECT_EQ(modeOf(tgt() + "team") & 07777, 02775u);
    const struct stat root = StatOf(tgt());
    EXPECT_EQ(root.st_mtim.tv_sec, 1'500'000'000);
    EXPECT_EQ(root.st_mtim.tv_nsec, 123'456'789);

    // A new file in a folder that is in both trees: the folder's time is the Source's again.
    file("src/private/new.txt", "n");
    setLastWrite(src() + "private", 1'600'000'000);
    log.ResetInMemoryLog();
    Mirror();
    EXPECT_EQ(StatOf(tgt() + "private").st_mtim.tv_sec, 1'600'000'000);
    // The time alone is no attribute change worth a line.
    EXPECT_TRUE(entriesStartingWith(" - Updated attributes:").empty())
        << ::testing::PrintToString(logEntries());

    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
}

TEST_P(MetadataTest, AChangeOfMetadataAloneIsAppliedInPlace)
{
    file("src/doc.txt", "contents");
    file("src/sub/tool.sh", "#!/bin/sh\n");
    setMode(src() + "sub/tool.sh", 0755);
    folder("tgt");
    Mirror();
    const ino_t docInode = StatOf(tgt() + "doc.txt").st_ino;
    const ino_t toolInode = StatOf(tgt() + "sub/tool.sh").st_ino;

    setMode(src() + "doc.txt", 0600);
    setMode(src() + "sub", 0750);
    const bool attributes = SetAttribute(src() + "sub/tool.sh", "user.origin", "build 7");
    const std::vector<std::string> planned = plan();
    EXPECT_NE(
        std::find(planned.begin(), planned.end(), "     UPDATE ATTRIBUTES     \"doc.txt\"  IN  " + tgt()),
        planned.end())
        << ::testing::PrintToString(planned);
    EXPECT_NE(std::find(planned.begin(), planned.end(), "     UPDATE ATTRIBUTES     " + tgt() + "sub/"),
              planned.end())
        << ::testing::PrintToString(planned);
    EXPECT_EQ(planned.size(), attributes ? 3u : 2u) << ::testing::PrintToString(planned);

    log.ResetInMemoryLog();
    Mirror();
    EXPECT_EQ(logCount(" - Updated attributes: doc.txt in " + tgt()), 1)
        << ::testing::PrintToString(logEntries());
    EXPECT_EQ(logCount(" - Updated attributes: sub in " + tgt()), 1);
    if (attributes) {
        EXPECT_EQ(logCount(" - Updated attributes: tool.sh in " + tgt() + "sub/"), 1);
    }
    EXPECT_EQ(logCount(" - Copied:"), 0);
    // The data were not copied again: the same files, changed where they are.
    EXPECT_EQ(StatOf(tgt() + "doc.txt").st_ino, docInode);
    EXPECT_EQ(StatOf(tgt() + "sub/tool.sh").st_ino, toolInode);

    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
}

TEST_P(MetadataTest, AnAttributeUpdateTakenOutOfTheListIsNotMade)
{
    file("src/a.txt", "a");
    folder("tgt");
    Mirror();
    const unsigned before = modeOf(tgt() + "a.txt") & 07777;
    ASSERT_NE(before, 0600u);
    setMode(src() + "a.txt", 0600);
    clone.setConfirmSyncActions(true);
    host.skipIndexes = {0};
    log.ResetInMemoryLog();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(modeOf(tgt() + "a.txt") & 07777, before);
    EXPECT_EQ(logCount(" - Updated attributes:"), 0);
}

std::string CopyMethodName(const ::testing::TestParamInfo<int32_t>& info)
{
    static const char* const names[] = {"RegularCopy", "SafeCopy", "KeepEverything"};
    return names[info.param];
}

TEST_P(MetadataTest, KeepHardLinksClonesTheNamesOfOneFileAsLinksOfOneFile)
{
    file("src/a/first.txt", "shared data");
    folder("src/b");
    folder("src/new/deeper");
    ASSERT_EQ(::link((src() + "a/first.txt").c_str(), (src() + "b/second.txt").c_str()), 0);
    ASSERT_EQ(::link((src() + "a/first.txt").c_str(), (src() + "new/deeper/third.txt").c_str()), 0);
    file("src/single.txt", "alone");
    // The Target already has the second name as a copy of its own.
    file("tgt/b/second.txt", "shared data");
    setLastWrite(tgt() + "b/second.txt", 1'600'000'000);
    setLastWrite(src() + "a/first.txt", 1'600'000'000);
    clone.setKeepHardLinks(true);
    Mirror();
    const struct stat first = StatOf(tgt() + "a/first.txt");
    EXPECT_EQ(first.st_nlink, 3u);
    EXPECT_EQ(StatOf(tgt() + "b/second.txt").st_ino, first.st_ino);
    EXPECT_EQ(StatOf(tgt() + "new/deeper/third.txt").st_ino, first.st_ino);
    EXPECT_EQ(StatOf(tgt() + "single.txt").st_nlink, 1u);
    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());

    // A name split off in the Target is made a link again; with the option off,
    // every name keeps a copy of its own and nothing is planned for the links.
    ASSERT_EQ(::unlink((tgt() + "b/second.txt").c_str()), 0);
    file("tgt/b/second.txt", "shared data");
    setLastWrite(tgt() + "b/second.txt", 1'600'000'000);
    // (Which name the others are linked to follows the order of the listings.)
    EXPECT_FALSE(plan().empty());
    Mirror();
    EXPECT_EQ(StatOf(tgt() + "b/second.txt").st_ino, StatOf(tgt() + "a/first.txt").st_ino);
    EXPECT_EQ(StatOf(tgt() + "new/deeper/third.txt").st_ino, StatOf(tgt() + "a/first.txt").st_ino);
    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
    clone.setKeepHardLinks(false);
    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
}

TEST_P(MetadataTest, WithoutKeepHardLinksEveryNameGetsACopyOfItsOwn)
{
    file("src/one.txt", "x");
    ASSERT_EQ(::link((src() + "one.txt").c_str(), (src() + "two.txt").c_str()), 0);
    folder("tgt");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(StatOf(tgt() + "one.txt").st_nlink, 1u);
    EXPECT_EQ(StatOf(tgt() + "two.txt").st_nlink, 1u);
    EXPECT_EQ(read(tgt() + "two.txt"), "x");
}

INSTANTIATE_TEST_SUITE_P(CopyMethods, MetadataTest, ::testing::Values(0, 1, 2), CopyMethodName);

TEST_F(CloneTest, OwnersAreKeptByEveryCopyMethodWhenRootRuns)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "files of other users need root";
    for (int32_t method : {0, 1, 2}) {
        const std::string s = src() + std::to_string(method) + "/";
        const std::string t = tgt() + std::to_string(method) + "/";
        file("src/" + std::to_string(method) + "/theirs.txt", "t");
        link("src/" + std::to_string(method) + "/their-link", "theirs.txt");
        ASSERT_EQ(::lchown((s + "theirs.txt").c_str(), 12345, 54321), 0);
        ASSERT_EQ(::lchown((s + "their-link").c_str(), 12345, 54321), 0);
        ASSERT_EQ(::chown(s.c_str(), 65534, 65534), 0);
        folder("tgt/" + std::to_string(method));
        clone.setCopyMethod(method);
        EXPECT_TRUE(clone.CloneAll(s, t, true)) << ::testing::PrintToString(logEntries());
        const std::vector<std::string> differences = TreeDifferences(s, t);
        EXPECT_TRUE(differences.empty()) << method << ::testing::PrintToString(differences);

        // Then only the owner changes in the Source: the Target's follows, in place.
        ASSERT_EQ(::lchown((s + "theirs.txt").c_str(), 65534, 65534), 0);
        log.ResetInMemoryLog();
        EXPECT_TRUE(clone.CloneAll(s, t, true));
        EXPECT_EQ(logCount(" - Updated attributes: theirs.txt in " + t), 1)
            << ::testing::PrintToString(logEntries());
        EXPECT_EQ(StatOf(t + "theirs.txt").st_uid, 65534u);
    }
}

TEST_F(CloneTest, SecureDeleteOfAHardLinkedFileLeavesTheOtherLinkWhole)
{
    folder("src");
    file("tgt/gone.txt", "snapshot data");
    folder("snapshot");
    ASSERT_EQ(::link((tgt() + "gone.txt").c_str(), (root() + "snapshot/gone.txt").c_str()), 0);
    clone.setDeleteMethod(3);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
    EXPECT_FALSE(exists(tgt() + "gone.txt"));
    EXPECT_EQ(read(root() + "snapshot/gone.txt"), "snapshot data");
    EXPECT_EQ(
        logCount("Not overwritten before its deletion, as other hard links share its data; only this link "
                 "was removed. - '" +
                 tgt() + "gone.txt'"),
        1)
        << ::testing::PrintToString(logEntries());
}

} // namespace
} // namespace kestrow::test
