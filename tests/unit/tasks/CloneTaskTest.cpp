// cCloneTask: property rules, the list-row texts, and Execute on real folders.

#include "tests/support/TaskTestSupport.h"

#include "base/AppState.h"
#include "base/LocalTime.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "tasks/cCloneTask.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace kestrow::test {

namespace {

// ---------------------------------------------------------------------------
// Properties

TEST(CloneTaskProperties, EachNonEmptyFilterTurnsAllFilesOffAndAnEmptyOneChangesNothing)
{
    struct Row
    {
        const char* name;
        void (cCloneTask::*setter)(const std::string&);
    };
    const Row rows[] = {
        {"IncludeFileSpecs", &cCloneTask::setIncludeFileSpecs},
        {"ExcludeFileSpecs", &cCloneTask::setExcludeFileSpecs},
        {"IncludeFileMasks", &cCloneTask::setIncludeFileMasks},
        {"ExcludeFileMasks", &cCloneTask::setExcludeFileMasks},
    };
    for (const Row& row : rows) {
        cCloneTask t;
        (t.*row.setter)("");
        EXPECT_TRUE(t.AllFilesAndFolders()) << row.name << ": empty value";
        (t.*row.setter)("*.txt");
        EXPECT_FALSE(t.AllFilesAndFolders()) << row.name << ": non-empty value";
        t.setAllFilesAndFolders(false);
        (t.*row.setter)("");
        EXPECT_FALSE(t.AllFilesAndFolders()) << row.name << ": empty value after false";
    }
}

TEST(CloneTaskProperties, AllFilesTrueEmptiesEveryFilterAndFalseKeepsThem)
{
    cCloneTask t;
    t.setIncludeFileSpecs("/a/");
    t.setExcludeFileSpecs("/b/");
    t.setIncludeFileMasks("*.c");
    t.setExcludeFileMasks("*.o");
    t.setAllFilesAndFolders(false);
    EXPECT_EQ(t.IncludeFileMasks(), "*.c");
    t.setAllFilesAndFolders(true);
    EXPECT_EQ(t.IncludeFileSpecs() + t.ExcludeFileSpecs() + t.IncludeFileMasks() + t.ExcludeFileMasks(), "");
}

TEST(CloneTaskProperties, BlankCategoryIsUnfiledAndOthersAreStoredUntrimmed)
{
    cCloneTask t;
    t.setCategory("   ");
    EXPECT_EQ(t.Category(), "Unfiled");
    t.setCategory("");
    EXPECT_EQ(t.Category(), "Unfiled");
    t.setCategory(" Work ");
    EXPECT_EQ(t.Category(), " Work ");
}

TEST(CloneTaskProperties, RunOnThisDayOfWeekTestsOneBit)
{
    cCloneTask t;
    EXPECT_TRUE(t.RunOnThisDayOfWeek(6)) << "127 holds Sunday";
    t.setDaysOfWeek(63);
    EXPECT_FALSE(t.RunOnThisDayOfWeek(6)) << "63 lacks Sunday";
    EXPECT_TRUE(t.RunOnThisDayOfWeek(0));
    t.setDaysOfWeek(5);
    EXPECT_TRUE(t.RunOnThisDayOfWeek(2));
    EXPECT_FALSE(t.RunOnThisDayOfWeek(1));
    EXPECT_FALSE(t.RunOnThisDayOfWeek(40)) << "a bit beyond the mask is never set";
}

TEST(CloneTaskProperties, TargetFoldersAreTrimmedAndAFolderMetBeforeIsDropped)
{
    struct Row
    {
        const char* name;
        const char* spec;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"empty spec has none", "", {}},
        {"one folder", "/d/A", {"/d/A"}},
        {"repeat dropped, order kept", "/d/A<:>/e/B<:>/d/A", {"/d/A", "/e/B"}},
        {"blanks trimmed before comparing", " /d/A <:>/e/B<:> /d/A", {"/d/A", "/e/B"}},
        {"a trailing slash names the same folder", "/d/A<:>/d/A/", {"/d/A"}},
        {"letter case names another folder", "/d/A<:>/d/a", {"/d/A", "/d/a"}},
        {"an empty element stays (and fails as a folder)", "/d/A<:>", {"/d/A", ""}},
    };
    for (const Row& row : rows) {
        cCloneTask t;
        t.setTargetFolderSpec(row.spec);
        EXPECT_EQ(t.TargetFolders(), row.expected) << row.name;
    }
}

TEST(CloneTaskProperties, ListRowTextsOfAScheduledAndAManualTask)
{
    cCloneTask t;
    t.setTaskName("Docs");
    t.setSourceFolderSpec("/home/u/Docs");
    t.setTargetFolderSpec("/d/A<:>/e/B<:>/d/A");
    t.setIntervalType(4);
    t.setNextCloneDateTime(dateFromParts({2026, 12, 7, 15, 30, 0}));
    t.setLastCloneDateTime(dateFromParts({2026, 1, 5, 6, 7, 59}));
    const auto scheduled = ModifyTaskInListview(t);
    EXPECT_EQ(scheduled[0], "Docs");
    EXPECT_EQ(scheduled[1], "/home/u/Docs");
    EXPECT_EQ(scheduled[2], "/d/A, /e/B");
    EXPECT_EQ(scheduled[3], "12/7/2026 3:30:00 PM");
    EXPECT_EQ(scheduled[4], "1/5/2026 6:07:59 AM");
    EXPECT_EQ(scheduled[5], "202612071530");
    EXPECT_EQ(scheduled[6], "202601050607") << "seconds are not part of the sort key";

    t.setIntervalType(0);
    const auto manual = ModifyTaskInListview(t);
    EXPECT_EQ(manual[3], "Manual");
    EXPECT_EQ(manual[5], "");
    EXPECT_EQ(manual[6], "202601050607");
}

// ---------------------------------------------------------------------------
// Execute

class ExecuteTest : public TaskTest
{
protected:
    ExecuteTest()
    {
        tmp.writeFile("src/a.txt", "alpha");
        tmp.writeFile("src/sub/b.txt", "beta");
        tmp.writeFile("src/notes.doc", "doc");
        tmp.makeDir("t1");
        tmp.makeDir("t3");
    }

    std::string src() const { return tmp / "src"; }
    bool has(const std::string& relative) const { return fs::exists(tmp / relative); }
};

TEST_F(ExecuteTest, SeveralTargetsWithOneUnusableCloneTheOthersAndSetTheErrorFlag)
{
    const auto task = makeTask("Three", src(), tmp / "t1" + "<:>" + tmp / "t2" + "<:>" + tmp / "t3");
    run(*task);

    EXPECT_TRUE(has("t1/a.txt") && has("t1/sub/b.txt"));
    EXPECT_FALSE(has("t2")) << "a missing Target is not created without CreateTargetFolder";
    EXPECT_TRUE(has("t3/a.txt") && has("t3/sub/b.txt")) << "the Target after the unusable one still runs";
    EXPECT_TRUE(task->ErrorOnLastClone());
    EXPECT_EQ(logCount(" *Folder Path Error:  Problems processing the Target folder.An error occurred while "
                       "processing \"" +
                       tmp / "t2/" +
                       "\".  Make sure that the folder exists and that you have "
                       "permission to access it. " +
                       tmp / "t2/"),
              1);
    const auto entries = logEntries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries.front(), "<Begin: Three>");
    EXPECT_TRUE(entries.back().starts_with("<End: Three>"));
    EXPECT_EQ(host.panel1.back(), "Clone Complete with Errors - Three");
}

TEST_F(ExecuteTest, UnusableSourceProcessesNoTargetButStillEndsTheRun)
{
    const auto task = makeTask("NoSource", tmp / "missing", tmp / "t1");
    task->setIntervalType(1);
    task->setIntervalIncrement(15);
    run(*task);

    EXPECT_TRUE(fs::is_empty(tmp / "t1"));
    EXPECT_TRUE(task->ErrorOnLastClone());
    EXPECT_EQ(logCount("Problems processing the Source folder.An error occurred while processing \"" +
                       tmp / "missing/" + "\"."),
              1);
    EXPECT_EQ(logCount("<End: NoSource>"), 1);
    EXPECT_DOUBLE_EQ(task->LastCloneDateTime(), clock.now()) << "run times are updated all the same";
    EXPECT_GT(task->NextCloneDateTime(), task->LastCloneDateTime());
}

TEST_F(ExecuteTest, RunStateIsSetDuringTheRunAndClearedAfterIt)
{
    const auto task = makeTask("State", src(), tmp / "t1");
    bool runningDuring = false;
    std::string nameDuring;
    task->TargetCloned = [&](const std::string&, bool) {
        runningDuring = gblnCloneRunning;
        nameDuring = gstrCurrentTaskName;
    };
    task->setErrorOnLastClone(true);
    gblnScheduledRun = true;
    CancelRequested = true; // left over from an earlier run: cleared at the start
    run(*task);

    EXPECT_TRUE(runningDuring);
    EXPECT_EQ(nameDuring, "State");
    EXPECT_FALSE(gblnCloneRunning);
    EXPECT_FALSE(gblnScheduledRun);
    EXPECT_FALSE(task->ErrorOnLastClone()) << "the flag of the earlier run is cleared";
    const std::vector<std::string> events = {"started State", "animation on", "animation off",
                                             "finished State"};
    EXPECT_EQ(host.events, events);
    EXPECT_EQ(host.panel1.front(), "Clone in Progress...");
    const std::vector<std::string> last = {host.statusLog.end() - 2, host.statusLog.end()};
    EXPECT_EQ(last, (std::vector<std::string>{"1:Clone Complete - State", "2:"}))
        << "a clone empties panel 2";
}

TEST_F(ExecuteTest, NoFiltersWhileAllFilesIsOffClonesEverythingAndTurnsAllFilesOn)
{
    const auto task = makeTask("Plain", src(), tmp / "t1");
    task->setAllFilesAndFolders(false);
    run(*task);
    EXPECT_TRUE(has("t1/a.txt") && has("t1/sub/b.txt") && has("t1/notes.doc"));
    EXPECT_TRUE(task->AllFilesAndFolders());
    EXPECT_FALSE(task->ErrorOnLastClone());
}

TEST_F(ExecuteTest, TheFiltersChooseTheEngineModeForEveryTarget)
{
    struct Row
    {
        const char* name;
        const char* includeMasks;
        const char* excludeMasks;
        std::vector<std::string> present, absent;
    };
    const Row rows[] = {
        {"inclusions only", "*.txt", "", {"a.txt", "sub/b.txt"}, {"notes.doc"}},
        {"exclusions only", "", "*.doc", {"a.txt", "sub/b.txt"}, {"notes.doc"}},
        {"both", "*.txt,*.doc", "b.*", {"a.txt", "notes.doc"}, {"sub/b.txt"}},
    };
    int i = 0;
    for (const Row& row : rows) {
        const std::string t1 = tmp.makeDir("mode" + std::to_string(i) + "a");
        const std::string t2 = tmp.makeDir("mode" + std::to_string(i++) + "b");
        const auto task = makeTask(row.name, src(), t1 + "<:>" + t2);
        task->setIncludeFileMasks(row.includeMasks);
        task->setExcludeFileMasks(row.excludeMasks);
        run(*task);
        EXPECT_FALSE(task->ErrorOnLastClone()) << row.name;
        for (const std::string& target : {t1, t2}) {
            for (const std::string& p : row.present)
                EXPECT_TRUE(fs::exists(target + "/" + p)) << row.name << ": " << target << "/" << p;
            for (const std::string& p : row.absent)
                EXPECT_FALSE(fs::exists(target + "/" + p)) << row.name << ": " << target << "/" << p;
        }
        EXPECT_FALSE(task->AllFilesAndFolders()) << row.name;
    }
}

TEST_F(ExecuteTest, ADoNotRunRuleClonesNothingAndLeavesTheErrorFlagClear)
{
    cPriorityRule forbid;
    forbid.StartTime = 9.0 / 24;
    forbid.EndTime = 17.0 / 24;
    forbid.Priority = 0;
    ASSERT_TRUE(rules.Add(forbid));
    clock.set(dateFromParts({2026, 3, 2, 9, 0, 59}));

    const auto task = makeTask("Forbidden", src(), tmp / "t1" + "<:>" + tmp / "missing-target");
    task->setIntervalType(2);
    task->setIntervalIncrement(3);
    task->setErrorOnLastClone(true);
    ASSERT_TRUE(tasks.Add(task));
    run(*task);

    EXPECT_TRUE(fs::is_empty(tmp / "t1"));
    EXPECT_FALSE(task->ErrorOnLastClone());
    EXPECT_EQ(logCount("Task was not run because Priority Rule for this time is set to DO NOT RUN"), 1);
    EXPECT_EQ(logCount("Folder Path Error"), 0) << "no folder is even looked at";
    EXPECT_DOUBLE_EQ(task->LastCloneDateTime(), clock.now());
    EXPECT_NEAR(task->NextCloneDateTime(), dateFromParts({2026, 3, 2, 12, 0, 59}), 1e-9);
    EXPECT_EQ(host.panel1.back(), "Clone Complete - Forbidden");
}

TEST_F(ExecuteTest, AScheduledRunUpdatesTheStoredTaskAndChoosesTheNextTask)
{
    const auto stored = makeTask("Hourly", src(), tmp / "t1");
    stored->setIntervalType(1);
    stored->setIntervalIncrement(15);
    const auto other = makeTask("Later", src(), tmp / "t3");
    other->setIntervalType(2);
    other->setNextCloneDateTime(dateFromParts({2026, 3, 2, 10, 10, 0}));
    ASSERT_TRUE(tasks.Add(stored));
    ASSERT_TRUE(tasks.Add(other));
    ASSERT_TRUE(stored->IsNextScheduledTask()) << "never run: next run 0 comes first";

    // The run goes through a copy, as a dialog's task would; the stored twin follows.
    cCloneTask copy;
    cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*stored, copy);
    clock.set(dateFromParts({2026, 3, 2, 10, 0, 0}) + 0.4 / 86400); // a fraction of a second is dropped
    run(copy);

    const DateValue ranAt = dateFromParts({2026, 3, 2, 10, 0, 0});
    EXPECT_NEAR(copy.LastCloneDateTime(), ranAt, 1e-9);
    EXPECT_NEAR(stored->LastCloneDateTime(), ranAt, 1e-9);
    EXPECT_NEAR(stored->NextCloneDateTime(), dateFromParts({2026, 3, 2, 10, 15, 0}), 1e-9);
    EXPECT_FALSE(stored->ErrorOnLastClone());
    EXPECT_TRUE(other->IsNextScheduledTask()) << "10:10 now comes before 10:15";
    EXPECT_FALSE(stored->IsNextScheduledTask());
}

TEST_F(ExecuteTest, AManualRunHandsOnlyItsRunTimeToTheStoredTask)
{
    const auto stored = makeTask("Manual", src(), tmp / "missing");
    ASSERT_TRUE(tasks.Add(stored));
    cCloneTask copy;
    cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*stored, copy);
    run(copy);
    EXPECT_TRUE(copy.ErrorOnLastClone());
    EXPECT_FALSE(stored->ErrorOnLastClone()) << "a manual run hands over the run time only";
    EXPECT_DOUBLE_EQ(stored->LastCloneDateTime(), clock.now());
    EXPECT_EQ(stored->NextCloneDateTime(), 0);
}

TEST_F(ExecuteTest, ARestoreNeitherValidatesNorTouchesRunTimesOrTheList)
{
    const auto stored = makeTask("Restore Me", src(), tmp / "t1");
    stored->setIntervalType(1);
    ASSERT_TRUE(tasks.Add(stored));
    const DateValue nextBefore = stored->NextCloneDateTime();

    // The restore's temporary task: Target and Source swapped.
    tmp.writeFile("t1/only-in-target.txt", "x");
    cCloneTask temp;
    cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*stored, temp);
    temp.setSourceFolderSpec(tmp / "t1");
    temp.setTargetFolderSpec(src());
    temp.setAllFilesAndFolders(false);
    temp.setIncludeFileSpecs(tmp / "t1/only-in-target.txt");
    run(temp, true);

    EXPECT_TRUE(has("src/only-in-target.txt"));
    EXPECT_EQ(temp.LastCloneDateTime(), 0);
    EXPECT_EQ(stored->LastCloneDateTime(), 0);
    EXPECT_EQ(stored->NextCloneDateTime(), nextBefore);
    EXPECT_EQ(host.panel1.front(), "Restore in Progress...");
    EXPECT_EQ(host.panel1.back(), "Restore Complete - Restore Me");
    EXPECT_EQ(host.statusLog.back(), "1:Restore Complete - Restore Me") << "a restore leaves panel 2 alone";
}

TEST_F(ExecuteTest, CancellingEndsTheTargetLoopAndNamesTheCancel)
{
    const auto task = makeTask("Cancelled", src(), tmp / "t1" + "<:>" + tmp / "t3");
    task->TargetCloned = [](const std::string&, bool) { CancelRequested = true; };
    run(*task);
    EXPECT_TRUE(has("t1/a.txt"));
    EXPECT_FALSE(has("t3/a.txt")) << "the second Target is not started";
    EXPECT_TRUE(task->ErrorOnLastClone());
    EXPECT_EQ(logCount("User Cancelled Error"), 1);
    EXPECT_EQ(host.panel1.back(), "Clone Cancelled By User - Cancelled");
}

TEST_F(ExecuteTest, AMissingTargetIsCreatedWhenTheOptionSaysSo)
{
    clone.setCreateTargetFolder(true);
    const auto task = makeTask("Create", src(), tmp / "new/deeper");
    run(*task);
    EXPECT_TRUE(has("new/deeper/sub/b.txt"));
    EXPECT_FALSE(task->ErrorOnLastClone());
}

TEST_F(ExecuteTest, AScheduledRunLogsAnUnusableTargetWithoutItsErrorText)
{
    gblnScheduledRun = true;
    const auto task = makeTask("Quiet", src(), tmp / "gone");
    run(*task);
    EXPECT_EQ(logCount(" *Folder Path Error:  Problems processing the Target folder. " + tmp / "gone"), 1);
    EXPECT_TRUE(scripted.prompts().empty());
}

// A removable-media root of the test's own, with a drive folder that has nothing mounted.
class RemovableDriveTest : public ExecuteTest
{
protected:
    RemovableDriveTest() { tmp.makeDir("media/user/STICK"); }

private:
    test::ScopedEnv m_mediaRoots{"KESTROW_MEDIA_ROOTS", tmp / "media"};
};

TEST_F(RemovableDriveTest, AMissingDriveIsAskedForUntilThePersonCancels)
{
    gblnPromptToInsertRemovableDrive = true;
    scripted.queueAnswer(MsgResult::Retry);
    scripted.queueAnswer(MsgResult::Cancel);
    const auto task = makeTask("Stick", src(), tmp / "media/user/STICK/backup");
    run(*task);

    const std::string prompt = "Problem Accessing Target Folder|Drive \"" + tmp / "media/user/STICK/" +
                               "\" is not ready.\nPlease insert/connect the drive.";
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{prompt, prompt}));
    EXPECT_EQ(scripted.messages().front().buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(scripted.messages().front().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(scripted.allAnswersUsed());
    EXPECT_TRUE(task->ErrorOnLastClone());
    EXPECT_EQ(logCount(" *Folder Path Error:  Problems processing the Target folder. " +
                       tmp / "media/user/STICK/backup"),
              1);
}

TEST_F(RemovableDriveTest, AGoneDriveFolderIsAskedForAsNotExisting)
{
    gblnPromptToInsertRemovableDrive = true;
    scripted.queueAnswer(MsgResult::Cancel);
    const auto task = makeTask("Gone", src(), tmp / "media/user/GONE/backup");
    run(*task);
    ASSERT_EQ(scripted.messages().size(), 1u);
    EXPECT_EQ(scripted.messages().front().title, "Problem Accessing Target Folder");
    EXPECT_EQ(scripted.messages().front().text, "Drive \"" + GetDriveLetter(tmp / "media/user/GONE/backup") +
                                                    "\" does not exist.\nPlease insert/connect the drive.");
}

TEST_F(RemovableDriveTest, WithThePromptOffAScheduledRunSkipsTheDriveSilently)
{
    gblnScheduledRun = true;
    const auto task = makeTask("Stick", src(), tmp / "media/user/STICK/backup" + "<:>" + tmp / "t1");
    run(*task);
    EXPECT_TRUE(scripted.prompts().empty());
    EXPECT_TRUE(has("t1/a.txt"));
    EXPECT_EQ(logCount("Problems processing the Target folder. " + tmp / "media/user/STICK/backup"), 1);
}

} // namespace

} // namespace kestrow::test
