// The two-second allowance on a real FAT file system, which keeps last-write
// times in two-second steps. The image is made with mkfs.vfat and mounted with the
// kernel's vfat driver (loop device, root), or else with the FUSE driver fusefat.
// The test is skipped, with the reason, where neither can be had.

#include "engine/modCompare.h"

#include "tests/support/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::EngineTest;
using test::ScopedMount;
using test::shellQuoted;

class FatVolumeTest : public EngineTest
{
protected:
    // Mounts a fresh FAT image at `folder`; null (with `why` set) when it cannot.
    std::unique_ptr<ScopedMount> mountFatImage(const std::string& folder, std::string& why)
    {
        const std::string image = tmp / "fat.img";
        std::ofstream(image).close();
        fs::resize_file(image, 8 * 1024 * 1024);
        if (std::system(("mkfs.vfat -n KTEST " + shellQuoted(image) + " >/dev/null 2>&1").c_str()) != 0) {
            why = "mkfs.vfat is not available (package dosfstools)";
            return nullptr;
        }
        if (runningAsRoot()) {
            auto kernel =
                std::make_unique<ScopedMount>("mount -t vfat -o loop " + shellQuoted(image), folder);
            if (kernel->mounted())
                return kernel;
        }
        auto fuse =
            std::make_unique<ScopedMount>("fusefat -o rw+ " + shellQuoted(image), folder, "fusermount -u");
        if (fuse->mounted())
            return fuse;
        why =
            "no FAT driver can mount the image here (kernel vfat needs root and a loop device; fusefat needs "
            "the fusefat package and FUSE access)";
        return nullptr;
    }
};

TEST_F(FatVolumeTest, TwoSecondAllowanceBridgesFatTimestamps)
{
    const std::string fat = tmp.makeDir("fat") + "/";
    std::string why;
    const std::unique_ptr<ScopedMount> volume = mountFatImage(fat, why);
    if (!volume)
        GTEST_SKIP() << why;

    // An odd second and a fraction: FAT can hold neither.
    const int64_t seconds = 1'780'000'001;
    const int64_t nanos = 300'000'000; // .3, as in the stamp below
    const std::string source = tmp.writeFile("src/odd.txt", "same bytes");
    setLastWrite(source, seconds, nanos);
    std::ofstream(fat + "odd.txt") << "same bytes";
    // Access and modification time together: the FUSE driver ignores a change of
    // the modification time alone.
    const std::string stamp = "@" + std::to_string(seconds) + ".3";
    ASSERT_EQ(std::system(("touch -d " + stamp + " " + shellQuoted(fat + "odd.txt")).c_str()), 0);

    const platform::DirEntry onDisk = entryOf(tmp / "src/", "odd.txt");
    const platform::DirEntry onFat = entryOf(fat, "odd.txt");
    ASSERT_NE(onDisk.lastWrite, onFat.lastWrite) << "the FAT volume kept the time exactly";
    const int64_t apart = onDisk.lastWrite - onFat.lastWrite;
    ASSERT_LE(apart < 0 ? -apart : apart, 2 * test::kTicks) << "FAT keeps times to two seconds";

    EXPECT_NE(CompareFilesUsingTimestamp(onDisk, onFat, false, false), 0)
        << "exact comparison sees the steps";
    EXPECT_EQ(CompareFilesUsingTimestamp(onDisk, onFat, true, false), 0);
    EXPECT_EQ(CompareFilesUsingTimestamp(onDisk, onFat, true, true), 0);
    EXPECT_NE(CompareFilesUsingTimestamp(onDisk, onFat, false, true), 0)
        << "the hour allowance alone does not help";
    EXPECT_TRUE(AreFilesSameUsingSize(onDisk, onFat));
    bool error = false;
    EXPECT_TRUE(AreFilesSameUsingContents(tmp / "src/", fat, "odd.txt", error));
    EXPECT_FALSE(error);
}

} // namespace
} // namespace kestrow
