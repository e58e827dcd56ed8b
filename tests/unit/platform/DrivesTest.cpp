#include "platform/Drives.h"

#include "platform/DirList.h"
#include "platform/FileOps.h"
#include "tests/support/TempDir.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace t = kestrow::test;

namespace {

// The mount point df reports for `path`, ending with "/".
std::string dfMountPoint(const std::string& path)
{
    std::string out;
    if (FILE* p = ::popen(("df --output=target " + t::shellQuoted(path) + " 2>/dev/null | tail -n 1").c_str(),
                          "r")) {
        char buf[4096];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    if (out.empty())
        return out;
    return out == "/" ? out : out + "/";
}

// Points KESTROW_MEDIA_ROOTS at <tmp>/media for the life of a test.
class MediaRoots
{
public:
    explicit MediaRoots(const TempDir& tmp) : m_root(tmp.makeDir("media") + "/")
    {
        ::setenv("KESTROW_MEDIA_ROOTS", m_root.c_str(), 1);
    }
    ~MediaRoots() { ::unsetenv("KESTROW_MEDIA_ROOTS"); }
    const std::string& root() const { return m_root; }

private:
    std::string m_root;
};

} // namespace

TEST(Drives, MediaRootsComeFromTheEnvironmentOrTheUsualPlaces)
{
    ::unsetenv("KESTROW_MEDIA_ROOTS");
    EXPECT_EQ(mediaRoots(), (std::vector<std::string>{"/media/", "/run/media/"}));
    ::setenv("KESTROW_MEDIA_ROOTS", "/a:/b/::relative:/c//", 1);
    EXPECT_EQ(mediaRoots(), (std::vector<std::string>{"/a/", "/b/", "/c//"}));
    ::setenv("KESTROW_MEDIA_ROOTS", "", 1);
    EXPECT_TRUE(mediaRoots().empty());
    ::unsetenv("KESTROW_MEDIA_ROOTS");
}

TEST(Drives, TheDriveIsTheMountPointHoldingThePath)
{
    TempDir tmp;
    MediaRoots media(tmp);
    const std::string expected = dfMountPoint(tmp.path());
    if (expected.empty())
        GTEST_SKIP() << "df cannot tell the mount point here";
    tmp.writeFile("deep/er/file", "x");
    struct Row
    {
        const char* proves;
        std::string path;
        std::string drive;
    };
    const Row rows[] = {
        {"the root", "/", "/"},
        {"a file deep down", tmp.path() + "/deep/er/file", expected},
        {"a path not there yet", tmp.path() + "/deep/not/yet/there", expected},
        {"proc is its own mount", "/proc/self/status", "/proc/"},
        {"dots and doubled slashes", "/proc/../proc/./self//status", "/proc/"},
        {"a mount point itself", "/proc", "/proc/"},
        {"a name that only starts like a mount point", "/procx/y", dfMountPoint("/")},
        {"a path beyond PATH_MAX below a real folder", tmp.path() + "/deep" + std::string(5000, 'x'),
         expected},
        {"a relative path", "relative/path", ""},
        {"an empty path", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(driveOfPath(row.path), row.drive);
    }
    EXPECT_TRUE(driveExists("/"));
    EXPECT_TRUE(driveReady("/"));
    EXPECT_TRUE(driveReady(expected));
    EXPECT_FALSE(driveRemovable("/proc/")) << "no block device behind proc";
}

TEST(Drives, ALinkedFolderBelongsToTheDriveItLeadsTo)
{
    TempDir tmp;
    t::makeSymlink("/proc/self", tmp.path() + "/toProc");
    EXPECT_EQ(driveOfPath(tmp.path() + "/toProc/status"), "/proc/");
}

TEST(Drives, AnEmptyRemovableMediaSlotIsADriveThatIsNotReady)
{
    TempDir tmp;
    MediaRoots media(tmp);
    const std::string label = media.root() + "user/STICK";
    tmp.makeDir("media/user/STICK");

    struct Row
    {
        const char* proves;
        std::string path;
        std::string drive;
    };
    const Row rows[] = {
        {"a file on the medium", label + "/backup/file.txt", label + "/"},
        {"the label folder itself", label, label + "/"},
        {"a label folder that is gone", media.root() + "user/GONE/x", media.root() + "user/GONE/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(driveOfPath(row.path), row.drive);
        EXPECT_TRUE(driveRemovable(row.drive));
        EXPECT_FALSE(driveReady(row.drive)) << "nothing is mounted there";
    }
    EXPECT_TRUE(driveExists(label + "/"));
    EXPECT_FALSE(driveExists(media.root() + "user/GONE/"));
    // The user folder above the labels is no drive of its own.
    EXPECT_EQ(driveOfPath(media.root() + "user"), dfMountPoint(tmp.path()));
}

TEST(Drives, AMountedMediumIsReadyAndItsOwnDrive)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs as a stand-in medium needs root";
    TempDir tmp;
    MediaRoots media(tmp);
    // The space in the label shows up escaped in the mount table.
    const std::string label = tmp.makeDir("media/user/MY STICK");
    t::ScopedMount mount("mount -t tmpfs -o size=4m tmpfs", label);
    if (!mount.mounted())
        GTEST_SKIP() << "could not mount a tmpfs here";
    tmp.writeFile("media/user/MY STICK/dir/f", "x");
    EXPECT_EQ(driveOfPath(label + "/dir/f"), label + "/");
    EXPECT_TRUE(driveReady(label + "/"));
    EXPECT_TRUE(driveRemovable(label + "/"));
}

TEST(Drives, AMountWithAnEscapedNameIsFound)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    TempDir tmp;
    const std::string point = tmp.makeDir("odd name\\with\tescapes");
    t::ScopedMount mount("mount -t tmpfs -o size=4m tmpfs", point);
    if (!mount.mounted())
        GTEST_SKIP() << "could not mount a tmpfs here";
    EXPECT_EQ(driveOfPath(point + "/inner/file"), point + "/");
    EXPECT_TRUE(driveReady(point + "/"));
    EXPECT_FALSE(driveRemovable(point + "/")) << "a tmpfs has no removable device";
}

// A real FAT file system keeps last-write times in two-second steps: the reason
// comparisons allow two seconds. Needs root and mkfs.vfat, and either the
// kernel's vfat driver with a loop device or fusefat.
TEST(Drives, VfatKeepsLastWriteTimesInTwoSecondSteps)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "mounting an image needs root";
    if (!t::quietly("command -v mkfs.vfat"))
        GTEST_SKIP() << "mkfs.vfat (dosfstools) is not installed";
    TempDir tmp;
    const std::string image = tmp.path() + "/fat.img";
    {
        std::ofstream out(image, std::ios::binary);
        out.seekp(8 * 1024 * 1024 - 1);
        out.put('\0');
    }
    if (!t::quietly("mkfs.vfat " + t::shellQuoted(image)))
        GTEST_SKIP() << "mkfs.vfat failed on the image";
    const std::string point = tmp.makeDir("fat");
    t::ScopedMount kernelMount("mount -t vfat -o loop " + t::shellQuoted(image), point);
    std::optional<t::ScopedMount> fuseMount;
    if (!kernelMount.mounted() && t::quietly("command -v fusefat"))
        fuseMount.emplace("fusefat -o rw+ " + t::shellQuoted(image), point);
    if (!kernelMount.mounted() && !(fuseMount && fuseMount->mounted()))
        GTEST_SKIP() << "neither a vfat loop mount nor fusefat works on this machine";

    const std::string source = tmp.writeFile("src/odd.txt", "two-second steps");
    t::setMtime(source, 1700000001, 987654321); // an odd second with a fraction
    ASSERT_EQ(copyFile(source, point + "/odd.txt"), 0);
    EXPECT_EQ(t::readAll(point + "/odd.txt"), "two-second steps");

    std::vector<DirEntry> onFat;
    ASSERT_EQ(listFolder(point, onFat), 0);
    ASSERT_EQ(onFat.size(), 1u);
    const int64_t exact = fileTimeFromUnix(1700000001, 987654321);
    constexpr int64_t twoSeconds = 20000000;
    EXPECT_EQ(onFat[0].lastWrite % twoSeconds, 0) << "whole even seconds only";
    EXPECT_NE(onFat[0].lastWrite, exact);
    EXPECT_LT(std::abs(onFat[0].lastWrite - exact), twoSeconds);
    EXPECT_FALSE(driveRemovable(point + "/")) << "a loop device is not removable";
    EXPECT_EQ(driveOfPath(point + "/odd.txt"), point + "/");
}
