#pragma once
// The rule dialog ("Priority Rule"): one rule's start time, end time (pickers in the
// "hh:mm AP" form) and priority. It takes the rule from the PriorityRule of the open
// rules dialog (nothing: 12:00 AM to 11:59 PM, Normal) and puts it back there on OK;
// Cancel, or closing the window, leaves nothing there.

#include "settings/cPriorityRules.h"

#include <QDialog>

#include <cstdint>

class QComboBox;
class QTime;
class QTimeEdit;

namespace kestrow::gui {

class frmPriorityRules;

class frmPriorityRule : public QDialog
{
    Q_OBJECT
public:
    explicit frmPriorityRule(frmPriorityRules& rulesForm);

    // The choices of cboPriority by list index: Low 64, Normal 32, High 128, Do Not Run 0.
    static int32_t PriorityFromIndex(int index);
    // The index of a stored priority; a value that is none of 0, 32 and 128 shows as Low.
    static int IndexFromPriority(int32_t priority);

    // A time of day (date part zero) and back, to the minute.
    static DateValue DateValueFromTime(const QTime& time);
    static QTime TimeFromDateValue(DateValue value);

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void reject() override;

private:
    void PullPriorityRuleFromRulesForm();
    void PushPriorityRuleToRulesForm();

    frmPriorityRules& m_rulesForm;
    QTimeEdit* m_dtpStartTime;
    QTimeEdit* m_dtpEndTime;
    QComboBox* m_cboPriority;
};

} // namespace kestrow::gui
