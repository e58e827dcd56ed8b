// The options file: defaults, the reading rules of each key, the round trip through
// a save, and the options model the menus bind to.

#include "app/ProgramOptions.h"
#include "app/ProgramObjects.h"
#include "base/AppState.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/IniDocument.h"
#include "settings/cPriorityRules.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace kestrow {
namespace {

using M = OptionsMenuItem;
using test::ScriptedUiServices;
using test::TempDir;

std::vector<std::string> categoryNames()
{
    std::vector<std::string> names;
    for (const cCategory& c : gCategories->Categories())
        names.push_back(c.Name);
    return names;
}

std::vector<M> checkedItems(const ProgramOptions& W)
{
    std::vector<M> items;
    for (int i = 0; i < OptionsMenuItemCount; ++i) {
        if (W.checked(static_cast<M>(i)))
            items.push_back(static_cast<M>(i));
    }
    return items;
}

class ProgramOptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gblnShowSysTrayReminder = gblnShowScheduledSyncsMsg = gblnShowSendToRecycleBinMsg = true;
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        glngDelayBeforeFirstTask = 0;
        gblnPromptToInsertRemovableDrive = false;
        setPasswordCodec({}, {});
        objects = std::make_unique<ProgramObjects>();
    }
    void TearDown() override
    {
        objects.reset();
        setPasswordCodec({}, {});
    }

    void writeOptions(const std::string& text) { dir.writeFile("data/kestrow.ini", text); }
    std::string optionsText() const { return dir.readFile("data/kestrow.ini"); }
    std::string optionValue(const char* section, const char* key) const
    {
        return IniDocument(optionsText()).value(section, key).value_or("<missing>");
    }

    // New objects and a new model, as after a restart.
    void restart()
    {
        objects.reset();
        objects = std::make_unique<ProgramObjects>();
        W = std::make_unique<ProgramOptions>();
    }

    TempDir dir;
    ScriptedUiServices ui;
    std::unique_ptr<ProgramObjects> objects;
    std::unique_ptr<ProgramOptions> W = std::make_unique<ProgramOptions>();
};

TEST_F(ProgramOptionsTest, MissingFileGivesEveryDefault)
{
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));

    EXPECT_TRUE(gCloneLog->RestrictLogSize());
    EXPECT_EQ(gCloneLog->MaxLogFileSize(), 500 * 1024);
    EXPECT_FALSE(gCloneLog->LogOnlyErrors());
    EXPECT_EQ(gCompare->CompareMethod(), 0);
    EXPECT_TRUE(gCompare->IgnoreFAT_NTFS_TwoSecDiff());
    EXPECT_FALSE(gCompare->IgnoreFAT_NTFS_DaylightSavings());
    EXPECT_FALSE(gCompare->IgnoreSystemFolders());
    EXPECT_TRUE(gCompare->IgnoreHiddenFolders());
    EXPECT_TRUE(gCompare->IgnoreSystemFiles());
    EXPECT_TRUE(gCompare->IgnoreHiddenFiles());

    const auto rules = gPriorityRules->PriorityRules();
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].StartTime, 0);
    EXPECT_NEAR(rules[0].EndTime, 1439.0 / 1440.0, 1e-9);
    EXPECT_EQ(rules[0].Priority, 64);

    EXPECT_TRUE(gblnShowSysTrayReminder && gblnShowScheduledSyncsMsg && gblnShowSendToRecycleBinMsg);
    EXPECT_EQ(gCloneTasks->TaskListFileSpec(), dir.dataFolder() + "Default Task List.kwt");
    // A first start has room for the default columns (the minimum cuts them).
    EXPECT_EQ(W->FormHeight(), 7200);
    EXPECT_EQ(W->FormWidth(), 10800);
    int columns = 0;
    for (int c = 0; c < ProgramOptions::ColumnCount; ++c)
        columns += W->columnWidth(c);
    EXPECT_GT(W->widthPixels(), columns + 40);
    for (int c = 0; c < ProgramOptions::ColumnCount; ++c)
        EXPECT_EQ(W->columnWidth(c), ProgramOptions::DefaultColumnWidths[static_cast<std::size_t>(c)]) << c;

    EXPECT_EQ(gClone->CopyMethod(), 0);
    EXPECT_EQ(gClone->DeleteMethod(), 1);
    EXPECT_FALSE(gblnPromptToInsertRemovableDrive);
    EXPECT_EQ(glngDelayBeforeFirstTask, 0);
    EXPECT_FALSE(gClone->CopyOnlyIfNewer());
    EXPECT_TRUE(gClone->ConfirmSyncActions());
    EXPECT_FALSE(gClone->CreateTargetFolder());
    EXPECT_EQ(categoryNames(), DefaultCategoryNames());
    EXPECT_FALSE(gblnPasswordSet);

    const std::vector<M> expected = {
        M::mnuLogSize500,
        M::mnuOptionsCompMethodDateTime,
        M::mnuOptionsFATIgnore2SecDiff,
        M::mnuOptionsIgnoreHiddenFolders,
        M::mnuOptionsIgnoreSystemFiles,
        M::mnuOptionsIgnoreHiddenFiles,
        M::mnuOptionsRunOnWindowsStartupAnyUser,
        M::mnuOptionsToolbarShow,
        M::mnuOptionsCopyMethod0,
        M::mnuOptionsDeleteMethod1,
        M::mnuOptionsConfirmSyncActions,
        M::mnuOptionsNotifications,
        M::mnuOptionsProtectFromEmptySource,
    };
    EXPECT_EQ(checkedItems(*W), expected);
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.dataFolder() + "kestrow.ini")) << "reading never writes";
}

struct ReadCase
{
    const char* name;
    const char* ini;
    std::function<void(const ProgramOptions&)> check;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadRuleTest : public ProgramOptionsTest, public ::testing::WithParamInterface<ReadCase>
{
};

TEST_P(ReadRuleTest, Applies)
{
    writeOptions(GetParam().ini);
    EXPECT_TRUE(ReadProgramOptionsFromIniFile(*W));
    GetParam().check(*W);
    EXPECT_TRUE(ui.prompts().empty());
}

const ReadCase kReadCases[] = {
    {"VersionLimitsThatAreNoCountKeepTheirDefaults",
     "[Miscellaneous]\nKeepVersions=true\nVersionsKeepDays=-3\nVersionsKeepMoments=2.5\n",
     [](const ProgramOptions& W) {
         EXPECT_FALSE(gClone->KeepVersions()) << "booleans are \"True\" exactly";
         EXPECT_FALSE(W.checked(M::mnuOptionsKeepVersions));
         EXPECT_EQ(gClone->VersionsKeepDays(), 30);
         EXPECT_EQ(gClone->VersionsKeepMoments(), 0);
         EXPECT_EQ(gClone->VersionsFolder(), "");
     }},
    {"NoLogSectionRestrictsTo500KB", "[Comparison]\nCompareType=Size\n",
     [](const ProgramOptions& W) {
         EXPECT_TRUE(gCloneLog->RestrictLogSize());
         EXPECT_EQ(gCloneLog->MaxLogFileSize(), 512000);
         EXPECT_EQ(W.checkedInGroup(M::mnuLogSize100), 2);
         EXPECT_TRUE(W.checked(M::mnuLogSize500));
         EXPECT_EQ(gCompare->CompareMethod(), 1);
         EXPECT_EQ(W.checkedInGroup(M::mnuOptionsCompMethodDateTime), 1);
     }},
    {"MaxSizeNeverKeepsTheLogDefault", "[Log]\nMaxSize=Never\n",
     [](const ProgramOptions& W) {
         EXPECT_TRUE(W.checked(M::mnuLogSizeNever));
         EXPECT_EQ(W.checkedInGroup(M::mnuLogSize100), 4);
         EXPECT_EQ(gCloneLog->MaxLogFileSize(), 512000);
     }},
    {"MaxSize300SetsTheLimitAndChecksNoItem", "[Log]\nMaxSize=300\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(gCloneLog->MaxLogFileSize(), 300 * 1024);
         EXPECT_EQ(W.checkedInGroup(M::mnuLogSize100), -1);
     }},
    {"MaxSize1000ChecksOneMeg", "[Log]\nMaxSize=1000\n",
     [](const ProgramOptions& W) {
         EXPECT_TRUE(W.checked(M::mnuLogSize1Meg));
         EXPECT_EQ(gCloneLog->MaxLogFileSize(), 1024000);
     }},
    {"LowerCaseBooleansAreNotTheirWords", "[Log]\nRestrictLogSize=true\nLogOnlyErrors=false\n",
     [](const ProgramOptions& W) {
         EXPECT_FALSE(gCloneLog->RestrictLogSize());
         EXPECT_TRUE(gCloneLog->LogOnlyErrors());
         EXPECT_TRUE(W.checked(M::mnuLogOnlyErrors));
     }},
    {"UnknownCompareTypeIsDateTime", "[Comparison]\nCompareType=crc32\nIgnoreDaylightSavings=True\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(gCompare->CompareMethod(), 0);
         EXPECT_TRUE(W.checked(M::mnuOptionsCompMethodDateTime));
         EXPECT_TRUE(gCompare->IgnoreFAT_NTFS_DaylightSavings());
         EXPECT_TRUE(W.checked(M::mnuOptionsFATIgnoreDST));
     }},
    {"NumRulesZeroGivesOneLowRule", "[Priority Rules]\nNumRules=0\nPriorityRule1=1:00:00 AM,2:00:00 AM,128\n",
     [](const ProgramOptions&) {
         const auto rules = gPriorityRules->PriorityRules();
         ASSERT_EQ(rules.size(), 1u);
         EXPECT_EQ(rules[0].Priority, 64);
         EXPECT_EQ(rules[0].StartTime, 0);
     }},
    {"RulesAreReadUpToNumRulesSkippingEmptyOnes",
     "[Priority Rules]\nNumRules=3\nPriorityRule1=8:00:00 AM,5:30:00 PM,128\nPriorityRule2=\n"
     "PriorityRule3=10:00:00 PM,11:59:00 PM,0\nPriorityRule4=1:00:00 AM,2:00:00 AM,32\n",
     [](const ProgramOptions&) {
         const auto rules = gPriorityRules->PriorityRules();
         ASSERT_EQ(rules.size(), 2u);
         EXPECT_NEAR(rules[0].StartTime, 8.0 / 24, 1e-9);
         EXPECT_NEAR(rules[0].EndTime, 17.5 / 24, 1e-9);
         EXPECT_EQ(rules[0].Priority, 128);
         EXPECT_NEAR(rules[1].StartTime, 22.0 / 24, 1e-9);
         EXPECT_EQ(rules[1].Priority, 0);
     }},
    // A huge count reads the rules that are there (it took minutes when every number up
    // to it was looked up); numbers above the count and spellings like "01" stay unread.
    {"AHugeNumRulesReadsOnlyTheRulesThatAreThere",
     "[Priority Rules]\nNumRules=2147483647\nPriorityRule10=1:00:00 AM,2:00:00 AM,32\n"
     "PriorityRule2=8:00:00 AM,5:30:00 PM,128\nPriorityRule01=3:00:00 AM,4:00:00 AM,32\nOther=1\n",
     [](const ProgramOptions&) {
         const auto rules = gPriorityRules->PriorityRules();
         ASSERT_EQ(rules.size(), 2u);
         EXPECT_EQ(rules[0].Priority, 128) << "in the order of their numbers";
         EXPECT_EQ(rules[1].Priority, 32);
         EXPECT_NEAR(rules[1].StartTime, 1.0 / 24, 1e-9);
     }},
    {"RulesAboveNumRulesAreNotRead",
     "[Priority Rules]\nNumRules=1\nPriorityRule2=8:00:00 AM,5:30:00 PM,128\n",
     [](const ProgramOptions&) { EXPECT_TRUE(gPriorityRules->PriorityRules().empty()); }},
    {"Height3000OpensAtTheMinimum", "[Form Dimensions]\nHeight=3000\nWidth=0000012000\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(W.FormHeight(), 5055);
         EXPECT_EQ(W.FormWidth(), 12000);
         EXPECT_EQ(W.heightPixels(), 337);
         EXPECT_EQ(W.widthPixels(), 800);
     }},
    {"ColumnWidthsArePixels", "[ColumnWidths]\nColumnOne=0000000200\nColumnFive=40\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(W.columnWidth(0), 200);
         EXPECT_EQ(W.columnWidth(1), 100);
         EXPECT_EQ(W.columnWidth(4), 40);
     }},
    {"EmptyCategoriesGiveTheSevenDefaults", "[Miscellaneous]\nCategories=\n",
     [](const ProgramOptions&) { EXPECT_EQ(categoryNames(), DefaultCategoryNames()); }},
    {"CategoriesKeepBlanksAndSkipEmptyNames", "[Miscellaneous]\nCategories=Home, Photos,,Work\n",
     [](const ProgramOptions&) {
         EXPECT_EQ(categoryNames(), (std::vector<std::string>{"Home", " Photos", "Work"}));
     }},
    {"RunOnStartupTrueChecksAnyUser", "[Miscellaneous]\nRunOnWindowsStartup=True\n",
     [](const ProgramOptions& W) { EXPECT_TRUE(W.checked(M::mnuOptionsRunOnWindowsStartupAnyUser)); }},
    {"RunOnStartupCurrentUser", "[Miscellaneous]\nRunOnWindowsStartup=CurrentUser\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(W.checkedInGroup(M::mnuOptionsRunOnWindowsStartupAnyUser), 0);
     }},
    {"RunOnStartupFalseChecksNoRun", "[Miscellaneous]\nRunOnWindowsStartup=False\n",
     [](const ProgramOptions& W) { EXPECT_TRUE(W.checked(M::mnuOptionsRunOnWindowsStartupNoRun)); }},
    {"RunOnStartupOtherTextChecksNone", "[Miscellaneous]\nRunOnWindowsStartup=allusers\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(W.checkedInGroup(M::mnuOptionsRunOnWindowsStartupAnyUser), -1);
     }},
    {"ToolbarHide", "[Miscellaneous]\nShowToolbar=Hide\n",
     [](const ProgramOptions& W) {
         EXPECT_TRUE(W.checked(M::mnuOptionsToolbarHide));
         EXPECT_FALSE(W.checked(M::mnuOptionsToolbarShow));
     }},
    {"MethodsTakeTheLeadingNumberRounded", "[Miscellaneous]\nCopyMethod=1.6 (safe)\nDeleteMethod=3\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(gClone->CopyMethod(), 2);
         EXPECT_TRUE(W.checked(M::mnuOptionsCopyMethod2));
         EXPECT_EQ(gClone->DeleteMethod(), 3);
         EXPECT_EQ(W.checkedInGroup(M::mnuOptionsDeleteMethod0), 3);
     }},
    {"DelayAppliedOnlyWhenNumeric",
     "[Miscellaneous]\nDelayBeforeFirstTask=7\nPromptToInsertRemovableDrive=True\n",
     [](const ProgramOptions& W) {
         EXPECT_EQ(glngDelayBeforeFirstTask, 7);
         EXPECT_TRUE(gblnPromptToInsertRemovableDrive);
         EXPECT_TRUE(W.checked(M::mnuOptionsPromptToInsertRemovableDrive));
     }},
    {"NonNumericDelayLeavesItAlone", "[Miscellaneous]\nDelayBeforeFirstTask=five\n",
     [](const ProgramOptions&) { EXPECT_EQ(glngDelayBeforeFirstTask, 0); }},
    {"EngineSwitches",
     "[Miscellaneous]\nCopyOnlyIfNewer=True\nConfirmSyncActions=False\nCreateTargetFolder=True\n",
     [](const ProgramOptions& W) {
         EXPECT_TRUE(gClone->CopyOnlyIfNewer());
         EXPECT_FALSE(gClone->ConfirmSyncActions());
         EXPECT_TRUE(gClone->CreateTargetFolder());
         EXPECT_TRUE(W.checked(M::mnuOptionsCopyOnlyIfNewer));
         EXPECT_FALSE(W.checked(M::mnuOptionsConfirmSyncActions));
         EXPECT_TRUE(W.checked(M::mnuOptionsCreateTargetFolder));
     }},
    {"StoredPasswordTurnsProtectionOn", "[Miscellaneous]\nAdminPassword=s3cret-form\n",
     [](const ProgramOptions&) {
         EXPECT_TRUE(gblnPasswordSet);
         EXPECT_EQ(gstrAdminPassword, "s3cret-form");
     }},
    {"ReminderSwitches", "[Reminders]\nSysTray=False\nScheduledSyncsMsg=True\nSendToRecycleBinMsg=TRUE\n",
     [](const ProgramOptions&) {
         EXPECT_FALSE(gblnShowSysTrayReminder);
         EXPECT_TRUE(gblnShowScheduledSyncsMsg);
         EXPECT_FALSE(gblnShowSendToRecycleBinMsg);
     }},
    {"CrLfLinesRead", "[Log]\r\nMaxSize=200\r\n[TaskList]\r\nTaskListFileSpec=/srv/lists/Office.kwt\r\n",
     [](const ProgramOptions& W) {
         EXPECT_TRUE(W.checked(M::mnuLogSize200));
         EXPECT_EQ(gCloneTasks->TaskListFileSpec(), "/srv/lists/Office.kwt");
     }},
};

INSTANTIATE_TEST_SUITE_P(OptionsKeys, ReadRuleTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramOptionsTest, MethodOutsideItsMenuStopsReadingThere)
{
    writeOptions("[Log]\nMaxSize=200\n[Form Dimensions]\nHeight=6000\n"
                 "[Miscellaneous]\nShowToolbar=Hide\nCopyMethod=2\nDeleteMethod=4\n"
                 "PromptToInsertRemovableDrive=True\nCategories=Only\n");
    EXPECT_FALSE(ReadProgramOptionsFromIniFile(*W));

    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in modIniFile.ReadProgramOptionsFromIniFile");
    // Before the bad key: applied.
    EXPECT_TRUE(W->checked(M::mnuLogSize200));
    EXPECT_EQ(W->FormHeight(), 6000);
    EXPECT_TRUE(W->checked(M::mnuOptionsToolbarHide));
    EXPECT_EQ(gClone->CopyMethod(), 2);
    // From it on: the holders keep what they had.
    EXPECT_EQ(gClone->DeleteMethod(), cClone().DeleteMethod());
    EXPECT_EQ(W->checkedInGroup(M::mnuOptionsDeleteMethod0), -1);
    EXPECT_FALSE(gblnPromptToInsertRemovableDrive);
    EXPECT_EQ(gCategories->Count(), 0);
}

TEST_F(ProgramOptionsTest, NonNumericColumnWidthStopsReadingThere)
{
    writeOptions("[ColumnWidths]\nColumnOne=wide\n[Miscellaneous]\nCopyMethod=1\n");
    EXPECT_FALSE(ReadProgramOptionsFromIniFile(*W));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in modIniFile.ReadProgramOptionsFromIniFile");
    EXPECT_EQ(gClone->CopyMethod(), 0);
    EXPECT_EQ(W->checkedInGroup(M::mnuOptionsCopyMethod0), -1);
}

TEST_F(ProgramOptionsTest, EverySettingSurvivesARestart)
{
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));
    // Change everything away from its default, as the menus would.
    gCloneLog->setRestrictLogSize(true);
    gCloneLog->setMaxLogFileSize(204800);
    W->checkOnly(M::mnuLogSize200);
    gCloneLog->setLogOnlyErrors(true);
    gCompare->setCompareMethod(3);
    gCompare->setIgnoreFAT_NTFS_TwoSecDiff(false);
    gCompare->setIgnoreFAT_NTFS_DaylightSavings(true);
    gCompare->setIgnoreSystemFolders(true);
    gCompare->setIgnoreHiddenFolders(false);
    gCompare->setIgnoreSystemFiles(false);
    gCompare->setIgnoreHiddenFiles(false);
    ASSERT_TRUE(gPriorityRules->Remove(gPriorityRules->PriorityRules()[0].Key));
    cPriorityRule day{8.0 / 24, 18.0 / 24, 128, {}};
    cPriorityRule night{22.0 / 24, 6.0 / 24, 0, {}};
    gPriorityRules->Add(day);
    gPriorityRules->Add(night);
    gblnShowSysTrayReminder = false;
    gblnShowScheduledSyncsMsg = false;
    gblnShowSendToRecycleBinMsg = false;
    gCloneTasks->setTaskListFileSpec("/srv/lists/Office Tasks.kwt");
    W->setSizePixels(1024, 700);
    W->setColumnWidth(0, 310);
    W->setColumnWidth(3, 7);
    W->checkOnly(M::mnuOptionsRunOnWindowsStartupCurrentUser);
    gblnPromptToInsertRemovableDrive = true;
    W->checkOnly(M::mnuOptionsToolbarHide);
    gClone->setCopyMethod(1);
    gClone->setDeleteMethod(2);
    glngDelayBeforeFirstTask = 12;
    gClone->setCopyOnlyIfNewer(true);
    gClone->setConfirmSyncActions(false);
    gClone->setCreateTargetFolder(true);
    gClone->setKeepHardLinks(true);
    gClone->setKeepVersions(true);
    gClone->setVersionsFolder("/srv/old versions");
    gClone->setVersionsKeepDays(0);
    gClone->setVersionsKeepMoments(12);
    ASSERT_TRUE(gCategories->Remove("Work"));
    gCategories->Add("Backups");
    gblnPasswordSet = true;
    gstrAdminPassword = "open sesame";
    setPasswordCodec([](const std::string& s) { return "~" + std::string(s.rbegin(), s.rend()); },
                     [](const std::string& s) { return std::string(s.rbegin(), s.rend() - 1); });

    ASSERT_TRUE(SaveProgramOptionsToIniFile(*W));
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_EQ(optionValue("Form Dimensions", "Height"), "0000010500");
    EXPECT_EQ(optionValue("ColumnWidths", "ColumnFour"), "0000000007");
    EXPECT_EQ(optionValue("Priority Rules", "PriorityRule2"), "10:00:00 PM,6:00:00 AM,0");
    EXPECT_EQ(optionValue("Miscellaneous", "AdminPassword"), "~emases nepo") << "never in clear text";

    restart();
    gblnShowSysTrayReminder = gblnShowScheduledSyncsMsg = gblnShowSendToRecycleBinMsg = true;
    gblnPromptToInsertRemovableDrive = false;
    glngDelayBeforeFirstTask = 0;
    gblnPasswordSet = false;
    gstrAdminPassword.clear();
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));

    EXPECT_TRUE(gCloneLog->RestrictLogSize());
    EXPECT_EQ(gCloneLog->MaxLogFileSize(), 204800);
    EXPECT_TRUE(W->checked(M::mnuLogSize200));
    EXPECT_TRUE(gCloneLog->LogOnlyErrors());
    EXPECT_EQ(gCompare->CompareMethod(), 3);
    EXPECT_TRUE(W->checked(M::mnuOptionsCompMethodCRC32));
    EXPECT_FALSE(gCompare->IgnoreFAT_NTFS_TwoSecDiff());
    EXPECT_TRUE(gCompare->IgnoreFAT_NTFS_DaylightSavings());
    EXPECT_TRUE(gCompare->IgnoreSystemFolders());
    EXPECT_FALSE(gCompare->IgnoreHiddenFolders());
    EXPECT_FALSE(gCompare->IgnoreSystemFiles());
    EXPECT_FALSE(gCompare->IgnoreHiddenFiles());
    const auto rules = gPriorityRules->PriorityRules();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_NEAR(rules[0].StartTime, 8.0 / 24, 1e-9);
    EXPECT_NEAR(rules[0].EndTime, 18.0 / 24, 1e-9);
    EXPECT_EQ(rules[0].Priority, 128);
    EXPECT_NEAR(rules[1].StartTime, 22.0 / 24, 1e-9);
    EXPECT_NEAR(rules[1].EndTime, 6.0 / 24, 1e-9);
    EXPECT_EQ(rules[1].Priority, 0);
    EXPECT_FALSE(gblnShowSysTrayReminder || gblnShowScheduledSyncsMsg || gblnShowSendToRecycleBinMsg);
    EXPECT_EQ(gCloneTasks->TaskListFileSpec(), "/srv/lists/Office Tasks.kwt");
    EXPECT_EQ(W->widthPixels(), 1024);
    EXPECT_EQ(W->heightPixels(), 700);
    EXPECT_EQ(W->columnWidth(0), 310);
    EXPECT_EQ(W->columnWidth(3), 7);
    EXPECT_TRUE(W->checked(M::mnuOptionsRunOnWindowsStartupCurrentUser));
    EXPECT_TRUE(gblnPromptToInsertRemovableDrive);
    EXPECT_TRUE(W->checked(M::mnuOptionsToolbarHide));
    EXPECT_EQ(gClone->CopyMethod(), 1);
    EXPECT_EQ(gClone->DeleteMethod(), 2);
    EXPECT_EQ(glngDelayBeforeFirstTask, 12);
    EXPECT_TRUE(gClone->CopyOnlyIfNewer());
    EXPECT_FALSE(gClone->ConfirmSyncActions());
    EXPECT_TRUE(gClone->CreateTargetFolder());
    EXPECT_TRUE(gClone->KeepHardLinks());
    EXPECT_TRUE(W->checked(M::mnuOptionsKeepHardLinks));
    EXPECT_TRUE(gClone->KeepVersions());
    EXPECT_TRUE(W->checked(M::mnuOptionsKeepVersions));
    EXPECT_EQ(gClone->VersionsFolder(), "/srv/old versions");
    EXPECT_EQ(gClone->VersionsKeepDays(), 0);
    EXPECT_EQ(gClone->VersionsKeepMoments(), 12);
    EXPECT_EQ(categoryNames(), (std::vector<std::string>{"Personal", "Pictures", "E-mail", "Financial",
                                                         "Documents", "Settings", "Backups"}));
    EXPECT_TRUE(gblnPasswordSet);
    EXPECT_EQ(gstrAdminPassword, "open sesame");
}

TEST_F(ProgramOptionsTest, FreshFileHasTheKeysInOrder)
{
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));
    ASSERT_TRUE(SaveProgramOptionsToIniFile(*W));
    const std::string expected = "[Log]\n"
                                 "RestrictLogSize=True\n"
                                 "MaxSize=500\n"
                                 "LogOnlyErrors=False\n"
                                 "[Comparison]\n"
                                 "CompareType=DateTime\n"
                                 "Ignore2SecDiff=True\n"
                                 "IgnoreDaylightSavings=False\n"
                                 "IgnoreSystemFolders=False\n"
                                 "IgnoreHiddenFolders=True\n"
                                 "IgnoreSystemFiles=True\n"
                                 "IgnoreHiddenFiles=True\n"
                                 "[Priority Rules]\n"
                                 "NumRules=1\n"
                                 "PriorityRule1=12:00:00 AM,11:59:00 PM,64\n"
                                 "[Reminders]\n"
                                 "SysTray=True\n"
                                 "ScheduledSyncsMsg=True\n"
                                 "SendToRecycleBinMsg=True\n"
                                 "[TaskList]\n"
                                 "TaskListFileSpec=" +
                                 dir.dataFolder() +
                                 "Default Task List.kwt\n"
                                 "[Form Dimensions]\n"
                                 "Height=0000007200\n"
                                 "Width=0000010800\n"
                                 "[ColumnWidths]\n"
                                 "ColumnOne=0000000150\n"
                                 "ColumnTwo=0000000100\n"
                                 "ColumnThree=0000000100\n"
                                 "ColumnFour=0000000125\n"
                                 "ColumnFive=0000000125\n"
                                 "[Miscellaneous]\n"
                                 "RunOnWindowsStartup=AllUsers\n"
                                 "PromptToInsertRemovableDrive=False\n"
                                 "ShowToolbar=Show\n"
                                 "CopyMethod=0\n"
                                 "DeleteMethod=1\n"
                                 "DelayBeforeFirstTask=0\n"
                                 "CopyOnlyIfNewer=False\n"
                                 "ConfirmSyncActions=True\n"
                                 "CreateTargetFolder=False\n"
                                 "Categories=Personal,Work,Pictures,E-mail,Financial,Documents,Settings\n"
                                 "Notifications=True\n"
                                 "ProtectFromEmptySource=True\n"
                                 "MaxDeletePercent=0\n"
                                 "KeepHardLinks=False\n"
                                 "KeepVersions=False\n"
                                 "VersionsFolder=\n"
                                 "VersionsKeepDays=30\n"
                                 "VersionsKeepMoments=0\n";
    EXPECT_EQ(optionsText(), expected);
}

TEST_F(ProgramOptionsTest, SavingKeepsWhatItDoesNotOwn)
{
    writeOptions("; kept comment\r\n[Log]\r\nMaxSize=300\r\n[Priority Rules]\r\nNumRules=2\r\n"
                 "PriorityRule1=1:00:00 AM,2:00:00 AM,32\r\nPriorityRule2=3:00:00 AM,4:00:00 AM,128\r\n"
                 "[Miscellaneous]\r\nAdminPassword=\r\nOwnKey=stays\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));
    ASSERT_TRUE(gPriorityRules->Remove(gPriorityRules->PriorityRules()[1].Key));
    ASSERT_TRUE(SaveProgramOptionsToIniFile(*W));

    const std::string text = optionsText();
    EXPECT_TRUE(text.starts_with("; kept comment\r\n[Log]\r\n")) << text;
    EXPECT_EQ(optionValue("Log", "MaxSize"), "300") << "no size item checked: the key stays";
    EXPECT_EQ(optionValue("Priority Rules", "NumRules"), "1");
    EXPECT_EQ(optionValue("Priority Rules", "PriorityRule2"), "3:00:00 AM,4:00:00 AM,128")
        << "keys beyond NumRules stay";
    EXPECT_EQ(optionValue("Miscellaneous", "OwnKey"), "stays");
    EXPECT_EQ(optionValue("Other", "x"), "1");
    EXPECT_EQ(optionValue("Miscellaneous", "AdminPassword"), "") << "not written while no password is set";

    // Nothing but the options file in the data folder: the write left no temporary file.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.dataFolder())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(ProgramOptionsTest, NoCategoriesWriteAnEmptyKeyThatReadsAsTheDefaults)
{
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));
    for (const std::string& name : DefaultCategoryNames())
        ASSERT_TRUE(gCategories->Remove(name));
    ASSERT_TRUE(SaveProgramOptionsToIniFile(*W));
    EXPECT_EQ(optionValue("Miscellaneous", "Categories"), "");
    restart();
    ASSERT_TRUE(ReadProgramOptionsFromIniFile(*W));
    EXPECT_EQ(categoryNames(), DefaultCategoryNames());
}

TEST_F(ProgramOptionsTest, UnreadableOptionsFileIsReported)
{
    // A folder where the file should be: it can be neither read nor replaced.
    std::filesystem::create_directories(dir.dataFolder() + "kestrow.ini");
    EXPECT_FALSE(ReadProgramOptionsFromIniFile(*W));
    EXPECT_FALSE(SaveProgramOptionsToIniFile(*W));
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].title, "Unexpected Error in modIniFile.ReadProgramOptionsFromIniFile");
    EXPECT_EQ(messages[1].title, "Unexpected Error in modIniFile.SaveProgramOptionsToIniFile");
}

TEST(OptionsModelTest, ListenersHearChangesOnly)
{
    ProgramOptions W;
    std::vector<std::pair<M, bool>> heard;
    int geometry = 0;
    const int id = W.addCheckListener([&](M item, bool on) { heard.emplace_back(item, on); });
    W.addGeometryListener([&] { ++geometry; });

    W.checkOnly(M::mnuOptionsCompMethodSize);
    W.checkOnly(M::mnuOptionsCompMethodContents);
    W.setChecked(M::mnuOptionsCompMethodContents, true); // no change: not heard
    W.setChecked(M::mnuLogOnlyErrors, true);
    const std::vector<std::pair<M, bool>> expected = {{M::mnuOptionsCompMethodSize, true},
                                                      {M::mnuOptionsCompMethodSize, false},
                                                      {M::mnuOptionsCompMethodContents, true},
                                                      {M::mnuLogOnlyErrors, true}};
    EXPECT_EQ(heard, expected);

    W.setSizePixels(900, 600);
    W.setSizePixels(900, 600);
    W.setColumnWidth(2, 50);
    W.setColumnWidth(9, 50); // no such column
    EXPECT_EQ(geometry, 2);
    EXPECT_EQ(W.FormWidth(), 13500);
    EXPECT_EQ(W.columnWidth(9), 0);

    W.removeListener(id);
    W.setChecked(M::mnuLogOnlyErrors, false);
    EXPECT_EQ(heard.size(), expected.size());
}

} // namespace
} // namespace kestrow
