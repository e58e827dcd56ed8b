#include "tasks/cCategories.h"

#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrow;
using namespace kestrow::test;

namespace {

class Categories : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const std::string& name : DefaultCategoryNames())
            ASSERT_TRUE(list.Add(name));
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const cCategory& c : list.Categories())
            out.push_back(c.Name);
        return out;
    }

    TempDir dir;
    ScriptedUiServices ui;
    cCategories list;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(Categories, AddRefusesANameDifferingOnlyInCase)
{
    EXPECT_FALSE(list.Add("work"));
    EXPECT_FALSE(list.Add("PERSONAL"));
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(names(),
              (Names{"Personal", "Work", "Pictures", "E-mail", "Financial", "Documents", "Settings"}));
    EXPECT_TRUE(list.Add("Travel"));
    EXPECT_EQ(names().back(), "Travel");
    EXPECT_TRUE(ui.prompts().empty()); // a duplicate is refused silently
}

TEST_F(Categories, RenameMovesTheCategoryToTheEnd)
{
    EXPECT_TRUE(list.Rename("work", "Office"));
    EXPECT_EQ(names(),
              (Names{"Personal", "Pictures", "E-mail", "Financial", "Documents", "Settings", "Office"}));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(Categories, RenameOfAMissingNameIsReportedAndChangesNothing)
{
    EXPECT_FALSE(list.Rename("Hobbies", "Games"));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in cCategories.Remove");
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(list.GetCategoryIndexBasedOnKey("Games"), -1);
}

TEST_F(Categories, RenameOntoAnExistingNameLosesTheOldOne)
{
    // Remove happens first, then Add fails on the duplicate: the result is Add's.
    EXPECT_FALSE(list.Rename("Work", "personal"));
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(list.GetCategoryIndexBasedOnKey("Work"), -1);
}

TEST_F(Categories, RemoveIgnoresCaseAndReportsAMissingName)
{
    EXPECT_TRUE(list.Remove("e-MAIL"));
    EXPECT_EQ(list.Count(), 6);
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_FALSE(list.Remove("E-mail"));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in cCategories.Remove");
}

TEST_F(Categories, NameChecks)
{
    struct Row
    {
        const char* name;
        bool valid;
        bool unique;
    } rows[] = {
        {"Travel", true, true},    {"   ", false, true},      {"", false, true},
        {"a,b", false, true},      {",", false, true},        {"PERSONAL", true, false},
        {"  Music  ", true, true}, {" Personal", true, true}, // the argument is compared untrimmed
    };
    for (const Row& r : rows) {
        EXPECT_EQ(list.IsValidName(r.name), r.valid) << '"' << r.name << '"';
        EXPECT_EQ(list.IsUniqueName(r.name), r.unique) << '"' << r.name << '"';
    }
}

TEST_F(Categories, SortedListIgnoresCase)
{
    std::vector<std::string> sorted;
    list.GetSortedCategoryListArray(sorted);
    EXPECT_EQ(sorted,
              (Names{"Documents", "E-mail", "Financial", "Personal", "Pictures", "Settings", "Work"}));
    ASSERT_TRUE(list.Add("apples"));
    ASSERT_TRUE(list.Add("Zebra"));
    list.GetSortedCategoryListArray(sorted);
    EXPECT_EQ(sorted.front(), "apples");
    EXPECT_EQ(sorted.back(), "Zebra");
    EXPECT_EQ(sorted.size(), 9u);
    // Sorting leaves the list's own order alone.
    EXPECT_EQ(names().front(), "Personal");
}

TEST(CategoriesEmpty, SortedListLeavesTheArrayAloneAndIndexIsMinusOne)
{
    cCategories empty;
    std::vector<std::string> kept{"left", "as is"};
    empty.GetSortedCategoryListArray(kept);
    EXPECT_EQ(kept, (Names{"left", "as is"}));
    EXPECT_EQ(empty.Count(), 0);
    EXPECT_EQ(empty.GetCategoryIndexBasedOnKey("Work"), -1);
}

TEST_F(Categories, IndexIsOneBasedAndIgnoresCase)
{
    EXPECT_EQ(list.GetCategoryIndexBasedOnKey("Personal"), 1);
    EXPECT_EQ(list.GetCategoryIndexBasedOnKey("settings"), 7);
    EXPECT_EQ(list.GetCategoryIndexBasedOnKey("Setting"), -1);
    EXPECT_EQ(list.GetCategoryIndexBasedOnKey("Unfiled"), -1);
}
