#include "platform/DirList.h"

#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace t = kestrow::test;

namespace {

std::map<std::string, DirEntry> listByName(const std::string& folder, int* err = nullptr)
{
    std::vector<DirEntry> entries;
    const int rc = listFolder(folder, entries);
    if (err)
        *err = rc;
    else
        EXPECT_EQ(rc, 0) << folder;
    std::map<std::string, DirEntry> byName;
    for (auto& e : entries)
        EXPECT_TRUE(byName.emplace(e.name, e).second) << "listed twice: " << e.name;
    return byName;
}

constexpr int64_t kUnixEpochTicks = 116444736000000000; // 1970-01-01 in 100-ns units since 1601

} // namespace

TEST(DirList, FileTimeFromUnixCountsHundredNanosecondsSince1601)
{
    EXPECT_EQ(fileTimeFromUnix(0, 0), kUnixEpochTicks);
    EXPECT_EQ(fileTimeFromUnix(1, 0), kUnixEpochTicks + 10000000);
    // Below 100 ns is dropped, never rounded up.
    EXPECT_EQ(fileTimeFromUnix(0, 99), kUnixEpochTicks);
    EXPECT_EQ(fileTimeFromUnix(0, 123456789), kUnixEpochTicks + 1234567);
    // Times before 1970 come as negative seconds with positive nanoseconds.
    EXPECT_EQ(fileTimeFromUnix(-1, 500000000), kUnixEpochTicks - 5000000);
    EXPECT_EQ(fileTimeFromUnix(-11644473600, 0), 0);
}

TEST(DirList, ListsEveryKindWithItsAttributes)
{
    TempDir tmp;
    const std::string d = tmp.makeDir("tree") + "/";
    tmp.writeFile("tree/plain.txt", "hello");
    tmp.writeFile("tree/readonly.txt", "ro");
    t::chmodOrFail(d + "readonly.txt", 0444);
    tmp.writeFile("tree/.hidden", "h");
    tmp.makeDir("tree/sub");
    tmp.makeDir("tree/.config");
    t::makeSymlink("plain.txt", d + "link");
    t::makeSymlink("no/such/target", d + "dangling");
    t::makeSymlink("loopB", d + "loopA");
    t::makeSymlink("loopA", d + "loopB");
    t::makeFifoAt(d + "pipe");
    t::makeSocket(d + "sock");

    struct Row
    {
        const char* name;
        EntryType type;
        bool hidden;
        bool system;
        bool readOnly;
        uint64_t size; // checked for files and links only
    };
    const Row rows[] = {
        {"plain.txt", EntryType::File, false, false, false, 5},
        {"readonly.txt", EntryType::File, false, false, true, 2},
        {".hidden", EntryType::File, true, false, false, 1},
        {"sub", EntryType::Folder, false, false, false, 0},
        {".config", EntryType::Folder, true, false, false, 0},
        // A link's size is the length of its text; what it points at plays no part.
        {"link", EntryType::Symlink, false, false, false, 9},
        {"dangling", EntryType::Symlink, false, false, false, 14},
        {"loopA", EntryType::Symlink, false, false, false, 5},
        {"loopB", EntryType::Symlink, false, false, false, 5},
        {"pipe", EntryType::Special, false, true, false, 0},
        {"sock", EntryType::Special, false, true, false, 0},
    };

    t::Watchdog watchdog; // a FIFO opened by mistake would block here
    const auto listed = listByName(d);
    EXPECT_EQ(listed.size(), std::size(rows)) << "only . and .. are passed over";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto it = listed.find(row.name);
        ASSERT_NE(it, listed.end());
        const DirEntry& e = it->second;
        EXPECT_EQ(e.type, row.type);
        EXPECT_EQ(e.hidden, row.hidden);
        EXPECT_EQ(e.system, row.system);
        EXPECT_EQ(e.readOnly, row.readOnly);
        EXPECT_EQ(e.isFolder(), row.type == EntryType::Folder);
        if (row.type == EntryType::File || row.type == EntryType::Symlink) {
            EXPECT_EQ(e.size, row.size);
        }
        const struct stat st = t::lstatOf(d + row.name);
        EXPECT_EQ(e.mode, st.st_mode);
        EXPECT_EQ(e.lastWrite, fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
    }
}

TEST(DirList, LastWriteKeepsSubSecondPrecision)
{
    TempDir tmp;
    const std::string f = tmp.writeFile("t/f", "x");
    t::setMtime(f, 1700000000, 123456789);
    const std::string link = tmp.path() + "/t/l";
    t::makeSymlink("f", link);
    t::setMtime(link, 1600000000, 987654300, true);

    const auto listed = listByName(tmp.path() + "/t");
    EXPECT_EQ(listed.at("f").lastWrite, kUnixEpochTicks + 1700000000LL * 10000000 + 1234567);
    // The link's own time, not its target's.
    EXPECT_EQ(listed.at("l").lastWrite, kUnixEpochTicks + 1600000000LL * 10000000 + 9876543);
}

TEST(DirList, AwkwardNamesComeBackByteForByte)
{
    TempDir tmp;
    const std::string d = tmp.makeDir("names") + "/";
    const std::vector<std::string> names = {
        "with space",
        " leading and trailing ",
        "new\nline",
        "back\\slash",
        "star*question?bracket[",
        "tab\tand\rcr",
        std::string("invalid\xff\xfe utf8"),
        "caf\xc3\xa9",
        std::string(255, 'n'),
        "-starts-with-dash",
        "...",
        "..x",
    };
    for (const auto& n : names)
        tmp.writeFile("names/" + n, n);

    const auto listed = listByName(d);
    std::set<std::string> got;
    for (const auto& [name, e] : listed) {
        got.insert(name);
        EXPECT_EQ(e.size, name.size()) << name;
        EXPECT_EQ(e.type, EntryType::File);
    }
    EXPECT_EQ(got, std::set<std::string>(names.begin(), names.end()));
    EXPECT_TRUE(listed.at("...").hidden);
    EXPECT_TRUE(listed.at("..x").hidden);
}

TEST(DirList, FolderWithOrWithoutTrailingSlashOrThroughALinkGivesTheSameEntries)
{
    TempDir tmp;
    tmp.writeFile("f/a", "1");
    tmp.writeFile("f/b/c", "2");
    t::makeSymlink("f", tmp.path() + "/viaLink");
    const auto plain = listByName(tmp.path() + "/f");
    const auto slashed = listByName(tmp.path() + "/f/");
    const auto linked = listByName(tmp.path() + "/viaLink/");
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain.size(), slashed.size());
    EXPECT_EQ(plain.size(), linked.size());
    for (const auto& [name, e] : plain) {
        EXPECT_EQ(slashed.at(name).lastWrite, e.lastWrite);
        EXPECT_EQ(linked.at(name).type, e.type);
    }
}

TEST(DirList, EmptyFolderListsNothing)
{
    TempDir tmp;
    std::vector<DirEntry> out;
    EXPECT_EQ(listFolder(tmp.makeDir("empty"), out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(DirList, AppendsToWhatTheVectorHolds)
{
    TempDir tmp;
    tmp.writeFile("x/one", "1");
    std::vector<DirEntry> out(1);
    out[0].name = "kept";
    ASSERT_EQ(listFolder(tmp.path() + "/x", out), 0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, "kept");
    EXPECT_EQ(out[1].name, "one");

    // What was there stays first; the new entries come in byte order behind it.
    out.assign(1, DirEntry{});
    out[0].name = "zzz";
    tmp.writeFile("x/Another", "2");
    ASSERT_EQ(listFolder(tmp.path() + "/x", out), 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].name, "zzz");
    EXPECT_EQ(out[1].name, "Another");
}

TEST(DirList, FailuresReturnTheirErrno)
{
    TempDir tmp;
    const std::string file = tmp.writeFile("file", "x");
    const std::string fifo = tmp.path() + "/fifo";
    t::makeFifoAt(fifo);
    t::makeSymlink("loop2", tmp.path() + "/loop1");
    t::makeSymlink("loop1", tmp.path() + "/loop2");
    t::makeSymlink("missing", tmp.path() + "/dangling");

    // A path of 5000 bytes made of real-looking parts.
    std::string longPath = tmp.path();
    while (longPath.size() < 5000)
        longPath += "/" + std::string(200, 'd');

    struct Row
    {
        const char* proves;
        std::string folder;
        int err;
    };
    const Row rows[] = {
        {"missing folder", tmp.path() + "/nope", ENOENT},
        {"a file is no folder", file, ENOTDIR},
        {"a FIFO is refused without waiting for a writer", fifo, ENOTDIR},
        {"a link loop", tmp.path() + "/loop1", ELOOP},
        {"a dangling link", tmp.path() + "/dangling", ENOENT},
        {"a path beyond PATH_MAX", longPath, ENAMETOOLONG},
        {"a path holding a NUL", tmp.path() + std::string("/\0x", 3), EINVAL},
        {"an empty path", "", ENOENT},
    };
    t::Watchdog watchdog;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        std::vector<DirEntry> out;
        EXPECT_EQ(listFolder(row.folder, out), row.err);
        EXPECT_TRUE(out.empty());
    }
}

TEST(DirList, UnreadableFoldersFailWithAccessDenied)
{
    TempDir tmp;
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        tmp.writeFile("locked/a", "1");
        tmp.writeFile("noSearch/a", "1");
        t::chmodOrFail(tmp.path() + "/locked", 0);
        // Names readable, but no entry can be examined.
        t::chmodOrFail(tmp.path() + "/noSearch", 0444);
        std::vector<DirEntry> out;
        EXPECT_EQ(listFolder(tmp.path() + "/locked", out), EACCES);
        EXPECT_EQ(listFolder(tmp.path() + "/noSearch", out), EACCES);
        EXPECT_TRUE(out.empty());
    });
}

TEST(DirList, ManyEntriesInOneFolderAllArrive)
{
    // More than one getdents buffer's worth of names.
    TempDir tmp;
    const std::string d = tmp.makeDir("many") + "/";
    constexpr int count = 3000;
    for (int i = 0; i < count; ++i)
        tmp.writeFile("many/entry-with-a-fairly-long-name-" + std::to_string(i), "");
    for (const char* odd : {"B", "a", "_", "10", "9", "\xc3\xa9", "~", " lead"})
        tmp.writeFile(std::string("many/") + odd, "");
    std::vector<DirEntry> out;
    ASSERT_EQ(listFolder(d, out), 0);
    std::set<std::string> names;
    for (const auto& e : out)
        names.insert(e.name);
    EXPECT_EQ(names.size(), static_cast<size_t>(count) + 8);
    EXPECT_EQ(out.size(), static_cast<size_t>(count) + 8);
    // Byte order of the names, unsigned bytes: as a file manager in the C locale lists them.
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) {
        return std::lexicographical_compare(
            a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
            [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    }));
    EXPECT_EQ(out.front().name, " lead");
    EXPECT_EQ(out.back().name, "\xc3\xa9");
}
