// Faults met by the built kestrow-cli: runs killed at random moments, an empty
// Source, a Target another process is working on, and damaged task lists and
// options files.

#include "tests/support/CloneTestSupport.h"
#include "tests/support/FaultSupport.h"

#include "base/AppState.h"
#include "platform/DeviceId.h"
#include "platform/InstanceLock.h"

#include <filesystem>
#include <fstream>
#include <random>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

class CliFaultTest : public CloneTest
{
protected:
    void SetUp() override
    {
        if (CliPath().empty())
            GTEST_SKIP() << "this build has no kestrow-cli";
    }
    CliResult runClone(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {"clone", src(), tgt(), "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    }
};

TEST_F(CliFaultTest, KilledRunsConvergeToAnExactMirrorWithNoTemporaryFile)
{
    std::mt19937 rng(20260107); // seeded: the same moments every run
    std::uniform_int_distribution<long> delay(0, 40'000);
    for (int i = 0; i < 120; ++i)
        file("src/d" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".bin",
             std::string(4096 + 512 * (i % 9), char('a' + i % 26)), 1'600'000'000);
    file("tgt/orphan/old.txt", "o");
    int killedMidRun = 0;
    for (int round = 0; round < 12; ++round) {
        // Every file changes, so every copy of the round replaces a Target file.
        for (int i = round % 3; i < 120; i += 3)
            file("src/d" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".bin",
                 std::string(4096 + 512 * ((i + round) % 9), char('A' + (i + round) % 26)),
                 1'600'000'000 + round + 1);
        const int pid = StartCli(
            {"clone", src(), tgt(), "-q", "--copy", round % 2 ? "safe" : "regular", "--delete", "regular"});
        ASSERT_GT(pid, 0);
        if (KillAfter(pid, delay(rng)))
            ++killedMidRun;
    }
    const CliResult last = runClone({"--copy", "safe", "--delete", "regular"});
    EXPECT_EQ(last.exitCode, 0) << last.out << last.err;
    EXPECT_TRUE(TreeDifferences(src(), tgt()).empty())
        << ::testing::PrintToString(TreeDifferences(src(), tgt()));
    EXPECT_TRUE(tempFilesUnder(tgt()).empty()) << ::testing::PrintToString(tempFilesUnder(tgt()));
    EXPECT_TRUE(tempFilesUnder(src()).empty());
    RecordProperty("killed_mid_run", killedMidRun);
}

TEST_F(CliFaultTest, EmptySourceIsRefusedUnlessAllowed)
{
    fs::create_directories(src());
    file("tgt/precious.txt", "p");
    const CliResult refused = runClone({"--delete", "regular"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Problems processing the Source folder. The Source folder is empty, so the "
                               "Target folder was left untouched."),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(read(tgt() + "precious.txt"), "p");

    const CliResult allowed = runClone({"--delete", "regular", "--allow-empty-source"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.out;
    EXPECT_TRUE(fs::is_empty(tgt()));
}

TEST_F(CliFaultTest, DeletionCapFlagBoundsTheRunAndRejectsBadValues)
{
    for (int i = 0; i < 12; ++i)
        file("tgt/f" + std::to_string(i) + ".txt", "x");
    file("src/f0.txt", "x");
    const CliResult capped = runClone({"--delete", "regular", "--max-delete-percent", "50"});
    EXPECT_EQ(capped.exitCode, 1);
    EXPECT_NE(capped.out.find("11 of its 12 files were to be deleted, more than the limit of 50%"),
              std::string::npos)
        << capped.out;
    EXPECT_TRUE(exists(tgt() + "f11.txt"));
    for (const char* bad : {"-1", "101", "ten", "", "5%"}) {
        const CliResult r = runClone({"--max-delete-percent", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
    }
    EXPECT_TRUE(exists(tgt() + "f11.txt"));
    const CliResult unlimited = runClone({"--delete", "regular", "--max-delete-percent", "0"});
    EXPECT_EQ(unlimited.exitCode, 0) << unlimited.out;
    EXPECT_FALSE(exists(tgt() + "f11.txt"));
}

TEST_F(CliFaultTest, ATargetLockedByAnotherProcessIsSkippedAndTheOthersAreCloned)
{
    file("src/a.txt", "a");
    fs::create_directories(tgt());
    const std::string other = root() + "other/";
    fs::create_directories(other);
    int err = 0;
    const std::string lockFile =
        platform::targetLockFile(gstrAppPath, platform::resolvedFolderPath(tgt()), err);
    ASSERT_FALSE(lockFile.empty()) << err;
    // A second process holds the lock (flock locks belong to the open file: a child of our own).
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        platform::InstanceLock lock;
        const bool ok = lock.acquire(lockFile) == platform::InstanceLock::Result::Acquired;
        const ssize_t written = ::write(ready[1], ok ? "1" : "0", 1);
        (void)written;
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, '1');

    const CliResult r = RunCli({"clone", src(), tgt(), other, "-q"});
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Another run is working on this Target folder now, so it was skipped."),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(exists(tgt() + "a.txt"));
    EXPECT_EQ(read(other + "a.txt"), "a");

    // The holder gone (killed, as a crashed program would be), the Target is free again.
    const CliResult again = runClone({});
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
}

TEST_F(CliFaultTest, DamagedTaskListsAndOptionsFilesNeverCrashTheProgram)
{
    std::mt19937 rng(4242);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary)
        c = static_cast<char>(rng());
    const std::string valid = "[Backup]\nSourceFolderSpec=" + src() + "\nTargetFolderSpec=" + tgt() +
                              "\nIncludeSubFolders=True\nStartTime=0.5\nIntervalType=0\n";
    std::string huge;
    for (int i = 0; i < 20000; ++i)
        huge += "[Task " + std::to_string(i) + "]\nSourceFolderSpec=/nowhere/" + std::to_string(i) +
                "\nTargetFolderSpec=/none\nIntervalType=9999999999999\nStartTime=abc\n";
    struct Row
    {
        const char* name;
        std::string contents;
    };
    const std::vector<Row> rows = {
        {"Empty", ""},
        {"Truncated", valid.substr(0, valid.size() / 2)},
        {"TruncatedMidKey", "[Backup]\nSourceFolderSpec"},
        {"Binary", binary},
        {"OnlyNulBytes", std::string(4096, '\0')},
        {"Huge", huge},
        {"OlderFormatGarbage", "a~!@#b~!@#\n~!@#~!@#~!@#~!@#~!@#~!@#~!@#~!@#~!@#~!@#~!@#~!@#~!@#\n"},
        {"UnterminatedSection", "[Backup\nSourceFolderSpec=x\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string list = tmp.writeFile(std::string("lists/") + row.name + ".kwt", row.contents);
        std::vector<std::vector<std::string>> commands = {{"list", "--task-list", list}};
        if (row.contents.size() < 100'000) // running 20000 broken tasks proves nothing more
            commands.push_back({"run", "--all", "--task-list", list, "-q"});
        for (const std::vector<std::string>& args : commands) {
            const CliResult r = RunCli(args);
            EXPECT_EQ(r.signal, 0) << args[0];
            EXPECT_GE(r.exitCode, 0) << args[0];
            EXPECT_LE(r.exitCode, 3) << args[0];
        }
        // The same bytes as the options file.
        tmp.writeFile("data/kestrow.ini", row.contents);
        const CliResult r = RunCli({"list", "--task-list", tmp / "lists/Empty.kwt"});
        EXPECT_EQ(r.signal, 0);
        EXPECT_GE(r.exitCode, 0);
        EXPECT_LE(r.exitCode, 3);
        fs::remove(tmp / "data/kestrow.ini");
    }
}

} // namespace
} // namespace kestrow::test
