#include "log/CloneLog.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "platform/TextFile.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace kestrow {
namespace {

using test::ScriptedUiServices;
using test::TempDir;

// Every log test runs in its own data folder, with a fixed "now" and scripted UI.
class CloneLogTest : public ::testing::Test
{
protected:
    TempDir tmp;
    ScriptedUiServices scripted;
    ManualClock manual{dateFromParts({2026, 12, 7, 6, 37, 2})};
    ScopedClock scopedClock{manual};
    cCloneLog log;

    std::string date() const { return GeneralDateText(manual.now()); }
    std::string logFile() const { return tmp.dataFolder() + "clone.log"; }
};

TEST_F(CloneLogTest, NewLogHasDocumentedDefaults)
{
    EXPECT_FALSE(log.LogOnlyErrors());
    EXPECT_TRUE(log.RestrictLogSize());
    EXPECT_EQ(log.MaxLogFileSize(), 512000);
    EXPECT_EQ(log.CurrInMemoryLogSize(), 0);
    EXPECT_EQ(log.InMemoryString(), "");
    EXPECT_EQ(log.LogFileSpec(), logFile());
}

TEST_F(CloneLogTest, LineStartsWithGeneralDateFollowedDirectlyByEntry)
{
    log.Add(LogEntryType::Begin, "Backup");
    EXPECT_EQ(log.InMemoryString(), "12/7/2026 6:37:02 AM<Begin: Backup>\n");
    // At midnight the line keeps its time, which the general format would drop.
    manual.set(dateFromParts({2026, 12, 8, 0, 0, 0}));
    log.Add(LogEntryType::End, "Backup");
    EXPECT_EQ(log.InMemoryString(), "12/7/2026 6:37:02 AM<Begin: Backup>\n"
                                    "12/8/2026 12:00:00 AM<End: Backup> {All Activity Logged}\n\n");
}

// One row per entry kind: the text after the date, and whether LogOnlyErrors drops it.
struct KindRow
{
    const char* name;
    int kind;
    const char* text;
    bool skippedWhenOnlyErrors;
    const char* onlyErrorsText = nullptr; // set when LogOnlyErrors changes the wording
};
void PrintTo(const KindRow& row, std::ostream* os)
{
    *os << row.name;
}

class CloneLogKindTest : public CloneLogTest, public ::testing::WithParamInterface<KindRow>
{
protected:
    void addRowEntry()
    {
        log.Add(static_cast<LogEntryType>(GetParam().kind), "Backup", "a.txt", "/src/", "/tgt/", 5, "Denied",
                "note");
    }
};

TEST_P(CloneLogKindTest, AllActivityLineText)
{
    addRowEntry();
    const std::string expected = date() + GetParam().text;
    EXPECT_EQ(log.InMemoryString(), expected);
    EXPECT_EQ(log.CurrInMemoryLogSize(), static_cast<int32_t>(expected.size()));
}

TEST_P(CloneLogKindTest, OnlyErrorsLineText)
{
    log.setLogOnlyErrors(true);
    addRowEntry();
    const KindRow& row = GetParam();
    if (row.skippedWhenOnlyErrors) {
        EXPECT_EQ(log.InMemoryString(), "");
        EXPECT_EQ(log.CurrInMemoryLogSize(), 0);
    } else {
        EXPECT_EQ(log.InMemoryString(), date() + (row.onlyErrorsText ? row.onlyErrorsText : row.text));
    }
}

const KindRow kKindRows[] = {
    {"Begin", 0, "<Begin: Backup>\n", false},
    {"End", 1, "<End: Backup> {All Activity Logged}\n\n", false, "<End: Backup> {Only Errors Logged}\n\n"},
    {"Copied", 2, " - Copied: a.txt from /src/ to /tgt/\n", true},
    {"Deleted", 3, " - Deleted: a.txt from /tgt/\n", true},
    {"CreatedFolder", 4, " - Created Folder: /tgt/\n", true},
    {"DeletedFolder", 5, " - Deleted Folder: /tgt/\n", true},
    {"CopyError", 6, " *Copy Error: 5 Denied a.txt from /src/ to /tgt/\n", false},
    {"DeleteError", 7, " *Delete Error: 5 Denied a.txt from /tgt/\n", false},
    {"CreateDirError", 8, " *Create Dir Error: 5 Denied /tgt/\n", false},
    {"DeleteDirError", 9, " *Delete Dir Error: 5 Denied /tgt/\n", false},
    {"UnexpectedError", 10,
     " *Unexpected Error: 5 Denied File Name: a.txt Source Folder: /src/ Target Folder: /tgt/\n", false},
    {"DuplicateFileError", 11, " *Duplicate File Error: 5 Denied a.txt in /src/\n", false},
    {"ContentCompareError", 12, " *Content Compare Error: 5 Denied Comparing a.txt in /src/ and /tgt/\n",
     false},
    {"CrcCompareError", 13, " *CRC Compare Error: 5 Denied Comparing a.txt in /src/ and /tgt/\n", false},
    {"UserCancelledHasNothingAfterLabel", 14, " *User Cancelled Error: \n", false},
    {"FolderPathErrorHasTwoBlanksAfterLabel", 15, " *Folder Path Error:  Denied a.txt\n", false},
    {"ApplicationShutdownError", 16, " *Application Shutdown Error: The clone task was aborted\n", false},
    {"IncludeFilterFolderHasTwoBlanks", 17, " *Include Filter Error: The subfolder does not exist  a.txt\n",
     false},
    {"SafeCopyErrorStartsWithCustom", 18, " *Safe Copy Error: note 5 Denied a.txt\n", false},
    {"IncludeFilterFileHasTwoBlanks", 19, " *Include Filter Error: The file does not exist  a.txt\n", false},
    {"GetSubFoldersError", 20, " *Get SubFolders Error: 5 Denied a.txt\n", false},
    {"InformationOnly", 21, " - Information Only: note\n", true},
    {"FileExistenceCheckError", 22, " *File Existence Check Error: 5 Denied note\n", false},
    {"UpdatedAttributes", 23, " - Updated attributes: a.txt in /tgt/\n", true},
};

INSTANTIATE_TEST_SUITE_P(Kinds, CloneLogKindTest, ::testing::ValuesIn(kKindRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CloneLogTest, KindOutsideRangeAddsNothing)
{
    for (int kind : {-1, 24, 100}) {
        log.Add(static_cast<LogEntryType>(kind), "Backup", "a.txt", "/src/", "/tgt/", 5, "Denied", "note");
        EXPECT_EQ(log.InMemoryString(), "") << "kind " << kind;
        EXPECT_EQ(log.CurrInMemoryLogSize(), 0) << "kind " << kind;
    }
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(CloneLogTest, UpdatedAttributesOfAFolderNameTheFolderAlone)
{
    log.Add(LogEntryType::UpdatedAttributes, "Backup", "/tgt/sub/", {}, {}, 0, {}, {});
    EXPECT_EQ(log.InMemoryString(), date() + " - Updated attributes: /tgt/sub/\n");
}

TEST_F(CloneLogTest, OnlyErrorsRunWritesBeginAndEndOnly)
{
    log.setLogOnlyErrors(true);
    log.DeleteLogFileIfMaxSizeIsExceeded();
    log.Add(LogEntryType::Begin, "Nightly");
    for (int i = 0; i < 3; ++i)
        log.Add(LogEntryType::Copied, "", "f" + std::to_string(i), "/s/", "/t/");
    log.Add(LogEntryType::End, "Nightly");
    ASSERT_TRUE(log.AppendInMemoryStringToLogFile());
    log.ResetInMemoryLog();

    EXPECT_EQ(tmp.readFile(logFile()),
              date() + "<Begin: Nightly>\n" + date() + "<End: Nightly> {Only Errors Logged}\n\n");
    EXPECT_EQ(log.CurrInMemoryLogSize(), 0);
    EXPECT_EQ(log.InMemoryString(), "");
}

// Multi-line system messages must not split an entry over several lines.
struct MessageRow
{
    const char* name;
    const char* message;
    const char* logged;
};
void PrintTo(const MessageRow& row, std::ostream* os)
{
    *os << row.name;
}

class CloneLogMessageTest : public CloneLogTest, public ::testing::WithParamInterface<MessageRow>
{
};

TEST_P(CloneLogMessageTest, MessageStaysOnOneLine)
{
    log.Add(LogEntryType::DeleteError, "", "a.txt", "", "/t/", 13, GetParam().message);
    EXPECT_EQ(log.InMemoryString(), date() + " *Delete Error: 13 " + GetParam().logged + " a.txt from /t/\n");
}

const MessageRow kMessageRows[] = {
    {"CrLfBecomesTwoBlanks", "Access is denied.\r\nTry again.", "Access is denied.  Try again."},
    {"LfBecomesTwoBlanks", "Access is denied.\nTry again.", "Access is denied.  Try again."},
    {"TrailingCrLfBecomesTwoBlanks", "Access is denied.\r\n", "Access is denied.  "},
    {"EveryBreakReplaced", "a\r\nb\nc\r\n", "a  b  c  "},
    {"EmptyMessageLeavesTwoBlanksBetweenNumberAndFile", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Messages, CloneLogMessageTest, ::testing::ValuesIn(kMessageRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A name can hold any byte but "/" and NUL: one event must stay one dated line,
// in the buffer, the file and what the observer is handed.
TEST_F(CloneLogTest, ControlCharactersInTextsNeverStartALineOfTheirOwn)
{
    std::vector<std::string> observed;
    log.setLineObserver([&observed](const std::string& line) { observed.push_back(line); });
    const std::string forged = "innocent\n<End: Nightly> {All Activity Logged}\n - Deleted: tax-2025.pdf";
    log.Add(LogEntryType::Begin, "Night\rly");
    log.Add(LogEntryType::Copied, "", forged, "/s/\x1b[2J/", "/t/a\\nb/");
    log.Add(LogEntryType::CopyError, "", "x\ty", "/s/", "/t/", 5, "Denied\r\nagain\r");
    log.Add(LogEntryType::InformationOnly, "", "", "", "", 0, "", "skipped - '/s/odd\x7f/' ");
    ASSERT_TRUE(log.AppendInMemoryStringToLogFile());

    const std::string expected =
        date() + "<Begin: Night\\rly>\n" + date() +
        " - Copied: innocent\\n<End: Nightly> {All Activity Logged}\\n - Deleted: tax-2025.pdf from "
        "/s/\\x1b[2J/ to /t/a\\\\nb/\n" +
        date() + " *Copy Error: 5 Denied  again\\r x\\ty from /s/ to /t/\n" + date() +
        " - Information Only: skipped - '/s/odd\\x7f/' \n";
    EXPECT_EQ(log.InMemoryString(), expected);
    EXPECT_EQ(tmp.readFile(logFile()), expected);
    ASSERT_EQ(observed.size(), 4u);
    for (const std::string& line : observed) {
        EXPECT_TRUE(line.starts_with(date())) << line;
        EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    }
}

// DeleteLogFileIfMaxSizeIsExceeded: the limit is inclusive.
struct SizeRow
{
    const char* name;
    bool restrict;
    int fileSize; // -1: no log file
    bool deleted;
};
void PrintTo(const SizeRow& row, std::ostream* os)
{
    *os << row.name;
}

class CloneLogSizeLimitTest : public CloneLogTest, public ::testing::WithParamInterface<SizeRow>
{
};

TEST_P(CloneLogSizeLimitTest, DeletesOnlyFromTheLimitUp)
{
    const SizeRow& row = GetParam();
    log.setRestrictLogSize(row.restrict);
    log.setMaxLogFileSize(102400);
    if (row.fileSize >= 0)
        tmp.writeFile("data/clone.log", std::string(static_cast<size_t>(row.fileSize), 'x'));

    log.DeleteLogFileIfMaxSizeIsExceeded();

    EXPECT_EQ(platform::pathExists(logFile()), row.fileSize >= 0 && !row.deleted);
    EXPECT_TRUE(scripted.prompts().empty());
}

const SizeRow kSizeRows[] = {
    {"ExactlyAtLimitIsDeleted", true, 102400, true}, {"OneByteBelowIsKept", true, 102399, false},
    {"AboveLimitIsDeleted", true, 300000, true},     {"NoRestrictionKeepsLargeLog", false, 300000, false},
    {"MissingLogIsFine", true, -1, false},
};

INSTANTIATE_TEST_SUITE_P(Sizes, CloneLogSizeLimitTest, ::testing::ValuesIn(kSizeRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A line of kind 21 whose whole length (date included) is `length`.
std::string informationOfLength(size_t length, size_t dateLength, char fill)
{
    const size_t fixed = dateLength + std::string(" - Information Only: \n").size();
    return std::string(length - fixed, fill);
}

TEST_F(CloneLogTest, FlushesOnlyWhenBufferExceedsThreshold)
{
    const std::string first = informationOfLength(LogFlushThreshold, date().size(), 'a');
    log.Add(LogEntryType::InformationOnly, "", "", "", "", 0, "", first);
    EXPECT_EQ(log.CurrInMemoryLogSize(), LogFlushThreshold);
    EXPECT_FALSE(platform::pathExists(logFile())) << "exactly at the threshold must not flush";

    log.Add(LogEntryType::Deleted, "", "b", "", "/t/");
    EXPECT_EQ(log.CurrInMemoryLogSize(), 0);
    EXPECT_EQ(log.InMemoryString(), "");
    EXPECT_EQ(tmp.readFile(logFile()),
              date() + " - Information Only: " + first + "\n" + date() + " - Deleted: b from /t/\n");
}

TEST_F(CloneLogTest, MidRunFlushKeepsLinesInOrder)
{
    std::string expected;
    log.Add(LogEntryType::Begin, "Big");
    expected += date() + "<Begin: Big>\n";
    bool flushedMidRun = false;
    for (int i = 0; i < 3000; ++i) {
        manual.advanceMinutes(1.0 / 60.0);
        const std::string file = "file-" + std::to_string(i) + ".dat";
        log.Add(LogEntryType::Copied, "", file, "/home/u/src/", "/media/u/USB/dst/");
        expected += date() + " - Copied: " + file + " from /home/u/src/ to /media/u/USB/dst/\n";
        if (platform::pathExists(logFile()))
            flushedMidRun = true;
    }
    log.Add(LogEntryType::End, "Big");
    expected += date() + "<End: Big> {All Activity Logged}\n\n";

    ASSERT_TRUE(flushedMidRun);
    ASSERT_GT(expected.size(), 2u * LogFlushThreshold) << "the run should pass the threshold more than once";
    ASSERT_TRUE(log.AppendInMemoryStringToLogFile());
    log.ResetInMemoryLog();
    EXPECT_EQ(tmp.readFile(logFile()), expected);
}

TEST_F(CloneLogTest, AppendAddsToExistingFileAndKeepsBuffer)
{
    tmp.writeFile("data/clone.log", "earlier run\r\n");
    log.Add(LogEntryType::Begin, "T");
    ASSERT_TRUE(log.AppendInMemoryStringToLogFile());

    EXPECT_EQ(tmp.readFile(logFile()), "earlier run\r\n" + date() + "<Begin: T>\n");
    EXPECT_EQ(log.InMemoryString(), date() + "<Begin: T>\n");
    EXPECT_GT(log.CurrInMemoryLogSize(), 0);
}

TEST_F(CloneLogTest, AppendWithEmptyBufferCreatesNoFile)
{
    EXPECT_TRUE(log.AppendInMemoryStringToLogFile());
    EXPECT_FALSE(platform::pathExists(logFile()));
}

TEST_F(CloneLogTest, AppendFailureIsReportedAndBufferKept)
{
    gstrAppPath = tmp / "no-such-folder/";
    log.Add(LogEntryType::Begin, "T");

    EXPECT_FALSE(log.AppendInMemoryStringToLogFile());

    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Unexpected Error in cCloneLog.AppendInMemoryStringToLogFile");
    EXPECT_EQ(log.InMemoryString(), date() + "<Begin: T>\n");
}

TEST_F(CloneLogTest, GetLogEntriesFromFileReturnsFileNotBuffer)
{
    EXPECT_EQ(log.GetLogEntriesFromFile(), "");
    tmp.writeFile("data/clone.log", "line one\r\nline two\n");
    log.Add(LogEntryType::Begin, "unflushed");
    EXPECT_EQ(log.GetLogEntriesFromFile(), "line one\r\nline two\n");
}

TEST_F(CloneLogTest, SaveAsCopiesFileOnly)
{
    tmp.writeFile("data/clone.log", "saved text\n");
    log.Add(LogEntryType::Begin, "unflushed");

    EXPECT_TRUE(log.SaveAs(tmp / "copy.log"));
    EXPECT_EQ(tmp.readFile("copy.log"), "saved text\n");
}

TEST_F(CloneLogTest, SaveAsNeverOverwrites)
{
    tmp.writeFile("data/clone.log", "new log\n");
    const std::string existing = tmp.writeFile("keep.log", "precious\n");

    EXPECT_FALSE(log.SaveAs(existing));
    EXPECT_EQ(tmp.readFile("keep.log"), "precious\n");
    EXPECT_TRUE(scripted.prompts().empty()) << "a refused copy shows nothing";
}

TEST_F(CloneLogTest, SaveAsWithoutLogFileCreatesNothing)
{
    log.Add(LogEntryType::Begin, "unflushed");
    EXPECT_FALSE(log.SaveAs(tmp / "copy.log"));
    EXPECT_FALSE(platform::pathExists(tmp / "copy.log"));
}

TEST_F(CloneLogTest, DeleteLogFileRemovesFileOrAcceptsMissingOne)
{
    EXPECT_TRUE(log.DeleteLogFile());
    tmp.writeFile("data/clone.log", "x\n");
    EXPECT_TRUE(log.DeleteLogFile());
    EXPECT_FALSE(platform::pathExists(logFile()));
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(CloneLogTest, DeleteLogFileFailureShowsErrorNumberAndText)
{
    // A non-empty folder named clone.log cannot be unlinked, even by root.
    tmp.writeFile("data/clone.log/inside", "x");
    tmp.writeFile("twin/inside", "x");
    const int expectedErr = platform::removeFile(tmp / "twin");
    ASSERT_NE(expectedErr, 0);

    EXPECT_FALSE(log.DeleteLogFile());

    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Log Delete Failed");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(messages[0].text,
              "Unable to Delete the Log file.\n\nError Number: " + std::to_string(expectedErr) +
                  "\nError Description: " + GetSystemErrorMessage(expectedErr) +
                  "\n\nIf this problem continues, please contact technical support.");
    EXPECT_TRUE(platform::pathExists(logFile()));
}

} // namespace
} // namespace kestrow
