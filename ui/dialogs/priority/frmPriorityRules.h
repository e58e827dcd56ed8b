#pragma once
// The priority rules dialog ("Priority Rules"): lists the rules of a cPriorityRules
// (gPriorityRules in the program) one line each, by display text, and adds, edits and
// removes them. Every change goes to the list at once; OK only closes. A rule is
// edited in frmPriorityRule, which takes it from and hands it back through
// PriorityRule. Opening the dialog on an empty list adds the all-day low-priority rule.

#include "settings/cPriorityRules.h"

#include <QDialog>

#include <optional>

class QListWidget;

namespace kestrow::gui {

class frmPriorityRules : public QDialog
{
    Q_OBJECT
public:
    explicit frmPriorityRules(cPriorityRules& rules, QWidget* parent = nullptr);

    // The rule handed to the rule dialog (nothing: a new rule) and back from it
    // (nothing: cancelled).
    const std::optional<cPriorityRule>& PriorityRule() const { return m_PriorityRule; }
    void setPriorityRule(std::optional<cPriorityRule> rule) { m_PriorityRule = std::move(rule); }

    // New: the rule dialog with nothing in PriorityRule; a rule that comes back is
    // added unless it touches or overlaps another ("Add Failed").
    void cmdNewPriorityRule_Click();
    // Edit (also a double click on a line): the rule dialog with a copy of the selected
    // rule; the changed rule replaces it unless it is unchanged or conflicts ("Edit
    // Failed").
    void cmdEditPriorityRule_Click();
    // Remove: the selected rule goes, without a question.
    void cmdRemovePriorityRule_Click();
    // Help: the help page of the priority rules (context 59).
    void cmdHelp_Click();

private:
    // Shows frmPriorityRule modally; it leaves its answer in PriorityRule.
    void showRuleDialog();
    void LoadRules();

    cPriorityRules& m_rules;
    QListWidget* m_lstPriorityRules;
    std::optional<cPriorityRule> m_PriorityRule;
};

} // namespace kestrow::gui
