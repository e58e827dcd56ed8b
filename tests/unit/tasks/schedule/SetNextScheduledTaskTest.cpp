#include "tasks/cCloneTasks.h"

#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/unit/tasks/schedule/ScheduleTestSupport.h"

#include <gtest/gtest.h>

using namespace kestrow;
using namespace kestrow::test;

namespace {

class SetNextScheduledTask : public ::testing::Test
{
protected:
    void add(const std::string& name, int32_t type, DateValue next, bool marked = false)
    {
        auto task = std::make_shared<cCloneTask>();
        task->setTaskName(name);
        task->setIntervalType(type);
        task->setNextCloneDateTime(next);
        task->setIsNextScheduledTask(marked);
        ASSERT_TRUE(tasks.Add(task, -1, true));
    }

    // The names of the marked tasks, in list order.
    std::vector<std::string> marked() const
    {
        std::vector<std::string> out;
        for (const CloneTaskPtr& t : tasks.Tasks())
            if (t->IsNextScheduledTask())
                out.push_back(t->TaskName());
        return out;
    }

    TempDir dir;
    ScriptedUiServices ui;
    cCloneTasks tasks;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(SetNextScheduledTask, EarliestScheduledTaskIsMarkedAlone)
{
    add("manual, earliest, marked before", 0, at(2026, 3, 1, 8, 0), true);
    add("later", 1, at(2026, 3, 2, 9, 0));
    add("earliest scheduled", 4, at(2026, 3, 2, 8, 0));
    add("last", 6, at(2026, 3, 31, 22, 0), true);
    tasks.SetNextScheduledTask();
    EXPECT_EQ(marked(), (Names{"earliest scheduled"}));
    EXPECT_EQ(tasks.NextScheduledTask()->TaskName(), "earliest scheduled");
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(SetNextScheduledTask, TiesAndSubSecondDifferencesGoToTheEarlierTask)
{
    add("first", 1, at(2026, 3, 2, 8, 0, 0));
    add("same time", 2, at(2026, 3, 2, 8, 0, 0));
    add("half a second earlier", 3, at(2026, 3, 2, 8, 0, 0) - 0.5 / 86400);
    tasks.SetNextScheduledTask();
    EXPECT_EQ(marked(), (Names{"first"}));

    add("a second earlier", 5, at(2026, 3, 2, 7, 59, 59));
    tasks.SetNextScheduledTask();
    EXPECT_EQ(marked(), (Names{"a second earlier"}));
}

TEST_F(SetNextScheduledTask, NoScheduledTaskMarksNone)
{
    add("manual one", 0, at(2026, 3, 2, 8, 0), true);
    add("manual two", 0, 0.0, true);
    tasks.SetNextScheduledTask();
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(tasks.NextScheduledTask(), nullptr);
}
