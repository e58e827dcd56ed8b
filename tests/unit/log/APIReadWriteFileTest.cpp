#include "log/APIReadWriteFile.h"

#include "platform/TextFile.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace kestrow {
namespace {

using test::ScriptedUiServices;
using test::TempDir;

class APIReadWriteFileTest : public ::testing::Test
{
protected:
    TempDir tmp;
    ScriptedUiServices scripted;
};

TEST_F(APIReadWriteFileTest, ReadGivesEmptyForMissingOrEmptyFile)
{
    EXPECT_EQ(ReadStringFromFile(tmp / "missing.kwi"), "");
    EXPECT_EQ(ReadStringFromFile(tmp.writeFile("empty.kwi", "")), "");
    EXPECT_EQ(ReadStringFromFile(tmp.makeDir("folder")), "");
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(APIReadWriteFileTest, ReadReturnsBytesUnchanged)
{
    std::string bytes = "/a/b/<:>/c d/\r\nzw\xc3\xb6lf \xff\xfe end";
    bytes.push_back('\0');
    bytes += "after nul";
    EXPECT_EQ(ReadStringFromFile(tmp.writeFile("spec.kwi", bytes)), bytes);
}

TEST_F(APIReadWriteFileTest, WriteCreatesFile)
{
    EXPECT_TRUE(WriteStringToFile(tmp / "new.kwe", "/x/y/<:>/z/", false));
    EXPECT_EQ(tmp.readFile("new.kwe"), "/x/y/<:>/z/");
}

TEST_F(APIReadWriteFileTest, WriteLeavesExistingFileWithoutOverwrite)
{
    const std::string spec = tmp.writeFile("old.kwe", "old content");
    EXPECT_FALSE(WriteStringToFile(spec, "new", false));
    EXPECT_EQ(tmp.readFile("old.kwe"), "old content");
}

TEST_F(APIReadWriteFileTest, WriteWithOverwriteTruncatesLongerContent)
{
    const std::string spec = tmp.writeFile("old.kwe", "old content that is longer");
    EXPECT_TRUE(WriteStringToFile(spec, "new", true));
    EXPECT_EQ(tmp.readFile("old.kwe"), "new");
}

TEST_F(APIReadWriteFileTest, EmptyTextDeletesExistingFileWhateverTheOverwriteFlag)
{
    for (bool overwrite : {false, true}) {
        const std::string spec = tmp.writeFile("gone.kwi", "content");
        EXPECT_TRUE(WriteStringToFile(spec, "", overwrite));
        EXPECT_FALSE(platform::pathExists(spec)) << "overwrite " << overwrite;
    }
    EXPECT_TRUE(WriteStringToFile(tmp / "never.kwi", "", true));
    EXPECT_FALSE(platform::pathExists(tmp / "never.kwi"));
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(APIReadWriteFileTest, EmptyTextThatCannotDeleteAsksUserToDoIt)
{
    // A non-empty folder in the file's place cannot be unlinked, even by root.
    tmp.writeFile("stuck.kwi/inside", "x");
    const std::string spec = tmp / "stuck.kwi";

    EXPECT_FALSE(WriteStringToFile(spec, "", true));

    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Write String To File");
    EXPECT_EQ(messages[0].text, "Unable to delete " + spec + "Please delete this file manually.");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
}

TEST_F(APIReadWriteFileTest, WriteFailureIsReported)
{
    EXPECT_FALSE(WriteStringToFile(tmp / "no-folder/spec.kwi", "text", true));

    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Unexpected Error in modAPIReadWriteFile.WriteStringToFile");
    EXPECT_FALSE(platform::pathExists(tmp / "no-folder"));
}

} // namespace
} // namespace kestrow
