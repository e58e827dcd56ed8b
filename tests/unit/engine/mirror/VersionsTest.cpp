// Old versions: whatever a run deletes or replaces in a Target is found again,
// byte for byte with its mode and times, in that run's moment folder; the
// limits remove old moments; a versions folder that cannot be written stops
// the Target's run; and nothing that reads a Target sees the versions folder.

#include "tests/support/CloneTestSupport.h"
#include "tests/support/Mount.h"

#include "engine/Report.h"
#include "engine/Versions.h"
#include "platform/FolderAt.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

const std::string kTmpfs = "mount -t tmpfs -o size=4m kestrow-test";

class VersionsTest : public CloneTest
{
protected:
    VersionsTest()
    {
        clone.setKeepVersions(true);
        clone.setVersionsKeepDays(0);
    }

    std::string versions() const { return tgt() + ".kestrow-versions/"; }
    // The differences of the two trees but the versions folder at the top of the second.
    std::vector<std::string> differencesButVersions(const std::string& a, const std::string& b) const
    {
        std::vector<std::string> out = TreeDifferences(a, b);
        std::erase(out, "only in second: " + b + ".kestrow-versions");
        return out;
    }
    std::string moment() const { return versions() + MomentName(clock.now()) + "/"; }

    // A copy of the Target as it is, metadata and all, to compare the kept items with.
    std::string snapshot()
    {
        const std::string copy = root() + "before/";
        fs::remove_all(copy);
        EXPECT_EQ(std::system(("cp -a " + shellQuoted(tgt()) + " " + shellQuoted(copy)).c_str()), 0);
        return copy;
    }

    // Bytes, kind, permission bits and last-write time of two entries, as one text each.
    static std::string describe(const std::string& path)
    {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            return "missing";
        std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            text += " " + std::string(std::istreambuf_iterator<char>(in), {});
        } else if (S_ISLNK(st.st_mode)) {
            text += " -> " + fs::read_symlink(path).string();
        }
        return text;
    }

    void expectKept(const std::string& before, const std::string& momentFolder,
                    const std::vector<std::string>& items)
    {
        for (const std::string& item : items) {
            SCOPED_TRACE(item);
            EXPECT_NE(describe(before + item), "missing");
            EXPECT_EQ(describe(momentFolder + item), describe(before + item));
        }
    }
};

TEST_F(VersionsTest, EveryChangeKeepsTheOldEntryInTheMomentWithEachCopyAndDeleteMethod)
{
    const std::string odd = "odd name \\ with\nline feed.txt";
    struct Row
    {
        int copyMethod;
        int deleteMethod;
    };
    for (const Row row : {Row{0, 0}, Row{1, 0}, Row{2, 0}, Row{0, 1}, Row{1, 3}, Row{2, 3}, Row{0, 2}}) {
        SCOPED_TRACE("copy " + std::to_string(row.copyMethod) + " delete " +
                     std::to_string(row.deleteMethod));
        fs::remove_all(src());
        fs::remove_all(tgt());
        // Source as it is now.
        file("src/changed.txt", "new content, longer", 1'700'000'100);
        file("src/readonly.txt", "new read-only", 1'700'000'100);
        folder("src/was-file/");
        file("src/was-file/inner.txt", "i", 1'700'000'100);
        file("src/was-folder", "now a file", 1'700'000'100);
        file("src/" + odd, "odd new!", 1'700'000'100);
        link("src/link", "new-target");
        file("src/sub/kept.txt", "same", 1'600'000'000);
        // The Target as the last run left it.
        file("tgt/changed.txt", "old", 1'600'000'007, 123456789);
        file("tgt/readonly.txt", "old read-only", 1'600'000'008);
        setMode(tgt() + "readonly.txt", 0444);
        file("tgt/was-file", "a file before", 1'600'000'009);
        file("tgt/was-folder/a.txt", "a in folder", 1'600'000'010);
        file("tgt/gone.txt", "deleted in the Source", 1'600'000'011);
        file("tgt/gone-folder/deep/x.txt", "x", 1'600'000'012);
        file("tgt/" + odd, "odd old", 1'600'000'013);
        link("tgt/link", "old-target");
        file("tgt/sub/kept.txt", "same", 1'600'000'000);
        setMode(tgt() + "gone-folder/deep", 0750);
        const std::string before = snapshot();

        clone.setCopyMethod(row.copyMethod);
        clone.setDeleteMethod(row.deleteMethod);
        const bool ok = clone.CloneAll(src(), tgt(), true);

        // With nothing deleted, the file where the Source has a folder stays, and that is an error.
        const bool deletes = row.deleteMethod != 2;
        EXPECT_EQ(ok, deletes);
        if (deletes) {
            EXPECT_EQ(differencesButVersions(src(), tgt()), std::vector<std::string>{});
        }
        // Replaced files are kept with every method; deleted ones unless nothing is deleted.
        expectKept(before, moment(), {"changed.txt", "readonly.txt", odd, "link"});
        if (deletes) {
            expectKept(
                before, moment(),
                {"was-file", "was-folder/a.txt", "gone.txt", "gone-folder/deep/x.txt", "gone-folder/deep"});
        } else {
            EXPECT_FALSE(exists(moment() + "gone.txt"));
            EXPECT_EQ(read(tgt() + "gone.txt"), "deleted in the Source");
        }
        EXPECT_FALSE(exists(moment() + "sub")); // nothing of it changed
        EXPECT_FALSE(exists(moment() + "changed.txt (2)"));
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());
        // Nothing went to the trash instead.
        EXPECT_EQ(logCount("Safe Copy Error"), 0);
    }
}

TEST_F(VersionsTest, EachRunHasItsMomentAndAFileReplacedTwiceKeepsBothVersions)
{
    file("src/a.txt", "one", 1'600'000'000);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(exists(versions())) << "a run that keeps nothing leaves no versions folder";
    setLastWrite(src(), 1'500'000'000);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(TreeDifferences(src(), tgt()), std::vector<std::string>{}) << "nor a trace in the root's time";

    file("src/a.txt", "two!", 1'600'000'100);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    const std::string first = moment();
    clock.advanceMinutes(1);
    file("src/a.txt", "three", 1'600'000'200);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    const std::string second = moment();
    // The same second again: a moment of its own.
    file("src/a.txt", "four!!", 1'600'000'300);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));

    EXPECT_EQ(read(first + "a.txt"), "one");
    EXPECT_EQ(read(second + "a.txt"), "two!");
    EXPECT_EQ(read(second.substr(0, second.size() - 1) + " 2/a.txt"), "three");
    EXPECT_EQ(read(tgt() + "a.txt"), "four!!");

    std::vector<VersionMoment> moments;
    ASSERT_EQ(ListMoments(versions(), moments), 0);
    ASSERT_EQ(moments.size(), 3u);
    EXPECT_EQ(moments[0].name, "2026-12-07 063702");
    EXPECT_EQ(moments[1].name, "2026-12-07 063802");
    EXPECT_EQ(moments[2].name, "2026-12-07 063802 2");
    EXPECT_EQ(moments[0].items, 1u);
    EXPECT_EQ(moments[0].bytes, 3u);
}

TEST_F(VersionsTest, ManyReplacedFilesOnTheCopyThreadsAreAllKept)
{
    for (int i = 0; i < 150; ++i) {
        file("src/f" + std::to_string(i), "new " + std::to_string(i), 1'600'000'100);
        file("tgt/f" + std::to_string(i), "old " + std::to_string(i) + "!", 1'600'000'000);
    }
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(differencesButVersions(src(), tgt()), std::vector<std::string>{});
    for (int i = 0; i < 150; ++i)
        EXPECT_EQ(read(moment() + "f" + std::to_string(i)), "old " + std::to_string(i) + "!");
}

TEST_F(VersionsTest, DeepPathsAreKeptBelowThePathLimit)
{
    const std::string deep = makeDeepFolder("tgt/deep");
    file("src/other.txt", "o");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(exists(tgt() + "deep"));
    // The kept chain is as deep as the Target's was: walk it by names.
    std::vector<VersionItem> items;
    ASSERT_EQ(ListMomentItems(versions(), MomentName(clock.now()), items), 0);
    ASSERT_FALSE(items.empty());
    EXPECT_TRUE(items.back().path.ends_with("/f"));
    EXPECT_GT(items.back().path.size(), 4096u);
    // Beyond the reach of paths, the tree is removed through handles, as the limits remove it.
    platform::OpenFolder folder;
    platform::FolderIdentity id;
    ASSERT_EQ(platform::openRootFolder(versions(), folder, id), 0);
    uint64_t removed = 0;
    EXPECT_EQ(platform::removeTreeAt(folder, id, MomentName(clock.now()), &removed), 0);
    EXPECT_EQ(removed, 1u); // the one file: folders with entries count by them
    EXPECT_FALSE(exists(moment()));
    (void)deep;
}

TEST_F(VersionsTest, LimitsRemoveMomentsByAgeAndByCountOldestFirst)
{
    auto changeAndRun = [&](const std::string& content) {
        file("src/a.txt", content, 1'600'000'000 + static_cast<int64_t>(content.size()));
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    };
    auto momentNames = [&] {
        std::vector<VersionMoment> moments;
        EXPECT_EQ(ListMoments(versions(), moments, false), 0);
        std::vector<std::string> names;
        for (const auto& m : moments)
            names.push_back(m.name);
        return names;
    };
    changeAndRun("1");
    clone.setVersionsKeepDays(30);
    changeAndRun("22"); // kept: "1" on 12-07
    clock.advanceMinutes(10 * 1440);
    changeAndRun("333"); // 12-17
    clock.advanceMinutes(25 * 1440);
    changeAndRun("4444"); // 2027-01-11: 12-07 is 35 days old
    EXPECT_EQ(momentNames(), (std::vector<std::string>{"2026-12-17 063702", "2027-01-11 063702"}));
    EXPECT_EQ(
        logCount(
            "Old versions of 2026-12-07 063702 removed (1 item), as the limits keep them no longer. - '" +
            versions() + "'"),
        1);

    clone.setVersionsKeepDays(0);
    clock.advanceMinutes(100 * 1440);
    changeAndRun("55555");
    EXPECT_EQ(momentNames().size(), 3u) << "0 days keeps every age";

    clone.setVersionsKeepMoments(2);
    clock.advanceMinutes(1);
    changeAndRun("666666");
    EXPECT_EQ(momentNames(), (std::vector<std::string>{"2027-04-21 063702", "2027-04-21 063802"}));
    EXPECT_EQ(read(versions() + "2027-04-21 063802/a.txt"), "55555");
    EXPECT_EQ(logCount("Old versions of 2026-12-17 063702 removed"), 1);
    EXPECT_EQ(logCount("Old versions of 2027-01-11 063702 removed"), 1);
}

TEST_F(VersionsTest, LimitsNeverTouchWhatIsNotAMomentAndRemoveReadOnlyMoments)
{
    file("tgt/.kestrow-versions/notes.txt", "mine");
    file("tgt/.kestrow-versions/2020-01-01 000000/ro/x", "x");
    setMode(tgt() + ".kestrow-versions/2020-01-01 000000/ro/x", 0444);
    setMode(tgt() + ".kestrow-versions/2020-01-01 000000/ro", 0555);
    file("tgt/.kestrow-versions/2020-02-30 000000/y", "not a date");
    file("tgt/old.txt", "o");
    fs::create_directories(src());
    file("src/new.txt", "n");
    clone.setVersionsKeepDays(30);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(exists(versions() + "2020-01-01 000000"));
    EXPECT_EQ(read(versions() + "notes.txt"), "mine");
    EXPECT_TRUE(exists(versions() + "2020-02-30 000000/y"));
    EXPECT_EQ(read(moment() + "old.txt"), "o");
}

TEST_F(VersionsTest, AVersionsFolderThatCannotBeWrittenLeavesTheTargetUntouched)
{
    file("src/a.txt", "new!", 1'600'000'100);
    file("tgt/a.txt", "old", 1'600'000'000);
    file("tgt/orphan.txt", "o");
    struct Row
    {
        const char* name;
        std::function<void()> plant;
        std::string chosen; // a chosen versions folder, or the Target's own
    };
    const std::vector<Row> rows = {
        {"AFileStandsThere", [&] { file("tgt/.kestrow-versions", "a file"); }, ""},
        {"ALinkStandsThere",
         [&] { fs::create_directory_symlink(root() + "elsewhere", tgt() + ".kestrow-versions"); }, ""},
        {"AChosenFolderThatCannotBeMade", [] {}, "/proc/kestrow-versions"},
        {"AChosenFolderInsideTheTarget", [] {}, "tgt/old-versions"},
        {"AChosenFolderInsideTheSource", [] {}, "src/old-versions"},
    };
    fs::create_directories(root() + "elsewhere");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(tgt() + ".kestrow-versions");
        row.plant();
        clone.setVersionsFolder(row.chosen.empty() || row.chosen.starts_with('/') ? row.chosen
                                                                                  : root() + row.chosen);
        const int before = logCount("Problems processing the Target folder. Its versions folder");
        EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
        EXPECT_EQ(logCount("Problems processing the Target folder. Its versions folder") - before, 1);
        EXPECT_EQ(read(tgt() + "a.txt"), "old");
        EXPECT_EQ(read(tgt() + "orphan.txt"), "o");
        EXPECT_TRUE(fs::is_empty(root() + "elsewhere"));
        fs::remove(tgt() + ".kestrow-versions");
    }
    EXPECT_EQ(logCount("\" lies inside the Source or Target folder, so the Target was left untouched."), 2);
    EXPECT_FALSE(exists(root() + "src/old-versions/" + VersionsSubfolderName(tgt()) + "/2026-12-07 063702"));
}

TEST_F(VersionsTest, AChosenFolderHoldsASubfolderPerTargetAndAnotherFileSystemIsFilledByCopies)
{
    fs::create_directories(root() + "vers");
    ScopedMount mounted(kTmpfs, root() + "vers");
    if (!mounted.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    const std::string second = root() + "tgt2/";
    file("src/a.txt", "new!", 1'600'000'100);
    file("tgt/a.txt", "old one", 1'600'000'000);
    file("tgt/orphan", "o1", 1'600'000'001);
    file("tgt2/a.txt", "old two", 1'600'000'002);
    setMode(tgt() + "orphan", 0604);
    const std::string before = snapshot();
    clone.setVersionsFolder(root() + "vers");

    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(clone.CloneAll(src(), second, true));

    const std::string first = VersionsRootFor(tgt(), root() + "vers") + MomentName(clock.now()) + "/";
    const std::string other = VersionsRootFor(second, root() + "vers") + MomentName(clock.now()) + "/";
    EXPECT_NE(first, other);
    expectKept(before, first, {"a.txt", "orphan"});
    EXPECT_EQ(read(other + "a.txt"), "old two");
    EXPECT_FALSE(exists(versions()));
    EXPECT_EQ(differencesButVersions(src(), tgt()), std::vector<std::string>{});
    EXPECT_EQ(logCount("Old versions are kept on another file system"), 2);
}

TEST_F(VersionsTest, TheVersionsFolderIsNoPartOfEitherTree)
{
    file("tgt/.kestrow-versions/2026-01-01 000000/a.txt", "kept");
    file("src/.kestrow-versions/2026-01-01 000000/b.txt", "of the Source's own");
    file("src/sub/.kestrow-versions", "deeper down it is an ordinary name");
    clone.setKeepVersions(false);
    clone.setDeleteMethod(0);
    clone.setProtectFromEmptySource(true);
    clone.setMaxDeletePercent(10);

    // Not planned, copied or deleted, with the option off too.
    for (const std::string& line : plan())
        EXPECT_EQ(line.find(".kestrow-versions/"), std::string::npos) << line;
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + ".kestrow-versions/2026-01-01 000000/a.txt"), "kept");
    EXPECT_FALSE(exists(tgt() + ".kestrow-versions/2026-01-01 000000/b.txt"));
    EXPECT_EQ(read(tgt() + "sub/.kestrow-versions"), "deeper down it is an ordinary name");

    // An empty Source over a Target holding only versions is no empty-Source case.
    fs::remove_all(src());
    fs::remove_all(tgt() + "sub");
    fs::create_directories(src());
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(logCount("The Source folder is empty"), 0);

    // The deletion cap counts the Target's own files only: 12 of 12 go, not 12 of 212.
    for (int i = 0; i < 200; ++i)
        file("tgt/.kestrow-versions/2026-01-01 000000/v" + std::to_string(i), "v");
    for (int i = 0; i < 12; ++i)
        file("tgt/orphan" + std::to_string(i), "o");
    file("src/s.txt", "s");
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(exists(tgt() + "orphan0"));
    EXPECT_EQ(read(tgt() + "s.txt"), "s");
    clone.setMaxDeletePercent(0);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));

    // The report shows no difference for it.
    const std::string report = root() + "report.html";
    ASSERT_TRUE(WriteHTMLReportOfFolderDiffs(src(), tgt(), true, report));
    EXPECT_EQ(read(report).find("kestrow-versions"), std::string::npos);
}

} // namespace
} // namespace kestrow::test
