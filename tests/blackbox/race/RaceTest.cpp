// Trees changed under a run: a folder the walk has seen is swapped for a link or
// a mount between the plan and the performing, while performing, or while
// comparing, by root or by the unprivileged owner of the trees. Whatever the
// copy and delete methods, nothing outside the roots is read or changed, and
// the run says it failed. Also: two data folders on one Target.

#include "tests/support/RaceSupport.h"

#include "base/AppState.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

enum class Swap
{
    TargetSubfolderForLink,
    TargetRootForLink,
    TargetSubfolderForBindMount,
    SourceSubfolderForLink,
};

enum class Moment
{
    BetweenPlanAndPerform,
    WhilePerforming,
    WhileComparing,
};

const char* MomentName(Moment m)
{
    switch (m) {
    case Moment::BetweenPlanAndPerform:
        return "between plan and perform";
    case Moment::WhilePerforming:
        return "while performing";
    case Moment::WhileComparing:
        return "while comparing";
    }
    return "?";
}

class RaceTest : public RaceFixture
{
protected:
    std::string area() const { return root() + "area/"; }
    std::string source() const { return area() + "src/"; }
    std::string target() const { return area() + "tgt/"; }
    std::string victim() const { return root() + "victim/"; }
    std::string secret() const { return root() + "secret/"; }
    // Where a swapped-out folder goes: outside both roots, inside the owner's area.
    std::string movedAway() const { return area() + "moved-away"; }

    void MakeTrees(bool ownedByNobody)
    {
        // Files the same on both sides give the walk pumps to spend at the root level.
        for (int i = 0; i < 6; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            file("area/src/" + name, "SOURCE:" + name);
            file("area/tgt/" + name, "SOURCE:" + name);
        }
        file("area/src/changed-top.txt", "SOURCE:changed-top", 1'700'000'000);
        file("area/src/new-top.txt", "SOURCE:new-top");
        file("area/src/sub/changed.txt", "SOURCE:changed", 1'700'000'000);
        file("area/src/sub/new.txt", "SOURCE:new");
        file("area/src/sub/newfolder/g.txt", "SOURCE:g");
        file("area/tgt/changed-top.txt", "TARGET:changed-top", 1'500'000'000);
        file("area/tgt/top-orphan.txt", "TARGET:top-orphan");
        file("area/tgt/sub/changed.txt", "TARGET:changed", 1'500'000'000);
        file("area/tgt/sub/orphan.txt", "TARGET:orphan");
        file("area/tgt/sub/oldfolder/f.txt", "TARGET:f");
        // The victim holds every name an operation planned for the Target could hit,
        // at the Target's level and at its subfolder's.
        for (const std::string& level : {std::string(), std::string("sub/")}) {
            for (const char* name : {"changed-top.txt", "top-orphan.txt", "changed.txt", "orphan.txt",
                                     "new.txt", "oldfolder/f.txt", "newfolder/keep.txt"})
                file("victim/" + level + name, std::string("VICTIM:") + name, 1'500'000'000);
        }
        // The secret looks like the Source subfolder to a check of sizes and times.
        file("secret/changed.txt", "SECRET:changed", 1'700'000'000);
        file("secret/new.txt", "SECRET:new");
        file("secret/only-secret.txt", "SECRET:only");
        file("secret/newfolder/g.txt", "SECRET:g");
        setMode(secret(), 0700);
        if (ownedByNobody) {
            // The owner of the trees may swap them; the victim and the secret stay root's.
            ASSERT_EQ(RunShell("chown -R 65534:65534 " + shellQuoted(area())), 0);
            setMode(tmp.path(), 0711);
        }
    }

    void ClearTrees()
    {
        unmountAll();
        for (const std::string& p : {area(), victim(), secret(), homeTrash()})
            RemoveTreeAt(p);
        fs::remove(log.LogFileSpec());
        log.ResetInMemoryLog();
    }

    // Makes the swap; false when it could not be made.
    bool MakeSwap(Swap swap, bool asNobody)
    {
        const auto q = [](std::string p) {
            while (p.size() > 1 && p.ends_with('/'))
                p.pop_back();
            return shellQuoted(p);
        };
        switch (swap) {
        case Swap::TargetSubfolderForLink:
            return RunShell("mv " + q(target() + "sub") + " " + q(movedAway()) + " && ln -s " + q(victim()) +
                                " " + q(target() + "sub"),
                            asNobody) == 0;
        case Swap::TargetRootForLink:
            return RunShell("mv " + q(target()) + " " + q(movedAway()) + " && ln -s " + q(victim()) + " " +
                                q(target()),
                            asNobody) == 0;
        case Swap::TargetSubfolderForBindMount:
            return !asNobody && mountFor("mount --bind " + q(victim()), target() + "sub");
        case Swap::SourceSubfolderForLink:
            return RunShell("mv " + q(source() + "sub") + " " + q(movedAway()) + " && ln -s " + q(secret()) +
                                " " + q(source() + "sub"),
                            asNobody) == 0;
        }
        return false;
    }

    // Every moment, every copy method, every delete method that deletes.
    void RunSwapTable(Swap swap, bool asNobody)
    {
        for (const Moment moment :
             {Moment::BetweenPlanAndPerform, Moment::WhilePerforming, Moment::WhileComparing}) {
            for (const int32_t copyMethod : {0, 1, 2}) {
                for (const int32_t deleteMethod : {0, 1, 3}) {
                    SCOPED_TRACE(std::string(MomentName(moment)) + ", copy method " +
                                 std::to_string(copyMethod) + ", delete method " +
                                 std::to_string(deleteMethod));
                    ClearTrees();
                    MakeTrees(asNobody);
                    const std::string victimBefore = TreeDigestAt(victim());
                    const std::string secretBefore = TreeDigestAt(secret());
                    clone.setCopyMethod(copyMethod);
                    clone.setDeleteMethod(deleteMethod);

                    bool swapped = false;
                    bool result = true;
                    std::optional<HookedRunHost> run;
                    run.emplace();
                    if (moment == Moment::BetweenPlanAndPerform) {
                        clone.setPlanOnly(true);
                        clone.CloneAll(source(), target(), true);
                        clone.setPlanOnly(false);
                        ASSERT_GT(clone.FileOpsCount(), 0) << ::testing::PrintToString(logEntries());
                        swapped = MakeSwap(swap, asNobody);
                        result = clone.PerformFileOperations(source());
                    } else {
                        run->when = moment == Moment::WhilePerforming ? HookedRunHost::Phase::Performing
                                                                      : HookedRunHost::Phase::Comparing;
                        // The first pumps of a comparison come before and while the roots
                        // are listed; the third comes after, before the subfolders are.
                        run->afterPumps = moment == Moment::WhilePerforming ? 1 : 3;
                        run->action = [&] { swapped = MakeSwap(swap, asNobody); };
                        result = clone.CloneAll(source(), target(), true);
                        EXPECT_TRUE(run->fired) << "the run never reached the moment of the swap";
                    }
                    ASSERT_TRUE(swapped) << "the swap could not be made";

                    EXPECT_EQ(TreeDigestAt(victim()), victimBefore);
                    EXPECT_EQ(TreeDigestAt(secret()), secretBefore);
                    EXPECT_EQ(FilesHolding(area(), "SECRET:"), std::vector<std::string>{});
                    EXPECT_EQ(FilesHolding(homeTrash(), "VICTIM:"), std::vector<std::string>{});
                    EXPECT_EQ(FilesHolding(homeTrash(), "SECRET:"), std::vector<std::string>{});
                    EXPECT_FALSE(result) << "a run that was kept out of a swapped folder must say so";
                    EXPECT_TRUE(loggedAnError()) << allLog();
                    run.reset();
                }
            }
        }
        ClearTrees();
    }
};

TEST_F(RaceTest, TargetSubfolderSwappedForALinkIsNeverEntered)
{
    RunSwapTable(Swap::TargetSubfolderForLink, false);
}

TEST_F(RaceTest, TargetRootSwappedForALinkIsNeverEntered)
{
    RunSwapTable(Swap::TargetRootForLink, false);
}

TEST_F(RaceTest, TargetSubfolderSwappedForABindMountIsNeverEntered)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    if (!mountFor("mount -t tmpfs -o size=1m kestrow-probe", folder("probe")))
        GTEST_SKIP() << "nothing can be mounted here";
    unmountAll();
    RunSwapTable(Swap::TargetSubfolderForBindMount, false);
}

TEST_F(RaceTest, SourceSubfolderSwappedForALinkToARootOnlyFolderIsNeverRead)
{
    RunSwapTable(Swap::SourceSubfolderForLink, false);
}

// The owner of the trees is not root and cannot read the secret nor write the
// victim; the run is root's. Only a swap the run itself makes for them can do harm.
TEST_F(RaceTest, SwapsByAnUnprivilegedOwnerOfTheTreesChangeNothingOutsideThem)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "another user's swap needs root to set up";
    if (!fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "setpriv (util-linux) is not installed";
    for (const Swap swap :
         {Swap::TargetSubfolderForLink, Swap::TargetRootForLink, Swap::SourceSubfolderForLink}) {
        SCOPED_TRACE(static_cast<int>(swap));
        RunSwapTable(swap, true);
    }
}

// A second run on a Target that a run of another data folder holds is skipped,
// exactly as one of the same data folder is. The second run is this test again in
// a child process (its own temporary and data folders), started while the first
// run performs.
TEST_F(RaceTest, TwoDataFoldersCannotCloneIntoOneTargetAtOnce)
{
    if (const char* output = std::getenv("KESTROW_RACE_CHILD_OUTPUT")) {
        if (const char* data = std::getenv("KESTROW_RACE_CHILD_DATA"); data && *data)
            gstrAppPath = data;
        const bool ok = clone.CloneAll(std::getenv("KESTROW_RACE_CHILD_SOURCE"),
                                       std::getenv("KESTROW_RACE_CHILD_TARGET"), true);
        std::ofstream(output) << (ok ? "true" : "false") << "\n" << allLog();
        return;
    }

    struct Row
    {
        const char* what;
        std::string childData; // "" gives the child a data folder of its own
    };
    const Row rows[] = {
        {"one data folder", tmp.dataFolder()},
        {"two data folders", ""},
    };
    const std::string exe = fs::read_symlink("/proc/self/exe").string();
    const std::string output = root() + "child-output.txt";
    file("src2/child.txt", "from the second run");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(tgt());
        folder("tgt");
        file("src/a.txt", "a");
        file("src/b.txt", "b");
        fs::remove(output);
        bool childCopied = false;
        std::optional<HookedRunHost> run;
        run.emplace();
        run->when = HookedRunHost::Phase::Performing;
        run->action = [&] {
            const std::string command =
                "KESTROW_RACE_CHILD_OUTPUT=" + shellQuoted(output) +
                " KESTROW_RACE_CHILD_SOURCE=" + shellQuoted(root() + "src2/") +
                " KESTROW_RACE_CHILD_TARGET=" + shellQuoted(tgt()) +
                " KESTROW_RACE_CHILD_DATA=" + shellQuoted(row.childData) + " " + shellQuoted(exe) +
                " --gtest_filter=RaceTest.TwoDataFoldersCannotCloneIntoOneTargetAtOnce"
                " >/dev/null 2>&1";
            std::system(command.c_str());
            childCopied = exists(tgt() + "child.txt");
        };
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
        ASSERT_TRUE(run->fired);
        run.reset();

        std::ifstream in(output);
        std::string childResult;
        std::getline(in, childResult);
        std::ostringstream childLog;
        childLog << in.rdbuf();
        ASSERT_FALSE(childResult.empty()) << "the child run left no result";
        EXPECT_EQ(childResult, "false");
        EXPECT_NE(childLog.str().find("Problems processing the Target folder. Another run is working on this "
                                      "Target folder now, so it was skipped."),
                  std::string::npos)
            << childLog.str();
        EXPECT_FALSE(childCopied) << "the second run worked in the Target while the first held it";
        EXPECT_EQ(read(tgt() + "a.txt"), "a");
    }
}

} // namespace
} // namespace kestrow::test
