// A Target that refuses work: files and folders another user owns, a file system
// turned read-only in the middle of a run; and a Source whose removable medium is
// not there, whose empty mount folder must never pass for an emptied Source.

#include "tests/support/CloneTestSupport.h"
#include "tests/support/FaultSupport.h"

#include "settings/IniDocument.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using TargetFaultTest = CloneTest;

std::string IniDocumentValue(const std::string& text, const char* section, const char* key)
{
    return IniDocument(text).value(section, key).value_or("<missing>");
}

int countOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Target parts owned by root that the user nobody may neither change nor (for
// "closed") read, beside parts nobody owns.
TEST_F(TargetFaultTest, TargetFilesAndFoldersThatRefuseTheUserAreLoggedAndTheRestIsCloned)
{
    if (CliPath().empty())
        GTEST_SKIP() << "this build has no kestrow-cli";
    if (!runningAsRoot())
        GTEST_SKIP() << "files of another user can only be made as root";
    if (!fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "setpriv (util-linux) is not installed";

    file("victim/keep.txt", "outside");
    file("src/ok/new.txt", "new", 1'600'000'000);
    file("src/rootfile.txt", "newer contents", 1'600'000'000);
    file("src/locked/stale.txt", "fresh", 1'600'000'000);
    file("src/locked/sub/x.txt", "x", 1'600'000'000);
    file("src/closed/inside.txt", "i", 1'600'000'000);
    file("src/z-last.txt", "last", 1'600'000'000);
    file("tgt/rootfile.txt", "old", 1'500'000'000);
    file("tgt/locked/stale.txt", "stale", 1'500'000'000);
    file("tgt/locked/orphan.txt", "orphan");
    file("tgt/closed/orphan.txt", "orphan");
    file("tgt/orphan-ok.txt", "goes");
    // Everything is nobody's but the refusing parts, which stay root's.
    ASSERT_EQ(std::system(("chown -R nobody:nogroup " + shellQuoted(tmp.path())).c_str()), 0);
    for (const char* part : {"tgt/rootfile.txt", "tgt/locked", "tgt/closed", "victim"})
        ASSERT_EQ(std::system(("chown -R root:root " + shellQuoted(root() + part)).c_str()), 0);
    setMode(tgt() + "locked", 0755);
    setMode(tgt() + "closed", 0700);
    const std::string lockedBefore = TreeDigest(tgt() + "locked");
    const std::string closedBefore = TreeDigest(tgt() + "closed");
    const std::string sourceBefore = TreeDigest(src());
    const std::string victimBefore = TreeDigest(root() + "victim");

    const CliResult r =
        RunCliAsNobody({"clone", src(), tgt(), "-q", "--copy", "regular", "--delete", "regular"});
    ASSERT_NE(r.exitCode, 127) << "nobody cannot run " << CliPath() << ": " << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(r.signal, 0);
    // One entry for each refusal: the stale file and the orphan in the locked folder,
    // the new folder there, and the closed folder's listing. Root's file in nobody's
    // folder is not one: a copy takes its name with a whole new file (never writing
    // into the old one), which the folder's owner may do.
    for (const std::string& entry :
         {"*Copy Error: 13 Permission denied stale.txt from " + src() + "locked/",
          "*Delete Error: 13 Permission denied orphan.txt from " + tgt() + "locked/",
          "*Create Dir Error: 13 Permission denied " + tgt() + "locked/sub/",
          "*Get SubFolders Error: 70 Permission is Denied " + tgt() + "closed/"})
        EXPECT_EQ(countOf(r.out, entry), 1) << entry << "\n" << r.out;
    // The run went on past them.
    EXPECT_EQ(read(tgt() + "ok/new.txt"), "new");
    EXPECT_EQ(read(tgt() + "z-last.txt"), "last");
    EXPECT_FALSE(exists(tgt() + "orphan-ok.txt"));
    EXPECT_EQ(read(tgt() + "rootfile.txt"), "newer contents");
    // What refused is as it was, and nothing else changed.
    EXPECT_EQ(TreeDigest(tgt() + "locked"), lockedBefore);
    EXPECT_EQ(TreeDigest(tgt() + "closed"), closedBefore);
    EXPECT_EQ(TreeDigest(src()), sourceBefore);
    EXPECT_EQ(TreeDigest(root() + "victim"), victimBefore);
    EXPECT_TRUE(tempFilesUnder(tgt()).empty());
}

// Turns the Target read-only once the run has performed `after` event pumps
// (retrying while the kernel refuses because a file is open for writing).
class RemountDuringRunHost : public TestRunHost
{
public:
    std::string mountPoint;
    int after = 0;
    bool remounted = false;
    void processEvents() override
    {
        TestRunHost::processEvents();
        if (!remounted && pumps >= after)
            remounted =
                std::system(("mount -o remount,ro " + shellQuoted(mountPoint) + " 2>/dev/null").c_str()) == 0;
    }
};

TEST_F(TargetFaultTest, TargetRemountedReadOnlyDuringARunFailsTheRestAndConvergesLater)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    folder("tgt");
    ScopedMount mounted("mount -t tmpfs -o size=64m kestrow-fault", tgt());
    if (!mounted.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here (a container without mount rights?)";
    file("victim/keep.txt", "outside");
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        file("src/d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".bin",
             std::string(8192, char('a' + i % 26)), 1'600'000'000);
    for (int i = 0; i < 20; ++i)
        file("tgt/zz-orphans/o" + std::to_string(i), "o");
    const std::string sourceBefore = TreeDigest(src());
    const std::string victimBefore = TreeDigest(root() + "victim");

    for (const int copyMethod : {1, 0}) {
        SCOPED_TRACE(copyMethod);
        clone.setCopyMethod(copyMethod);
        clone.setDeleteMethod(0);
        // The whole log of the run: what was flushed to the file and what is still buffered.
        fs::remove(log.LogFileSpec());
        log.ResetInMemoryLog();
        std::optional<RemountDuringRunHost> run;
        run.emplace();
        run->mountPoint = tgt();
        run->after = 60;
        run->countOnlyWhilePerforming = true;
        EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
        if (!run->remounted)
            GTEST_SKIP() << "the Target could not be remounted read-only during the run";
        std::vector<std::string> errors;
        {
            std::istringstream all(log.GetLogEntriesFromFile() + log.InMemoryString());
            for (std::string line; std::getline(all, line);)
                if (line.find(" Error: ") != std::string::npos)
                    errors.push_back(line);
        }
        const auto loggedAnErrorFor = [&](const std::string& text) {
            return std::any_of(errors.begin(), errors.end(),
                               [&](const std::string& e) { return e.find(text) != std::string::npos; });
        };
        EXPECT_TRUE(loggedAnErrorFor("Read-only file system"));
        // The run went on after the remount: each file it could not copy has an error
        // of its own, and no file under its final name is torn.
        int failed = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".bin";
            if (exists(tgt() + name) && read(tgt() + name) == read(src() + name))
                continue;
            ++failed;
            EXPECT_FALSE(exists(tgt() + name)) << name << " is torn";
            EXPECT_TRUE(loggedAnErrorFor(" f" + std::to_string(i) + ".bin ") ||
                        loggedAnErrorFor("/f" + std::to_string(i) + ".bin"))
                << name << " was neither copied nor reported";
        }
        EXPECT_GT(failed, 0);
        EXPECT_LT(failed, kFiles) << "the remount came before any copy";
        if (exists(tgt() + "zz-orphans")) {
            EXPECT_TRUE(loggedAnErrorFor("zz-orphans/"));
        }
        EXPECT_EQ(TreeDigest(src()), sourceBefore);
        EXPECT_EQ(TreeDigest(root() + "victim"), victimBefore);
        run.reset();

        // Writable again, a normal run finishes the job and leaves no temporary file.
        ASSERT_EQ(std::system(("mount -o remount,rw " + shellQuoted(tgt())).c_str()), 0);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
        EXPECT_TRUE(TreeDifferences(src(), tgt()).empty());
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());
        // The next round starts from an emptied Target again.
        for (const auto& entry : fs::directory_iterator(tgt()))
            fs::remove_all(entry.path());
        for (int i = 0; i < 20; ++i)
            file("tgt/zz-orphans/o" + std::to_string(i), "o");
    }
}

// Removable media under a media root of the test's own (KESTROW_MEDIA_ROOTS, read
// by the program's drive code, which kestrow-cli inherits): STICK is a plain
// folder on the system disk, as a mount folder is while its medium is out.
class RemovableSourceTest : public CloneTest
{
protected:
    void SetUp() override
    {
        if (CliPath().empty())
            GTEST_SKIP() << "this build has no kestrow-cli";
        m_mediaRoots.emplace("KESTROW_MEDIA_ROOTS", root() + "media");
    }

private:
    std::optional<test::ScopedEnv> m_mediaRoots;
};

TEST_F(RemovableSourceTest, ASourceOnAnAbsentMediumDeletesNothingInTheTarget)
{
    const std::string stick = root() + "media/user/STICK/";
    const std::string source = stick + "photos/";
    file("tgt/2025/a.jpg", "a");
    file("tgt/2025/b.jpg", "b");
    file("tgt/notes.txt", "n");
    const std::string targetBefore = TreeDigest(tgt());
    struct Row
    {
        const char* what;
        std::vector<std::string> stickFiles; // left on the system disk in the mount folder
    };
    const std::vector<Row> rows = {
        {"no Source folder in the mount folder", {}},
        {"an empty Source folder left in the mount folder", {"photos/"}},
        {"stale files left in the mount folder", {"photos/2025/a.jpg"}},
    };
    const std::string list = root() + "lists/Media.kwt";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(root() + "media");
        folder("media/user/STICK");
        for (const std::string& f : row.stickFiles) {
            if (f.ends_with('/'))
                folder("media/user/STICK/" + f);
            else
                file("media/user/STICK/" + f, "stale");
        }
        // Even with every guard that could hide the fault turned off.
        const CliResult oneOff = RunCli({"clone", source, tgt(), "-q", "--delete", "regular",
                                         "--allow-empty-source", "--max-delete-percent", "0"});
        EXPECT_EQ(oneOff.exitCode, 1) << oneOff.out << oneOff.err;
        EXPECT_NE((oneOff.out + oneOff.err).find("not ready"), std::string::npos) << oneOff.out << oneOff.err;
        EXPECT_EQ(TreeDigest(tgt()), targetBefore);

        tmp.writeFile("lists/Media.kwt",
                      "[Photos]\nSourceFolderSpec=" + source + "\nTargetFolderSpec=" + tgt() + "\n");
        const CliResult saved = RunCli({"run", "Photos", "--task-list", list, "-q"});
        EXPECT_EQ(saved.exitCode, 1) << saved.out << saved.err;
        EXPECT_EQ(TreeDigest(tgt()), targetBefore);
        EXPECT_EQ(IniDocumentValue(read(list), "Photos", "ErrorOnLastClone"), "True");
    }

    // The same paths with a medium mounted there are cloned: the refusal above came
    // from the missing medium, not from the paths.
    if (!runningAsRoot())
        return;
    ScopedMount medium("mount -t tmpfs -o size=1m kestrow-stick", stick);
    if (!medium.mounted())
        return;
    file("media/user/STICK/photos/2025/a.jpg", "a");
    const CliResult mountedRun = RunCli({"clone", source, tgt(), "-q", "--delete", "regular"});
    EXPECT_EQ(mountedRun.exitCode, 0) << mountedRun.out << mountedRun.err;
    EXPECT_FALSE(exists(tgt() + "notes.txt"));
    EXPECT_TRUE(TreeDifferences(source, tgt()).empty());
}

} // namespace
} // namespace kestrow::test
