// Roots and include/exclude items spelt in different ways: a run through the task
// treats every spelling of one folder alike, shows the canonical form, and never
// reaches outside the Source for an item that points there.

#include "tasks/cCloneTask.h"
#include "tests/support/CloneTestSupport.h"
#include "util/FreshThread.h"

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

class ItemSpellingTest : public CloneTest
{
protected:
    ItemSpellingTest()
    {
        log.setLineObserver([this](const std::string& line) { lines.push_back(line); });
    }
    ~ItemSpellingTest() override { log.setLineObserver({}); }

    // A task run the way the programs run one: on a thread of its own.
    cCloneTask task(const std::string& source, const std::string& targets)
    {
        cCloneTask t;
        t.setTaskName("Spelling");
        t.setSourceFolderSpec(source);
        t.setTargetFolderSpec(targets);
        return t;
    }
    static void run(cCloneTask& t)
    {
        util::runOnFreshThread([&t] { t.Execute(cCloneTask::kCloneRun); });
    }
    // Lines of the run that contain `text`.
    int lineCount(const std::string& text) const
    {
        int n = 0;
        for (const std::string& line : lines)
            n += line.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
    // Every path below `folder`, relative to it, folders ending with "/".
    static std::set<std::string> treeOf(const std::string& folder)
    {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            std::string name = fs::relative(entry.path(), folder).string();
            names.insert(entry.is_directory() ? name + "/" : name);
        }
        return names;
    }

    std::vector<std::string> lines;
};

// ---------------------------------------------------------------------------
// One excluded folder, many spellings.

struct ExcludeRow
{
    const char* name;
    bool relativeSource; // the Source root given as "src" from the temporary root
    std::string item;    // "@" stands for the Source root as an absolute folder spec
};

void PrintTo(const ExcludeRow& row, std::ostream* os)
{
    *os << row.name;
}

class ExcludeSpellings : public ItemSpellingTest, public ::testing::WithParamInterface<ExcludeRow>
{
};

TEST_P(ExcludeSpellings, ExcludeTheSameFolder)
{
    const ExcludeRow& row = GetParam();
    file("src/keep.txt", "k");
    file("src/skip/s.txt", "s");
    file("tgt/skip/old.txt", "o"); // an excluded Target folder is left alone
    std::string item = row.item;
    if (item.starts_with('@'))
        item = src() + item.substr(1);
    fs::current_path(root());
    cCloneTask t = task(row.relativeSource ? "src" : src(), tgt());
    t.setExcludeFileSpecs(item);
    run(t);
    EXPECT_FALSE(t.ErrorOnLastClone());
    EXPECT_EQ(treeOf(tgt()), (std::set<std::string>{"keep.txt", "skip/", "skip/old.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Rows, ExcludeSpellings,
                         ::testing::Values(ExcludeRow{"Absolute", false, "@skip/"},
                                           ExcludeRow{"Relative", false, "skip/"},
                                           ExcludeRow{"DotSlash", false, "./skip/"},
                                           ExcludeRow{"DoubleSlashes", false, "@/skip//"},
                                           ExcludeRow{"UpAndBack", false, "@skip/x/../"},
                                           ExcludeRow{"TrailingDot", false, "skip/."},
                                           ExcludeRow{"AbsoluteItemRelativeRoot", true, "@skip/"},
                                           ExcludeRow{"DotSlashRelativeRoot", true, "./skip/"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ItemSpellingTest, ExcludeItemOutsideTheSourceIsLoggedAndExcludesNothing)
{
    file("src/a.txt", "a");
    cCloneTask t = task(src(), tgt());
    t.setExcludeFileSpecs("../tgt/<:>" + root());
    run(t);
    EXPECT_TRUE(t.ErrorOnLastClone());
    const std::string refused = " *Folder Path Error:  Exclude item is outside the Source folder. ";
    EXPECT_EQ(lineCount(refused + tgt() + "\n"), 1);
    EXPECT_EQ(lineCount(refused + root() + "\n"), 1);
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
}

// ---------------------------------------------------------------------------
// Include items that climb out of the Source.

TEST_F(ItemSpellingTest, IncludeItemsOutsideTheSourceAreRefusedAndNeverReached)
{
    file("src/sub/a.txt", "a");
    file("src/other/inside.txt", "i");
    file("other/secret.txt", "secret"); // beside the Source and the Target
    const std::set<std::string> outsideBefore = treeOf(root() + "other/");
    cCloneTask t = task(src(), tgt());
    t.setIncludeFileSpecs("sub/<:>sub/../../other/<:>" + src() + "../other/secret.txt<:>/etc/");
    run(t);

    EXPECT_TRUE(t.ErrorOnLastClone());
    EXPECT_EQ(lineCount(" *Include Filter Error: The subfolder does not exist  " + root() + "other/"), 1);
    EXPECT_EQ(lineCount(" *Include Filter Error: The file does not exist  " + root() + "other/secret.txt"),
              1);
    EXPECT_EQ(lineCount(" *Include Filter Error: The subfolder does not exist  /etc/"), 1);
    // The one item inside is cloned; the Source's own "other" is not what was named.
    EXPECT_EQ(treeOf(tgt()), (std::set<std::string>{"sub/", "sub/a.txt"}));
    EXPECT_EQ(treeOf(root() + "other/"), outsideBefore);
    EXPECT_EQ(lineCount("secret"), 1);
    EXPECT_EQ(lineCount(" - Copied: "), 1);
}

TEST_F(ItemSpellingTest, AllIncludeItemsRefusedClonesNothing)
{
    file("src/a.txt", "a");
    file("tgt/b.txt", "b");
    cCloneTask t = task(src(), tgt());
    t.setIncludeFileSpecs("../tgt/b.txt");
    run(t);
    EXPECT_TRUE(t.ErrorOnLastClone());
    // Still the include mode: not widened to a clone of everything.
    EXPECT_EQ(treeOf(tgt()), std::set<std::string>{"b.txt"});
    EXPECT_EQ(lineCount(" *Include Filter Error: The file does not exist  " + tgt() + "b.txt"), 1);
}

// ---------------------------------------------------------------------------
// Roots.

TEST_F(ItemSpellingTest, RelativeRootsAreLoggedAndSavedCanonical)
{
    file("src/a.txt", "a");
    folder("tgt2");
    fs::current_path(root());
    cCloneTask t = task("./src//", "tgt/.<:> tgt2 <:>" + root() + "tgt/");
    run(t);
    EXPECT_FALSE(t.ErrorOnLastClone());
    EXPECT_EQ(lineCount(" - Copied: a.txt from " + src() + " to " + tgt() + "\n"), 1);
    EXPECT_EQ(lineCount(" - Copied: a.txt from " + src() + " to " + root() + "tgt2/\n"), 1);
    EXPECT_EQ(lineCount(" - Copied: "), 2) << "one Target spelt twice is cloned once";
    EXPECT_EQ(t.SourceFolderSpec(), src());
    EXPECT_EQ(t.TargetFolderSpec(), tgt() + "<:>" + root() + "tgt2/");
}

TEST_F(ItemSpellingTest, UnusableRootsAreLoggedCanonicalWithTheUsualMessage)
{
    fs::current_path(root());
    cCloneTask t = task(src(), "gone/../nope");
    run(t);
    ASSERT_EQ(lineCount(" *Folder Path Error:  Problems processing the Target folder."), 1);
    EXPECT_EQ(lineCount(" " + root() + "nope/\n"), 1);
    EXPECT_EQ(lineCount("gone"), 0);

    // A Source that comes down to "/" is refused as "/" is.
    lines.clear();
    cCloneTask top = task("/", tgt());
    run(top);
    ASSERT_EQ(lineCount("Problems processing the Source folder."), 1);
    const std::string refusedTop = lines.at(1).substr(lines.at(1).find(" *"));
    lines.clear();
    cCloneTask spelt = task("/tmp/..//./", tgt());
    run(spelt);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.at(1).substr(lines.at(1).find(" *")), refusedTop);
    EXPECT_TRUE(spelt.ErrorOnLastClone());
}

// ---------------------------------------------------------------------------
// The engine called directly, without a task to canonicalise its items first.

TEST_F(ItemSpellingTest, EngineAloneTakesExcludeItemsInAnySpelling)
{
    file("src/keep.txt", "k");
    file("src/skip/s.txt", "s");
    EXPECT_TRUE(clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, "./skip/", ""));
    EXPECT_EQ(treeOf(tgt()), std::set<std::string>{"keep.txt"});
}

TEST_F(ItemSpellingTest, EngineAloneRefusesIncludeItemsOutsideTheSource)
{
    file("src/sub/a.txt", "a");
    file("other/secret.txt", "secret");
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "sub/<:>" + src() + "../other/", ""));
    EXPECT_EQ(treeOf(tgt()), (std::set<std::string>{"sub/", "sub/a.txt"}));
    EXPECT_EQ(logCount(" *Include Filter Error: The subfolder does not exist  " + root() + "other/"), 1);
}

} // namespace
} // namespace kestrow::test
