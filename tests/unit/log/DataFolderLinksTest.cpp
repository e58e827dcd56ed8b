// clone.log and ERR_DETAIL.TXT with a symbolic link or a FIFO planted at their names:
// nothing is written where the link points, nothing blocks, and the person is told why.

#include "log/CloneLog.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow {
namespace {

using test::ScriptedUiServices;
using test::TempDir;
namespace fs = std::filesystem;

class DataFolderLinksTest : public ::testing::Test
{
protected:
    TempDir tmp;
    ScriptedUiServices scripted;
    ManualClock manual{dateFromParts({2026, 12, 7, 6, 37, 2})};
    ScopedClock scopedClock{manual};

    std::string statement(const std::string& file) const
    {
        return tmp.dataFolder() + file +
               " is a symbolic link; Kestrow does not open files of its data folder through links.";
    }
    // The one message shown, which must name `location` and hold `text`.
    void expectOneMessage(const std::string& title, const std::string& text) const
    {
        const auto messages = scripted.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, title);
        EXPECT_NE(messages[0].text.find(text), std::string::npos) << messages[0].text;
        // The plain statement replaces the system's own wording for a link.
        EXPECT_EQ(messages[0].text.find("Too many levels of symbolic links"), std::string::npos)
            << messages[0].text;
    }
};

TEST_F(DataFolderLinksTest, LogAppendedAtALinkWritesNothingThereAndSaysWhy)
{
    struct Row
    {
        const char* name;
        bool dangling;
    };
    for (const Row row : {Row{"to an existing file", false}, Row{"to a missing file", true}}) {
        SCOPED_TRACE(row.name);
        scripted.clear();
        const std::string outside = tmp / "outside/victim";
        if (!row.dangling)
            tmp.writeFile("outside/victim", "victim text\n");
        fs::create_directories(tmp / "outside");
        fs::remove(tmp.dataFolder() + "clone.log");
        fs::create_symlink(outside, tmp.dataFolder() + "clone.log");

        cCloneLog log;
        log.Add(LogEntryType::Begin, "Backup");
        EXPECT_FALSE(log.AppendInMemoryStringToLogFile());
        expectOneMessage("Unexpected Error in cCloneLog.AppendInMemoryStringToLogFile",
                         statement("clone.log"));
        if (row.dangling)
            EXPECT_FALSE(fs::exists(fs::symlink_status(outside)));
        else
            EXPECT_EQ(tmp.readFile("outside/victim"), "victim text\n");
        // Nor is the file behind the link shown as the log.
        EXPECT_EQ(log.GetLogEntriesFromFile(), "");
        EXPECT_TRUE(fs::is_symlink(tmp.dataFolder() + "clone.log"));
        fs::remove(outside);
    }
}

TEST_F(DataFolderLinksTest, LogAppendedAtAFifoReturnsAtOnceAndWritesNothing)
{
    const std::string fifo = tmp.dataFolder() + "clone.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // With a reader waiting, an open for writing would succeed and the write go into the pipe.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ::alarm(20); // a blocked open ends the test program instead of hanging it
    cCloneLog log;
    log.Add(LogEntryType::Begin, "Backup");
    EXPECT_FALSE(log.AppendInMemoryStringToLogFile());
    char c;
    EXPECT_LE(::read(reader, &c, 1), 0) << "the log went into the FIFO";
    ::close(reader);
    // Without a reader, an open for writing would block without O_NONBLOCK.
    EXPECT_FALSE(log.AppendInMemoryStringToLogFile());
    ::alarm(0);
    EXPECT_EQ(scripted.messages().size(), 2u);
    for (const auto& m : scripted.messages())
        EXPECT_EQ(m.title, "Unexpected Error in cCloneLog.AppendInMemoryStringToLogFile");
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(DataFolderLinksTest, ErrorDetailAtALinkIsNotWrittenAndTheErrorHandlerSaysWhy)
{
    const std::string outside = tmp.writeFile("outside/victim", "victim text\n");
    fs::create_symlink(outside, tmp.dataFolder() + "ERR_DETAIL.TXT");
    ReportError(PendingError{75, "Something failed", 0}, "cClone.CloneAll", "the details");
    expectOneMessage("Error in Error Handler", statement("ERR_DETAIL.TXT"));
    EXPECT_EQ(tmp.readFile("outside/victim"), "victim text\n");

    // An ordinary detail file is still written.
    scripted.clear();
    fs::remove(tmp.dataFolder() + "ERR_DETAIL.TXT");
    ReportError(PendingError{75, "Something failed", 0}, "cClone.CloneAll", "the details");
    ASSERT_EQ(scripted.messages().size(), 1u);
    EXPECT_EQ(scripted.messages()[0].title, "Unexpected Error in cClone.CloneAll");
    EXPECT_NE(tmp.readFile("data/ERR_DETAIL.TXT").find("the details"), std::string::npos);
}

TEST(DataFileErrorText, OnlyALinkGetsTheStatement)
{
    EXPECT_EQ(
        DataFileErrorText(ELOOP, "/d/clone.log", "other"),
        "/d/clone.log is a symbolic link; Kestrow does not open files of its data folder through links.");
    for (const int err : {ENOENT, EACCES, EINVAL, ENOSPC, 0})
        EXPECT_EQ(DataFileErrorText(err, "/d/clone.log", "other"), "other") << err;
}

} // namespace
} // namespace kestrow
