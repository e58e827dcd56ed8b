// cCloneTasks and the task list file: conversions, reading, saving, the older
// format and its conversion, the list operations.

#include "tests/support/TaskTestSupport.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "settings/IniDocument.h"
#include "tasks/TaskListFile.h"
#include "tasks/cCloneTasks.h"

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace kestrow::test {

namespace {

// ---------------------------------------------------------------------------
// Conversions

TEST(TaskListTexts, DayNumbersAreWrittenPlainWithAPointAndFifteenDigits)
{
    struct Row
    {
        const char* name;
        double value;
        const char* text;
    };
    const Row rows[] = {
        {"never", 0, "0"},
        {"noon, no date", 0.5, "0.5"},
        {"15:30 on 7 December 2006", 39058.0 + 15.5 / 24, "39058.6458333333"},
        {"a whole day", 46083, "46083"},
        {"one second, no exponent", 1.0 / 86400, "0.0000115740740740741"},
        {"before the epoch", -1.25, "-1.25"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DayNumberText(row.value), row.text) << row.name;
}

TEST(TaskListTexts, DayNumbersReadBackToTheSameSecond)
{
    for (const DateValue v : {dateFromParts({2026, 12, 7, 6, 37, 2}), dateFromParts({1999, 1, 1, 23, 59, 59}),
                              dateFromParts({2100, 2, 28, 0, 0, 1})}) {
        const DateValue back = NumberFromText(DayNumberText(v));
        EXPECT_NEAR(back, v, 0.5 / 86400) << DayNumberText(v);
        EXPECT_EQ(GeneralDateText(back), GeneralDateText(v));
    }
}

TEST(TaskListTexts, NumbersReadWithAPointOrAComma)
{
    EXPECT_DOUBLE_EQ(NumberFromText("39058.5"), 39058.5);
    EXPECT_DOUBLE_EQ(NumberFromText("39058,5"), 39058.5);
    EXPECT_DOUBLE_EQ(NumberFromText(" -2.25 "), -2.25);
    EXPECT_DOUBLE_EQ(NumberFromText("+1e2"), 100);
    for (const char* bad : {"", "abc", "1.2.3", "1,2,3", "12abc", "1,000.5", "."}) {
        EXPECT_FALSE(IsNumericText(bad)) << bad;
        EXPECT_THROW(NumberFromText(bad), RuntimeError) << bad;
    }
}

TEST(TaskListTexts, ANumberBeyondTheRangeOfADoubleIsNoNumber)
{
    // Such a text cannot be converted, so "numeric" must not promise that it can.
    for (const char* text : {"1e400", "-1e400", " 1e-400 "}) {
        EXPECT_FALSE(IsNumericText(text)) << text;
        try {
            NumberFromText(text);
            ADD_FAILURE() << "no overflow for " << text;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 6) << text;
        }
    }
}

TEST(TaskListTexts, DayNumbersOfAnyMagnitudeAreWrittenSoThatTheyReadBack)
{
    struct Row
    {
        const char* name;
        double value;
    };
    const Row rows[] = {
        {"largest double", 1.7976931348623157e308},
        {"most negative double", -1.7976931348623157e308},
        {"past the writer's first buffer", 1e200},
        {"beyond fifteen digits", 123456789012345678.0},
        {"tiny", 1e-30},
    };
    for (const Row& row : rows) {
        const std::string text = DayNumberText(row.value);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << row.name << ": " << text;
        EXPECT_NEAR(NumberFromText(text), row.value, std::fabs(row.value) * 1e-14)
            << row.name << ": " << text;
    }
}

TEST(TaskListTexts, BooleansAcceptWordsInAnyCaseAndNumbers)
{
    struct Row
    {
        const char* text;
        bool value;
    };
    const Row rows[] = {{"True", true}, {"false", false}, {"TRUE", true}, {" False ", false}, {"0", false},
                        {"1", true},    {"-1", true},     {"0.0", false}, {"2,5", true}};
    for (const Row& row : rows)
        EXPECT_EQ(BooleanFromText(row.text), row.value) << row.text;
    for (const char* bad : {"yes", "no", "", "Tru", "on"})
        EXPECT_THROW(BooleanFromText(bad), RuntimeError) << bad;
}

TEST(TaskListTexts, IntegersRoundHalvesToEvenAndRefuseWhatDoesNotFit)
{
    struct Row
    {
        const char* text;
        int32_t value;
    };
    const Row rows[] = {{"7", 7}, {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"2.51", 3}, {"127", 127}};
    for (const Row& row : rows)
        EXPECT_EQ(Integer32FromText(row.text), row.value) << row.text;
    EXPECT_EQ(Integer16FromText("32767"), 32767);
    try {
        Integer16FromText("32768");
        ADD_FAILURE() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_THROW(Integer32FromText("4e9"), RuntimeError);
    EXPECT_THROW(Integer32FromText("x"), RuntimeError);
}

TEST(TaskListTexts, OlderFormatNumbersTakeTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(LeadingNumber("12abc"), 12);
    EXPECT_DOUBLE_EQ(LeadingNumber("  3.75 days"), 3.75);
    EXPECT_DOUBLE_EQ(LeadingNumber("abc"), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber("2,5"), 2) << "only a point is a decimal point here";
}

TEST(TaskListTexts, DateTextsOfTheGeneralFormatAndOthers)
{
    struct Row
    {
        const char* text;
        DateValue value;
    };
    const Row rows[] = {
        {"12/7/2006 3:30:00 PM", dateFromParts({2006, 12, 7, 15, 30, 0})},
        {"12:00:00 PM", 0.5},
        {"12:00:00 AM", 0},
        {"6:37:02 am", dateFromParts({1899, 12, 30, 6, 37, 2})},
        {"18:30", 18.5 / 24},
        {"2/29/2024", dateFromParts({2024, 2, 29, 0, 0, 0})},
        {"2024-02-29 08:00:00", dateFromParts({2024, 2, 29, 8, 0, 0})},
        {"39058.5", 39058.5},
    };
    for (const Row& row : rows)
        EXPECT_NEAR(DateFromText(row.text), row.value, 1e-9) << row.text;
    for (const char* bad : {"", "noon", "2/30/2023", "13/1/2020", "25:00", "13:00 PM", "12:00 XM", "1/2"})
        EXPECT_THROW(DateFromText(bad), RuntimeError) << bad;
    // Every text the program writes reads back.
    const DateValue v = dateFromParts({2026, 12, 7, 6, 37, 2});
    EXPECT_NEAR(DateFromText(GeneralDateText(v)), v, 1e-9);
}

// ---------------------------------------------------------------------------
// Reading and writing task list files

class TaskListFileTest : public TaskTest
{
protected:
    std::string listFile(const std::string& name = "Tasks.kwt") const { return tmp / ("lists/" + name); }

    // The text an unexpected-error report showed, "" when none.
    std::string reportedLocation() const
    {
        for (const RecordedPrompt& p : scripted.messages()) {
            if (p.title.starts_with("Unexpected Error in "))
                return p.title.substr(std::string("Unexpected Error in ").size());
        }
        return {};
    }
    std::vector<std::string> names(const cCloneTasks& list) const
    {
        std::vector<std::string> out;
        for (const CloneTaskPtr& t : list.Tasks())
            out.push_back(t->TaskName());
        return out;
    }
    std::vector<std::string> sectionsOf(const std::string& file) const
    {
        return IniDocument(tmp.readFile(file)).sectionNames();
    }
};

TEST_F(TaskListFileTest, EveryPropertySurvivesASaveAndARead)
{
    tmp.makeDir("lists");
    const std::string longIncludes = [] {
        std::string s;
        for (int i = 0; i < 400; ++i)
            s += (s.empty() ? "" : "<:>") + std::string("/home/user/a rather long folder name/item ") +
                 std::to_string(i) + "/";
        return s;
    }();
    ASSERT_GT(longIncludes.size(), IniMaxValueChars) << "longer than a profile string read returns";

    auto a = makeTask("Backup Documents", "/home/u/Documents", "/media/u/USB/Docs<:>/backup/docs");
    a->setIncludeSubFolders(false);
    a->setStartTime(20.0 / 24 + 30.0 / 1440);
    a->setIntervalType(4);
    a->setIntervalIncrement(1);
    a->setDaysOfWeek(31);
    a->setLastCloneDateTime(dateFromParts({2026, 3, 1, 20, 30, 4}));
    a->setNextCloneDateTime(dateFromParts({2026, 3, 2, 20, 30, 0}));
    a->setErrorOnLastClone(true);
    a->setCategory("Work");
    auto b = makeTask("Filtered, with = and ; in the name", "/src", "/dst");
    b->setIncludeFileSpecs(longIncludes);
    b->setExcludeFileSpecs("/src/tmp/");
    b->setIncludeFileMasks("*.txt,*.doc");
    b->setExcludeFileMasks("~*");
    b->setIntervalType(3);
    b->setIntervalIncrement(2);
    ASSERT_TRUE(tasks.Add(a));
    ASSERT_TRUE(tasks.Add(b));
    ASSERT_TRUE(tasks.SaveAllTasksToTaskListFile(listFile()));

    cCloneTasks back;
    ASSERT_TRUE(back.ReadAllTasksFromTaskListFile(listFile()));
    ASSERT_EQ(names(back), names(tasks));
    for (int i = 1; i <= 2; ++i) {
        const cCloneTask& x = *tasks.Item(i);
        const cCloneTask& y = *back.Item(i);
        EXPECT_EQ(y.SourceFolderSpec(), x.SourceFolderSpec());
        EXPECT_EQ(y.TargetFolderSpec(), x.TargetFolderSpec());
        EXPECT_EQ(y.IncludeSubFolders(), x.IncludeSubFolders());
        EXPECT_NEAR(y.StartTime(), x.StartTime(), 1e-9);
        EXPECT_EQ(y.IntervalType(), x.IntervalType());
        EXPECT_EQ(y.IntervalIncrement(), x.IntervalIncrement());
        EXPECT_NEAR(y.LastCloneDateTime(), x.LastCloneDateTime(), 1e-9);
        EXPECT_NEAR(y.NextCloneDateTime(), x.NextCloneDateTime(), 1e-9);
        EXPECT_EQ(y.ErrorOnLastClone(), x.ErrorOnLastClone());
        EXPECT_EQ(y.AllFilesAndFolders(), x.AllFilesAndFolders());
        EXPECT_EQ(y.DaysOfWeek(), x.DaysOfWeek());
        EXPECT_EQ(y.IncludeFileSpecs(), x.IncludeFileSpecs());
        EXPECT_EQ(y.ExcludeFileSpecs(), x.ExcludeFileSpecs());
        EXPECT_EQ(y.IncludeFileMasks(), x.IncludeFileMasks());
        EXPECT_EQ(y.ExcludeFileMasks(), x.ExcludeFileMasks());
        EXPECT_EQ(y.Category(), x.Category());
    }
    // The keys stand in their fixed order.
    const std::string text = tmp.readFile(listFile());
    std::size_t pos = text.find("[Backup Documents]");
    for (const char* key : TaskListKeys) {
        const std::size_t at = text.find(std::string("\n") + key + "=", pos);
        ASSERT_NE(at, std::string::npos) << key;
        pos = at;
    }
    EXPECT_NE(text.find("\nStartTime=0.854166666666667\n"), std::string::npos);
    EXPECT_NE(text.find("\nIncludeSubFolders=False\n"), std::string::npos);
}

TEST_F(TaskListFileTest, AMissingFileIsCreatedEmptyByTheFirstRead)
{
    tmp.makeDir("lists");
    EXPECT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    EXPECT_EQ(tasks.Count(), 0);
    EXPECT_TRUE(fs::exists(listFile()));
    EXPECT_EQ(fs::file_size(listFile()), 0u);
}

TEST_F(TaskListFileTest, KeysReadWithTheirDefaultsAndTheFiltersAfterAllFiles)
{
    tmp.writeFile("lists/Tasks.kwt", "[Defaults]\r\n"
                                     "[Mask Wins]\r\n"
                                     "AllFilesAndFolders=True\r\n"
                                     "IncludeFileMasks=*.txt\r\n"
                                     "[Odd Values]\r\n"
                                     "StartTime=\r\n"
                                     "LastCloneDateTime=abc\r\n"
                                     "NextCloneDateTime=39058,75\r\n"
                                     "Category=\r\n"
                                     "IntervalType=2.5\r\n"
                                     "IncludeSubFolders=0\r\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    ASSERT_EQ(tasks.Count(), 3);

    const cCloneTask& d = *tasks.Item("defaults");
    EXPECT_EQ(d.TaskName(), "Defaults");
    EXPECT_TRUE(d.IncludeSubFolders());
    EXPECT_DOUBLE_EQ(d.StartTime(), 0.5);
    EXPECT_EQ(d.IntervalType(), 0);
    EXPECT_EQ(d.IntervalIncrement(), 1);
    EXPECT_EQ(d.DaysOfWeek(), 127);
    EXPECT_TRUE(d.AllFilesAndFolders());
    EXPECT_EQ(d.Category(), "Unfiled");

    const cCloneTask& m = *tasks.Item("Mask Wins");
    EXPECT_FALSE(m.AllFilesAndFolders()) << "a filter read after AllFilesAndFolders turns it off";
    EXPECT_EQ(m.IncludeFileMasks(), "*.txt");

    const cCloneTask& o = *tasks.Item("Odd Values");
    EXPECT_DOUBLE_EQ(o.StartTime(), 0.5) << "present but empty is 12:00";
    EXPECT_EQ(o.LastCloneDateTime(), 0) << "a last run that is not a number stays 0";
    EXPECT_DOUBLE_EQ(o.NextCloneDateTime(), 39058.75) << "a comma as the decimal separator";
    EXPECT_EQ(o.Category(), "Unfiled");
    EXPECT_EQ(o.IntervalType(), 2) << "2.5 rounds to the even neighbour";
    EXPECT_FALSE(o.IncludeSubFolders());
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(TaskListFileTest, RunTimesFarOutOfRangeAreKeptOrIgnoredButNeverStopTheRead)
{
    tmp.writeFile("lists/Tasks.kwt", "[Beyond]\nLastCloneDateTime=1e400\nNextCloneDateTime=-1e999\n"
                                     "[Far]\nLastCloneDateTime=1e200\n"
                                     "[After]\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    EXPECT_EQ(names(tasks), (std::vector<std::string>{"Beyond", "Far", "After"}));
    EXPECT_TRUE(scripted.messages().empty()) << "a run time that is no number keeps 0 without an error";
    EXPECT_EQ(tasks.Item("Beyond")->LastCloneDateTime(), 0);
    EXPECT_EQ(tasks.Item("Beyond")->NextCloneDateTime(), 0);
    EXPECT_EQ(tasks.Item("Far")->LastCloneDateTime(), 1e200);

    // What was read is written so that it reads back, not as 0.
    ASSERT_TRUE(tasks.SaveAllTasksToTaskListFile(listFile()));
    cCloneTasks again;
    ASSERT_TRUE(again.ReadAllTasksFromTaskListFile(listFile()));
    ASSERT_TRUE(again.Item("Far"));
    EXPECT_NEAR(again.Item("Far")->LastCloneDateTime(), 1e200, 1e186);
}

TEST_F(TaskListFileTest, AHandEditedFileWithABadValueStopsReadingAndStaysAsItWas)
{
    const std::string text = "[First]\nSourceFolderSpec=/a\nTargetFolderSpec=/b\n"
                             "[Second]\nIncludeSubFolders=yes\n"
                             "[Third]\nSourceFolderSpec=/c\n";
    tmp.writeFile("lists/Tasks.kwt", text);
    tasks.setTaskListFileSpec(listFile());
    EXPECT_FALSE(tasks.ReadAllTasksFromTaskListFile(listFile()));

    EXPECT_EQ(names(tasks), (std::vector<std::string>{"First"})) << "the tasks before the bad one stay";
    EXPECT_EQ(reportedLocation(), "cCloneTasks.ReadAllTasksFromTaskListFile");
    ASSERT_EQ(scripted.messages().size(), 1u);
    EXPECT_NE(scripted.messages().front().text.find("IncludeSubFolders=yes in task \"Second\""),
              std::string::npos)
        << scripted.messages().front().text;
    EXPECT_EQ(tmp.readFile(listFile()), text) << "reading never changes the file";

    // Saving what was read loses nothing of the rest.
    tasks.Item("First")->setLastCloneDateTime(46083.5);
    ASSERT_TRUE(tasks.SaveOrderedTaskListToTaskListFile({"First"}, listFile()));
    const std::string after = tmp.readFile(listFile());
    EXPECT_NE(after.find("[Second]\nIncludeSubFolders=yes\n"), std::string::npos);
    EXPECT_NE(after.find("[Third]\nSourceFolderSpec=/c\n"), std::string::npos);
    EXPECT_NE(after.find("LastCloneDateTime=46083.5"), std::string::npos);
}

TEST_F(TaskListFileTest, EveryKindOfBadValueStopsTheRead)
{
    struct Row
    {
        const char* name;
        const char* badSection;
    };
    const Row rows[] = {
        {"Boolean word", "IncludeSubFolders=yes"},
        {"start time text", "StartTime=noon"},
        {"interval type too large", "IntervalType=40000"},
        {"increment not a number", "IntervalIncrement=often"},
        {"error flag", "ErrorOnLastClone=maybe"},
        {"all files", "AllFilesAndFolders=all"},
        {"days of week", "DaysOfWeek=weekdays"},
    };
    int i = 0;
    for (const Row& row : rows) {
        const std::string file = "lists/bad" + std::to_string(i++) + ".kwt";
        tmp.writeFile(file, std::string("[Good]\n[Bad]\n") + row.badSection + "\n[After]\n");
        scripted.clear();
        cCloneTasks list;
        EXPECT_FALSE(list.ReadAllTasksFromTaskListFile(tmp / file)) << row.name;
        EXPECT_EQ(names(list), (std::vector<std::string>{"Good"})) << row.name;
        EXPECT_EQ(reportedLocation(), "cCloneTasks.ReadAllTasksFromTaskListFile") << row.name;
    }
}

TEST_F(TaskListFileTest, TwoSectionsWhoseNamesDifferOnlyInCaseStopTheRead)
{
    tmp.writeFile("lists/Tasks.kwt",
                  "[Work]\nSourceFolderSpec=/w\n[Other]\n[WORK]\nSourceFolderSpec=/x\n[Last]\n");
    EXPECT_FALSE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    EXPECT_EQ(names(tasks), (std::vector<std::string>{"Work", "Other"}));
    EXPECT_EQ(reportedLocation(), "cCloneTasks.ReadAllTasksFromTaskListFile");
}

TEST_F(TaskListFileTest, ATaskWhoseScheduleCanNeverBeMetIsRefusedByName)
{
    const std::string text = "[Weekly Without Days]\nIntervalType=4\nDaysOfWeek=128\n"
                             "[Every Zero Minutes]\nIntervalType=1\nIntervalIncrement=0\n"
                             "[Start With A Date]\nIntervalType=5\nStartTime=39058.5\n"
                             "[Fine]\nIntervalType=4\nDaysOfWeek=1\n"
                             "[Manual Is Never Scheduled]\nIntervalIncrement=0\n";
    tmp.writeFile("lists/Tasks.kwt", text);
    tasks.setTaskListFileSpec(listFile());
    EXPECT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));

    EXPECT_EQ(names(tasks), (std::vector<std::string>{"Fine", "Manual Is Never Scheduled"}));
    const auto messages = scripted.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].title, "Task Not Loaded");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_NE(messages[0].text.find("\"Weekly Without Days\""), std::string::npos);
    EXPECT_NE(messages[1].text.find("\"Every Zero Minutes\""), std::string::npos);
    EXPECT_NE(messages[2].text.find("\"Start With A Date\""), std::string::npos);
    EXPECT_NE(messages[0].text.find(listFile()), std::string::npos) << "says where to mend it";
    EXPECT_EQ(tmp.readFile(listFile()), text);
}

TEST_F(TaskListFileTest, SavingAllUpdatesSectionsInPlaceAndKeepsForeignOnes)
{
    tmp.writeFile("lists/Tasks.kwt",
                  "; hand-written\n[Keep Me]\nSourceFolderSpec=/k\n\n[A]\nSourceFolderSpec=/old\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    ASSERT_TRUE(tasks.Remove(*tasks.Item("Keep Me")));
    tasks.Item("A")->setSourceFolderSpec("/new");
    ASSERT_TRUE(tasks.Add(makeTask("B", "/b", "/bb")));
    ASSERT_TRUE(tasks.SaveAllTasksToTaskListFile(listFile()));

    const std::string text = tmp.readFile(listFile());
    EXPECT_TRUE(text.starts_with("; hand-written\n[Keep Me]\nSourceFolderSpec=/k\n"));
    EXPECT_EQ(sectionsOf("lists/Tasks.kwt"), (std::vector<std::string>{"Keep Me", "A", "B"}));
    EXPECT_NE(text.find("[A]\nSourceFolderSpec=/new\nTargetFolderSpec=\n"), std::string::npos) << text;
}

TEST_F(TaskListFileTest, SavingTheOrderedListFollowsTheRows)
{
    tmp.writeFile("lists/Tasks.kwt", "[A]\n[Foreign]\nSourceFolderSpec=/f\n[B]\n[C]\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    ASSERT_TRUE(tasks.Remove(*tasks.Item("Foreign")));
    ASSERT_TRUE(tasks.SaveOrderedTaskListToTaskListFile({"C", "A", "no such row", "B"}, listFile()));
    EXPECT_EQ(sectionsOf("lists/Tasks.kwt"), (std::vector<std::string>{"Foreign", "C", "A", "B"}));

    cCloneTasks empty;
    const std::string before = tmp.readFile(listFile());
    ASSERT_TRUE(empty.SaveOrderedTaskListToTaskListFile({}, listFile()));
    ASSERT_TRUE(empty.SaveAllTasksToTaskListFile(listFile()));
    EXPECT_EQ(tmp.readFile(listFile()), before) << "an empty list changes nothing in the file";
}

TEST_F(TaskListFileTest, SingleTaskSavesAndRemovals)
{
    tmp.writeFile("lists/Tasks.kwt", "[A]\nSourceFolderSpec=/a\n[B]\nSourceFolderSpec=/b\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    tasks.Item("B")->setCategory("Work");
    ASSERT_TRUE(tasks.SaveTaskToTaskListFile(listFile(), "b"));
    EXPECT_NE(tmp.readFile(listFile()).find("Category=Work"), std::string::npos);

    EXPECT_FALSE(tasks.SaveTaskToTaskListFile(listFile(), "Nobody"));
    EXPECT_EQ(reportedLocation(), "cCloneTasks.SaveTaskToTaskListFile");

    ASSERT_TRUE(tasks.RemoveTaskFromTaskListFile(listFile(), "a"));
    EXPECT_EQ(sectionsOf("lists/Tasks.kwt"), (std::vector<std::string>{"B"}));
}

TEST_F(TaskListFileTest, RunFieldsMergeIntoTheFileAsItIsNow)
{
    tmp.writeFile("lists/Tasks.kwt",
                  "[A]\nSourceFolderSpec=/a\nTargetFolderSpec=/t\n[B]\nSourceFolderSpec=/b\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    tasks.Item("A")->setLastCloneDateTime(46000.5);
    tasks.Item("A")->setNextCloneDateTime(46001.5);
    tasks.Item("A")->setErrorOnLastClone(true);
    tasks.Item("A")->setTargetFolderSpec("/stale");
    tasks.Item("B")->setErrorOnLastClone(true);

    // Meanwhile another program changed A's Target, removed B and added C.
    tmp.writeFile("lists/Tasks.kwt", "[a]\nSourceFolderSpec=/a\nTargetFolderSpec=/edited\n; kept\n[C]\n");
    cCloneTasks::FileVersions versions;
    ASSERT_TRUE(tasks.SaveRunFieldsToTaskListFile(listFile(), {"A", "B", "Nobody"}, &versions));

    const std::string text = tmp.readFile(listFile());
    EXPECT_EQ(text, "[a]\nSourceFolderSpec=/a\nTargetFolderSpec=/edited\nLastCloneDateTime=46000.5\n"
                    "NextCloneDateTime=46001.5\nErrorOnLastClone=True\n; kept\n[C]\n");
    EXPECT_NE(versions.before, versions.after);
    EXPECT_EQ(versions.after, platform::dataFileVersion(listFile()));

    // Nothing to write: the file is left alone.
    ASSERT_TRUE(tasks.SaveRunFieldsToTaskListFile(listFile(), {"B"}, &versions));
    EXPECT_EQ(versions.before, versions.after);
    EXPECT_EQ(tmp.readFile(listFile()), text);
}

TEST_F(TaskListFileTest, RenameAddsTheCopySavesItAndRemovesTheOldTask)
{
    tmp.writeFile("lists/Tasks.kwt", "[A]\n[B]\nSourceFolderSpec=/b\nCategory=Work\n[C]\n");
    tasks.setTaskListFileSpec(listFile());
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(listFile()));
    tasks.Rename(*tasks.Item("B"), "B renamed", 0);

    EXPECT_EQ(names(tasks), (std::vector<std::string>{"A", "B renamed", "C"}));
    EXPECT_EQ(tasks.Item("B renamed")->SourceFolderSpec(), "/b");
    EXPECT_EQ(tasks.Item("B renamed")->Category(), "Work");
    EXPECT_EQ(sectionsOf("lists/Tasks.kwt"), (std::vector<std::string>{"A", "C", "B renamed"}));

    // A name already in the list (ignoring case) stops at the first step.
    tasks.Rename(*tasks.Item("A"), "c", -1);
    EXPECT_EQ(names(tasks), (std::vector<std::string>{"A", "B renamed", "C"}));
    EXPECT_EQ(sectionsOf("lists/Tasks.kwt"), (std::vector<std::string>{"A", "C", "B renamed"}));
}

// ---------------------------------------------------------------------------
// The older format

class OlderFormatTest : public TaskListFileTest
{
protected:
    static std::string line(std::initializer_list<const char*> fields)
    {
        std::string out;
        for (const char* f : fields)
            out += (out.empty() ? "" : "~!@#") + std::string(f);
        return out;
    }
    std::string trashed(const std::string& name) const
    {
        return tmp / ("home/.local/share/Trash/files/" + name);
    }
};

TEST_F(OlderFormatTest, AnOlderFileIsReadTrashedAndWrittenAnewInLineOrder)
{
    tmp.writeFile("data/Old List support files/Filtered.kwi", "/src/keep/<:>/src/also.txt\r\n");
    tmp.writeFile("data/Old List support files/Filtered.kwe", "/src/keep/tmp/");
    const std::string old = line({"Plain", "/src", "/dst", "True", "12:00:00 PM", "1", "30",
                                  "12/7/2006 3:30:00 PM", "12/7/2006 4:00:00 PM", "False"}) +
                            "\r\n" +
                            line({"a:b", "/s2", "/d2<:>/d3", "False", "8:00:00 PM", "0", "1", "12:00:00 AM",
                                  "12:00:00 AM", "True", "True", "31", "*.txt", "~*", "Work"}) +
                            "\r\n" +
                            line({"Filtered", "/src", "/dst", "True", "6:00:00 AM", "3", "2",
                                  "3/1/2026 6:00:02 AM", "3/3/2026 6:00:00 AM", "False", "False", "127"}) +
                            "\r\n";
    const std::string spec = tmp.writeFile("data/Old List.kwt", old);
    tasks.setTaskListFileSpec(spec);
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(spec));

    ASSERT_EQ(names(tasks), (std::vector<std::string>{"Plain", "a b", "Filtered"}));
    EXPECT_TRUE(tasks.TaskNameContainedIllegalChar());
    const cCloneTask& plain = *tasks.Item("Plain");
    EXPECT_EQ(plain.IntervalType(), 1);
    EXPECT_EQ(plain.IntervalIncrement(), 30);
    EXPECT_DOUBLE_EQ(plain.StartTime(), 0.5);
    EXPECT_NEAR(plain.LastCloneDateTime(), 39058.0 + 15.5 / 24, 1e-9);
    EXPECT_TRUE(plain.AllFilesAndFolders()) << "fewer than 11 fields";
    EXPECT_EQ(plain.DaysOfWeek(), 127) << "fewer than 12 fields";
    const cCloneTask& ab = *tasks.Item("a b");
    EXPECT_EQ(ab.TargetFolderSpec(), "/d2<:>/d3");
    EXPECT_FALSE(ab.IncludeSubFolders());
    EXPECT_TRUE(ab.ErrorOnLastClone());
    EXPECT_EQ(ab.DaysOfWeek(), 31);
    EXPECT_EQ(ab.IncludeFileMasks(), "*.txt");
    EXPECT_EQ(ab.ExcludeFileMasks(), "~*");
    EXPECT_EQ(ab.Category(), "Work");
    EXPECT_FALSE(ab.AllFilesAndFolders()) << "a mask turns it off";
    const cCloneTask& filtered = *tasks.Item("Filtered");
    EXPECT_EQ(filtered.IncludeFileSpecs(), "/src/keep/<:>/src/also.txt");
    EXPECT_EQ(filtered.ExcludeFileSpecs(), "/src/keep/tmp/");

    // The old file is in the trash, a new one in its place, the support files stay.
    EXPECT_EQ(tmp.readFile(trashed("Old List.kwt")), old);
    EXPECT_EQ(sectionsOf("data/Old List.kwt"), (std::vector<std::string>{"Plain", "a b", "Filtered"}));
    EXPECT_TRUE(fs::exists(tmp / "data/Old List support files/Filtered.kwi"));

    // And it reads back as the same tasks.
    cCloneTasks again;
    ASSERT_TRUE(again.ReadAllTasksFromTaskListFile(spec));
    EXPECT_EQ(again.Item("Filtered")->IncludeFileSpecs(), "/src/keep/<:>/src/also.txt");
    EXPECT_EQ(again.Item("a b")->Category(), "Work");
    EXPECT_FALSE(again.TaskNameContainedIllegalChar());
}

TEST_F(OlderFormatTest, TasksTheScheduleCheckRefusesKeepTheirSectionsInTheNewFile)
{
    const std::string old =
        line({"Weekly no days", "/s", "/d", "True", "8:00:00 PM", "4", "1", "0", "0", "False", "True", "0"}) +
        "\n" + line({"Fine", "/s", "/d", "True", "12:00:00 PM", "2", "1", "0", "0", "False"}) + "\n" +
        line({"Dated start", "/s", "/d", "True", "3/1/2026 6:00:00 AM", "4", "1", "0", "0", "True", "True",
              "127", "*.txt", "", "Work"}) +
        "\n" + line({"No increment", "/s", "/d", "True", "12:00:00 PM", "3", "0", "0", "0", "False"}) + "\n";
    const std::string spec = tmp.writeFile("data/Refused.kwt", old);
    tasks.setTaskListFileSpec(spec);
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(spec));

    EXPECT_EQ(names(tasks), (std::vector<std::string>{"Fine"}));
    std::vector<std::string> named;
    for (const RecordedPrompt& p : scripted.messages()) {
        EXPECT_EQ(p.title, "Task Not Loaded");
        EXPECT_NE(p.text.find(spec), std::string::npos) << p.text;
        named.push_back(p.text.substr(0, p.text.find("\" was not loaded")));
    }
    EXPECT_EQ(named, (std::vector<std::string>{"The task \"Weekly no days", "The task \"Dated start",
                                               "The task \"No increment"}));
    // Nothing is lost: every task has its section, in line order, with its fields.
    EXPECT_EQ(sectionsOf("data/Refused.kwt"),
              (std::vector<std::string>{"Weekly no days", "Fine", "Dated start", "No increment"}));
    const IniDocument written(tmp.readFile(spec));
    EXPECT_EQ(written.getString("Dated start", "IncludeFileMasks", ""), "*.txt");
    EXPECT_EQ(written.getString("Dated start", "Category", ""), "Work");
    EXPECT_EQ(written.getString("Dated start", "ErrorOnLastClone", ""), "True");
    EXPECT_EQ(written.getString("Weekly no days", "DaysOfWeek", ""), "0");

    // Read again, the same three are refused by name and stay in the file.
    cCloneTasks again;
    again.setTaskListFileSpec(spec);
    ASSERT_TRUE(again.ReadAllTasksFromTaskListFile(spec));
    EXPECT_EQ(names(again), (std::vector<std::string>{"Fine"}));
    EXPECT_EQ(scripted.messages().size(), 6u);
    EXPECT_EQ(sectionsOf("data/Refused.kwt").size(), 4u);
}

TEST_F(OlderFormatTest, TheIncludeFileFallsBackToTheDataFolder)
{
    tmp.writeFile("data/Solo.kwi", "/src/only/");
    const std::string spec = tmp.writeFile(
        "data/No Support.kwt",
        line({"Solo", "/src", "/dst", "True", "12:00:00 PM", "0", "1", "0", "0", "False", "False"}) + "\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(spec));
    ASSERT_EQ(tasks.Count(), 1);
    EXPECT_EQ(tasks.Item(1)->IncludeFileSpecs(), "/src/only/");
    EXPECT_EQ(tasks.Item(1)->ExcludeFileSpecs(), "");
}

TEST_F(OlderFormatTest, ABadLineStopsReadingAndOnlyTheTasksBeforeItAreConverted)
{
    const std::string spec = tmp.writeFile(
        "data/Broken.kwt",
        line({"One", "/s", "/d", "True", "12:00:00 PM", "0", "1", "0", "0", "False"}) + "\n" +
            line({"Short", "/s", "/d"}) + "\n" +
            line({"Three", "/s", "/d", "True", "12:00:00 PM", "0", "1", "0", "0", "False"}) + "\n");
    EXPECT_FALSE(tasks.ReadAllTasksFromTaskListFile(spec));
    EXPECT_EQ(names(tasks), (std::vector<std::string>{"One"}));
    std::vector<std::string> locations;
    for (const RecordedPrompt& p : scripted.messages())
        locations.push_back(p.title);
    EXPECT_EQ(locations,
              (std::vector<std::string>{"Unexpected Error in cCloneTasks.CreateCloneTasksObjFromString",
                                        "Unexpected Error in cCloneTasks.ReadAllTasksFromKWTFile"}));
    EXPECT_EQ(sectionsOf("data/Broken.kwt"), (std::vector<std::string>{"One"}));
    EXPECT_TRUE(fs::exists(trashed("Broken.kwt")));
}

TEST_F(OlderFormatTest, AWeeklyTaskWhoseNextRunPassedOnAForbiddenDayGetsANewOne)
{
    // Now: Monday 2 March 2026, 10:00. Allowed: Wednesday (bit 2) only.
    const std::string spec =
        tmp.writeFile("data/Weekly.kwt", line({"Weekly", "/s", "/d", "True", "8:00:00 PM", "4", "1", "0",
                                               "2/25/2026 8:00:00 PM", "False", "True", "4"}) +
                                             "\n");
    ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(spec));
    EXPECT_NEAR(tasks.Item(1)->NextCloneDateTime(), dateFromParts({2026, 3, 4, 20, 0, 0}), 1e-9);
}

// ---------------------------------------------------------------------------
// List operations

TEST_F(TaskListFileTest, AddFollowsItsPositionRule)
{
    struct Row
    {
        const char* name;
        int32_t position;
        bool added;
        std::vector<std::string> order;
    };
    const Row rows[] = {
        {"-1 goes to the end", -1, true, {"A", "B", "C", "X"}},
        {"0: after the first", 0, true, {"A", "X", "B", "C"}},
        {"1: after the second", 1, true, {"A", "B", "X", "C"}},
        {"2: after the third", 2, true, {"A", "B", "C", "X"}},
        {"3: after the second (3 + 1 is past the end)", 3, true, {"A", "B", "X", "C"}},
        {"4: after the third", 4, true, {"A", "B", "C", "X"}},
        {"5: no fourth task", 5, false, {"A", "B", "C"}},
        {"-2: no such task", -2, false, {"A", "B", "C"}},
    };
    for (const Row& row : rows) {
        cCloneTasks list;
        for (const char* n : {"A", "B", "C"})
            ASSERT_TRUE(list.Add(makeTask(n, "/s", "/t")));
        EXPECT_EQ(list.Add(makeTask("X", "/s", "/t"), row.position), row.added) << row.name;
        EXPECT_EQ(names(list), row.order) << row.name;
    }
    cCloneTasks one;
    ASSERT_TRUE(one.Add(makeTask("A", "/s", "/t")));
    EXPECT_TRUE(one.Add(makeTask("X", "/s", "/t"), 1)) << "1 with one task goes to the end";
    EXPECT_EQ(names(one), (std::vector<std::string>{"A", "X"}));
    cCloneTasks empty;
    EXPECT_FALSE(empty.Add(makeTask("X", "/s", "/t"), 1)) << "an empty list has no position 1";
}

TEST_F(TaskListFileTest, NamesAreKeysThatIgnoreCase)
{
    ASSERT_TRUE(tasks.Add(makeTask("Backup", "/s", "/t")));
    EXPECT_FALSE(tasks.Add(makeTask("BACKUP", "/x", "/y")));
    EXPECT_EQ(tasks.Count(), 1);
    EXPECT_EQ(tasks.Item("backup")->SourceFolderSpec(), "/s");
    EXPECT_EQ(tasks.Item(1), tasks.Item("Backup"));
    EXPECT_EQ(tasks.Item(2), nullptr);
    EXPECT_EQ(tasks.Item("none"), nullptr);
    EXPECT_FALSE(tasks.Remove(*makeTask("none", "", "")));
    EXPECT_TRUE(scripted.prompts().empty()) << "Add, Item and Remove report nothing";
}

TEST_F(TaskListFileTest, CategoriesCountAndRenameIgnoringCase)
{
    auto a = makeTask("A", "/s", "/t");
    a->setCategory("Work");
    auto b = makeTask("B", "/s", "/t");
    b->setCategory("work");
    auto c = makeTask("C", "/s", "/t");
    for (const auto& t : {a, b, c})
        ASSERT_TRUE(tasks.Add(t));
    EXPECT_EQ(tasks.NumTasksInCategory(" WORK "), 2);
    EXPECT_EQ(tasks.NumTasksInCategory("Unfiled"), 1);
    EXPECT_EQ(tasks.NumTasksInCategory("   "), 0);
    tasks.ChangeCategoryName("WORK", "Job");
    EXPECT_EQ(a->Category(), "Job");
    EXPECT_EQ(b->Category(), "Job");
    EXPECT_EQ(c->Category(), "Unfiled");
}

TEST_F(TaskListFileTest, ErrorFlagsAndTheNextScheduledTask)
{
    auto a = makeTask("A", "/s", "/t");
    auto b = makeTask("B", "/s", "/t");
    b->setIntervalType(1);
    b->setNextCloneDateTime(46083.5);
    auto c = makeTask("C", "/s", "/t");
    c->setIntervalType(2);
    c->setNextCloneDateTime(46083.5);
    for (const auto& t : {a, b, c})
        ASSERT_TRUE(tasks.Add(t));
    EXPECT_EQ(tasks.NextScheduledTask(), b) << "a tie goes to the task earlier in the list";
    EXPECT_FALSE(tasks.ATaskContainsError());
    c->setErrorOnLastClone(true);
    EXPECT_TRUE(tasks.ATaskContainsError());
    EXPECT_TRUE(tasks.AnyErrorTasks());
    ASSERT_TRUE(tasks.Remove(*b));
    EXPECT_EQ(tasks.NextScheduledTask(), c) << "Remove chooses the next task again";
    ASSERT_TRUE(tasks.Remove(*c));
    EXPECT_EQ(tasks.NextScheduledTask(), nullptr);
    EXPECT_FALSE(a->IsNextScheduledTask());

    // A task that ran but got no next run is not due at every tick; one that never
    // ran and has none yet is due at once.
    auto broken = makeTask("Broken", "/s", "/t");
    broken->setIntervalType(3);
    broken->setLastCloneDateTime(46000.5);
    ASSERT_TRUE(tasks.Add(broken));
    EXPECT_EQ(tasks.NextScheduledTask(), nullptr);
    auto fresh = makeTask("Fresh", "/s", "/t");
    fresh->setIntervalType(3);
    ASSERT_TRUE(tasks.Add(fresh));
    EXPECT_EQ(tasks.NextScheduledTask(), fresh);
}

TEST_F(TaskListFileTest, TheListNameIsTheFileNameWithoutFolderAndExtension)
{
    tasks.setTaskListFileSpec("/home/u/.local/share/kestrow/Default Task List.kwt");
    EXPECT_EQ(tasks.TaskListName(), "Default Task List");
}

} // namespace

} // namespace kestrow::test
