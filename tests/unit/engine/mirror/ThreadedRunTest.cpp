// Work done on pool threads ahead of the run's own thread: regular copies of a
// long list, and comparisons by contents or CRC-32. The log still takes every
// entry in the order of the list, errors keep their place, a cancel stops after
// the operation where it was seen, and whatever must go by path waits its turn.

#include "tests/support/CloneTestSupport.h"

#include "engine/RunControl.h"
#include "engine/modCompare.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

// Comfortably above the number of copies at which the threads start.
constexpr int kFiles = 300;

class ThreadedCopyTest : public CloneTest
{
protected:
    static std::string name(int i) { return "f" + std::to_string(1000 + i) + ".txt"; }

    // The log entry each planned entry gives when it succeeds, in the order of the list.
    static std::vector<std::string> expectedEntries(const std::vector<std::string>& planned)
    {
        const std::string copy = "     COPY FILE     \"";
        const std::string create = "     CREATE FOLDER     ";
        std::vector<std::string> out;
        for (const std::string& p : planned) {
            if (p.starts_with(copy)) {
                const size_t nameEnd = p.find("\"  FROM  ", copy.size());
                const size_t to = p.find("  TO  ", nameEnd);
                const std::string file = p.substr(copy.size(), nameEnd - copy.size());
                const std::string from = p.substr(nameEnd + 9, to - nameEnd - 9);
                out.push_back(" - Copied: " + file + " from " + from + " to " + p.substr(to + 6));
            } else if (p.starts_with(create)) {
                out.push_back(" - Created Folder: " + p.substr(create.size()));
            }
        }
        return out;
    }
};

TEST_F(ThreadedCopyTest, CopiesAreLoggedInTheOrderOfTheListAndTheTreesEndEqual)
{
    for (int i = 0; i < kFiles; ++i) {
        const std::string folder = i % 3 == 0 ? "src/" : (i % 3 == 1 ? "src/a/" : "src/a/b/");
        if (i % 13 == 0)
            link(folder + name(i), "target-" + std::to_string(i)); // goes by path, between threaded copies
        else
            file(folder + name(i), std::string(static_cast<size_t>(i * 7), 'x'), 1'600'000'000 + i, i);
    }
    setMode(src() + name(3), 0640);
    setMode(src() + name(6), 04755);
    file("tgt/" + name(9), "older and longer than the Source", 1'500'000'000); // replaced in place

    const std::vector<std::string> expected = expectedEntries(plan());
    ASSERT_GT(expected.size(), static_cast<size_t>(kFiles));
    log.ResetInMemoryLog();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(logEntries(), expected);
    EXPECT_EQ(TreeDifferences(src(), tgt()), std::vector<std::string>{});
    EXPECT_EQ(modeOf(tgt() + name(6)), 04755u);
    EXPECT_TRUE(plan().empty()) << "a second run plans nothing";
}

TEST_F(ThreadedCopyTest, ErrorsAmongThreadedCopiesKeepTheirPlaceInTheLog)
{
    for (int i = 0; i < kFiles; ++i)
        file("src/" + name(i), "before " + std::to_string(i));
    const std::vector<std::string> planned = plan();
    ASSERT_EQ(planned.size(), static_cast<size_t>(kFiles));

    // Between the listing and the copy: some Sources vanish, some change.
    std::vector<std::string> expected;
    for (const std::string& entry : expectedEntries(planned)) {
        const std::string file = entry.substr(11, entry.find(" from ") - 11);
        const int i = std::stoi(file.substr(1)) - 1000;
        if (i % 10 == 3) {
            fs::remove(src() + file);
            expected.push_back(" *Copy Error: 2 No such file or directory " + file + " from " + src() +
                               " to " + tgt());
        } else if (i % 15 == 4) {
            this->file("src/" + file, "after, and longer");
            expected.push_back(" *Copy Error: 0 The file changed while it was being cloned. " + file +
                               " from " + src() + " to " + tgt());
        } else {
            expected.push_back(entry);
        }
    }
    log.ResetInMemoryLog();
    EXPECT_FALSE(clone.PerformFileOperations(src()));
    EXPECT_EQ(logEntries(), expected);
    for (int i = 0; i < kFiles; ++i) {
        if (i % 10 == 3 || i % 15 == 4)
            EXPECT_FALSE(exists(tgt() + name(i))) << name(i);
        else
            EXPECT_EQ(read(tgt() + name(i)), "before " + std::to_string(i)) << name(i);
    }
}

TEST_F(ThreadedCopyTest, ACancelStopsAfterTheOperationWhereItWasSeenAndNothingUnloggedIsCopied)
{
    for (int i = 0; i < kFiles; ++i)
        file("src/" + name(i), std::string(4096, 'c'));
    host.countOnlyWhilePerforming = true;
    host.cancelAtPump = 120; // one pump per operation: seen after the 120th copy
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));

    const std::vector<std::string> entries = logEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), " *User Cancelled Error: ");
    const std::vector<std::string> copied = entriesStartingWith(" - Copied: ");
    EXPECT_EQ(copied.size(), 120u);
    EXPECT_EQ(entries.size(), copied.size() + 1);
    size_t inTarget = 0;
    for (const auto& e : fs::directory_iterator(tgt())) {
        ++inTarget;
        const std::string file = e.path().filename().string();
        EXPECT_EQ(logCount(" - Copied: " + file + " from "), 1) << file << " was copied but not logged";
    }
    EXPECT_EQ(inTarget, copied.size());
}

TEST_F(ThreadedCopyTest, ReadOnlyAndLinkedTargetsAmongThreadedCopiesAreReplacedInOrder)
{
    for (int i = 0; i < kFiles; ++i)
        file("src/" + name(i), "new " + std::to_string(i), 1'600'000'000);
    fs::create_directories(root() + "outside");
    for (int i = 0; i < kFiles; i += 5) {
        const std::string old = file("tgt/" + name(i), "old", 1'500'000'000);
        if (i % 2 == 0)
            setMode(old, 0444); // read-only: replaced after its retry, by path
    }
    // A link where the Source has a file is replaced, and what it points to is left alone.
    const std::string outsideFile = file("outside/keep.txt", "keep");
    fs::remove(tgt() + name(7));
    link("tgt/" + name(7), outsideFile);

    const std::vector<std::string> expected = expectedEntries(plan());
    log.ResetInMemoryLog();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(logEntries(), expected);
    EXPECT_EQ(TreeDifferences(src(), tgt()), std::vector<std::string>{});
    EXPECT_EQ(read(outsideFile), "keep");
}

// Pairs alike in size and time, some differing in their bytes only: only a
// comparison of the contents tells them apart.
class ThreadedCompareTest : public ThreadedCopyTest, public ::testing::WithParamInterface<int32_t>
{
protected:
    void makePairs()
    {
        for (int i = 0; i < kFiles; ++i) {
            const std::string folder = i < kFiles / 2 ? "" : "sub/";
            const std::string bytes(static_cast<size_t>(100 + i), 'a');
            file("src/" + folder + name(i), bytes);
            std::string other = bytes;
            if (i % 7 == 2)
                other.back() = 'b'; // same size, same time, other bytes
            file("tgt/" + folder + name(i), other);
            if (i % 11 == 5) {
                // Alike, but not both regular files: judged without reading.
                fs::remove(tgt() + folder + name(i));
                link("tgt/" + folder + name(i), name(i));
            }
        }
    }
};

TEST_P(ThreadedCompareTest, ThePlanIsTheOneASequentialComparisonMakes)
{
    compare.setCompareMethod(GetParam());
    makePairs();
    std::vector<std::string> expected;
    for (int i = 0; i < kFiles; ++i) {
        if (i % 7 != 2 && i % 11 != 5)
            continue;
        const std::string folder = i < kFiles / 2 ? "" : "sub/";
        expected.push_back("     COPY FILE     \"" + name(i) + "\"  FROM  " + src() + folder + "  TO  " +
                           tgt() + folder);
    }
    std::vector<std::string> planned = plan();
    // The plan goes breadth-first, a folder's files in listing order: compare as sets of lines in order per
    // folder.
    auto inFolder = [](const std::vector<std::string>& lines, const std::string& folder) {
        std::vector<std::string> out;
        for (const std::string& l : lines) {
            if (l.ends_with("  TO  " + folder))
                out.push_back(l);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(planned.size(), expected.size());
    EXPECT_EQ(inFolder(planned, tgt()), inFolder(expected, tgt()));
    EXPECT_EQ(inFolder(planned, tgt() + "sub/"), inFolder(expected, tgt() + "sub/"));
    EXPECT_EQ(logEntries(), std::vector<std::string>{}) << "nothing failed, nothing is logged";
}

TEST_P(ThreadedCompareTest, FailuresAreLoggedInTheOrderOfTheWalk)
{
    switch (RunWithPermissionsEnforced()) {
    case Enforced::DoneInChild:
        return;
    case Enforced::Unavailable:
        GTEST_SKIP() << "running as root without setpriv: permissions cannot be enforced";
    case Enforced::RunHere:
        break;
    }
    compare.setCompareMethod(GetParam());
    makePairs();
    // The walk meets the Target's entries in listing order; the failures must come in that order.
    std::vector<std::string> expected;
    std::vector<platform::DirEntry> entries;
    ASSERT_EQ(platform::listFolder(tgt(), entries), 0);
    const std::string kind = GetParam() == CompareMethodContents
                                 ? " *Content Compare Error: 13 Permission denied "
                                 : " *CRC Compare Error: 13 Permission denied ";
    for (const platform::DirEntry& e : entries) {
        if (e.isFolder() || e.type != platform::EntryType::File)
            continue;
        const int i = std::stoi(e.name.substr(1)) - 1000;
        if (i % 5 == 1) {
            setMode(src() + e.name, 0);
            expected.push_back(kind + "Comparing " + e.name + " in " + src() + " and " + tgt());
        }
    }
    ASSERT_GT(expected.size(), 10u);
    plan();
    EXPECT_EQ(entriesStartingWith(GetParam() == CompareMethodContents ? " *Content Compare Error: "
                                                                      : " *CRC Compare Error: "),
              expected);
}

TEST_P(ThreadedCompareTest, ACancelDuringComparisonsEndsTheWalkCleanly)
{
    compare.setCompareMethod(GetParam());
    makePairs();
    host.cancelAtPump = 40; // in the middle of the first folder's comparisons
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(logCount(" *User Cancelled Error: "), 1);
    EXPECT_EQ(entriesStartingWith(" - Copied: ").size(), 0u) << "nothing is performed after a cancel";
}

INSTANTIATE_TEST_SUITE_P(Methods, ThreadedCompareTest,
                         ::testing::Values(CompareMethodContents, CompareMethodCRC32),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return info.param == CompareMethodContents ? std::string("Contents")
                                                                        : std::string("Crc32");
                         });

} // namespace
} // namespace kestrow::test
