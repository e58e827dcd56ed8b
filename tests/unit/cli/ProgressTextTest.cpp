#include "cli/ProgressText.h"

#include "base/DateTime.h"
#include "log/CloneLog.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrow::cli {
namespace {

struct SizeRow
{
    uint64_t bytes;
    const char* text;
};

TEST(ProgressTextTest, SizesInBinaryUnits)
{
    const SizeRow rows[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        // What would round to 1024.0 KB is shown as the next unit.
        {1048524, "1023.9 KB"},
        {1048525, "1.0 MB"},
        {1048575, "1.0 MB"},
        {3435973837ull, "3.2 GB"},
        {1ull << 40, "1.0 TB"},
        // TB is the largest unit.
        {1ull << 50, "1024.0 TB"},
    };
    for (const SizeRow& row : rows)
        EXPECT_EQ(sizeText(row.bytes), row.text) << row.bytes;
}

TEST(ProgressTextTest, CountsRatesAndDurations)
{
    EXPECT_EQ(countText(0), "0");
    EXPECT_EQ(countText(999), "999");
    EXPECT_EQ(countText(1000), "1,000");
    EXPECT_EQ(countText(1234567), "1,234,567");

    EXPECT_EQ(rateText(-1), "");
    EXPECT_EQ(rateText(0), "0 B/s");
    EXPECT_EQ(rateText(47500000), "45.3 MB/s");

    const std::pair<double, const char*> durations[] = {
        {-3, "0.0s"},    {0.44, "0.4s"}, {9.94, "9.9s"},    {9.96, "10s"},     {59.4, "59s"},
        {59.6, "1m 0s"}, {72, "1m 12s"}, {3599, "59m 59s"}, {3599.6, "1h 0m"}, {7500, "2h 5m"},
    };
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(durationText(seconds), text) << seconds;
}

struct LineRow
{
    const char* name;
    ProgressState state;
    const char* line;
};

constexpr auto kCopying = ProgressPhase::Copying;

TEST(ProgressTextTest, LineShowsOnlyWhatTheListHas)
{
    const LineRow rows[] = {
        {"comparing, nothing seen yet", {.target = "/b/"}, "/b/ - comparing"},
        {"comparing", {.target = "/b/", .compared = 12345}, "/b/ - comparing: 12,345 files"},
        // A list with nothing in it: no "0/0" anywhere, no time left.
        {"empty list",
         {.target = "/b/", .phase = ProgressPhase::Updating, .planned = true},
         "/b/ - updating"},
        {"everything",
         {.target = "/b/",
          .phase = kCopying,
          .planned = true,
          .filesTotal = 50,
          .bytesTotal = 2048,
          .deletionsTotal = 3,
          .foldersTotal = 4,
          .filesDone = 3,
          .bytesDone = 1024,
          .deletionsDone = 2,
          .bytesPerSecond = 512,
          .secondsLeft = 2},
         "/b/ - copying: 3/50 files, 1.0 KB/2.0 KB, 2/3 deleted, 512 B/s, 2.0s left"},
        // Not known yet: no rate, no time left; more done than planned shows the plan.
        {"more done than planned",
         {.target = "/b/",
          .phase = kCopying,
          .planned = true,
          .filesTotal = 50,
          .bytesTotal = 100,
          .filesDone = 60,
          .bytesDone = 150},
         "/b/ - copying: 50/50 files, 100 B/100 B"},
        {"empty files: no bytes, no rate",
         {.target = "/b/", .phase = kCopying, .planned = true, .filesTotal = 5, .bytesPerSecond = 0},
         "/b/ - copying: 0/5 files"},
        {"folders alone",
         {.target = "/b/",
          .phase = ProgressPhase::RemovingFolders,
          .planned = true,
          .foldersTotal = 4,
          .foldersDone = 1},
         "/b/ - removing folders: 1/4 folders"},
    };
    for (const LineRow& row : rows)
        EXPECT_EQ(progressLine(row.state, 0), row.line) << row.name;
}

size_t characters(const std::string& text)
{
    size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

TEST(ProgressTextTest, LineFitsTheTerminal)
{
    const ProgressState s{.target = "/mnt/backup/a/very/long/path/of/folders/\xc3\xa4\xc3\xb6\xc3\xbc/",
                          .phase = kCopying,
                          .planned = true,
                          .filesTotal = 10,
                          .filesDone = 2};
    const std::string tail = " - copying: 2/10 files";

    EXPECT_EQ(progressLine(s, 200), s.target + tail);
    // Shortened at the Target's start, one column short of the width, never
    // inside a character.
    EXPECT_EQ(progressLine(s, 40), "...f/folders/\xc3\xa4\xc3\xb6\xc3\xbc/" + tail);
    const std::string shortened = progressLine(s, 29);
    EXPECT_EQ(characters(shortened), 28u);
    EXPECT_EQ(shortened, "...\xc3\xb6\xc3\xbc/" + tail);

    // No room even for the counts: cut at the width.
    const std::string cut = progressLine(s, 12);
    EXPECT_EQ(cut, std::string("/mnt/backup"));
}

TEST(ProgressTextTest, SummaryLine)
{
    RunSummary s;
    s.filesCopied = 1204;
    s.bytesCopied = 3435973837ull;
    s.deleted = 12;
    s.foldersMade = 4;
    s.foldersRemoved = 1;
    s.seconds = 72;
    EXPECT_EQ(summaryLine(s),
              "Copied 1,204 files (3.2 GB), deleted 12, folders created 4, removed 1, 0 errors, in 1m 12s");

    RunSummary one;
    one.filesCopied = 1;
    one.bytesCopied = 10;
    one.errors = 1;
    one.seconds = 0.42;
    EXPECT_EQ(summaryLine(one),
              "Copied 1 file (10 B), deleted 0, folders created 0, removed 0, 1 error, in 0.4s");
}

TEST(ProgressEstimateTest, NothingKnownBeforeASecondHasPassed)
{
    ProgressEstimate e;
    EXPECT_LT(e.bytesPerSecond(), 0);
    EXPECT_LT(e.secondsLeft(100, 1), 0);
    EXPECT_EQ(e.secondsLeft(0, 0), 0); // nothing planned: nothing left
    e.sample(0, 0, 0);
    e.sample(0.5, 1000, 1);
    EXPECT_LT(e.bytesPerSecond(), 0);
    EXPECT_LT(e.secondsLeft(10000, 10), 0);
}

TEST(ProgressEstimateTest, RateAndTimeLeftOverTheRecentWindow)
{
    constexpr uint64_t MB = 1 << 20;
    ProgressEstimate e;
    // A fast start (a cached file), then one MB a second.
    e.sample(0, 0, 0);
    e.sample(1, 100 * MB, 0);
    for (int t = 2; t <= 10; ++t)
        e.sample(t, (100 + (t - 1)) * MB, 0);
    EXPECT_DOUBLE_EQ(e.bytesPerSecond(), double(MB));
    EXPECT_DOUBLE_EQ(e.secondsLeft(119 * MB, 0), 10);
    // Done: nothing left, whatever the rate.
    EXPECT_EQ(e.secondsLeft(109 * MB, 0), 0);

    e.reset();
    EXPECT_LT(e.bytesPerSecond(), 0);
}

TEST(ProgressEstimateTest, OperationsWithoutDataStillHaveATimeLeft)
{
    ProgressEstimate e;
    // Deletions only: 100 in two seconds, 300 planned.
    e.sample(0, 0, 0);
    e.sample(2, 0, 100);
    EXPECT_DOUBLE_EQ(e.bytesPerSecond(), 0);
    EXPECT_DOUBLE_EQ(e.secondsLeft(0, 300), 4);

    // Stalled over the whole window: no figure rather than a wrong one.
    ProgressEstimate stalled;
    stalled.sample(0, 500, 5);
    stalled.sample(3, 500, 5);
    EXPECT_LT(stalled.secondsLeft(1000, 10), 0);
}

// The summary's error count reads the lines the real log writes.
TEST(LogErrorLineTest, EveryErrorKindAndNoOther)
{
    test::TempDir tmp;
    test::ScriptedUiServices scripted;
    for (const int hour : {6, 18}) {
        ManualClock manual{dateFromParts({2026, 12, 7, hour, 37, 2})};
        ScopedClock scopedClock{manual};
        cCloneLog log;
        std::vector<std::string> lines;
        log.setLineObserver([&](const std::string& line) { lines.push_back(line); });
        for (int kind = 0; kind <= static_cast<int>(LogEntryType::UpdatedAttributes); ++kind) {
            lines.clear();
            // Names that hold what the entries' own marks look like.
            log.Add(static_cast<LogEntryType>(kind), "T *x", "a - b *c <d", "/s *rc/", "/t - gt/", 5,
                    "Denied", "note *");
            ASSERT_EQ(lines.size(), 1u) << kind;
            const bool error = kind >= 6 && kind != 21 && kind != 23;
            EXPECT_EQ(isLogErrorLine(lines.front()), error) << lines.front();
        }
    }
}

} // namespace
} // namespace kestrow::cli
