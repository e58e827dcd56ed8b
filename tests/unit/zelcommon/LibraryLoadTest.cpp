// Loading both libraries from a folder, and the lumbrel replacement through the
// real liblumbrel.so.

#include "base/ErrorReporter.h"
#include "lumbrel/Lumbrel.h"
#include "lumbrel/lumbrel.h"
#include "platform/Library.h"
#include "platform/SystemInfo.h"
#include "tests/support/TempDir.h"
#include "zelcommon/ZelCommon.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace std::string_literals;
namespace fs = std::filesystem;
namespace zc = kestrow::zc;
namespace lumbrel = kestrow::lumbrel;

namespace {

const std::string kTaskNameChars = "\\/:*?\"<>|";
const std::string kNineBlanks(9, ' ');

} // namespace

TEST(LibraryLoad, FolderWithoutTheLibraryFailsNamingTheFile)
{
    kestrow::test::TempDir dir;
    zc::unload();
    lumbrel::unload();
    std::string failed;
    EXPECT_FALSE(zc::load(dir.path() + "/", failed));
    EXPECT_EQ(failed, "libzelcommon.so");
    EXPECT_FALSE(zc::isLoaded());
    failed.clear();
    EXPECT_FALSE(lumbrel::load(dir.path() + "/", failed));
    EXPECT_EQ(failed, "liblumbrel.so");
    EXPECT_FALSE(lumbrel::isLoaded());
}

TEST(LibraryLoad, FileThatIsNotTheLibraryFails)
{
    kestrow::test::TempDir dir;
    const std::string bin = kestrow::platform::executableFolder();
    zc::unload();
    lumbrel::unload();
    std::string failed;
    // A loadable library without the exports.
    fs::copy_file(bin + "liblumbrel.so", dir / "libzelcommon.so");
    EXPECT_FALSE(zc::load(dir.path() + "/", failed));
    EXPECT_EQ(failed, "libzelcommon.so");
    EXPECT_FALSE(zc::isLoaded());
    // Not a library at all.
    dir.writeFile("liblumbrel.so", "not an ELF file");
    EXPECT_FALSE(lumbrel::load(dir.path(), failed));
    EXPECT_EQ(failed, "liblumbrel.so");
}

TEST(LibraryLoad, LoadsFromTheProgramFolderAndTwiceIsHarmless)
{
    const std::string bin = kestrow::platform::executableFolder();
    zc::unload();
    std::string failed = "stale";
    ASSERT_TRUE(zc::load(bin, failed));
    EXPECT_TRUE(failed.empty());
    ASSERT_TRUE(zc::load(bin, failed));
    EXPECT_TRUE(zc::isLoaded());
    EXPECT_EQ(zc::NormalizePath("/x"), "/x/");
    ASSERT_TRUE(lumbrel::load(bin, failed));
    EXPECT_TRUE(lumbrel::isLoaded());
}

TEST(LibraryLoad, FirstCallLoadsFromTheExecutableFolder)
{
    zc::unload();
    lumbrel::unload();
    ASSERT_FALSE(zc::isLoaded());
    EXPECT_EQ(zc::ToggleCase("aB"), "Ab");
    EXPECT_TRUE(zc::isLoaded());
    EXPECT_EQ(lumbrel::ReplaceMultipleChars("a:b", ":", " "), "a b");
    EXPECT_TRUE(lumbrel::isLoaded());
}

TEST(Lumbrel, ReplaceMultipleChars)
{
    const struct
    {
        const char* proves;
        std::string text, chars, replacements, expected;
    } rows[] = {
        {"illegal task-name character becomes a blank", "a:b", kTaskNameChars, kNineBlanks, "a b"},
        {"each of the nine characters", "a\\b/c:d*e?f\"g<h>i|j", kTaskNameChars, kNineBlanks,
         "a b c d e f g h i j"},
        {"nothing listed present", "plain name", kTaskNameChars, kNineBlanks, "plain name"},
        {"position picks the replacement", "abcabc", "abc", "xyz", "xyzxyz"},
        {"first listing of a byte wins", "aa", "aa", "xy", "xx"},
        {"byte without a counterpart stays", "abc", "abc", "X", "Xbc"},
        {"empty list leaves text", "abc", "", "xyz", "abc"},
        {"empty text", "", "abc", "xyz", ""},
        {"NUL bytes listed and kept", "a\0b\0"s, "\0"s, "-", "a-b-"},
        {"bytes above 127", "\xE4x\xE4", "\xE4", "\xC4", "\xC4x\xC4"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(lumbrel::ReplaceMultipleChars(r.text, r.chars, r.replacements), r.expected);
    }
}

TEST(Lumbrel, CBoundaryTakesNullArgumentsAndLongText)
{
    kestrow::platform::Library lib;
    ASSERT_TRUE(lib.load(kestrow::platform::executableFolder() + "liblumbrel.so")) << lib.error();
    const auto replace =
        reinterpret_cast<decltype(&::ReplaceMultipleChars)>(lib.symbol("ReplaceMultipleChars"));
    const auto release = reinterpret_cast<decltype(&::LbFreeString)>(lib.symbol("LbFreeString"));
    ASSERT_NE(replace, nullptr);
    ASSERT_NE(release, nullptr);

    LbString r = replace(nullptr, nullptr, nullptr);
    EXPECT_EQ(r.length, 0);
    release(r);

    std::string text(300 * 1024, ':');
    std::string chars = ":", by = "_";
    const LbString t{text.data(), static_cast<int32_t>(text.size())};
    const LbString c{chars.data(), 1};
    const LbString b{by.data(), 1};
    r = replace(&t, &c, nullptr);
    ASSERT_EQ(r.length, t.length);
    EXPECT_EQ(std::string(r.data, static_cast<size_t>(r.length)), text);
    release(r);
    r = replace(&t, &c, &b);
    ASSERT_EQ(r.length, t.length);
    EXPECT_EQ(std::string(r.data, static_cast<size_t>(r.length)), std::string(text.size(), '_'));
    EXPECT_EQ(r.data[r.length], '\0');
    release(r);
    EXPECT_EQ(text, std::string(300 * 1024, ':'));
}
