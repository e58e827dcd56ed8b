// Trees whose paths are far longer than PATH_MAX: a run works through folder
// handles, so depth alone is no reason for an error.

#include "tests/support/RaceSupport.h"

#include <filesystem>

#include <sys/resource.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using LongPathTest = RaceFixture;

TEST_F(LongPathTest, TreesPastThePathLimitAreClonedByteExactAndKeptInStep)
{
    struct Row
    {
        size_t pathBytes;
        int32_t copyMethod;
        int32_t deleteMethod;
    };
    const Row rows[] = {
        {5'000, 0, 0}, {5'000, 1, 1}, {5'000, 2, 3}, {20'000, 0, 0}, {20'000, 1, 1}, {20'000, 2, 3},
    };
    const std::string level(200, 'n');
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>(i * 7 % 256);
    const std::string s = root() + "s", t = root() + "t";
    deepTrees = {s, t};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.pathBytes) + " bytes, copy method " + std::to_string(row.copyMethod) +
                     ", delete method " + std::to_string(row.deleteMethod));
        RemoveTreeAt(s);
        RemoveTreeAt(t);
        RemoveTreeAt(homeTrash());
        fs::remove(log.LogFileSpec());
        log.ResetInMemoryLog();
        clone.setCopyMethod(row.copyMethod);
        clone.setDeleteMethod(row.deleteMethod);
        file("s/top.txt", "top");
        folder("t");
        const std::string deepSource = MakeFolderChain(s, level, row.pathBytes);
        ASSERT_GT(deepSource.size(), row.pathBytes);
        WriteFileAt(deepSource, "deep.bin", bytes, 0640, 1'650'000'123);
        const std::string deepTarget = t + deepSource.substr(s.size());

        EXPECT_TRUE(clone.CloneAll(s + "/", t + "/", true)) << allLog().substr(0, 600);
        EXPECT_EQ(TreeDifferencesAt(s, t), std::vector<std::string>{});
        EXPECT_TRUE(ReadFileAt(deepTarget, "deep.bin") == bytes) << "the deep file is missing or differs";
        // The log names the file by its whole path, not a shortened one.
        EXPECT_EQ(logLinesHolding(" - Copied: deep.bin "),
                  std::vector<std::string>{" - Copied: deep.bin from " + deepSource + " to " + deepTarget});

        // In step: a second run plans nothing.
        clone.setPlanOnly(true);
        clone.CloneAll(s + "/", t + "/", true);
        clone.setPlanOnly(false);
        std::vector<std::string> texts;
        clone.GetSyncActionStrings(texts);
        EXPECT_EQ(texts.size(), 0u) << (texts.empty() ? std::string() : texts.front().substr(0, 300));

        // A deep Target-only file goes, and the log says where it was.
        WriteFileAt(deepTarget, "orphan.bin", "o");
        if (!ExistsAt(deepTarget, "orphan.bin")) {
            ADD_FAILURE() << "the deep Target folder was never made";
            continue;
        }
        log.ResetInMemoryLog();
        EXPECT_TRUE(clone.CloneAll(s + "/", t + "/", true)) << allLog().substr(0, 600);
        EXPECT_FALSE(ExistsAt(deepTarget, "orphan.bin"));
        EXPECT_EQ(logLinesHolding(" - Deleted: orphan.bin "),
                  std::vector<std::string>{" - Deleted: orphan.bin from " + deepTarget});
        EXPECT_EQ(TreeDifferencesAt(s, t), std::vector<std::string>{});
    }
    RemoveTreeAt(s);
    RemoveTreeAt(t);
}

// A run holds a bounded number of folders open whatever the tree's shape (the
// roots, 64 recent folders, the listings read ahead): with the process allowed
// only 256 descriptors, a tree of 600 folders side by side and a chain 400
// levels deep is cloned, every copy and delete method alike.
TEST_F(LongPathTest, ATreeOfAnyShapeRunsInAFewDescriptors)
{
    const std::string s = root() + "s", t = root() + "t";
    deepTrees = {s, t};
    for (int i = 0; i < 600; ++i)
        file("s/wide/w" + std::to_string(i) + "/f.txt", "w");
    const std::string deepSource = MakeFolderChain(s + "/deep", "d", 400 * 2);
    WriteFileAt(deepSource, "deep.txt", "deep");
    folder("t");
    struct rlimit saved
    {
    };
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    for (const int32_t method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        clone.setCopyMethod(method);
        clone.setDeleteMethod(method == 1 ? 1 : method == 2 ? 3 : 0);
        WriteFileAt(t + deepSource.substr(s.size()), "orphan.txt", "o"); // fails quietly on the first round
        EXPECT_TRUE(clone.CloneAll(s + "/", t + "/", true)) << allLog().substr(0, 600);
        EXPECT_EQ(TreeDifferencesAt(s, t), std::vector<std::string>{});
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    RemoveTreeAt(s);
    RemoveTreeAt(t);
}

} // namespace
} // namespace kestrow::test
