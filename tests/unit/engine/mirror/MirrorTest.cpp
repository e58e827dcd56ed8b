// A whole mirror: a tree with every kind of difference and odd names, cloned
// with each copy and delete method, must come out identical, and a second run
// must plan nothing.

#include "tests/support/CloneTestSupport.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

struct Methods
{
    int32_t copy;
    int32_t del;
};

class MirrorTest : public CloneTest, public ::testing::WithParamInterface<Methods>
{
protected:
    void BuildTrees()
    {
        // Present and equal on both sides.
        for (const char* side : {"src/", "tgt/"}) {
            file(std::string(side) + "same.txt", "same", 1'600'000'000, 123'456'700);
            file(std::string(side) + "a/b/same-deep.txt", "deep");
        }
        // Changed, with a time to the 100 ns.
        file("src/changed.txt", "new contents", 1'700'000'000, 987'654'300);
        file("tgt/changed.txt", "old", 1'600'000'000);
        // Newer in the Target still differs.
        file("src/older-source.txt", "src", 1'500'000'000);
        file("tgt/older-source.txt", "tgt", 1'600'000'000);
        // Only in the Source, with odd names.
        for (const std::string name :
             {"name with  spaces.txt", "new\nline.txt", "back\\slash.txt", "\xff\xfe invalid utf-8.bin",
              "quote\"and'apostrophe", " leading blank", "ünïcödé.txt"})
            file("src/" + name, "odd: " + name);
        // Modes and read-only files on both sides.
        file("src/exec.sh", "#!/bin/sh\n", 1'650'000'000);
        setMode(src() + "exec.sh", 0755);
        file("src/ro.txt", "read-only, new", 1'700'000'000);
        setMode(src() + "ro.txt", 0444);
        file("tgt/ro.txt", "read-only, old", 1'600'000'000);
        setMode(tgt() + "ro.txt", 0444);
        // Links: to a file, dangling, to a folder, absolute; one changed, one orphan.
        link("src/link-to-file", "same.txt");
        link("src/dangling", "nowhere/at/all");
        link("src/link-to-dir", "a/b");
        link("src/absolute", "/etc/hostname");
        link("src/changed-link", "same.txt");
        link("tgt/changed-link", "elsewhere");
        link("tgt/orphan-link", "same.txt");
        // A FIFO is re-created, never opened.
        makeFifo(src() + "pipe");
        // Empty folders, new and orphan; hidden ones too.
        folder("src/empty");
        folder("src/.hidden-empty");
        folder("tgt/orphan-empty");
        file("src/.dotfile", "dot");
        file("src/.config/app/settings.ini", "[x]\n");
        // Orphans at several depths.
        file("tgt/orphan.txt", "o");
        file("tgt/gone/g.txt", "g");
        file("tgt/gone/deeper/g2.txt", "g2");
        setMode(tgt() + "gone/g.txt", 0444);
        // Only in the Source, several levels deep.
        file("src/new/one/two/three.txt", "3");
        // Kinds that swap.
        file("src/was-dir", "now a file");
        file("tgt/was-dir/inner.txt", "i");
        file("src/was-file/f.txt", "f");
        file("tgt/was-file", "was a file");
        link("src/was-file-now-link", "same.txt");
        file("tgt/was-file-now-link", "file");
        // Names that differ only in case are different files.
        file("src/Case.txt", "upper");
        file("tgt/case.txt", "lower");
    }
};

TEST_P(MirrorTest, MirrorsEveryDifferenceAndTheSecondRunPlansNothing)
{
    BuildTrees();
    clone.setCopyMethod(GetParam().copy);
    clone.setDeleteMethod(GetParam().del);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());

    const std::vector<std::string> differences = TreeDifferences(src(), tgt());
    EXPECT_TRUE(differences.empty()) << ::testing::PrintToString(differences);
    EXPECT_TRUE(tempFilesUnder(tgt()).empty());
    // (A name holding a line break spreads its entry over two lines, so look for error marks.)
    for (const std::string& entry : logEntries())
        EXPECT_FALSE(entry.starts_with(" *")) << entry;

    log.ResetInMemoryLog();
    EXPECT_TRUE(plan().empty()) << ::testing::PrintToString(plan());
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(logEntries().empty()) << ::testing::PrintToString(logEntries());
}

std::string MethodsName(const ::testing::TestParamInfo<Methods>& info)
{
    static const char* const copy[] = {"RegularCopy", "SafeCopy", "KeepEverything"};
    static const char* const del[] = {"RegularDelete", "Trash", "DoNotDelete", "SecureDelete"};
    return std::string(copy[info.param.copy]) + "_" + del[info.param.del];
}

INSTANTIATE_TEST_SUITE_P(CopyAndDeleteMethods, MirrorTest,
                         ::testing::Values(Methods{0, 0}, Methods{1, 1}, Methods{2, 3}), MethodsName);

} // namespace
} // namespace kestrow::test
