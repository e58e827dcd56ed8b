// A copy never tears the Target's good copy, with any copy method: not when the
// Target fills up, not when the Source fails to read in the middle of the file,
// not when the run is killed, and not through a hard link that a snapshot of the
// Target shares.

#include "tests/blackbox/metadata/MetadataSupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

constexpr int64_t kOldTime = 1'500'000'000;
constexpr int64_t kNewTime = 1'600'000'000;
constexpr uint64_t kMiB = 1 << 20;
constexpr uint32_t kOldSeed = 1, kNewSeed = 2;

class TornCopyTest : public RootCliTest
{
protected:
    // The Target's good copy: 1 MiB of old bytes with an old time.
    void writeOldCopy() { WritePattern(tgt() + "big.bin", kMiB, kOldSeed, kOldTime); }

    // Whether tgt/big.bin is still exactly the old copy.
    void expectOldCopyWhole(const std::string& log)
    {
        const struct stat st = StatOf(tgt() + "big.bin");
        EXPECT_EQ(st.st_size, static_cast<off_t>(kMiB)) << log;
        EXPECT_EQ(st.st_mtim.tv_sec, kOldTime) << log;
        EXPECT_TRUE(read(tgt() + "big.bin") == Pattern(kMiB, kOldSeed)) << "the old copy's bytes changed\n"
                                                                        << log;
    }
};

TEST_P(TornCopyTest, AFullTargetKeepsTheOldCopy)
{
    if (!mountFor("mount -t tmpfs -o size=4m kestrow-full", tgt()))
        GTEST_SKIP() << "tmpfs cannot be mounted here (a container without mount rights?)";
    writeOldCopy();
    WritePattern(src() + "big.bin", 8 * kMiB, kNewSeed, kNewTime);

    const CliResult r = Clone();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_FALSE(LinesWith(r.out, {"Copy Error", "big.bin"}).empty()) << r.out;
    expectOldCopyWhole(r.out);
    // Nothing else is left, under a kw_ name or any other.
    EXPECT_EQ(NamesIn(tgt()), std::vector<std::string>{"big.bin"});
    EXPECT_TRUE(tempFilesUnder(tgt()).empty());
}

// btrfs checks its data blocks: a block changed behind its back reads as EIO,
// while the blocks before it still read.
TEST_P(TornCopyTest, ASourceReadErrorKeepsTheOldCopy)
{
    if (!HaveProgram("mkfs.btrfs") || !fs::exists("/dev/loop-control"))
        GTEST_SKIP() << "needs mkfs.btrfs (package btrfs-progs) and loop devices";
    const std::string image = root() + "source.img";
    const ShellResult made =
        Shell("truncate -s 256M " + shellQuoted(image) +
              " && PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.btrfs -q -f " + shellQuoted(image));
    if (made.status != 0)
        GTEST_SKIP() << "mkfs.btrfs failed: " << made.out;
    const std::string mountCommand = "mount -t btrfs -o loop " + shellQuoted(image);
    if (!mountFor(mountCommand, src()))
        GTEST_SKIP() << "btrfs on a loop device cannot be mounted here";

    // 4 MiB whose third MiB begins with a block of a marker found again in the image.
    const std::string marker = "KESTROW-EIO-MARK";
    std::string bytes = Pattern(4 * kMiB, kNewSeed);
    for (size_t i = 0; i < 4096; i += marker.size())
        bytes.replace(2 * kMiB + i, marker.size(), marker);
    tmp.writeFile("src/big.bin", bytes);
    setLastWrite(src() + "big.bin", kNewTime);
    file("src/z-after.txt", "after", kNewTime);
    ::sync();
    unmountAll();

    uint64_t at = 0;
    {
        std::fstream img(image, std::ios::in | std::ios::out | std::ios::binary);
        const std::string block = bytes.substr(2 * kMiB, 4096);
        std::string chunk(kMiB + block.size(), '\0');
        bool found = false;
        for (uint64_t offset = 0; !found && img.seekg(static_cast<std::streamoff>(offset)); offset += kMiB) {
            img.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            const auto got = static_cast<size_t>(img.gcount());
            img.clear();
            const size_t hit = std::string_view(chunk.data(), got).find(block);
            if (hit != std::string::npos) {
                at = offset + hit;
                found = true;
            }
            if (got < chunk.size())
                break;
        }
        if (!found)
            GTEST_SKIP() << "the file's data were not found in the btrfs image";
        img.seekp(static_cast<std::streamoff>(at));
        img.write("broken", 6);
    }
    if (!mountFor(mountCommand, src()))
        GTEST_SKIP() << "the btrfs image cannot be mounted again";
    {
        const int fd = ::open((src() + "big.bin").c_str(), O_RDONLY);
        char c[4096];
        errno = 0;
        const ssize_t first = ::pread(fd, c, sizeof c, 0);
        const ssize_t middle = ::pread(fd, c, sizeof c, static_cast<off_t>(2 * kMiB));
        const int why = errno;
        ::close(fd);
        if (first != static_cast<ssize_t>(sizeof c) || middle >= 0 || why != EIO)
            GTEST_SKIP() << "changing the image did not make the file's middle fail to read";
    }
    writeOldCopy();

    const CliResult r = Clone();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_FALSE(LinesWith(r.out, {"Copy Error", "Input/output error", "big.bin"}).empty()) << r.out;
    expectOldCopyWhole(r.out);
    EXPECT_TRUE(tempFilesUnder(tgt()).empty());
    // The run went on after the error.
    EXPECT_EQ(read(tgt() + "z-after.txt"), "after") << r.out;
    EXPECT_EQ(NamesIn(tgt()), (std::vector<std::string>{"big.bin", "z-after.txt"}));
}

// Whether process `pid` has a file open below `folder` with bytes in it that is
// not the untouched old copy `old`: a temporary file (named or not), or the old
// file being written.
bool WritingBelow(int pid, const std::string& folder, const struct stat& old)
{
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code linkError;
        const std::string to = fs::read_symlink(fd.path(), linkError).string();
        struct stat st;
        if (linkError || !to.starts_with(folder) || ::stat(fd.path().c_str(), &st) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        if (st.st_size > 0 && (st.st_ino != old.st_ino || st.st_size != old.st_size))
            return true;
    }
    return false;
}

TEST_P(TornCopyTest, AKilledCopyLeavesTheOldFileWholeAndARerunFinishesIt)
{
    if (!mountFor("mount -t tmpfs -o size=400m kestrow-source", src()))
        GTEST_SKIP() << "tmpfs cannot be mounted here (a container without mount rights?)";
    WritePattern(src() + "big.bin", 300 * kMiB, kNewSeed, kNewTime);

    for (const int sig : {SIGKILL, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        writeOldCopy();
        const struct stat old = StatOf(tgt() + "big.bin");
        const int pid = StartCli({"clone", src(), tgt(), "-q", "--copy", method(), "--delete", "regular"});
        ASSERT_GT(pid, 0);
        // Polled until the copy is under way: this picks the moment, judges nothing.
        int status = 0;
        bool ended = false;
        while (!ended && !WritingBelow(pid, tgt(), old)) {
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (ended) {
            ADD_FAILURE() << "the run ended (status " << status
                          << ") before it was seen writing into the Target";
            continue;
        }
        ::kill(pid, sig);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (sig == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
            expectOldCopyWhole("after the signal");
        } else {
            // A hang-up cancels: the copy under way is finished or rolled back, and the run
            // ends as a cancelled one.
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "status " << status;
            const struct stat st = StatOf(tgt() + "big.bin");
            if (st.st_size == static_cast<off_t>(kMiB))
                expectOldCopyWhole("after the hang-up");
            else
                EXPECT_EQ(
                    Shell("cmp " + shellQuoted(src() + "big.bin") + " " + shellQuoted(tgt() + "big.bin"))
                        .status,
                    0)
                    << "neither the old copy nor the whole new one";
            EXPECT_TRUE(tempFilesUnder(tgt()).empty()) << "a cancelled copy leaves no temporary file";
        }

        const CliResult r = Clone();
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(
            Shell("cmp " + shellQuoted(src() + "big.bin") + " " + shellQuoted(tgt() + "big.bin")).status, 0)
            << r.out;
        EXPECT_TRUE(tempFilesUnder(tgt()).empty()) << r.out;
        EXPECT_EQ(NamesIn(tgt()), std::vector<std::string>{"big.bin"}) << r.out;
    }
}

// A snapshot made with cp -al shares its files' data with the Target: replacing a
// Target file, or deleting one by any method, leaves the snapshot's bytes alone.
TEST_P(TornCopyTest, FilesHardLinkedIntoASnapshotKeepTheirContents)
{
    const std::string snap = root() + "snap";
    for (const std::string deleteMethod : {"regular", "trash", "secure"}) {
        SCOPED_TRACE("--delete " + deleteMethod);
        for (const std::string& tree : {src(), tgt(), snap + "/"})
            fs::remove_all(tree);
        folder("src");
        file("src/a", "new contents of a, longer than before\n", kNewTime);
        file("tgt/a", "old a\n", kOldTime);
        file("tgt/b", "old b\n", kOldTime);
        const ShellResult linked = Shell("cp -al " + shellQuoted(root() + "tgt") + " " + shellQuoted(snap));
        ASSERT_EQ(linked.status, 0) << linked.out;
        const std::string snapBefore = TreeDigestAt(snap, WithTimes::yes);

        const CliResult r = Clone({"--delete", deleteMethod});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(TreeDigestAt(snap, WithTimes::yes), snapBefore) << r.out;
        EXPECT_EQ(read(snap + "/a"), "old a\n");
        EXPECT_EQ(read(snap + "/b"), "old b\n");
        EXPECT_EQ(read(tgt() + "a"), "new contents of a, longer than before\n") << r.out;
        EXPECT_FALSE(exists(tgt() + "b")) << r.out;
        if (deleteMethod == "trash") {
            EXPECT_EQ(read(homeTrash() + "/files/b"), "old b\n") << r.out;
        }
        if (deleteMethod == "secure") {
            // Why the data were not overwritten, for the file it is about.
            EXPECT_EQ(LinesWith(r.out, {"other hard links share its data", "'" + tgt() + "b'"}).size(), 1u)
                << r.out;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Copy, TornCopyTest, ::testing::ValuesIn(kCopyMethods),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace kestrow::test
