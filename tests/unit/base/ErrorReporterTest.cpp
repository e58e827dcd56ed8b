#include "base/ErrorReporter.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <system_error>

using namespace kestrow;
using kestrow::test::ScriptedUiServices;
using kestrow::test::TempDir;

namespace {

const std::string kTail =
    "\n* If this problem persists, please contact our technical support staff for assistance.\n"
    "  (Refer to the Troubleshooting section of the Help file for details.)";

struct ReporterTest : ::testing::Test
{
    TempDir dir;
    ScriptedUiServices ui;
    ManualClock fixedClock{dateFromParts({2026, 12, 7, 6, 37, 2})};
    ScopedClock clockScope{fixedClock};

    std::string detailFile() const { return dir.readFile(dir.dataFolder() + "ERR_DETAIL.TXT"); }
    bool detailFileExists() const { return std::filesystem::exists(dir.dataFolder() + "ERR_DETAIL.TXT"); }
};

} // namespace

TEST_F(ReporterTest, PlainErrorWithoutDetailShowsBlockAndTailOnly)
{
    ReportError(PendingError{53, "File not found", 0}, "cClone.PerformFileOperations");
    ASSERT_EQ(ui.messages().size(), 1u);
    const auto m = ui.messages()[0];
    EXPECT_EQ(m.title, "Unexpected Error in cClone.PerformFileOperations");
    EXPECT_EQ(m.text, "Error: File not found\nSource: cClone.PerformFileOperations\nNo: 53\n" + kTail);
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_FALSE(detailFileExists());
}

TEST_F(ReporterTest, SystemErrorTakesDllFormWithSystemNumber)
{
    ReportError(PendingError{70, "Permission denied", EACCES}, "modKestrow.Main");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "DLL Error: " + GetSystemErrorMessage(EACCES) +
                                         "\nError: Permission denied\nSource: modKestrow.Main\nNo: " +
                                         std::to_string(EACCES) + "\n" + kTail);
}

TEST_F(ReporterTest, UnknownSystemCodeHasNotDefinedText)
{
    EXPECT_EQ(GetSystemErrorMessage(987654), "Error (987654) not defined.");
    ReportError(PendingError{5, "x", 987654}, "a.b");
    EXPECT_EQ(ui.messages()[0].text.substr(0, 40), std::string("DLL Error: Error (987654) not defined.\nE"));
}

TEST_F(ReporterTest, RegistryDeniedShowsOnlyTheRegistryMessageAndWritesNothing)
{
    ReportError(PendingError{5, "Access to Registry Denied.", 0}, "clsEasyRegistry.SetValue", "some detail");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in clsEasyRegistry.SetValue");
    EXPECT_EQ(ui.messages()[0].text,
              "Unable to read/write information from/to the System\n"
              "autostart folders due to the security rules in place on this computer.\n"
              "All users on this computer must be granted Read/Write Access to the autostart folders.\n\n"
              "See your System Administrator for assistance.");
    EXPECT_FALSE(detailFileExists());

    // With a system error pending the ordinary DLL form wins.
    ui.clear();
    ReportError(PendingError{5, "Access to Registry Denied.", EPERM}, "x.y");
    EXPECT_TRUE(ui.messages()[0].text.starts_with("DLL Error: "));
    // Near misses are ordinary errors.
    ui.clear();
    ReportError(PendingError{5, "access to registry denied.", 0}, "x.y");
    EXPECT_TRUE(ui.messages()[0].text.starts_with("Error: access to registry denied."));
}

TEST_F(ReporterTest, DetailAppendsRecordsAndMentionsTheFile)
{
    ReportError(PendingError{76, "Path not found", 0}, "modKestrow.FolderExists", "Folder: /x/y/");
    ReportError(PendingError{53, "File not found", 0}, "modKestrow.FileExists", "File: /x/z");
    const std::string block1 = "Error: Path not found\nSource: modKestrow.FolderExists\nNo: 76\n";
    const std::string block2 = "Error: File not found\nSource: modKestrow.FileExists\nNo: 53\n";
    EXPECT_EQ(detailFile(), "\n12/7/2026 6:37:02 AM\n" + block1 + "\n- More Information - \nFolder: /x/y/\n" +
                                "\n12/7/2026 6:37:02 AM\n" + block2 +
                                "\n- More Information - \nFile: /x/z\n");
    EXPECT_EQ(ui.messages()[0].text, block1 + "\nSee the ERR_DETAIL.TXT file before proceeding.\n" + kTail);
}

TEST_F(ReporterTest, BlankDetailCountsAsNone)
{
    ReportError(PendingError{53, "File not found", 0}, "a.b", "    ");
    EXPECT_FALSE(detailFileExists());
    EXPECT_EQ(ui.messages()[0].text.find("ERR_DETAIL"), std::string::npos);
}

TEST_F(ReporterTest, UnwritableDetailFileGoesToErrorInErrorHandler)
{
    // A folder where the file should be makes the append fail even for root.
    std::filesystem::create_directories(dir.dataFolder() + "ERR_DETAIL.TXT/x");
    ReportError(PendingError{53, "File not found", 0}, "a.b", "detail");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Error in Error Handler");
    EXPECT_TRUE(ui.messages()[0].text.starts_with("An error has occured in the error handler.\n"));
    EXPECT_NE(ui.messages()[0].text.find(GetSystemErrorMessage(EISDIR)), std::string::npos);
}

TEST_F(ReporterTest, GuardedReportsAndReturnsFallback)
{
    int r = Guarded("cCloneLog.Add", -1, []() -> int { throw RuntimeError(52, "Bad file name or number"); });
    EXPECT_EQ(r, -1);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in cCloneLog.Add");
    EXPECT_TRUE(
        ui.messages()[0].text.starts_with("Error: Bad file name or number\nSource: cCloneLog.Add\nNo: 52\n"));

    ui.clear();
    std::string s = Guarded("x.y", std::string("fallback"), []() -> std::string {
        throw std::system_error(ENOENT, std::generic_category(), "open");
    });
    EXPECT_EQ(s, "fallback");
    EXPECT_TRUE(ui.messages()[0].text.starts_with("DLL Error: " + GetSystemErrorMessage(ENOENT)));

    ui.clear();
    EXPECT_EQ(Guarded("x.y", 0, [] { return 7; }), 7);
    EXPECT_TRUE(ui.messages().empty());
}

TEST(ErrnoMapping, NumbersTheCallersTestFor)
{
    EXPECT_EQ(errorNumberFromErrno(ENOENT, true), errnum::PathNotFound);
    EXPECT_EQ(errorNumberFromErrno(ENOENT, false), errnum::FileNotFound);
    EXPECT_EQ(errorNumberFromErrno(EACCES, false), errnum::PermissionDenied);
    EXPECT_EQ(errorNumberFromErrno(EPERM, true), errnum::PermissionDenied);
    EXPECT_EQ(errorNumberFromErrno(ENAMETOOLONG, true), errnum::BadFileName);
}

TEST(Folders, KestrowHomeWinsAndIsCreated)
{
    TempDir dir;
    ::setenv("KESTROW_HOME", (dir.path() + "/custom/home").c_str(), 1);
    ASSERT_TRUE(initFolders());
    EXPECT_EQ(gstrAppPath, dir.path() + "/custom/home/");
    EXPECT_TRUE(std::filesystem::is_directory(gstrAppPath));
    ::unsetenv("KESTROW_HOME");
    ASSERT_TRUE(initFolders());
    EXPECT_EQ(gstrAppPath, dir.path() + "/home/.local/share/kestrow/");
    EXPECT_TRUE(gstrProgramPath.ends_with("/"));
}
