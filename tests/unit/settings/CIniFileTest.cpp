#include "settings/CIniFile.h"

#include "base/AppState.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::ScriptedUiServices;
using test::TempDir;

class CIniFileTest : public ::testing::Test
{
protected:
    // An object addressing <tmp>/t.ini with Section and Key set.
    CIniFile iniFor(const std::string& section, const std::string& key) const
    {
        CIniFile ini;
        ini.setPath(tmp.path());
        ini.setName("t.ini");
        ini.setSection(section);
        ini.setKey(key);
        return ini;
    }

    // Puts `content` in t.ini (or removes it) and dates it back an hour, so a rewrite,
    // even one with identical bytes, shows in its modification time.
    void prepare(const std::optional<std::string>& content)
    {
        fs::remove(file());
        if (content) {
            tmp.writeFile("t.ini", *content);
            fs::last_write_time(file(), fs::last_write_time(file()) - std::chrono::hours(1));
        }
    }

    std::string file() const { return tmp / "t.ini"; }

    TempDir tmp;
    ScriptedUiServices scripted;
};

struct ReadRow
{
    const char* proves;
    std::optional<std::string> file; // nullopt: no file
    std::string section;
    std::string key;
    std::string defaultValue;
    std::string expected;
};

TEST_F(CIniFileTest, GetStringValueFollowsTheProfileReadRules)
{
    const std::vector<ReadRow> rows = {
        {"section names ignore case", "[Task One]\nKey=v\n", "TASK one", "Key", "d", "v"},
        {"key names ignore case", "[S]\nSourceFolderSpec=v\n", "S", "sourcefolderSPEC", "d", "v"},
        {"blanks around names and values in the file are trimmed", "  [ \tS  ]  \n \t Key  =  \tv w \t \n",
         "S", "Key", "d", "v w"},
        {"blanks around the requested names are trimmed", "[S]\nKey=v\n", "  S ", " Key\t", "d", "v"},
        {"one pair of double quotes is removed", "[S]\nKey=\"  padded  \"\n", "S", "Key", "d", "  padded  "},
        {"one pair of single quotes is removed", "[S]\nKey='x'\n", "S", "Key", "d", "x"},
        {"only the outer pair of quotes is removed", "[S]\nKey=\"\"x\"\"\n", "S", "Key", "d", "\"x\""},
        {"an unmatched quote stays", "[S]\nKey=\"x\n", "S", "Key", "d", "\"x"},
        {"different quote marks stay", "[S]\nKey=\"x'\n", "S", "Key", "d", "\"x'"},
        {"a lone quote stays", "[S]\nKey=\"\n", "S", "Key", "d", "\""},
        {"empty quotes read as empty, so the default", "[S]\nKey=\"\"\n", "S", "Key", "d", "d"},
        {"Key= with default True returns True", "[S]\nKey=\n", "S", "Key", "True", "True"},
        {"a missing key gives the default", "[S]\nOther=1\n", "S", "Key", "dflt", "dflt"},
        {"a missing section gives the default", "[T]\nKey=1\n", "S", "Key", "dflt", "dflt"},
        {"a missing file gives the default", std::nullopt, "S", "Key", "dflt", "dflt"},
        {"the first of duplicate sections wins", "[S]\nA=1\n[s]\nA=2\nB=3\n", "S", "A", "d", "1"},
        {"a later duplicate section is not searched", "[S]\nA=1\n[s]\nA=2\nB=3\n", "S", "B", "d", "d"},
        {"the first of duplicate keys wins", "[S]\nA=1\na=2\n", "S", "A", "d", "1"},
        {"CR LF line ends are read", "[S]\r\nA=1\r\nB=2\r\n", "S", "B", "d", "2"},
        {"the last line may lack its line break", "[S]\nA=1\nB=last", "S", "B", "d", "last"},
        {"a line without = is not a key", "[S]\nA\n", "S", "A", "d", "d"},
        {"a line without = does not hide the key after it", "[S]\nA\nA=2\n", "S", "A", "d", "2"},
        {"keys before the first section belong to no section", "A=1\n[S]\n", "S", "A", "d", "d"},
        {"a value keeps its own = signs", "[S]\nA=b=c\n", "S", "A", "d", "b=c"},
        {"text after the closing bracket is ignored", "[S] ; note\nA=1\n", "S", "A", "d", "1"},
        {"the section name runs to the last bracket", "[a]b]\nk=1\n", "a]b", "k", "d", "1"},
        {"letters beyond ASCII are not folded", "[Zw\xc3\xb6lf]\nk=1\n", "ZW\xc3\x96LF", "k", "d", "d"},
        {"ASCII letters around other bytes are folded", "[Zw\xc3\xb6lf]\nk=1\n", "ZW\xc3\xb6LF", "k", "d",
         "1"},
    };
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.proves);
        prepare(row.file);
        CIniFile ini = iniFor(row.section, row.key);
        EXPECT_EQ(ini.GetStringValue(row.defaultValue), row.expected);
    }
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(CIniFileTest, LongValuesReadBackCutTo16383Characters)
{
    std::string value;
    for (int i = 0; i < 20000; ++i)
        value += static_cast<char>('a' + i % 26);
    CIniFile writer = iniFor("S", "Long");
    writer.SetStringValue(value);
    CIniFile reader = iniFor("S", "Long");
    EXPECT_EQ(reader.GetStringValue("d"), value.substr(0, 16383));
    // The file itself holds the whole value.
    EXPECT_EQ(tmp.readFile("t.ini"), "[S]\nLong=" + value + "\n");
}

struct IntRow
{
    const char* proves;
    std::optional<std::string> value; // nullopt: no key
    int16_t defaultValue;
    int16_t expected;
};

TEST_F(CIniFileTest, GetIntegerValueReadsTheLeadingDecimalNumber)
{
    const std::vector<IntRow> rows = {
        {"a plain number", "42", 7, 42},
        {"a negative number with blanks around", "  -17  ", 7, -17},
        {"a plus sign", "+5", 7, 5},
        {"digits up to the first other character", "12abc", 7, 12},
        {"a decimal point ends the number", "1.9", 7, 1},
        {"no digits gives 0, not the default", "abc", 7, 0},
        {"no hexadecimal prefix", "0x1F", 7, 0},
        {"an empty value gives the default", "", 7, 7},
        {"a missing key gives the default", std::nullopt, -3, -3},
        {"quotes are removed first", "\"9\"", 7, 9},
        {"the low 16 bits of a larger number", "70000", 7, 4464},
        {"65535 is -1 in 16 bits", "65535", 7, -1},
        {"-32769 wraps to 32767", "-32769", 7, 32767},
        {"numbers beyond 32 bits wrap", "4294967297", 7, 1},
        {"only the first 29 characters are looked at", std::string(28, '0') + "12", 7, 1},
    };
    for (const IntRow& row : rows) {
        SCOPED_TRACE(row.proves);
        prepare(row.value ? "[S]\nN=" + *row.value + "\n" : std::string("[S]\nOther=1\n"));
        CIniFile ini = iniFor("S", "N");
        EXPECT_EQ(ini.GetIntegerValue(row.defaultValue), row.expected);
    }
    prepare(std::nullopt);
    CIniFile ini = iniFor("S", "N");
    EXPECT_EQ(ini.GetIntegerValue(-5), -5) << "missing file";
    EXPECT_TRUE(scripted.prompts().empty());
}

enum class Op
{
    Set,
    DeleteKey,
    DeleteSection
};

struct WriteRow
{
    const char* proves;
    std::optional<std::string> before; // nullopt: no file
    Op op;
    std::string section;
    std::string key;
    std::string value;
    std::optional<std::string> after; // nullopt: still no file
};

TEST_F(CIniFileTest, WritesFollowTheProfileWriteRules)
{
    const std::vector<WriteRow> rows = {
        {"a missing file is created", std::nullopt, Op::Set, "S", "A", "1", "[S]\nA=1\n"},
        {"an empty value writes key=", std::nullopt, Op::Set, "S", "A", "", "[S]\nA=\n"},
        {"a new section goes at the end", "[A]\nx=1\n", Op::Set, "B", "y", "2", "[A]\nx=1\n[B]\ny=2\n"},
        {"a new section after a last line without line break", "[A]\nx=1", Op::Set, "B", "y", "2",
         "[A]\nx=1\n[B]\ny=2\n"},
        {"a new key goes at the end of its section", "[A]\nx=1\n[B]\ny=2\n", Op::Set, "A", "z", "3",
         "[A]\nx=1\nz=3\n[B]\ny=2\n"},
        {"a new key goes before the lines trailing its section", "[A]\nx=1\n\n; about B\n[B]\n", Op::Set, "A",
         "z", "3", "[A]\nx=1\nz=3\n\n; about B\n[B]\n"},
        {"a new key goes after lines between keys", "[A]\nx=1\n; note\nw=2\n\n", Op::Set, "A", "z", "3",
         "[A]\nx=1\n; note\nw=2\nz=3\n\n"},
        {"a new key in a section without keys follows its header", "[A]\n\n[B]\n", Op::Set, "A", "z", "3",
         "[A]\nz=3\n\n[B]\n"},
        {"a new key after a last line without line break", "[S]\nA=1", Op::Set, "S", "B", "2",
         "[S]\nA=1\nB=2\n"},
        {"a replaced value keeps every other byte", "; c\r\n[A]\r\n  X = old  \r\ny=2\r\n[B]\r\nx=9", Op::Set,
         "a", "x", "new", "; c\r\n[A]\r\n  X = new\r\ny=2\r\n[B]\r\nx=9"},
        {"writing the same value changes nothing", "[S]\r\nA = 1\r\n", Op::Set, "S", "a", "1",
         "[S]\r\nA = 1\r\n"},
        {"the first of duplicate sections is written", "[S]\nA=1\n[s]\nA=2\n", Op::Set, "S", "A", "3",
         "[S]\nA=3\n[s]\nA=2\n"},
        {"a new key goes to the first of duplicate sections", "[S]\nA=1\n[s]\nA=2\n", Op::Set, "s", "B", "4",
         "[S]\nA=1\nB=4\n[s]\nA=2\n"},
        {"the first of duplicate keys is written", "[S]\nA=1\nA=2\n", Op::Set, "S", "A", "3",
         "[S]\nA=3\nA=2\n"},
        {"a key before the first section is not replaced", "A=0\n[S]\n", Op::Set, "S", "A", "1",
         "A=0\n[S]\nA=1\n"},
        {"a line break cuts the value", std::nullopt, Op::Set, "S", "A", "one\ntwo", "[S]\nA=one\n"},
        {"names are written trimmed", std::nullopt, Op::Set, " S ", " A ", "1", "[S]\nA=1\n"},
        {"delete key removes its line", "[S]\nA=1\nB=2\n", Op::DeleteKey, "s", "a", "", "[S]\nB=2\n"},
        {"delete key removes only the first duplicate", "[S]\nA=1\nA=2\n", Op::DeleteKey, "S", "A", "",
         "[S]\nA=2\n"},
        {"deleting a missing key changes nothing", "[S]\r\nA=1", Op::DeleteKey, "S", "B", "", "[S]\r\nA=1"},
        {"deleting a key of a missing file creates nothing", std::nullopt, Op::DeleteKey, "S", "B", "",
         std::nullopt},
        {"delete section removes its header and keys", "[A]\nx=1\n\n[B]\ny=2\n[C]\nz=3\n", Op::DeleteSection,
         "b", "", "", "[A]\nx=1\n\n[C]\nz=3\n"},
        {"delete section removes the lines trailing it", "[A]\nx=1\n[B]\ny=2\n; tail\n\n[C]\n",
         Op::DeleteSection, "B", "", "", "[A]\nx=1\n[C]\n"},
        {"delete section removes only the first duplicate", "[S]\nA=1\n[s]\nA=2\n", Op::DeleteSection, "S",
         "", "", "[s]\nA=2\n"},
        {"delete of the last section without line break", "[A]\nx=1\n[B]\ny=2", Op::DeleteSection, "B", "",
         "", "[A]\nx=1\n"},
        {"deleting a missing section leaves the file byte for byte", "; c\r\n[A]\r\n x = 1 \r\n\r\n[B]",
         Op::DeleteSection, "C", "", "", "; c\r\n[A]\r\n x = 1 \r\n\r\n[B]"},
    };
    for (const WriteRow& row : rows) {
        SCOPED_TRACE(row.proves);
        prepare(row.before);
        const auto oldTime = row.before ? fs::last_write_time(file()) : fs::file_time_type();
        CIniFile ini = iniFor(row.section, row.key);
        switch (row.op) {
        case Op::Set:
            ini.SetStringValue(row.value);
            break;
        case Op::DeleteKey:
            ini.DeleteKey();
            break;
        case Op::DeleteSection:
            ini.DeleteSection();
            break;
        }
        if (!row.after) {
            EXPECT_FALSE(fs::exists(file()));
            continue;
        }
        EXPECT_EQ(tmp.readFile("t.ini"), *row.after);
        if (row.before && *row.before == *row.after) {
            EXPECT_EQ(fs::last_write_time(file()), oldTime) << "the file was rewritten";
        }
    }
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(CIniFileTest, DeletingAKeyRevealsTheDuplicateBehindIt)
{
    prepare("[S]\nA=1\nA=2\n");
    iniFor("S", "A").DeleteKey();
    EXPECT_EQ(iniFor("s", "a").GetStringValue("d"), "2");
}

// Runs every operation with one property missing and checks the message and that the
// operation did nothing.
TEST_F(CIniFileTest, MissingPropertiesAreRefusedWithTheirMessages)
{
    struct OpCase
    {
        const char* name;
        bool fullStop;
        bool checksKey;
    };
    const std::vector<OpCase> ops = {{"GetIntegerValue", false, true},
                                     {"GetStringValue", false, true},
                                     {"SetStringValue", true, true},
                                     {"DeleteKey", true, true},
                                     {"DeleteSection", true, false}};
    const std::string content = "[S]\nK=5\n";
    for (const OpCase& op : ops) {
        for (const char* missing : {"Path", "Name", "Section", "Key"}) {
            SCOPED_TRACE(std::string(op.name) + " without " + missing);
            prepare(content);
            scripted.clear();
            const std::string savedAppPath = gstrAppPath;
            if (std::string(missing) == "Path")
                gstrAppPath.clear();
            CIniFile ini;
            gstrAppPath = savedAppPath;
            if (std::string(missing) != "Path")
                ini.setPath(tmp.path());
            if (std::string(missing) != "Name")
                ini.setName("t.ini");
            if (std::string(missing) != "Section")
                ini.setSection("S");
            if (std::string(missing) != "Key")
                ini.setKey("K");

            int16_t intResult = -1;
            std::string stringResult = "unset";
            const std::string op_name = op.name;
            if (op_name == "GetIntegerValue")
                intResult = ini.GetIntegerValue(9);
            else if (op_name == "GetStringValue")
                stringResult = ini.GetStringValue("dflt");
            else if (op_name == "SetStringValue")
                ini.SetStringValue("6");
            else if (op_name == "DeleteKey")
                ini.DeleteKey();
            else
                ini.DeleteSection();

            const bool refused = std::string(missing) != "Key" || op.checksKey;
            if (!refused) {
                // DeleteSection does not need a Key.
                EXPECT_TRUE(scripted.prompts().empty());
                EXPECT_EQ(tmp.readFile("t.ini"), "");
                continue;
            }
            std::string expected = std::string(missing) + " property must be set first";
            if (op.fullStop && (std::string(missing) == "Section" || std::string(missing) == "Key"))
                expected += ".";
            const auto messages = scripted.messages();
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].title, "CIniFile Error");
            EXPECT_EQ(messages[0].text, expected);
            EXPECT_EQ(messages[0].icon, MsgIcon::Critical);
            EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
            EXPECT_EQ(tmp.readFile("t.ini"), content);
            if (op_name == "GetIntegerValue") {
                EXPECT_EQ(intResult, 0);
            }
            if (op_name == "GetStringValue") {
                EXPECT_EQ(stringResult, "");
            }
        }
    }
}

TEST_F(CIniFileTest, OnlyTheFirstMissingPropertyIsReported)
{
    const std::string savedAppPath = gstrAppPath;
    gstrAppPath.clear();
    CIniFile ini;
    gstrAppPath = savedAppPath;
    EXPECT_EQ(ini.GetStringValue("d"), "");
    ini.setPath(tmp.path());
    ini.SetStringValue("x");
    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Path property must be set first");
    EXPECT_EQ(messages[1].text, "Name property must be set first");
}

TEST_F(CIniFileTest, NameCanBeSetOnlyOnce)
{
    CIniFile ini;
    ini.setPath(tmp.path());
    ini.setName("first.ini");
    ini.setName("second.ini");
    EXPECT_EQ(ini.Name(), "first.ini");
    EXPECT_EQ(ini.FileSpec(), tmp.path() + "/first.ini");
    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "CIniFile Error");
    EXPECT_EQ(messages[0].text,
              "This IniFile Object is already in use by " + tmp.path() + "/first.ini\nCreate a new object.");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
    // The object still works on the first file.
    ini.setSection("S");
    ini.setKey("K");
    ini.SetStringValue("v");
    EXPECT_EQ(tmp.readFile("first.ini"), "[S]\nK=v\n");
    EXPECT_FALSE(fs::exists(tmp / "second.ini"));
}

TEST_F(CIniFileTest, PathGainsOneTrailingSlash)
{
    tmp.makeDir("Data");
    for (const std::string& path : {tmp / "Data", tmp / "Data/"}) {
        CIniFile ini;
        ini.setPath(path);
        EXPECT_EQ(ini.Path(), tmp / "Data/");
        ini.setName("x.ini");
        EXPECT_EQ(ini.FileSpec(), tmp / "Data/x.ini");
    }
    CIniFile writer;
    writer.setPath(tmp / "Data");
    writer.setName("x.ini");
    writer.setSection("S");
    writer.setKey("K");
    writer.SetStringValue("v");
    CIniFile reader;
    reader.setPath(tmp / "Data/");
    reader.setName("x.ini");
    reader.setSection("S");
    reader.setKey("K");
    EXPECT_EQ(reader.GetStringValue("d"), "v");
}

TEST_F(CIniFileTest, PathStartsAsTheDataFolder)
{
    CIniFile ini;
    EXPECT_EQ(ini.Path(), tmp.dataFolder());
    ini.setName("kestrow.ini");
    ini.setSection("Log");
    ini.setKey("MaxSize");
    ini.SetStringValue("500");
    EXPECT_EQ(tmp.readFile(tmp.dataFolder() + "kestrow.ini"), "[Log]\nMaxSize=500\n");
}

TEST_F(CIniFileTest, WritesLeaveNoTemporaryFileBehind)
{
    for (int i = 0; i < 5; ++i) {
        CIniFile ini = iniFor("S" + std::to_string(i), "K");
        ini.SetStringValue(std::to_string(i));
    }
    iniFor("S1", "K").DeleteKey();
    iniFor("S2", "").DeleteSection();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(tmp.path()))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"t.ini"});
    EXPECT_EQ(tmp.readFile("t.ini"), "[S0]\nK=0\n[S1]\n[S3]\nK=3\n[S4]\nK=4\n");
}

TEST_F(CIniFileTest, AFileSpecThatCannotBeReadIsNeverWritten)
{
    // A folder where the file should be: reading fails with something other than
    // "missing", and writing must not replace it.
    tmp.makeDir("t.ini");
    CIniFile ini = iniFor("S", "K");
    EXPECT_EQ(ini.GetStringValue("d"), "d");
    EXPECT_EQ(ini.GetIntegerValue(3), 3);
    ini.SetStringValue("v");
    ini.DeleteKey();
    ini.DeleteSection();
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(CIniFileTest, DeleteINIReportsWhetherTheFileWasDeleted)
{
    prepare("[S]\nK=1\n");
    CIniFile ini = iniFor("", "");
    EXPECT_TRUE(ini.DeleteINI());
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_FALSE(ini.DeleteINI());
    EXPECT_TRUE(scripted.prompts().empty());
}

} // namespace
} // namespace kestrow
