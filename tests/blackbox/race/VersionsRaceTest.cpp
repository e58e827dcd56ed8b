// The versions folder changed under a run that keeps old versions: the
// versions root, the run's moment folder or a folder inside it swapped for a
// link to an outside folder while the run performs. Nothing is written through
// the link, and every old Target file is still somewhere in the Target's own
// tree: in the Target, in its versions, or where the swap moved the folder.

#include "tests/support/RaceSupport.h"

#include "engine/Versions.h"

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

class VersionsRaceTest : public RaceFixture
{
protected:
    std::string area() const { return root() + "area/"; }
    std::string source() const { return area() + "src/"; }
    std::string target() const { return area() + "tgt/"; }
    std::string victim() const { return root() + "victim/"; }
    std::string momentFolder() const { return target() + ".kestrow-versions/" + MomentName(clock.now()); }

    void MakeTrees()
    {
        for (int i = 0; i < 6; ++i) {
            file("area/src/f" + std::to_string(i), "same");
            file("area/tgt/f" + std::to_string(i), "same");
        }
        for (int i = 0; i < 8; ++i) {
            file("area/src/sub/c" + std::to_string(i), "SOURCE:c" + std::to_string(i), 1'700'000'000);
            file("area/tgt/sub/c" + std::to_string(i), "TARGET:c" + std::to_string(i), 1'500'000'000);
            file("area/tgt/sub/o" + std::to_string(i), "TARGET:o" + std::to_string(i));
        }
        file("area/tgt/top-orphan", "TARGET:top");
        file("victim/sub/c0", "VICTIM:c0");
        file("victim/keep", "VICTIM:keep");
    }
};

TEST_F(VersionsRaceTest, VersionsFoldersSwappedForLinksWhilePerformingAreNeverWrittenThrough)
{
    clone.setKeepVersions(true);
    clone.setVersionsKeepDays(0);
    struct Row
    {
        const char* name;
        std::function<std::string()> swapped; // the folder to swap
        int afterPumps;
    };
    const std::vector<Row> rows = {
        {"the versions root, at once", [this] { return target() + ".kestrow-versions"; }, 1},
        {"the moment, at once", [this] { return momentFolder(); }, 1},
        {"the moment, later", [this] { return momentFolder(); }, 6},
        {"a folder of the moment, later", [this] { return momentFolder() + "/sub"; }, 6},
    };
    for (const Row& row : rows) {
        for (const int32_t copyMethod : {0, 1}) {
            SCOPED_TRACE(std::string(row.name) + ", copy method " + std::to_string(copyMethod));
            for (const std::string& p : {area(), victim()})
                RemoveTreeAt(p);
            log.ResetInMemoryLog();
            MakeTrees();
            const std::string victimBefore = TreeDigestAt(victim());
            clone.setCopyMethod(copyMethod);
            clone.setDeleteMethod(0);

            bool swapped = false;
            std::optional<HookedRunHost> run;
            run.emplace();
            run->when = HookedRunHost::Phase::Performing;
            run->afterPumps = row.afterPumps;
            run->action = [&] {
                const std::string folder = row.swapped();
                if (!fs::is_directory(fs::symlink_status(folder)))
                    fs::create_directories(folder); // not made yet: it is made now, then swapped
                swapped = RunShell("mv " + shellQuoted(folder) + " " + shellQuoted(area() + "moved-away") +
                                   " && ln -s " + shellQuoted(victim()) + " " + shellQuoted(folder)) == 0;
            };
            clone.CloneAll(source(), target(), true);
            ASSERT_TRUE(run->fired) << "the run never reached the moment of the swap";
            ASSERT_TRUE(swapped);
            run.reset();

            EXPECT_EQ(TreeDigestAt(victim()), victimBefore);
            // Nothing of the Target is lost: each old file is still within the area.
            for (int i = 0; i < 8; ++i) {
                EXPECT_EQ(FilesHolding(area(), "TARGET:c" + std::to_string(i)).size(), 1u) << i;
                EXPECT_EQ(FilesHolding(area(), "TARGET:o" + std::to_string(i)).size(), 1u) << i;
            }
            EXPECT_EQ(FilesHolding(area(), "TARGET:top").size(), 1u);
            RemoveTreeAt(area() + "moved-away");
        }
    }
}

} // namespace
} // namespace kestrow::test
