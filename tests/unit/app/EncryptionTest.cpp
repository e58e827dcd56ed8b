// The password scramble: round trips, the characters the stored form may hold, and
// the password's way through the real options file.

#include "app/PasswordPrompt.h"
#include "app/ProgramObjects.h"
#include "app/ProgramOptions.h"
#include "platform/SystemInfo.h"
#include "settings/IniDocument.h"
#include "settings/modEncryption.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "zelcommon/ZelCommon.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

using namespace kestrow;
using namespace kestrow::test;

namespace {

constexpr std::string_view kStoredAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789~!@#$%^&*<>?";

bool onlyStoredAlphabet(const std::string& text)
{
    return text.find_first_not_of(kStoredAlphabet) == std::string::npos;
}

// A fresh data folder and scripted answers per test.
class EncryptionTest : public ::testing::Test
{
protected:
    EncryptionTest()
    {
        std::string failed;
        // The scramble swaps case through libzelcommon.so.
        if (!zc::load(platform::executableFolder(), failed))
            ADD_FAILURE() << "cannot load " << failed;
    }
    ~EncryptionTest() override
    {
        setPasswordCodec({}, {});
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
    }

    TempDir dir;
    ScriptedUiServices ui;
};

struct RoundTripRow
{
    const char* name;
    std::string password;
};

// Rows print as their names.
void PrintTo(const RoundTripRow& row, std::ostream* os)
{
    *os << row.name;
}

class ScrambleRoundTrip : public EncryptionTest, public ::testing::WithParamInterface<RoundTripRow>
{
};

TEST_P(ScrambleRoundTrip, GivesThePasswordBackFromAStoredFormOfLettersDigitsAndSymbolsOnly)
{
    const std::string& password = GetParam().password;
    const std::string stored = ScramblePassword(password);
    EXPECT_EQ(UnscramblePassword(stored), password);
    EXPECT_TRUE(onlyStoredAlphabet(stored)) << stored;
    EXPECT_EQ(stored.find_first_of("\r\n"), std::string::npos);
    if (!password.empty()) {
        EXPECT_EQ(stored.size(), 2 * (password.size() + 4));
        EXPECT_EQ(stored.find(password), std::string::npos) << "clear text in " << stored;
    }
}

std::string everyByte()
{
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes + '\0' + "tail";
}

INSTANTIATE_TEST_SUITE_P(Passwords, ScrambleRoundTrip,
                         ::testing::Values(RoundTripRow{"Empty", ""}, RoundTripRow{"OneLetter", "a"},
                                           RoundTripRow{"Ascii", "Tr0ub4dor&3"},
                                           RoundTripRow{"InnerBlanks", "open  sesame"},
                                           RoundTripRow{"SurroundingBlanks", "  pad  "},
                                           RoundTripRow{"TableCharacters", "~!@#$%^&*<>?0123456789"},
                                           RoundTripRow{"QuotesAndIniSyntax", "\"[Section]\" key=value ;#'"},
                                           RoundTripRow{"Utf8", "Grüße, Ωμέγα, 密码, 🦅"},
                                           RoundTripRow{"LineBreaksInside", "two\nlines\r\n"},
                                           RoundTripRow{"EveryByteValue", everyByte()},
                                           RoundTripRow{"Long", std::string(2000, 'x') + "end"}),
                         [](const ::testing::TestParamInfo<RoundTripRow>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(EncryptionTest, RandomPasswordsAllComeBack)
{
    std::mt19937 random(1234567u);
    std::uniform_int_distribution<int> length(1, 64);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 2000; ++i) {
        std::string password(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : password)
            c = static_cast<char>(byte(random));
        const std::string stored = ScramblePassword(password);
        ASSERT_EQ(UnscramblePassword(stored), password) << "case " << i;
        ASSERT_TRUE(onlyStoredAlphabet(stored)) << "case " << i;
    }
}

TEST_F(EncryptionTest, PasswordsThatDifferInOneCharacterLookUnrelated)
{
    const std::string a = ScramblePassword("password1");
    const std::string b = ScramblePassword("password2");
    ASSERT_EQ(a.size(), b.size());
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        same += a[i] == b[i];
    // Only what comes before the changed byte may match.
    EXPECT_LT(same, a.size() / 2) << a << " / " << b;
}

TEST_F(EncryptionTest, AValueTypedIntoTheFileByHandIsTakenAsItStands)
{
    for (const std::string typed : {"secret", "k", "Ab", "plain text with blanks", "~~~~~~~~~~~~"})
        EXPECT_EQ(UnscramblePassword(typed), typed);
}

TEST_F(EncryptionTest, OptionsFileKeepsThePasswordScrambledAndReadsItBack)
{
    InstallPasswordCodec();
    ProgramObjects objects;
    gblnPasswordSet = true;
    gstrAdminPassword = "Käse-Brot 42";
    ProgramOptions window;
    ASSERT_TRUE(SaveProgramOptionsToIniFile(window));

    int err = 0;
    const IniDocument ini = IniDocument::load(OptionsFileSpec(), err);
    ASSERT_EQ(err, 0);
    const std::string stored = ini.getString("Miscellaneous", "AdminPassword", "");
    EXPECT_EQ(stored, ScramblePassword("Käse-Brot 42"));
    EXPECT_EQ(dir.readFile("data/kestrow.ini").find("Brot"), std::string::npos);

    gblnPasswordSet = false;
    gstrAdminPassword.clear();
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(window));
    EXPECT_TRUE(gblnPasswordSet);
    EXPECT_EQ(gstrAdminPassword, "Käse-Brot 42");
}

} // namespace
