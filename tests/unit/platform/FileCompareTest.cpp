#include "platform/FileCompare.h"

#include "platform/FileOps.h"

#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <zlib.h>

using kestrow::platform::FileComparer;
using kestrow::test::TempDir;
namespace t = kestrow::test;

TEST(FileComparer, ComparesContents)
{
    TempDir tmp;
    const std::string big = t::patternBytes(3 * 1024 * 1024 + 3, 5);
    std::string bigLastByte = big;
    bigLastByte.back() ^= 1;
    std::string bigFirstByte = big;
    bigFirstByte.front() ^= 0x80;
    std::string bigAtBlockEdge = big;
    bigAtBlockEdge[1024 * 1024] ^= 4;

    struct Row
    {
        const char* proves;
        std::string a;
        std::string b;
        int result;
        uint32_t lastError;
    };
    const Row rows[] = {
        {"equal small files", "same bytes", "same bytes", 0, 0},
        {"two empty files", "", "", 0, 0},
        {"equal files of several blocks", big, big, 0, 0},
        {"same size, last byte differs", big, bigLastByte, 1, 0},
        {"same size, first byte differs", big, bigFirstByte, 1, 0},
        {"same size, differs in the second block", big, bigAtBlockEdge, 1, 0},
        {"sizes differ: not even read", "abc", "abcd", 1, FileComparer::kDifferentCode},
        {"empty against one byte", "", "x", 1, FileComparer::kDifferentCode},
    };
    FileComparer cmp;
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        ++n;
        const std::string a = tmp.writeFile("a" + std::to_string(n), row.a);
        const std::string b = tmp.writeFile("b" + std::to_string(n), row.b);
        EXPECT_EQ(cmp.compareFiles(a, b), row.result);
        EXPECT_EQ(cmp.lastError(), row.lastError);
        EXPECT_EQ(cmp.compareFiles(b, a), row.result) << "symmetric";
    }
}

TEST(FileComparer, TroubleGivesMinusOneWithAnErrnoAndItsText)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    const std::string file = tmp.writeFile("file", "x");
    tmp.makeDir("folder");
    t::makeSymlink("file", r + "link");
    t::makeFifoAt(r + "fifo");

    struct Row
    {
        const char* proves;
        std::string a;
        std::string b;
        uint32_t lastError;
    };
    const Row rows[] = {
        {"a missing first file", r + "absent", file, ENOENT},
        {"a missing second file", file, r + "absent", ENOENT},
        {"a link is never followed", file, r + "link", ENOTSUP},
        {"a FIFO is never opened", r + "fifo", file, ENOTSUP},
        {"a folder", file, r + "folder", EISDIR},
        {"a path beyond PATH_MAX", file, "/" + std::string(5000, 'z'), ENAMETOOLONG},
    };
    t::Watchdog watchdog;
    FileComparer cmp;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(cmp.compareFiles(row.a, row.b), -1);
        EXPECT_EQ(cmp.lastError(), row.lastError);
        EXPECT_FALSE(cmp.errorText(cmp.lastError()).empty());
        EXPECT_EQ(cmp.crc32OfFile(row.a == file ? row.b : row.a), -1);
        EXPECT_EQ(cmp.lastError(), row.lastError);
    }
    cmp.reset();
    EXPECT_EQ(cmp.lastError(), 0u);
}

TEST(FileComparer, AnUnreadableFileIsTrouble)
{
    TempDir tmp;
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        const std::string a = tmp.writeFile("a", "x");
        const std::string b = tmp.writeFile("b", "x");
        t::chmodOrFail(b, 0);
        FileComparer cmp;
        EXPECT_EQ(cmp.compareFiles(a, b), -1);
        EXPECT_EQ(cmp.lastError(), static_cast<uint32_t>(EACCES));
        EXPECT_EQ(cmp.crc32OfFile(b), -1);
        EXPECT_EQ(cmp.lastError(), static_cast<uint32_t>(EACCES));
    });
}

TEST(FileComparer, Crc32OfWholeFiles)
{
    TempDir tmp;
    FileComparer cmp;
    struct Row
    {
        const char* proves;
        std::string content;
        int64_t crc;
    };
    const Row rows[] = {
        {"the standard check value", "123456789", 0xCBF43926},
        {"an empty file", "", 0},
        {"a single zero byte", std::string(1, '\0'), 0xD202EF8D},
        {"a value with the top bit set stays positive", "a", 0xE8B7BE43},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(cmp.crc32OfFile(tmp.writeFile("c" + std::to_string(++n), row.content)), row.crc);
        EXPECT_EQ(cmp.lastError(), 0u);
    }

    // Across block boundaries the value depends on every byte.
    const std::string big = t::patternBytes(2 * 1024 * 1024 + 11, 9);
    std::string changed = big;
    changed[1024 * 1024 + 1] ^= 1;
    const int64_t one = cmp.crc32OfFile(tmp.writeFile("big1", big));
    const int64_t same = cmp.crc32OfFile(tmp.writeFile("big2", big));
    const int64_t other = cmp.crc32OfFile(tmp.writeFile("big3", changed));
    EXPECT_GE(one, 0);
    EXPECT_EQ(one, same);
    EXPECT_NE(one, other);
}

TEST(FileComparer, ErrorTexts)
{
    FileComparer cmp;
    EXPECT_EQ(cmp.errorText(FileComparer::kDifferentCode), "The files are different.");
    EXPECT_EQ(cmp.errorText(ENOENT), "No such file or directory");
    EXPECT_EQ(cmp.errorText(EACCES), "Permission denied");
    EXPECT_EQ(cmp.errorText(99999), "Unknown error 99999.");
}

// The comparisons through folders held open give what the ones by path give.
TEST(FileComparer, ThroughFoldersHeldOpenAsByPath)
{
    TempDir tmp;
    const std::string a = tmp.makeDir("a") + "/";
    const std::string b = tmp.makeDir("b") + "/";
    const std::string big = t::patternBytes(3 * 1024 * 1024 + 3, 7);
    std::string bigLastByte = big;
    bigLastByte.back() ^= 1;
    struct Row
    {
        const char* proves;
        std::string inA;
        std::string inB;
    };
    const Row rows[] = {
        {"equal small files", "same bytes", "same bytes"},
        {"two empty files", "", ""},
        {"equal files of several blocks", big, big},
        {"same size, last byte differs", big, bigLastByte},
        {"sizes differ", "abc", "abcd"},
    };
    kestrow::platform::OpenFolder folderA, folderB;
    ASSERT_EQ(folderA.open(a), 0);
    ASSERT_EQ(folderB.open(b), 0);
    FileComparer held, byPath;
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const std::string name = "f" + std::to_string(++n);
        tmp.writeFile("a/" + name, row.inA);
        tmp.writeFile("b/" + name, row.inB);
        EXPECT_EQ(held.compareFilesIn(folderA, folderB, name), byPath.compareFiles(a + name, b + name));
        EXPECT_EQ(held.lastError(), byPath.lastError());
        EXPECT_EQ(held.crc32OfFileIn(folderA, name), byPath.crc32OfFile(a + name));
        EXPECT_EQ(held.crc32OfFileIn(folderB, name), byPath.crc32OfFile(b + name));
    }

    // Trouble: the same codes, nothing but regular files opened.
    tmp.writeFile("a/file", "x");
    tmp.writeFile("b/file", "x");
    tmp.makeDir("a/folder");
    tmp.makeDir("b/folder");
    t::makeSymlink("file", a + "link");
    t::makeSymlink("file", b + "link");
    for (const char* name : {"folder", "link", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(held.compareFilesIn(folderA, folderB, name), -1);
        EXPECT_EQ(byPath.compareFiles(a + name, b + name), -1);
        EXPECT_EQ(held.lastError(), byPath.lastError());
        EXPECT_EQ(held.crc32OfFileIn(folderA, name), -1);
        EXPECT_EQ(byPath.crc32OfFile(a + name), -1);
        EXPECT_EQ(held.lastError(), byPath.lastError());
    }
}

// The fast CRC-32 gives zlib's values for every length and alignment, alone and
// continued from an earlier value.
TEST(FileComparer, Crc32UpdateGivesZlibsValues)
{
    const std::string bytes = t::patternBytes(70000, 9);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t length : {0u, 1u, 15u, 16u, 63u, 64u, 65u, 127u, 128u, 129u, 1000u, 4096u, 65537u}) {
        for (size_t offset : {0u, 1u, 3u, 8u}) {
            SCOPED_TRACE(testing::Message() << "length " << length << ", offset " << offset);
            EXPECT_EQ(kestrow::platform::crc32Update(0, data + offset, length),
                      static_cast<uint32_t>(::crc32_z(0, data + offset, length)));
            const uint32_t seed = 0x12345678u + static_cast<uint32_t>(length);
            EXPECT_EQ(kestrow::platform::crc32Update(seed, data + offset, length),
                      static_cast<uint32_t>(::crc32_z(seed, data + offset, length)));
        }
    }
    // In pieces as a read loop hands them over.
    uint32_t pieces = 0;
    for (size_t at = 0; at < bytes.size(); at += 4099)
        pieces = kestrow::platform::crc32Update(pieces, data + at, std::min<size_t>(4099, bytes.size() - at));
    EXPECT_EQ(pieces, static_cast<uint32_t>(::crc32_z(0, data, bytes.size())));
}
