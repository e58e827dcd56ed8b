// Start at login over the autostart folders of a temporary XDG configuration.

#include "settings/StartAtLogin.h"
#include "base/ErrorReporter.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::ScriptedUiServices;
using test::TempDir;

class StartAtLoginTest : public ::testing::Test
{
protected:
    std::string allUsersEntry() const { return dir / "etc/xdg/autostart/kestrow.desktop"; }
    std::string userEntry() const { return dir / "home/.config/autostart/kestrow.desktop"; }
    // Makes the all-users autostart folder impossible to use, even for root: a file
    // stands where the folder should be.
    void blockAllUsersFolder() const { dir.writeFile("etc/xdg/autostart", "not a folder\n"); }

    TempDir dir;
    ScriptedUiServices ui;
};

TEST_F(StartAtLoginTest, FoldersFollowTheXdgVariables)
{
    EXPECT_EQ(AllUsersAutostartFolder(), dir / "etc/xdg/autostart");
    EXPECT_EQ(CurrentUserAutostartFolder(), dir / "home/.config/autostart");

    ::setenv("XDG_CONFIG_DIRS", (dir / "first/:" + dir / "second").c_str(), 1);
    EXPECT_EQ(AllUsersAutostartFolder(), dir / "first/autostart") << "only the first entry counts";
    ::unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(AllUsersAutostartFolder(), "/etc/xdg/autostart");
    ::setenv("XDG_CONFIG_DIRS", "relative/dir", 1);
    EXPECT_EQ(AllUsersAutostartFolder(), "/etc/xdg/autostart") << "a relative entry is ignored";

    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(CurrentUserAutostartFolder(), dir / "home/.config/autostart");
}

TEST_F(StartAtLoginTest, EntriesAreWrittenForEachScope)
{
    ASSERT_TRUE(ShowatStartup("kestrow", "/opt/kestrow/", StartupAllUsers));
    EXPECT_EQ(StartupEntryScope("kestrow"), StartupAllUsers);
    const std::string entry = dir.readFile(allUsersEntry());
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nExec=/opt/kestrow/kestrow\n"), std::string::npos) << entry;
    EXPECT_FALSE(fs::exists(userEntry()));

    ASSERT_TRUE(ShowatStartup("kestrow", "/opt/kestrow/", StartupCurrentUser));
    EXPECT_TRUE(fs::exists(userEntry())) << "the missing autostart folder is made";
    EXPECT_EQ(fs::status(dir / "home/.config/autostart").permissions() & fs::perms::others_read,
              fs::perms::others_read);
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(StartAtLoginTest, CommandWithBlanksAndQuotesReadsBack)
{
    const std::string folder = "/home/anne/My Programs/100% \"sure\" $x\\/";
    ASSERT_TRUE(ShowatStartup("kestrow", folder, StartupCurrentUser));
    clsEasyRegistry reg;
    reg.Cd(CurrentUserRunKey);
    EXPECT_EQ(reg.ValueOf("kestrow"), folder + "kestrow");
    const std::string entry = dir.readFile(userEntry());
    EXPECT_NE(entry.find("Exec=\"/home/anne/My Programs/100%% \\\\\"sure\\\\\" \\\\$x\\\\\\\\/kestrow\"\n"),
              std::string::npos)
        << entry;
}

TEST_F(StartAtLoginTest, UnknownScopeWritesNothingAndReports)
{
    EXPECT_FALSE(ShowatStartup("kestrow", "/opt/kestrow/", 2));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in modKestrow.ShowatStartup");
    EXPECT_EQ(StartupEntryScope("kestrow"), -1);
}

TEST_F(StartAtLoginTest, BlockedAllUsersFolderIsReportedAndWritesNothing)
{
    blockAllUsersFolder();
    EXPECT_FALSE(ShowatStartup("kestrow", "/opt/kestrow/", StartupAllUsers));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in modKestrow.ShowatStartup");
    EXPECT_NE(ui.messages()[0].text.find("Error: Cannot Open Key."), std::string::npos)
        << ui.messages()[0].text;
    EXPECT_EQ(StartupEntryScope("kestrow"), -1);

    try {
        WriteStartupEntry("kestrow", "/opt/kestrow/", StartupAllUsers);
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), easyreg::ApiCall);
        EXPECT_EQ(e.systemCode(), 0);
    }
}

TEST_F(StartAtLoginTest, ReadOnlyAllUsersFolderGivesTheAccessDeniedMessage)
{
    kestrow::test::asUnprivilegedUser({dir.path()}, [&] {
        const std::string folder = dir.makeDir("etc/xdg/autostart");
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(ShowatStartup("kestrow", "/opt/kestrow/", StartupAllUsers));
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in modKestrow.ShowatStartup");
        EXPECT_NE(ui.messages()[0].text.find("autostart folders due to the security rules"),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "data/ERR_DETAIL.TXT"));
    });
}

TEST_F(StartAtLoginTest, DontShowRemovesBothEntries)
{
    ASSERT_TRUE(ShowatStartup("kestrow", "/opt/kestrow/", StartupAllUsers));
    ASSERT_TRUE(ShowatStartup("kestrow", "/opt/kestrow/", StartupCurrentUser));
    dir.writeFile("home/.config/autostart/other.desktop", "[Desktop Entry]\n");
    DontShowAtStartup("kestrow");
    EXPECT_FALSE(fs::exists(allUsersEntry()));
    EXPECT_FALSE(fs::exists(userEntry()));
    EXPECT_TRUE(fs::exists(dir / "home/.config/autostart/other.desktop"));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(StartAtLoginTest, DontShowPassesOverWhatIsNotThere)
{
    DontShowAtStartup("kestrow");
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_FALSE(fs::exists(dir / "home/.config/autostart")) << "removing creates no folder";

    blockAllUsersFolder();
    ASSERT_TRUE(ShowatStartup("kestrow", "/opt/kestrow/", StartupCurrentUser));
    DontShowAtStartup("kestrow");
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_FALSE(fs::exists(userEntry())) << "the current user's entry goes even so";
}

struct CdCase
{
    const char* name;
    const char* first; // made current first ("" for none)
    const char* path;
    const char* currentKey; // expected CurrentKey, or nullptr when an error is expected
    int32_t error;
    const char* description;
};

void PrintTo(const CdCase& c, std::ostream* os)
{
    *os << c.name;
}

class CdTest : public StartAtLoginTest, public ::testing::WithParamInterface<CdCase>
{
};

TEST_P(CdTest, WalksKeys)
{
    const CdCase& c = GetParam();
    clsEasyRegistry reg;
    if (*c.first)
        reg.Cd(c.first);
    if (c.currentKey) {
        reg.Cd(c.path);
        EXPECT_EQ(reg.CurrentKey(), c.currentKey);
        return;
    }
    try {
        reg.Cd(c.path);
        ADD_FAILURE() << "no error; CurrentKey " << reg.CurrentKey();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), c.error);
        EXPECT_EQ(std::string(e.what()), c.description);
        EXPECT_EQ(reg.CurrentKey(), "");
    }
}

const CdCase kCdCases[] = {
    {"LowerCaseWithTrailingBackslash", "", "\\hkey_current_user\\software\\", "\\HKEY_CURRENT_USER\\SOFTWARE",
     0, ""},
    {"NoLeadingBackslashWithoutCurrentKey", "", "  HKEY_LOCAL_MACHINE\\Software ",
     "\\HKEY_LOCAL_MACHINE\\SOFTWARE", 0, ""},
    {"RelativeToTheCurrentKey", "\\HKEY_CURRENT_USER\\SOFTWARE", "Microsoft\\Windows\\CurrentVersion\\Run",
     CurrentUserRunKey, 0, ""},
    {"ParentOfTheRunKey", CurrentUserRunKey, "..",
     "\\HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", 0, ""},
    {"BackslashClosesTheKey", CurrentUserRunKey, "\\", "", 0, ""},
    {"UnknownRoot", "", "\\HKEY_NOWHERE\\SOFTWARE", nullptr, easyreg::InvalidKeyRoot, "Invalid Key root."},
    {"ParentWithoutCurrentKey", "", "..", nullptr, easyreg::NoCurrentKey, "No current Key."},
    {"KeyThatDoesNotExistHere", "", "\\HKEY_CURRENT_USER\\SOFTWARE\\ACME", nullptr, easyreg::ApiCall,
     "Key/Value does not exist."},
};

INSTANTIATE_TEST_SUITE_P(EasyRegistry, CdTest, ::testing::ValuesIn(kCdCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartAtLoginTest, ValueTypesAndMissingValues)
{
    clsEasyRegistry reg;
    reg.Cd(CurrentUserRunKey);
    auto expectError = [](auto&& fn, int32_t number, const std::string& description) {
        try {
            fn();
            ADD_FAILURE() << "no error for " << description;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), number);
            EXPECT_EQ(std::string(e.what()), description);
        }
    };
    expectError([&] { reg.ValueOf("kestrow", 1, "/x"); }, easyreg::TypeMismatch,
                "Type passed doesn't match Value passed.");
    expectError([&] { reg.ValueOf("kestrow", 7, "/x"); }, easyreg::TypeUnknown,
                "Type passed doesn't exist. Use STRING, DWORD or BINARY.");
    expectError([&] { reg.DeleteValue("kestrow"); }, easyreg::ApiCall, "Key/Value does not exist.");
    expectError([&] { (void)reg.ValueOf("kestrow"); }, easyreg::ApiCall, "Key/Value does not exist.");
    expectError([&] { reg.ValueOf("../escape", 0, "/x"); }, easyreg::ApiCall, "Invalid Parameter.");

    clsEasyRegistry software;
    software.Cd("\\HKEY_CURRENT_USER\\SOFTWARE");
    expectError([&] { software.ValueOf("kestrow", 0, "/x"); }, easyreg::ApiCall, "Key/Value does not exist.");
    EXPECT_FALSE(fs::exists(dir / "home/.config/autostart"));
}

} // namespace
} // namespace kestrow
