#include "ui/dialogs/priority/frmPriorityRule.h"

#include "base/ErrorReporter.h"
#include "ui/dialogs/priority/frmPriorityRules.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <array>

namespace kestrow::gui {

namespace {

struct PriorityChoice
{
    const char* text;
    int32_t value;
};

constexpr std::array<PriorityChoice, 4> kChoices{{
    {"Low", priority::Low},
    {"Normal", priority::Normal},
    {"High", priority::High},
    {"Do Not Run", priority::DoNotRun},
}};

QTimeEdit* timePicker(const char* name, QWidget* parent)
{
    auto* picker = new QTimeEdit(parent);
    picker->setObjectName(QString::fromLatin1(name));
    // AM and PM whatever the user's language, as the rule texts read.
    picker->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    picker->setDisplayFormat(QStringLiteral("hh:mm AP"));
    return picker;
}

} // namespace

frmPriorityRule::frmPriorityRule(frmPriorityRules& rulesForm) : QDialog(&rulesForm), m_rulesForm(rulesForm)
{
    setObjectName(QStringLiteral("frmPriorityRule"));
    setWindowTitle(QStringLiteral("Priority Rule"));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_dtpStartTime = timePicker("dtpStartTime", this);
    m_dtpEndTime = timePicker("dtpEndTime", this);
    m_cboPriority = new QComboBox(this);
    m_cboPriority->setObjectName(QStringLiteral("cboPriority"));
    for (const PriorityChoice& choice : kChoices)
        m_cboPriority->addItem(QString::fromLatin1(choice.text));

    const auto addRow = [&](const char* name, const char* caption, QWidget* field) {
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        label->setObjectName(QString::fromLatin1(name));
        label->setBuddy(field);
        form->addRow(label, field);
    };
    addRow("lblStartTime", "Start Time:", m_dtpStartTime);
    addRow("lblEndTime", "End Time:", m_dtpEndTime);
    addRow("lblPriority", "Priority:", m_cboPriority);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &frmPriorityRule::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmPriorityRule::cmdCancel_Click);

    PullPriorityRuleFromRulesForm();
}

int32_t frmPriorityRule::PriorityFromIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(kChoices.size()))
        throw RuntimeError(errnum::Generic, "Invalid procedure call or argument");
    return kChoices[static_cast<std::size_t>(index)].value;
}

int frmPriorityRule::IndexFromPriority(int32_t priority)
{
    for (std::size_t i = 1; i < kChoices.size(); ++i)
        if (kChoices[i].value == priority)
            return static_cast<int>(i);
    return 0;
}

DateValue frmPriorityRule::DateValueFromTime(const QTime& time)
{
    return dateFromParts({1899, 12, 30, time.hour(), time.minute(), 0});
}

QTime frmPriorityRule::TimeFromDateValue(DateValue value)
{
    const DateParts parts = partsFromDate(value);
    return QTime(parts.hour, parts.minute);
}

void frmPriorityRule::PullPriorityRuleFromRulesForm()
{
    Guarded("frmPriorityRule.PullPriorityRuleFromRulesForm", [&] {
        const std::optional<cPriorityRule>& rule = m_rulesForm.PriorityRule();
        if (!rule) {
            m_dtpStartTime->setTime(QTime(0, 0));
            m_dtpEndTime->setTime(QTime(23, 59));
            m_cboPriority->setCurrentIndex(IndexFromPriority(priority::Normal));
            return;
        }
        m_dtpStartTime->setTime(TimeFromDateValue(rule->StartTime));
        m_dtpEndTime->setTime(TimeFromDateValue(rule->EndTime));
        m_cboPriority->setCurrentIndex(IndexFromPriority(rule->Priority));
    });
}

void frmPriorityRule::PushPriorityRuleToRulesForm()
{
    // A rule that cannot be built leaves nothing behind, which reads as Cancel.
    m_rulesForm.setPriorityRule(std::nullopt);
    Guarded("frmPriorityRule.PushPriorityRuleToRulesForm", [&] {
        cPriorityRule rule;
        rule.StartTime = DateValueFromTime(m_dtpStartTime->time());
        rule.EndTime = DateValueFromTime(m_dtpEndTime->time());
        rule.Priority = PriorityFromIndex(m_cboPriority->currentIndex());
        m_rulesForm.setPriorityRule(rule);
    });
}

void frmPriorityRule::cmdOK_Click()
{
    PushPriorityRuleToRulesForm();
    QDialog::accept();
}

void frmPriorityRule::cmdCancel_Click()
{
    reject();
}

void frmPriorityRule::reject()
{
    m_rulesForm.setPriorityRule(std::nullopt);
    QDialog::reject();
}

} // namespace kestrow::gui
