#include "ui/dialogs/priority/frmPriorityRules.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "settings/cPriorityRules.h"
#include "ui/dialogs/priority/frmPriorityRule.h"
#include "ui/qt/QtText.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrow::gui {

namespace {

constexpr int kHelpContext = 59;

QPushButton* pictureButton(const char* name, const char* caption, const char* themeIcon,
                           QStyle::StandardPixmap fallback, QWidget* parent)
{
    auto* button = new QPushButton(
        QIcon::fromTheme(QString::fromLatin1(themeIcon), parent->style()->standardIcon(fallback)),
        QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmPriorityRules::frmPriorityRules(cPriorityRules& rules, QWidget* parent) : QDialog(parent), m_rules(rules)
{
    setObjectName(QStringLiteral("frmPriorityRules"));
    setWindowTitle(QStringLiteral("Priority Rules"));
    if (parent)
        setWindowIcon(parent->windowIcon());

    auto* layout = new QVBoxLayout(this);
    auto* instruct = new QLabel(
        QStringLiteral(
            "Specify the priority that the system should give to Kestrow within a time range of the day."),
        this);
    instruct->setObjectName(QStringLiteral("lblInstruct"));
    instruct->setWordWrap(true);
    layout->addWidget(instruct);

    auto* frame = new QGroupBox(QStringLiteral("Rules: "), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* frameLayout = new QHBoxLayout(frame);
    m_lstPriorityRules = new QListWidget(frame);
    m_lstPriorityRules->setObjectName(QStringLiteral("lstPriorityRules"));
    m_lstPriorityRules->setSelectionMode(QAbstractItemView::SingleSelection);
    frameLayout->addWidget(m_lstPriorityRules, 1);
    auto* side = new QVBoxLayout;
    auto* cmdNew =
        pictureButton("cmdNewPriorityRule", "&New...", "list-add", QStyle::SP_FileDialogNewFolder, frame);
    auto* cmdEdit = pictureButton("cmdEditPriorityRule", "&Edit...", "document-properties",
                                  QStyle::SP_FileDialogDetailedView, frame);
    auto* cmdRemove =
        pictureButton("cmdRemovePriorityRule", "&Remove", "list-remove", QStyle::SP_TrashIcon, frame);
    side->addWidget(cmdNew);
    side->addWidget(cmdEdit);
    side->addWidget(cmdRemove);
    side->addStretch();
    frameLayout->addLayout(side);
    layout->addWidget(frame, 1);

    auto* note = new QLabel(QStringLiteral("Note: Kestrow's default priority is LOW"), this);
    note->setObjectName(QStringLiteral("lblDefaultPriority"));
    layout->addWidget(note);

    auto* buttons = new QHBoxLayout;
    auto* help = new QPushButton(QStringLiteral("&Help"), this);
    help->setObjectName(QStringLiteral("cmdHelp"));
    help->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    buttons->addWidget(help);
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);

    connect(cmdNew, &QPushButton::clicked, this, &frmPriorityRules::cmdNewPriorityRule_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmPriorityRules::cmdEditPriorityRule_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmPriorityRules::cmdRemovePriorityRule_Click);
    connect(m_lstPriorityRules, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { cmdEditPriorityRule_Click(); });
    connect(help, &QPushButton::clicked, this, &frmPriorityRules::cmdHelp_Click);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    resize(480, 320);
    LoadRules();
}

void frmPriorityRules::LoadRules()
{
    Guarded("frmPriorityRules.Form_Load", [&] {
        if (m_rules.Count() == 0) {
            cPriorityRule allDay;
            allDay.StartTime = dateFromParts({1899, 12, 30, 0, 0, 0});
            allDay.EndTime = dateFromParts({1899, 12, 30, 23, 59, 0});
            allDay.Priority = priority::Low;
            m_rules.Add(allDay);
        }
        m_lstPriorityRules->clear();
        for (const cPriorityRule& rule : m_rules.PriorityRules())
            m_lstPriorityRules->addItem(q(GetPriorityRuleDisplayText(rule)));
    });
}

void frmPriorityRules::showRuleDialog()
{
    frmPriorityRule dialog(*this);
    dialog.exec();
}

void frmPriorityRules::cmdNewPriorityRule_Click()
{
    Guarded("frmPriorityRules.cmdNewPriorityRule_Click", [&] {
        setPriorityRule(std::nullopt);
        showRuleDialog();
        if (!m_PriorityRule)
            return;
        const cPriorityRule rule = *m_PriorityRule;
        if (m_rules.DoesRuleConflictWithOtherRules(rule, {})) {
            ui().messageBox(
                "Add Failed",
                "The Priority Rule could not be added because it conflicts with an existing rule.",
                MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        if (m_rules.Add(rule))
            m_lstPriorityRules->addItem(q(GetPriorityRuleDisplayText(rule)));
        else
            ui().messageBox("Add Failed",
                            "The Priority Rule could not be added.  Make sure that it is unique.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
    });
}

void frmPriorityRules::cmdEditPriorityRule_Click()
{
    Guarded("frmPriorityRules.cmdEditPriorityRule_Click", [&] {
        const QList<QListWidgetItem*> selected = m_lstPriorityRules->selectedItems();
        if (selected.isEmpty()) {
            ui().messageBox("Edit/View Priority Rule", "Please select a Priority Rule", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        QListWidgetItem* line = selected.front();
        const std::string oldKey = s(line->text());
        const std::vector<cPriorityRule> rules = m_rules.PriorityRules();
        const int32_t index = m_rules.GetPriorityRuleIndexBasedOnKey(oldKey);
        if (index < 1)
            throw RuntimeError(errnum::Generic, "Invalid procedure call or argument");
        setPriorityRule(rules[static_cast<std::size_t>(index - 1)]);
        showRuleDialog();
        if (!m_PriorityRule)
            return;
        const cPriorityRule changed = *m_PriorityRule;
        const std::string newText = GetPriorityRuleDisplayText(changed);
        if (m_rules.DoesThisRuleExist(newText)) {
            ui().messageBox("Edit Failed",
                            "The Priority Rule could not be changed.  Make sure that it is unique.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        if (m_rules.DoesRuleConflictWithOtherRules(changed, oldKey)) {
            ui().messageBox("Edit Failed", "The changes conflict with an existing rule.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        const cPriorityRule old = rules[static_cast<std::size_t>(index - 1)];
        m_rules.Remove(oldKey);
        if (!m_rules.Add(changed)) {
            // Cannot happen after the checks above; keep the old rule rather than lose it.
            m_rules.Add(old);
            return;
        }
        line->setText(q(newText));
    });
}

void frmPriorityRules::cmdRemovePriorityRule_Click()
{
    Guarded("frmPriorityRules.cmdRemovePriorityRule_Click", [&] {
        const QList<QListWidgetItem*> selected = m_lstPriorityRules->selectedItems();
        if (selected.isEmpty()) {
            ui().messageBox("Remove Priority Rule", "Please select a Priority Rule", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        QListWidgetItem* line = selected.front();
        m_rules.Remove(s(line->text()));
        delete m_lstPriorityRules->takeItem(m_lstPriorityRules->row(line));
    });
}

void frmPriorityRules::cmdHelp_Click()
{
    Guarded("frmPriorityRules.cmdHelp_Click", [&] {
        const std::string file = gstrProgramPath + "help/kestrow.html";
        if (!FileExists(file)) {
            ui().messageBox("Kestrow Help", "The help file " + file + " was not found.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        QUrl url = QUrl::fromLocalFile(q(file));
        url.setFragment(QStringLiteral("context-%1").arg(kHelpContext));
        QDesktopServices::openUrl(url);
    });
}

} // namespace kestrow::gui
