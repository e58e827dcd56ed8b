#include "settings/IniDocument.h"

#include "settings/CIniFile.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::ScriptedUiServices;
using test::TempDir;

struct TextRow
{
    const char* proves;
    std::string text;
};

TEST(IniDocumentText, UnchangedDocumentsGiveBackTheirBytes)
{
    std::string binary = "[S]\nA=\x01\x02\xff";
    binary.push_back('\0');
    binary += "\r\r\n[\0]=\n\x1a";
    const std::vector<TextRow> rows = {
        {"empty text", ""},
        {"LF lines", "[S]\nA=1\n"},
        {"CR LF lines", "[S]\r\nA=1\r\n"},
        {"mixed line ends", "[S]\r\nA=1\nB=2\r\n"},
        {"no final line break", "[S]\nA=1"},
        {"a final lone CR", "[S]\nA=1\r"},
        {"blank lines and comments", "\n; head\n\n[S]\n\n; c\nA=1\n\n"},
        {"blanks kept as written", "  [ S ]  \n  A  =  1  \n"},
        {"text before the first section", "A=0\nfree text\n[S]\n"},
        {"binary bytes and NUL", binary},
        {"only line breaks", "\n\r\n\n"},
        {"a header without closing bracket", "[S\nA=1\n"},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const IniDocument doc(row.text);
        EXPECT_EQ(doc.text(), row.text);
        EXPECT_FALSE(doc.modified());
    }
}

TEST(IniDocumentText, ValueDistinguishesMissingFromEmpty)
{
    const IniDocument doc("[S]\nEmpty=\nQuoted=\"\"\nFull= x \n");
    EXPECT_EQ(doc.value("S", "Empty"), std::optional<std::string>(""));
    EXPECT_EQ(doc.value("S", "Quoted"), std::optional<std::string>(""));
    EXPECT_EQ(doc.value("S", "Full"), std::optional<std::string>("x"));
    EXPECT_EQ(doc.value("S", "Missing"), std::nullopt);
    EXPECT_EQ(doc.value("T", "Full"), std::nullopt);
    EXPECT_EQ(doc.value("", "Full"), std::nullopt);
    EXPECT_EQ(doc.value("S", " "), std::nullopt);
    EXPECT_EQ(doc.getString("S", "Empty", "True"), "True");
    EXPECT_EQ(doc.getInt("S", "Full", 4), 0);
}

TEST(IniDocumentText, SectionNamesFollowTheFile)
{
    IniDocument doc("A=0\n[One]\n[ two ]\nk=1\n[ONE]\n[]\n");
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"One", "two", "ONE", ""}));
    EXPECT_TRUE(doc.deleteSection("one"));
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"two", "ONE", ""}));
    EXPECT_TRUE(doc.hasSection("One")) << "the duplicate behind the deleted section";
    EXPECT_TRUE(doc.deleteSection("one"));
    EXPECT_FALSE(doc.hasSection("One"));
    EXPECT_FALSE(doc.deleteSection("one"));
    EXPECT_FALSE(doc.hasSection("")) << "an empty name matches nothing";
    doc.setString("New", "k", "v");
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"two", "", "New"}));
}

TEST(IniDocumentText, ModifiedOnlyByRealChanges)
{
    IniDocument doc("[S]\nA=1\n");
    doc.setString("s", "a", "1");
    EXPECT_FALSE(doc.deleteKey("S", "B"));
    EXPECT_FALSE(doc.deleteSection("T"));
    doc.setString("", "A", "2");
    doc.setString("S", "", "2");
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.text(), "[S]\nA=1\n");
    doc.setString("S", "A", "2");
    EXPECT_TRUE(doc.modified());
}

TEST(IniDocumentText, DeletedSectionsCanBeCreatedAgainAtTheEnd)
{
    IniDocument doc("[A]\nx=1\n[B]\ny=2\n");
    EXPECT_TRUE(doc.deleteSection("A"));
    doc.setString("A", "x", "3");
    EXPECT_EQ(doc.text(), "[B]\ny=2\n[A]\nx=3\n");
    EXPECT_TRUE(doc.deleteKey("A", "x"));
    doc.setString("A", "z", "4");
    EXPECT_EQ(doc.text(), "[B]\ny=2\n[A]\nz=4\n");
}

class IniDocumentFile : public ::testing::Test
{
protected:
    TempDir tmp;
    ScriptedUiServices scripted;
};

TEST_F(IniDocumentFile, LoadOfAMissingFileIsAnEmptyDocument)
{
    int err = -1;
    IniDocument doc = IniDocument::load(tmp / "none.kwt", err);
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(doc.sectionNames().empty());
    EXPECT_EQ(doc.filePath(), tmp / "none.kwt");
    doc = IniDocument::load(tmp / "no-folder/none.kwt", err);
    EXPECT_EQ(err, 0);
    EXPECT_FALSE(fs::exists(tmp / "none.kwt")) << "loading creates nothing";
}

TEST_F(IniDocumentFile, LoadFailureIsReportedAndSaveIntoAMissingFolderFails)
{
    tmp.makeDir("folder.kwt");
    int err = 0;
    IniDocument doc = IniDocument::load(tmp / "folder.kwt", err);
    EXPECT_NE(err, 0);
    doc.setString("S", "K", "v");
    EXPECT_NE(doc.saveAs(tmp / "missing/x.kwt"), 0);
    EXPECT_FALSE(fs::exists(tmp / "missing"));
    EXPECT_EQ(IniDocument("[S]\n").save(), EINVAL) << "no path to save to";
}

// The task list of a later issue: 1000 tasks, one section each, 30 keys per task.
std::string taskName(int t)
{
    return "Task " + std::to_string(t);
}
std::string keyName(int k)
{
    return "Key" + std::to_string(k);
}
std::string valueFor(int t, int k)
{
    return "/home/user/folder " + std::to_string(t) + "/sub " + std::to_string(k) + "/";
}

// The whole file as the batch writes it: one section per task, keys in order.
std::string expectedTaskFile(const std::string& key7)
{
    std::string text;
    for (int t = 0; t < 1000; ++t) {
        text += "[" + taskName(t) + "]\n";
        for (int k = 0; k < 30; ++k)
            text += keyName(k) + "=" + (k == 7 && !key7.empty() ? key7 : valueFor(t, k)) + "\n";
    }
    return text;
}

TEST_F(IniDocumentFile, BatchRoundTripOf1000Sections)
{
    const std::string path = tmp / "big.kwt";
    {
        int err = -1;
        IniDocument doc = IniDocument::load(path, err);
        ASSERT_EQ(err, 0);
        for (int t = 0; t < 1000; ++t)
            for (int k = 0; k < 30; ++k)
                doc.setString(taskName(t), keyName(k), valueFor(t, k));
        ASSERT_EQ(doc.save(), 0);
    }
    ASSERT_EQ(tmp.readFile("big.kwt"), expectedTaskFile({}));

    int err = -1;
    IniDocument doc = IniDocument::load(path, err);
    ASSERT_EQ(err, 0);
    std::vector<std::string> expectedNames;
    for (int t = 0; t < 1000; ++t)
        expectedNames.push_back(taskName(t));
    EXPECT_EQ(doc.sectionNames(), expectedNames);
    int mismatches = 0;
    for (int t = 0; t < 1000; ++t)
        for (int k = 0; k < 30; ++k)
            mismatches += doc.getString(taskName(t), keyName(k), "") != valueFor(t, k);
    EXPECT_EQ(mismatches, 0);

    // Updating one key of every task in place keeps everything else where it was.
    for (int t = 0; t < 1000; ++t)
        doc.setString(taskName(t), "KEY7", "changed");
    ASSERT_EQ(doc.save(), 0);
    EXPECT_EQ(tmp.readFile("big.kwt"), expectedTaskFile("changed"));
}

TEST_F(IniDocumentFile, BatchAndSingleValueWritesGiveTheSameFile)
{
    // Start from a hand-written file with CR LF lines, a comment and a trailing blank.
    const std::string start = "; tasks\r\n[Task 1]\r\nKey0 = old\r\n\r\n[Other]\r\nx=1";
    tmp.writeFile("single.kwt", start);
    tmp.writeFile("batch.kwt", start);

    int err = -1;
    IniDocument doc = IniDocument::load(tmp / "batch.kwt", err);
    ASSERT_EQ(err, 0);
    for (int t = 0; t < 3; ++t) {
        for (int k = 0; k < 4; ++k) {
            CIniFile ini;
            ini.setPath(tmp.path());
            ini.setName("single.kwt");
            ini.setSection(taskName(t));
            ini.setKey(keyName(k));
            ini.SetStringValue(valueFor(t, k));
            doc.setString(taskName(t), keyName(k), valueFor(t, k));
        }
    }
    CIniFile ini;
    ini.setPath(tmp.path());
    ini.setName("single.kwt");
    ini.setSection("Other");
    ini.DeleteSection();
    doc.deleteSection("Other");
    ASSERT_EQ(doc.save(), 0);
    EXPECT_EQ(tmp.readFile("batch.kwt"), tmp.readFile("single.kwt"));
    EXPECT_EQ(tmp.readFile("batch.kwt"),
              "; tasks\r\n[Task 1]\r\nKey0 = " + valueFor(1, 0) + "\r\nKey1=" + valueFor(1, 1) + "\nKey2=" +
                  valueFor(1, 2) + "\nKey3=" + valueFor(1, 3) + "\n\r\n[Task 0]\nKey0=" + valueFor(0, 0) +
                  "\nKey1=" + valueFor(0, 1) + "\nKey2=" + valueFor(0, 2) + "\nKey3=" + valueFor(0, 3) +
                  "\n[Task 2]\nKey0=" + valueFor(2, 0) + "\nKey1=" + valueFor(2, 1) +
                  "\nKey2=" + valueFor(2, 2) + "\nKey3=" + valueFor(2, 3) + "\n");
    EXPECT_TRUE(scripted.prompts().empty());
}

} // namespace
} // namespace kestrow
