#include "engine/FolderRoutines.h"

#include "base/ErrorReporter.h"
#include "tests/support/EngineTestSupport.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::EngineTest;

// ---------------------------------------------------------------------------
// Messages for the folder status codes.

struct MessageRow
{
    const char* name;
    int32_t status;
    int32_t errorNumber;
    const char* expected; // "@" stands for the path
};

// Test names carry the row name; the row itself prints as that name too.
void PrintTo(const MessageRow& row, std::ostream* os)
{
    *os << row.name;
}

class InvalidPathMessage : public ::testing::TestWithParam<MessageRow>
{
};

TEST_P(InvalidPathMessage, TextForStatus)
{
    const std::string path = "/srv/my data";
    std::string expected = GetParam().expected;
    for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@', at + path.size()))
        expected.replace(at, 1, path);
    EXPECT_EQ(GetInvalidPathErrorMsg(GetParam().status, path, GetParam().errorNumber), expected);
}

INSTANTIATE_TEST_SUITE_P(
    FolderRoutines, InvalidPathMessage,
    ::testing::Values(
        MessageRow{"NoPath", -1, 0, "No Folder path provided."}, MessageRow{"Usable_IsEmpty", 0, 0, ""},
        MessageRow{"TooShort_ThreeLinesEndingInExample", 1, 0,
                   "\"@\" is not a valid path.\nPaths must contain at least two characters.\nex)  /home"},
        MessageRow{
            "NoDrive_WithoutNumber_GivesDriveAdvice", 2, 0,
            "An error occurred while processing \"@\".\nMake sure that the drive exists and that you have "
            "permission to access it."},
        MessageRow{"NoDrive_WithNumber_GivesUnexpectedError", 2, 68,
                   "Error Number: 68\n\nAn unexpected error occurred while accessing @"},
        MessageRow{
            "NotReady", 3, 0,
            "An error occurred while processing \"@\".\nThe drive is not ready. Please insert/connect the "
            "drive."},
        MessageRow{
            "NoFolder", 4, 0,
            "An error occurred while processing \"@\".\nMake sure that the folder exists and that you have "
            "permission to access it."},
        MessageRow{
            "AccessDenied_TwoBlanksBeforePlease", 5, 70,
            "An error occurred while processing \"@\".\nYou do not have permission to access this folder.  "
            "Please see your Network Administrator."},
        MessageRow{"OtherError", 6, 52, "Error Number: 52\n\nAn unexpected error occurred while accessing @"},
        MessageRow{"UnknownCode_IsEmpty", 7, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Fixture with a small tree, a removable-media root of its own and a way back to
// the working folder.

class FolderRoutinesTest : public EngineTest
{
protected:
    FolderRoutinesTest()
    {
        tmp.makeDir("media/user/STICK");
        tmp.makeDir("tree/sub");
        tmp.makeDir("tree/.dot");
        tmp.makeDir("tree/with space");
        tmp.makeDir("tree/new\nline");
        tmp.writeFile("tree/file.txt", "x");
        fs::create_symlink(tmp / "tree/sub", tmp / "tree/link-to-sub");
        fs::create_symlink("nowhere", tmp / "tree/dangling");
        fs::create_symlink("loop-b", tmp / "tree/loop-a");
        fs::create_symlink("loop-a", tmp / "tree/loop-b");
    }
    std::string tree(const std::string& relative = {}) const { return tmp.path() + "/tree/" + relative; }

private:
    test::ScopedEnv m_mediaRoots{"KESTROW_MEDIA_ROOTS", tmp.path() + "/media"};
};

// ---------------------------------------------------------------------------
// FolderExists

TEST_F(FolderRoutinesTest, FolderExistsTable)
{
    struct Row
    {
        const char* what;
        std::string path;
        platform::FollowLinks follow;
        bool expected;
    };
    const auto no = platform::FollowLinks::no;
    const Row rows[] = {
        {"folder", tree("sub"), no, true},
        {"folder with trailing slash", tree("sub/"), no, true},
        {"dot-folder", tree(".dot/"), no, true},
        {"name with a blank", tree("with space/"), no, true},
        {"name with a newline", tree("new\nline/"), no, true},
        {"file", tree("file.txt"), no, false},
        {"link to a folder, not followed", tree("link-to-sub/"), no, false},
        {"link to a folder, followed", tree("link-to-sub/"), platform::FollowLinks::yes, true},
        {"dangling link", tree("dangling/"), no, false},
        {"missing", tree("missing/"), no, false},
        {"link loop", tree("loop-a/"), platform::FollowLinks::yes, false},
        {"empty", "", no, false},
        {"blanks only", "   ", no, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FolderExists(row.path, row.follow), row.expected) << row.what;
    EXPECT_TRUE(log.InMemoryString().empty()) << "FolderExists never logs";
}

// ---------------------------------------------------------------------------
// FileExists

TEST_F(FolderRoutinesTest, FileExistsTable)
{
    makeFifo(tree("pipe"));
    tmp.writeFile("tree/trailing ", "x"); // "trailing" (without the blank) does not exist
    struct Row
    {
        const char* what;
        std::string path;
        bool expected;
    };
    const Row rows[] = {
        {"regular file", tree("file.txt"), true},
        {"path ending in a slash", tree("file.txt/"), false},
        {"folder", tree("sub"), false},
        {"dangling link is a file (never followed)", tree("dangling"), true},
        {"link to a folder is a file", tree("link-to-sub"), true},
        {"FIFO, never opened", tree("pipe"), true},
        {"blank at the end is part of the name", tree("trailing "), true},
        {"name without the blank is another file", tree("trailing"), false},
        {"missing", tree("missing.txt"), false},
        {"a file as a parent folder", tree("file.txt/x"), false},
        {"empty", "", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FileExists(row.path), row.expected) << row.what;
    EXPECT_TRUE(log.InMemoryString().empty()) << "missing files are not errors";
}

TEST_F(FolderRoutinesTest, FileExistsLogsRealErrorOnceAndSaysNo)
{
    const std::string path = tree("loop-a/x");
    EXPECT_FALSE(FileExists(path));
    ASSERT_EQ(logEntries().size(), 1u);
    EXPECT_EQ(logEntries()[0], " *File Existence Check Error: " + std::to_string(ELOOP) + " " +
                                   GetSystemErrorMessage(ELOOP) + " APIFileExists - File: " + path);
}

TEST_F(FolderRoutinesTest, FileExistsOnOverlongPathIsSilentlyFalse)
{
    const std::string deep = makeDeepFolder("deep");
    EXPECT_FALSE(FileExists(deep + "/f"));
    EXPECT_TRUE(log.InMemoryString().empty());
}

TEST_F(FolderRoutinesTest, FileExistsUnderUnreadableFolderLogsAccessDenied)
{
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        tmp.writeFile("locked/inside.txt", "x");
        fs::permissions(tmp / "locked", fs::perms::none);
        const std::string path = tmp / "locked/inside.txt";
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(logCount(" *File Existence Check Error: " + std::to_string(EACCES) + " " +
                           GetSystemErrorMessage(EACCES) + " APIFileExists - File: " + path),
                  1);
    });
}

// ---------------------------------------------------------------------------
// ValidateFolderPath

TEST_F(FolderRoutinesTest, ValidateFolderPathTable)
{
    const std::string deep = makeDeepFolder("deep");
    fs::current_path(tree());
    struct Row
    {
        const char* what;
        std::string path;
        int32_t status;
        int32_t errorNumber;
    };
    const Row rows[] = {
        {"no path", "", -1, 0},
        {"one character", "A", 1, 0},
        {"the root alone", "/", 1, 0},
        {"existing folder", tree("sub"), 0, 0},
        {"existing folder with trailing slash", tree("sub/"), 0, 0},
        {"dot-folder", tree(".dot"), 0, 0},
        {"name with a newline", tree("new\nline"), 0, 0},
        {"relative to the working folder", "sub", 0, 0},
        {"dot-dot resolved by name", tree("sub/../with space"), 0, 0},
        {"a link to a folder may be a root", tree("link-to-sub"), 0, 0},
        {"missing folder on a ready drive", tree("missing/"), 4, 0},
        {"a file is not a folder", tree("file.txt"), 4, 0},
        {"removable drive with nothing mounted", tmp / "media/user/STICK/docs/", 3, 0},
        {"removable drive folder itself, nothing mounted", tmp / "media/user/STICK/", 3, 0},
        {"removable drive whose folder is gone", tmp / "media/user/GONE/docs/", 2, 0},
        {"link loop", tree("loop-a/"), 6, errorNumberFromErrno(ELOOP, true)},
        {"path longer than the system allows", deep, 6, errnum::BadFileName},
    };
    for (const Row& row : rows) {
        int32_t errorNumber = -99;
        EXPECT_EQ(ValidateFolderPath(row.path, errorNumber), row.status) << row.what;
        EXPECT_EQ(errorNumber, row.errorNumber) << row.what;
    }
    EXPECT_TRUE(scripted.prompts().empty()) << "the callers show the messages";
}

TEST_F(FolderRoutinesTest, ValidateFolderPathOnUnlistableFolderIsAccessDenied)
{
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        tmp.makeDir("locked");
        fs::permissions(tmp / "locked", fs::perms::owner_exec);
        int32_t errorNumber = 0;
        EXPECT_EQ(ValidateFolderPath(tmp / "locked", errorNumber), 5);
        EXPECT_EQ(errorNumber, errnum::PermissionDenied);
    });
}

// With a file system really mounted on the medium's folder the drive is ready.
TEST_F(FolderRoutinesTest, MountedRemovableDriveIsReadyAndRemovable)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::string stick = tmp / "media/user/STICK";
    test::ScopedMount medium("mount -t tmpfs -o size=1m kestrow-test", stick);
    if (!medium.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    int32_t errorNumber = 0;
    EXPECT_EQ(ValidateFolderPath(stick + "/docs/", errorNumber), 4);
    CreateFolderPath(stick + "/docs/deeper/");
    EXPECT_EQ(ValidateFolderPath(stick + "/docs/deeper/", errorNumber), 0);
    std::string driveName;
    EXPECT_TRUE(IsRemovableDrive(stick + "/docs/", driveName));
    EXPECT_EQ(driveName, stick + "/");
    ASSERT_TRUE(medium.unmount());
    EXPECT_EQ(ValidateFolderPath(stick + "/docs/", errorNumber), 3) << "unmounted again";
}

// ---------------------------------------------------------------------------
// CreateFolderPath and SplitOffToken

TEST_F(FolderRoutinesTest, CreateFolderPathMakesEveryMissingLevel)
{
    CreateFolderPath(tmp / "new/a b/c");
    EXPECT_TRUE(fs::is_directory(tmp / "new/a b/c"));

    fs::current_path(tmp.path());
    CreateFolderPath("relative/x/");
    EXPECT_TRUE(fs::is_directory(tmp / "relative/x"));
}

TEST_F(FolderRoutinesTest, CreateFolderPathOnExistingPathChangesNothing)
{
    setLastWrite(tree("sub"), 1'000'000'000);
    const auto before = fs::last_write_time(tree("sub"));
    CreateFolderPath(tree("sub/"));
    EXPECT_EQ(fs::last_write_time(tree("sub")), before);
    EXPECT_TRUE(fs::is_empty(tree("sub")));
}

TEST_F(FolderRoutinesTest, CreateFolderPathNeverFillsAnAbsentMediumsFolder)
{
    CreateFolderPath(tmp / "media/user/STICK/backup/");
    EXPECT_TRUE(fs::is_empty(tmp / "media/user/STICK")) << "nothing mounted: nothing created";
    CreateFolderPath(tmp / "media/user/GONE/backup/");
    EXPECT_FALSE(fs::exists(tmp / "media/user/GONE"));
}

TEST(SplitOffToken, Table)
{
    struct Row
    {
        const char* text;
        const char* delimiter;
        const char* token;
        const char* rest;
    };
    const Row rows[] = {
        {"a/b/c/", "/", "a/", "b/c/"},
        {"/a/", "/", "/", "a/"},
        {"ABCxdef", "X", "ABCx", "def"}, // letters compare without regard to case
        {"no delimiter", "/", "no delimiter", ""},
        {"", "/", "", ""},
    };
    for (const Row& row : rows) {
        std::string text = row.text;
        EXPECT_EQ(SplitOffToken(text, row.delimiter), row.token) << row.text;
        EXPECT_EQ(text, row.rest) << row.text;
    }
}

// ---------------------------------------------------------------------------
// Drives

TEST_F(FolderRoutinesTest, DriveOfRemovableMediaPathIsTheLabelFolder)
{
    const std::string stick = tmp / "media/user/STICK/";
    EXPECT_EQ(GetDriveLetter(stick + "docs/letter.txt"), stick);
    std::string driveName = "stale";
    EXPECT_TRUE(IsRemovableDrive(stick + "docs/", driveName));
    EXPECT_EQ(driveName, stick);
    EXPECT_TRUE(APIDriveExists(stick));
    EXPECT_FALSE(APIDriveExists(tmp / "media/user/GONE/"));
    EXPECT_FALSE(APIDriveExists(""));
}

TEST_F(FolderRoutinesTest, DriveOfOrdinaryPathIsItsMountPointAndNotRemovable)
{
    const std::string drive = GetDriveLetter(tree("sub/"));
    ASSERT_FALSE(drive.empty());
    EXPECT_TRUE(drive.ends_with('/'));
    EXPECT_TRUE(tree("sub/").starts_with(drive)) << drive;
    EXPECT_TRUE(APIDriveExists(drive));
    std::string driveName;
    EXPECT_FALSE(IsRemovableDrive(tree("sub/"), driveName));
    EXPECT_EQ(driveName, drive);

    fs::current_path(tree());
    EXPECT_EQ(GetDriveLetter("sub"), drive) << "a relative path is made absolute first";
    EXPECT_EQ(GetDriveLetter(""), "");
}

} // namespace
} // namespace kestrow
