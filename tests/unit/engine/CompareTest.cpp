#include "engine/cCompare.h"
#include "engine/modCompare.h"

#include "base/ErrorReporter.h"
#include "tests/support/EngineTestSupport.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::EngineTest;
using test::entryAt;
using test::kTicks;

TEST(cCompare, FreshObjectHasMethodZeroAndEveryFlagOff)
{
    const cCompare c;
    EXPECT_EQ(c.CompareMethod(), 0);
    EXPECT_FALSE(c.IgnoreFAT_NTFS_TwoSecDiff());
    EXPECT_FALSE(c.IgnoreFAT_NTFS_DaylightSavings());
    EXPECT_FALSE(c.IgnoreSystemFiles());
    EXPECT_FALSE(c.IgnoreHiddenFiles());
    EXPECT_FALSE(c.IgnoreSystemFolders());
    EXPECT_FALSE(c.IgnoreHiddenFolders());
}

TEST(cCompare, StoresEveryValueUnchanged)
{
    cCompare c;
    c.setCompareMethod(7); // outside 0..3: kept as given
    c.setIgnoreFAT_NTFS_TwoSecDiff(true);
    c.setIgnoreHiddenFolders(true);
    c.setIgnoreSystemFiles(true);
    EXPECT_EQ(c.CompareMethod(), 7);
    EXPECT_TRUE(c.IgnoreFAT_NTFS_TwoSecDiff());
    EXPECT_FALSE(c.IgnoreFAT_NTFS_DaylightSavings());
    EXPECT_TRUE(c.IgnoreHiddenFolders());
    EXPECT_TRUE(c.IgnoreSystemFiles());
    EXPECT_FALSE(c.IgnoreHiddenFiles());
    EXPECT_FALSE(c.IgnoreSystemFolders());
    c.setCompareMethod(-1);
    EXPECT_EQ(c.CompareMethod(), -1);
}

TEST(cCompare, OptionsFallBackToDefaultsWithoutProgramWideObject)
{
    gCompare = nullptr;
    EXPECT_EQ(CompareOptions().CompareMethod(), 0);
    cCompare mine;
    mine.setIgnoreHiddenFiles(true);
    gCompare = &mine;
    EXPECT_TRUE(CompareOptions().IgnoreHiddenFiles());
    gCompare = nullptr;
}

// ---------------------------------------------------------------------------
// Timestamps. Differences are Source minus Target, in 100-ns units.

struct TimestampRow
{
    const char* name;
    int64_t difference;
    bool twoSec;
    bool dst;
    int32_t expected;
};

// Test names carry the row name; the row itself prints as that name too.
void PrintTo(const TimestampRow& row, std::ostream* os)
{
    *os << row.name;
}

class TimestampComparison : public ::testing::TestWithParam<TimestampRow>
{
};

TEST_P(TimestampComparison, Result)
{
    const int64_t target = platform::fileTimeFromUnix(1'780'000'000, 123'456'700);
    const TimestampRow& row = GetParam();
    const auto source = entryAt(target + row.difference);
    EXPECT_EQ(CompareFilesUsingTimestamp(source, entryAt(target), row.twoSec, row.dst), row.expected);
    EXPECT_EQ(AreFilesSameUsingTimestamp(source, entryAt(target), row.twoSec, row.dst), row.expected == 0);
}

constexpr int64_t kHalf = kTicks / 2;

INSTANTIATE_TEST_SUITE_P(
    modCompare, TimestampComparison,
    ::testing::Values(
        // Without allowances the times compare exactly.
        TimestampRow{"Exact_Equal", 0, false, false, 0},
        TimestampRow{"Exact_OneTickNewer", 1, false, false, 1},
        TimestampRow{"Exact_OneTickOlder", -1, false, false, -1},
        TimestampRow{"Exact_TwoSecondsApartDiffer", 2 * kTicks, false, false, 1},
        TimestampRow{"Exact_HalfSecondIsNotRounded", kHalf, false, false, 1},
        // Two-second allowance.
        TimestampRow{"TwoSec_TwoSecondsNewerSame", 2 * kTicks, true, false, 0},
        TimestampRow{"TwoSec_TwoSecondsOlderSame", -2 * kTicks, true, false, 0},
        TimestampRow{"TwoSec_OneAndAHalfRoundsToTwo", 3 * kHalf, true, false, 0},
        TimestampRow{"TwoSec_TwoAndAHalfRoundsToTwo", 5 * kHalf, true, false, 0},
        TimestampRow{"TwoSec_JustOverTwoAndAHalfRoundsToThree", 5 * kHalf + 1, true, false, 1},
        TimestampRow{"TwoSec_MinusTwoAndAHalfRoundsToMinusTwo", -5 * kHalf, true, false, 0},
        TimestampRow{"TwoSec_MinusThreeAndAHalfRoundsToMinusFour", -7 * kHalf, true, false, -1},
        TimestampRow{"TwoSec_HalfSecondRoundsToZero", kHalf, true, false, 0},
        TimestampRow{"TwoSec_ThreeSecondsDiffer", 3 * kTicks, true, false, 1},
        TimestampRow{"TwoSec_OneHourDiffers", 3600 * kTicks, true, false, 1},
        // Daylight-saving allowance.
        TimestampRow{"Dst_OneHourNewerSame", 3600 * kTicks, false, true, 0},
        TimestampRow{"Dst_OneHourOlderSame", -3600 * kTicks, false, true, 0},
        TimestampRow{"Dst_TwoSecondsDiffer", 2 * kTicks, false, true, 1},
        TimestampRow{"Dst_OneHourAndOneSecondDiffers", 3601 * kTicks, false, true, 1},
        // Both.
        TimestampRow{"Both_ThreeSecondsDiffer", 3 * kTicks, true, true, 1},
        TimestampRow{"Both_3597Differs", 3597 * kTicks, true, true, 1},
        TimestampRow{"Both_3598Same", 3598 * kTicks, true, true, 0},
        TimestampRow{"Both_3601Same", 3601 * kTicks, true, true, 0},
        TimestampRow{"Both_3602OlderSame", -3602 * kTicks, true, true, 0},
        TimestampRow{"Both_3603Differs", 3603 * kTicks, true, true, 1},
        TimestampRow{"Both_3602AndAHalfRoundsTo3602", 3602 * kTicks + kHalf, true, true, 0},
        TimestampRow{"Both_3603AndAHalfRoundsTo3604", 3603 * kTicks + kHalf, true, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(modCompare, AllowanceTable)
{
    struct Row
    {
        int64_t d;
        bool twoSec, dst;
        int64_t expected;
    };
    // The rows the timestamp table above cannot reach: the sign is kept, and with
    // no allowance nothing is swallowed.
    const Row rows[] = {
        {-3603, true, true, -3603}, {-3, true, false, -3}, {3599, false, true, 3599},
        {2, false, false, 2},       {-2, true, false, 0},  {-3598, true, true, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FAT_NTFS_TimeDiffAllowance(row.d, row.twoSec, row.dst), row.expected)
            << row.d << " two=" << row.twoSec << " dst=" << row.dst;
}

TEST(modCompare, RoundingHalvesToEvenEvenForExtremeTimes)
{
    struct Row
    {
        int64_t difference;
        int64_t seconds;
    };
    const Row rows[] = {
        {0, 0},           {kHalf - 1, 0}, {kHalf, 0},        {kHalf + 1, 1},      {3 * kHalf, 2},
        {5 * kHalf, 2},   {7 * kHalf, 4}, {-kHalf, 0},       {-3 * kHalf, -2},    {-5 * kHalf, -2},
        {-kHalf - 1, -1}, {-1, 0},        {10 * kTicks, 10}, {-10 * kTicks, -10},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RoundedSecondsDifference(row.difference, 0), row.seconds) << row.difference;
    constexpr int64_t top = std::numeric_limits<int64_t>::max();
    constexpr int64_t bottom = std::numeric_limits<int64_t>::min();
    // 2^64 - 1 ticks: 1844674407370.955... s
    EXPECT_EQ(RoundedSecondsDifference(top, bottom), int64_t{1'844'674'407'371});
    EXPECT_EQ(RoundedSecondsDifference(bottom, top), int64_t{-1'844'674'407'371});
}

TEST(modCompare, SizeComparesTheWholeSize)
{
    EXPECT_TRUE(AreFilesSameUsingSize(entryAt(0, 10), entryAt(99, 10)));
    EXPECT_FALSE(AreFilesSameUsingSize(entryAt(0, 10), entryAt(0, 11)));
    // Only the high halves differ.
    EXPECT_FALSE(AreFilesSameUsingSize(entryAt(0, 5), entryAt(0, (uint64_t{1} << 32) + 5)));
}

// ---------------------------------------------------------------------------
// Contents and CRC-32 on real files.

class ContentComparison : public EngineTest
{
protected:
    ContentComparison()
    {
        tmp.makeDir("src");
        tmp.makeDir("tgt");
    }
    std::string src() const { return tmp.path() + "/src/"; }
    std::string tgt() const { return tmp.path() + "/tgt/"; }

    struct Outcome
    {
        bool same;
        bool error;
    };
    Outcome contents(const std::string& name)
    {
        bool error = false;
        const bool same = AreFilesSameUsingContents(src(), tgt(), name, error);
        return {same, error};
    }
    Outcome crc(const std::string& name)
    {
        bool error = false;
        const bool same = AreFilesSameUsingCRC32(src(), tgt(), name, error);
        return {same, error};
    }
};

TEST_F(ContentComparison, PairsJudgedTheSameWayByContentsAndCrc)
{
    struct Row
    {
        const char* name;
        std::string sourceBytes; // written as a file when `links` is false
        std::string targetBytes;
        bool expectedSame;
    };
    const std::string big(3 * 1024 * 1024 + 17, 'k');
    std::string bigLastByteChanged = big;
    bigLastByteChanged.back() = 'q';
    const Row rows[] = {
        {"identical.txt", "hello", "hello", true},
        {"equal size, other bytes.txt", "hello", "jello", false},
        {"other size.txt", "hello", "hello!", false},
        {"both empty", "", "", true},
        {"big, last byte differs.bin", big, bigLastByteChanged, false},
        {"big, identical.bin", big, big, true},
        {"name\nwith newline", "a", "a", true},
        {"back\\slash", "a", "b", false},
        {"bad utf8 \xff\xfe", "a", "a", true},
    };
    for (const Row& row : rows) {
        tmp.writeFile(std::string("src/") + row.name, row.sourceBytes);
        tmp.writeFile(std::string("tgt/") + row.name, row.targetBytes);
        const Outcome byContents = contents(row.name);
        const Outcome byCrc = crc(row.name);
        EXPECT_EQ(byContents.same, row.expectedSame) << row.name;
        EXPECT_EQ(byCrc.same, row.expectedSame) << row.name;
        EXPECT_FALSE(byContents.error) << row.name;
        EXPECT_FALSE(byCrc.error) << row.name;
    }
    EXPECT_TRUE(log.InMemoryString().empty());
}

TEST_F(ContentComparison, EqualSizeOtherContentIsSameOnlyBySize)
{
    tmp.writeFile("src/a.txt", "abcd");
    tmp.writeFile("tgt/a.txt", "abce");
    EXPECT_TRUE(AreFilesSameUsingSize(entryOf(src(), "a.txt"), entryOf(tgt(), "a.txt")));
    EXPECT_FALSE(contents("a.txt").same);
    EXPECT_FALSE(crc("a.txt").same);
}

TEST_F(ContentComparison, LinksAndSpecialFilesAreJudgedWithoutOpening)
{
    struct Row
    {
        const char* name;
        const char* sourceLink; // link target text, or nullptr for a FIFO
        const char* targetLink;
        bool expectedSame;
    };
    const Row rows[] = {
        {"same link text", "a.txt", "a.txt", true},
        {"other link text", "a.txt", "b.txt", false},
        {"dangling links, same text", "../nowhere", "../nowhere", true},
        {"FIFO pair", nullptr, nullptr, true},
    };
    for (const Row& row : rows) {
        for (const auto& [folder, link] :
             {std::pair{src(), row.sourceLink}, std::pair{tgt(), row.targetLink}}) {
            if (link)
                fs::create_symlink(link, folder + row.name);
            else
                makeFifo(folder + row.name);
        }
        EXPECT_EQ(contents(row.name).same, row.expectedSame) << row.name;
        EXPECT_EQ(crc(row.name).same, row.expectedSame) << row.name;
    }
    // Mixed kinds differ.
    tmp.writeFile("src/plain", "a.txt");
    fs::create_symlink("a.txt", tgt() + "plain");
    makeFifo(src() + "fifo-vs-file");
    tmp.writeFile("tgt/fifo-vs-file", "");
    for (const char* name : {"plain", "fifo-vs-file"}) {
        EXPECT_FALSE(contents(name).same) << name;
        EXPECT_FALSE(crc(name).same) << name;
    }
    EXPECT_TRUE(log.InMemoryString().empty()) << "differences are not errors";
}

TEST_F(ContentComparison, MissingFileIsOneLoggedErrorAndCountsAsDifferent)
{
    tmp.writeFile("tgt/gone.txt", "x");
    const Outcome byContents = contents("gone.txt");
    EXPECT_FALSE(byContents.same);
    EXPECT_TRUE(byContents.error);
    const std::string reason = std::to_string(ENOENT) + " " + GetSystemErrorMessage(ENOENT);
    ASSERT_EQ(logEntries().size(), 1u);
    EXPECT_EQ(logEntries()[0],
              " *Content Compare Error: " + reason + " Comparing gone.txt in " + src() + " and " + tgt());

    log.ResetInMemoryLog();
    const Outcome byCrc = crc("gone.txt");
    EXPECT_FALSE(byCrc.same);
    EXPECT_TRUE(byCrc.error);
    ASSERT_EQ(logEntries().size(), 1u);
    EXPECT_EQ(logEntries()[0],
              " *CRC Compare Error: " + reason + " Comparing gone.txt in " + src() + " and " + tgt());

    // A failure in one comparison does not stick to the next one.
    tmp.writeFile("src/fine.txt", "x");
    tmp.writeFile("tgt/fine.txt", "x");
    EXPECT_TRUE(contents("fine.txt").same);
    EXPECT_FALSE(contents("fine.txt").error);
    EXPECT_TRUE(crc("fine.txt").same);
}

TEST_F(ContentComparison, ErrorFlagIsOnlyEverRaised)
{
    tmp.writeFile("src/a.txt", "x");
    tmp.writeFile("tgt/a.txt", "x");
    bool error = true;
    EXPECT_TRUE(AreFilesSameUsingContents(src(), tgt(), "a.txt", error));
    EXPECT_TRUE(error);
    EXPECT_TRUE(AreFilesSameUsingCRC32(src(), tgt(), "a.txt", error));
    EXPECT_TRUE(error);
}

TEST_F(ContentComparison, UnreadableFileIsLoggedWithAccessDenied)
{
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        tmp.writeFile("src/secret.txt", "x");
        tmp.writeFile("tgt/secret.txt", "x");
        fs::permissions(src() + "secret.txt", fs::perms::none);
        EXPECT_FALSE(contents("secret.txt").same);
        EXPECT_EQ(logCount(" *Content Compare Error: " + std::to_string(EACCES) + " " +
                           GetSystemErrorMessage(EACCES)),
                  1);
    });
}

} // namespace
} // namespace kestrow
