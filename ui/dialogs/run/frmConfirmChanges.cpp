#include "ui/dialogs/run/frmConfirmChanges.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/qt/QtText.h"
#include "util/AsciiCase.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrow::gui {

namespace {

// The icon of a line: the first operation marker it holds.
QIcon iconFor(const std::string& line)
{
    const std::string text = util::asciiLower(line);
    QStyle* style = QApplication::style();
    if (text.find("   copy file  ") != std::string::npos)
        return style->standardIcon(QStyle::SP_FileIcon);
    if (text.find("   delete file  ") != std::string::npos)
        return style->standardIcon(QStyle::SP_TrashIcon);
    if (text.find("   create folder  ") != std::string::npos)
        return style->standardIcon(QStyle::SP_FileDialogNewFolder);
    return style->standardIcon(QStyle::SP_DirIcon);
}

} // namespace

frmConfirmChanges::frmConfirmChanges(bool confirmSyncActions, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConfirmChanges"));
    setWindowTitle(QStringLiteral("Kestrow - Confirm Synchronization Actions"));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());

    m_lblTaskName = new QLabel(q(gstrCurrentTaskName), this);
    m_lblTaskName->setObjectName(QStringLiteral("lblTaskName"));
    m_lvwSyncOperations = new QListWidget(this);
    m_lvwSyncOperations->setObjectName(QStringLiteral("lvwSyncOperations"));
    m_lvwSyncOperations->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvwSyncOperations->installEventFilter(this);
    m_chkConfirmSyncActions =
        new QCheckBox(QStringLiteral("Show this window before performing any file operation."), this);
    m_chkConfirmSyncActions->setObjectName(QStringLiteral("chkConfirmSyncActions"));
    m_chkConfirmSyncActions->setChecked(confirmSyncActions);
    m_cmdRemove = new QPushButton(QStringLiteral("Remove Selected"), this);
    m_cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    m_cmdRemove->setAutoDefault(false);
    m_cmdPerform = new QPushButton(QStringLiteral("Perform Actions"), this);
    m_cmdPerform->setObjectName(QStringLiteral("cmdPerform"));
    m_cmdPerform->setDefault(true);

    // The list takes every change of size; the buttons stay along the bottom.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_chkConfirmSyncActions);
    buttons->addStretch();
    buttons->addWidget(m_cmdRemove);
    buttons->addWidget(m_cmdPerform);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTaskName);
    layout->addWidget(m_lvwSyncOperations, 1);
    layout->addLayout(buttons);
    resize(720, 420);

    connect(m_cmdRemove, &QPushButton::clicked, this, &frmConfirmChanges::cmdRemove_Click);
    connect(m_cmdPerform, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_chkConfirmSyncActions, &QCheckBox::toggled, this, [this](bool on) {
        Guarded("frmConfirmChanges.chkConfirmSyncActions_Click", [&] {
            if (gClone)
                gClone->setConfirmSyncActions(on);
            Q_EMIT confirmSyncActionsToggled(on);
        });
    });
}

bool frmConfirmChanges::confirmSyncActions() const
{
    return m_chkConfirmSyncActions->isChecked();
}

void frmConfirmChanges::LoadSyncActionsIntoList(const std::vector<std::string>& actions)
{
    Guarded("frmConfirmChanges.LoadSyncActionsIntoList", [&] {
        WaitCursor wait;
        m_lvwSyncOperations->setUpdatesEnabled(false);
        m_lvwSyncOperations->clear();
        for (std::size_t i = 0; i < actions.size(); ++i) {
            if (util::asciiLower(actions[i]) == "|removed action|")
                continue;
            auto* item = new QListWidgetItem(iconFor(actions[i]), q(actions[i]), m_lvwSyncOperations);
            item->setData(Qt::UserRole, QString::number(i + 1) + QLatin1Char('K'));
        }
        m_lvwSyncOperations->setUpdatesEnabled(true);
        m_removed.assign(actions.size(), false);
    });
}

void frmConfirmChanges::cmdRemove_Click()
{
    Guarded("frmConfirmChanges.cmdRemove_Click", [&] {
        bool anySelected = false;
        {
            WaitCursor wait;
            m_lvwSyncOperations->setUpdatesEnabled(false);
            for (int row = m_lvwSyncOperations->count() - 1; row >= 0; --row) {
                QListWidgetItem* item = m_lvwSyncOperations->item(row);
                if (!item->isSelected())
                    continue;
                anySelected = true;
                QString key = item->data(Qt::UserRole).toString();
                key.chop(1);
                const int index = key.toInt();
                if (index >= 1 && static_cast<std::size_t>(index) <= m_removed.size())
                    m_removed[static_cast<std::size_t>(index - 1)] = true;
                delete m_lvwSyncOperations->takeItem(row);
            }
            m_lvwSyncOperations->setUpdatesEnabled(true);
        }
        if (!anySelected)
            ui().messageBox("Kestrow", "Please select a file operation to remove from the list.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
    });
}

void frmConfirmChanges::reject()
{
    // Any close that is not Perform Actions stops the run and performs nothing.
    m_cancelled = true;
    std::fill(m_removed.begin(), m_removed.end(), true);
    CancelRequested = true;
    QDialog::reject();
}

bool frmConfirmChanges::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lvwSyncOperations && event->type() == QEvent::KeyRelease &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        cmdRemove_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool ShowConfirmSyncActions(QWidget* parent, const std::vector<std::string>& actions,
                            std::vector<bool>& skipped, bool& keepConfirming)
{
    const bool startState = gClone ? gClone->ConfirmSyncActions() : true;
    frmConfirmChanges dialog(startState, parent);
    dialog.LoadSyncActionsIntoList(actions);
    const int result = dialog.exec();
    keepConfirming = dialog.confirmSyncActions();
    skipped = dialog.removedFlags();
    skipped.resize(actions.size(), false);
    return result == QDialog::Accepted && !dialog.cancelled();
}

} // namespace kestrow::gui
