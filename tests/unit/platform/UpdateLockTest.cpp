#include "platform/InstanceLock.h"
#include "platform/TextFile.h"

#include "tests/support/TempDir.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace kestrow::platform;
using kestrow::test::TempDir;
using kestrow::test::Watchdog;

namespace {

// One read-modify-write of a counter file, replaced by rename as every save is.
void incrementUnderLock(const std::string& file)
{
    const UpdateLock lock(file);
    int err = 0;
    const std::string text = readWholeFile(file, err);
    const long value = text.empty() ? 0 : std::stol(text);
    writeFileAtomically(file, std::to_string(value + 1));
}

long counter(const std::string& file)
{
    int err = 0;
    return std::stol(readWholeFile(file, err));
}

} // namespace

TEST(UpdateLockFile, IsAHiddenSidecarInTheSameFolder)
{
    EXPECT_EQ(updateLockFile("/d/Tasks.kwt"), "/d/.Tasks.kwt.lock");
    EXPECT_EQ(updateLockFile("/data/kestrow.ini"), "/data/.kestrow.ini.lock");
    EXPECT_EQ(updateLockFile("relative.ini"), ".relative.ini.lock");
    EXPECT_EQ(updateLockFile("/a b/x"), "/a b/.x.lock");
}

// Every increment survives when threads of one process and whole processes save the
// same file at once; without the lock some read a value another is about to replace.
TEST(UpdateLock, NoIncrementIsLostAmongThreadsAndProcesses)
{
    Watchdog watchdog(60);
    TempDir tmp;
    const std::string file = tmp.writeFile("count.txt", "0");
    constexpr int kThreads = 3, kProcesses = 3, kEach = 100;

    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < kEach; ++i)
                incrementUnderLock(file);
            ::_exit(0);
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i)
                incrementUnderLock(file);
        });
    for (std::thread& t : threads)
        t.join();
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(counter(file), (kThreads + kProcesses) * kEach);
}

TEST(UpdateLock, NestsOnOneThreadAndIsSeenByOtherProcesses)
{
    Watchdog watchdog(20);
    TempDir tmp;
    const std::string file = tmp / "list.kwt";
    {
        const UpdateLock outer(file);
        ASSERT_TRUE(outer.held());
        {
            // An event handled during a save saves again: it must not wait for itself.
            const UpdateLock inner(file);
            EXPECT_TRUE(inner.held());
        }
        // Still held after the inner one ends: another process sees it.
        EXPECT_TRUE(InstanceLock::isHeld(updateLockFile(file)));
    }
    EXPECT_FALSE(InstanceLock::isHeld(updateLockFile(file)));
    EXPECT_FALSE(pathExists(updateLockFile(file))) << "the sidecar goes with the lock";

    // Held by another process, which is then killed: the lock ends with it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const UpdateLock lock(file);
        const ssize_t w = ::write(ready[1], lock.held() ? "1" : "0", 1);
        (void)w;
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, '1');
    EXPECT_TRUE(InstanceLock::isHeld(updateLockFile(file)));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(pathExists(updateLockFile(file))) << "a killed holder cannot remove it";
    {
        const UpdateLock after(file);
        EXPECT_TRUE(after.held());
    }
    EXPECT_FALSE(pathExists(updateLockFile(file)));
}

TEST(UpdateLock, AFolderWithoutRoomForTheSidecarGoesAheadUnlocked)
{
    Watchdog watchdog(20);
    TempDir tmp;
    const UpdateLock missing(tmp / "no-such-folder/list.kwt");
    EXPECT_FALSE(missing.held());
    EXPECT_EQ(missing.error(), ENOENT);
    // Not left claimed: the next one in this process does not wait.
    const UpdateLock again(tmp / "no-such-folder/list.kwt");
    EXPECT_FALSE(again.held());
}
