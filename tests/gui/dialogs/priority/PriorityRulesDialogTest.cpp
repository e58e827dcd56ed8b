// The priority rules dialog and the rule dialog, offscreen, on a real rule list.

#include "settings/cPriorityRules.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/priority/frmPriorityRule.h"
#include "ui/dialogs/priority/frmPriorityRules.h"

#include <QComboBox>
#include <QLabel>
#include <QTimeEdit>

using namespace kestrow;
using namespace kestrow::test;
using gui::frmPriorityRule;
using gui::frmPriorityRules;

namespace {

DateValue at(int hour, int minute)
{
    return dateFromParts({1899, 12, 30, hour, minute, 0});
}

cPriorityRule makeRule(int startHour, int startMinute, int endHour, int endMinute, int32_t priority)
{
    cPriorityRule rule;
    rule.StartTime = at(startHour, startMinute);
    rule.EndTime = at(endHour, endMinute);
    rule.Priority = priority;
    return rule;
}

// What the user puts into the rule dialog.
struct RuleEntry
{
    QTime start;
    QTime end;
    const char* priority; // the text of the choice
};

class PriorityRulesDialogTest : public ModalDialogTest
{
protected:
    frmPriorityRules& openDialog()
    {
        dialog = std::make_unique<frmPriorityRules>(rules);
        dialog->show();
        list = dialog->findChild<QListWidget*>(QStringLiteral("lstPriorityRules"));
        return *dialog;
    }

    // Answers the next rule dialog with `entry` and OK (or Cancel when `ok` is false);
    // remembers what the dialog showed when it came up.
    void answerRuleDialog(std::optional<RuleEntry> entry, bool ok = true)
    {
        onModal<frmPriorityRule>([this, entry, ok](frmPriorityRule* rule) {
            auto* start = rule->findChild<QTimeEdit*>(QStringLiteral("dtpStartTime"));
            auto* end = rule->findChild<QTimeEdit*>(QStringLiteral("dtpEndTime"));
            auto* choice = rule->findChild<QComboBox*>(QStringLiteral("cboPriority"));
            shown = s(start->text()) + " / " + s(end->text()) + " / " + s(choice->currentText());
            if (entry) {
                start->setTime(entry->start);
                end->setTime(entry->end);
                choice->setCurrentIndex(choice->findText(QString::fromLatin1(entry->priority)));
            }
            click(rule, ok ? "cmdOK" : "cmdCancel");
        });
    }

    std::vector<std::string> keys() const
    {
        std::vector<std::string> out;
        for (const cPriorityRule& rule : rules.PriorityRules())
            out.push_back(rule.Key);
        return out;
    }

    cPriorityRules rules;
    std::unique_ptr<frmPriorityRules> dialog;
    QListWidget* list = nullptr;
    std::string shown;
};

TEST_F(PriorityRulesDialogTest, OpeningWithNoRulesCreatesAndListsTheAllDayLowRule)
{
    openDialog();
    EXPECT_EQ(s(dialog->windowTitle()), "Priority Rules");
    EXPECT_EQ(s(dialog->findChild<QLabel*>(QStringLiteral("lblInstruct"))->text()),
              "Specify the priority that the system should give to Kestrow within a time range of the day.");
    EXPECT_EQ(s(dialog->findChild<QLabel*>(QStringLiteral("lblDefaultPriority"))->text()),
              "Note: Kestrow's default priority is LOW");
    EXPECT_EQ(listLines(list), std::vector<std::string>{"12:00 AM to 11:59 PM - LOW PRIORITY"});
    ASSERT_EQ(rules.Count(), 1);
    EXPECT_EQ(rules.PriorityRules()[0].Priority, priority::Low);
}

TEST_F(PriorityRulesDialogTest, ListsExistingRulesInListOrderWithoutAddingTheDefault)
{
    rules.Add(makeRule(22, 0, 6, 0, priority::High));
    rules.Add(makeRule(9, 0, 17, 0, priority::DoNotRun));
    openDialog();
    EXPECT_EQ(listLines(list), (std::vector<std::string>{"10:00 PM to 06:00 AM - HIGH PRIORITY",
                                                         "09:00 AM to 05:00 PM - DO NOT RUN"}));
    EXPECT_EQ(rules.Count(), 2);
}

TEST_F(PriorityRulesDialogTest, RuleDialogOffersFourChoicesAndStartsANewRuleAtMidnightNormal)
{
    rules.Add(makeRule(8, 0, 9, 0, priority::High));
    openDialog();
    QStringList choices;
    std::string format;
    std::string caption;
    onModal<frmPriorityRule>([&](frmPriorityRule* rule) {
        caption = s(rule->windowTitle());
        auto* choice = rule->findChild<QComboBox*>(QStringLiteral("cboPriority"));
        for (int i = 0; i < choice->count(); ++i)
            choices << choice->itemText(i);
        format = s(rule->findChild<QTimeEdit*>(QStringLiteral("dtpStartTime"))->displayFormat());
        shown = s(rule->findChild<QTimeEdit*>(QStringLiteral("dtpStartTime"))->text()) + " / " +
                s(rule->findChild<QTimeEdit*>(QStringLiteral("dtpEndTime"))->text()) + " / " +
                s(choice->currentText());
        click(rule, "cmdCancel");
    });
    click(dialog.get(), "cmdNewPriorityRule");
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(caption, "Priority Rule");
    EXPECT_EQ(choices, (QStringList{QStringLiteral("Low"), QStringLiteral("Normal"), QStringLiteral("High"),
                                    QStringLiteral("Do Not Run")}));
    EXPECT_EQ(format, "hh:mm AP");
    EXPECT_EQ(shown, "12:00 AM / 11:59 PM / Normal");
    // Cancel adds nothing and says nothing.
    EXPECT_EQ(rules.Count(), 1);
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(messages().empty());
}

TEST(PriorityChoices, IndexAndValueMapBothWays)
{
    EXPECT_EQ(frmPriorityRule::PriorityFromIndex(0), 64);
    EXPECT_EQ(frmPriorityRule::PriorityFromIndex(1), 32);
    EXPECT_EQ(frmPriorityRule::PriorityFromIndex(2), 128);
    EXPECT_EQ(frmPriorityRule::PriorityFromIndex(3), 0);
    EXPECT_EQ(frmPriorityRule::IndexFromPriority(64), 0);
    EXPECT_EQ(frmPriorityRule::IndexFromPriority(32), 1);
    EXPECT_EQ(frmPriorityRule::IndexFromPriority(128), 2);
    EXPECT_EQ(frmPriorityRule::IndexFromPriority(0), 3);
    EXPECT_EQ(frmPriorityRule::IndexFromPriority(7), 0) << "an unknown value shows as Low";
    EXPECT_EQ(frmPriorityRule::TimeFromDateValue(at(23, 59)), QTime(23, 59));
    EXPECT_DOUBLE_EQ(frmPriorityRule::DateValueFromTime(QTime(13, 45)), at(13, 45));
}

// New rules against one existing rule, 08:00 AM to 05:00 PM high.
struct NewRuleRow
{
    const char* name;
    RuleEntry entry;
    bool added;
    const char* line; // the new list line when added
};

// Rows print as their names.
void PrintTo(const NewRuleRow& row, std::ostream* os)
{
    *os << row.name;
}

class NewRule : public PriorityRulesDialogTest, public ::testing::WithParamInterface<NewRuleRow>
{
};

TEST_P(NewRule, IsAddedOrRefusedForItsConflict)
{
    const NewRuleRow& row = GetParam();
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    openDialog();
    answerRuleDialog(row.entry);
    click(dialog.get(), "cmdNewPriorityRule");
    ASSERT_EQ(modalsHandled, 1);
    if (row.added) {
        EXPECT_TRUE(messages().empty()) << lastMessage();
        EXPECT_EQ(listLines(list),
                  (std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY", row.line}));
        EXPECT_EQ(keys(), (std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY", row.line}));
    } else {
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(messages()[0].title, "Add Failed");
        EXPECT_EQ(messages()[0].text,
                  "The Priority Rule could not be added because it conflicts with an existing rule.");
        EXPECT_EQ(messages()[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(list->count(), 1);
        EXPECT_EQ(rules.Count(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AgainstEightToFive, NewRule,
    ::testing::Values(NewRuleRow{"Overlapping", {QTime(16, 0), QTime(18, 0), "Low"}, false, ""},
                      NewRuleRow{"TouchingAtItsEnd", {QTime(17, 0), QTime(20, 0), "Low"}, false, ""},
                      NewRuleRow{"TouchingAtItsStart", {QTime(6, 0), QTime(8, 0), "Normal"}, false, ""},
                      NewRuleRow{"Enclosing", {QTime(7, 0), QTime(18, 0), "Normal"}, false, ""},
                      NewRuleRow{"Inside", {QTime(9, 0), QTime(10, 0), "Low"}, false, ""},
                      NewRuleRow{"ThroughMidnightIntoIt", {QTime(22, 0), QTime(9, 0), "Low"}, false, ""},
                      NewRuleRow{"AdjacentAfter",
                                 {QTime(17, 1), QTime(23, 59), "Normal"},
                                 true,
                                 "05:01 PM to 11:59 PM - NORMAL PRIORITY"},
                      NewRuleRow{"ThroughMidnightClear",
                                 {QTime(22, 0), QTime(6, 0), "High"},
                                 true,
                                 "10:00 PM to 06:00 AM - HIGH PRIORITY"},
                      NewRuleRow{"DoNotRun",
                                 {QTime(18, 0), QTime(21, 30), "Do Not Run"},
                                 true,
                                 "06:00 PM to 09:30 PM - DO NOT RUN"}),
    [](const ::testing::TestParamInfo<NewRuleRow>& info) { return std::string(info.param.name); });

TEST_F(PriorityRulesDialogTest, DoNotRunIsStoredAsZero)
{
    rules.Add(makeRule(0, 0, 5, 59, priority::Low));
    openDialog();
    answerRuleDialog(RuleEntry{QTime(9, 0), QTime(17, 0), "Do Not Run"});
    click(dialog.get(), "cmdNewPriorityRule");
    ASSERT_EQ(rules.Count(), 2);
    const cPriorityRule added = rules.PriorityRules()[1];
    EXPECT_EQ(added.Priority, 0);
    EXPECT_DOUBLE_EQ(added.StartTime, at(9, 0));
    EXPECT_DOUBLE_EQ(added.EndTime, at(17, 0));
    EXPECT_EQ(rules.GetApplicablePriorityClass(at(12, 0)), 0);
}

TEST_F(PriorityRulesDialogTest, EditingWithoutAChangeIsRefusedAndKeepsTheRule)
{
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    openDialog();
    selectLine(list, "08:00 AM to 05:00 PM - HIGH PRIORITY");
    answerRuleDialog(std::nullopt);
    click(dialog.get(), "cmdEditPriorityRule");
    EXPECT_EQ(shown, "08:00 AM / 05:00 PM / High") << "the dialog shows the selected rule";
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].title, "Edit Failed");
    EXPECT_EQ(messages()[0].text, "The Priority Rule could not be changed.  Make sure that it is unique.");
    EXPECT_EQ(messages()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(keys(), std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY"});
    EXPECT_EQ(listLines(list), std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY"});
}

TEST_F(PriorityRulesDialogTest, EditingReplacesTheRuleAndItsLineInPlace)
{
    rules.Add(makeRule(0, 0, 7, 59, priority::Low));
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    rules.Add(makeRule(18, 0, 22, 0, priority::Normal));
    openDialog();
    selectLine(list, "08:00 AM to 05:00 PM - HIGH PRIORITY");
    // Wider at the end and lower: it only touches itself.
    answerRuleDialog(RuleEntry{QTime(8, 0), QTime(17, 30), "Normal"});
    click(dialog.get(), "cmdEditPriorityRule");
    EXPECT_TRUE(messages().empty()) << lastMessage();
    EXPECT_EQ(listLines(list), (std::vector<std::string>{"12:00 AM to 07:59 AM - LOW PRIORITY",
                                                         "08:00 AM to 05:30 PM - NORMAL PRIORITY",
                                                         "06:00 PM to 10:00 PM - NORMAL PRIORITY"}));
    EXPECT_FALSE(rules.DoesThisRuleExist("08:00 AM to 05:00 PM - HIGH PRIORITY"));
    EXPECT_TRUE(rules.DoesThisRuleExist("08:00 AM to 05:30 PM - NORMAL PRIORITY"));
    EXPECT_EQ(rules.Count(), 3);
    EXPECT_EQ(rules.GetApplicablePriorityClass(at(17, 15)), priority::Normal);
}

TEST_F(PriorityRulesDialogTest, EditingIntoAnotherRulesPeriodIsRefused)
{
    rules.Add(makeRule(0, 0, 7, 59, priority::Low));
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    openDialog();
    selectLine(list, "12:00 AM to 07:59 AM - LOW PRIORITY");
    answerRuleDialog(RuleEntry{QTime(0, 0), QTime(8, 0), "Low"});
    click(dialog.get(), "cmdEditPriorityRule");
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].title, "Edit Failed");
    EXPECT_EQ(messages()[0].text, "The changes conflict with an existing rule.");
    EXPECT_EQ(messages()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(keys(), (std::vector<std::string>{"12:00 AM to 07:59 AM - LOW PRIORITY",
                                                "08:00 AM to 05:00 PM - HIGH PRIORITY"}));
}

TEST_F(PriorityRulesDialogTest, CancelledEditChangesNothing)
{
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    openDialog();
    selectLine(list, "08:00 AM to 05:00 PM - HIGH PRIORITY");
    answerRuleDialog(RuleEntry{QTime(1, 0), QTime(2, 0), "Low"}, false);
    click(dialog.get(), "cmdEditPriorityRule");
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(keys(), std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY"});
}

TEST_F(PriorityRulesDialogTest, DoubleClickOnALineEditsIt)
{
    rules.Add(makeRule(22, 0, 6, 0, priority::DoNotRun));
    openDialog();
    QListWidgetItem* line = list->item(0);
    list->setCurrentItem(line);
    answerRuleDialog(RuleEntry{QTime(22, 0), QTime(6, 0), "High"});
    doubleClick(list, line);
    EXPECT_EQ(shown, "10:00 PM / 06:00 AM / Do Not Run");
    EXPECT_EQ(keys(), std::vector<std::string>{"10:00 PM to 06:00 AM - HIGH PRIORITY"});
    EXPECT_EQ(listLines(list), std::vector<std::string>{"10:00 PM to 06:00 AM - HIGH PRIORITY"});
}

TEST_F(PriorityRulesDialogTest, RemoveTakesTheSelectedRuleWithoutAQuestion)
{
    rules.Add(makeRule(0, 0, 7, 59, priority::Low));
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    openDialog();
    selectLine(list, "12:00 AM to 07:59 AM - LOW PRIORITY");
    click(dialog.get(), "cmdRemovePriorityRule");
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_EQ(listLines(list), std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY"});
    EXPECT_EQ(keys(), std::vector<std::string>{"08:00 AM to 05:00 PM - HIGH PRIORITY"});
}

TEST_F(PriorityRulesDialogTest, EditAndRemoveAskForASelection)
{
    rules.Add(makeRule(8, 0, 17, 0, priority::High));
    openDialog();
    list->clearSelection();
    list->setCurrentItem(nullptr);
    click(dialog.get(), "cmdEditPriorityRule");
    click(dialog.get(), "cmdRemovePriorityRule");
    EXPECT_EQ(modalsHandled, 0);
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[0].title, "Edit/View Priority Rule");
    EXPECT_EQ(messages()[0].text, "Please select a Priority Rule");
    EXPECT_EQ(messages()[0].icon, MsgIcon::Information);
    EXPECT_EQ(messages()[1].title, "Remove Priority Rule");
    EXPECT_EQ(messages()[1].text, "Please select a Priority Rule");
    EXPECT_EQ(messages()[1].icon, MsgIcon::Information);
    EXPECT_EQ(rules.Count(), 1);
}

TEST_F(PriorityRulesDialogTest, OkClosesWithEveryChangeAlreadyMade)
{
    openDialog();
    answerRuleDialog(RuleEntry{QTime(0, 0), QTime(0, 0), "High"});
    click(dialog.get(), "cmdNewPriorityRule");
    ASSERT_EQ(messages().size(), 1u) << "midnight lies in the all-day rule";
    selectLine(list, "12:00 AM to 11:59 PM - LOW PRIORITY");
    click(dialog.get(), "cmdRemovePriorityRule");
    answerRuleDialog(RuleEntry{QTime(0, 0), QTime(0, 0), "High"});
    click(dialog.get(), "cmdNewPriorityRule");
    click(dialog.get(), "cmdOK");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(keys(), std::vector<std::string>{"12:00 AM to 12:00 AM - HIGH PRIORITY"});
}

} // namespace
