#include "ui/dialogs/password/frmSetPassword.h"

#include "app/PasswordPrompt.h"
#include "app/ProgramOptions.h"
#include "base/UiServices.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/qt/KestrowIcons.h"
#include "ui/qt/QtText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrow::gui {

frmSetPassword::frmSetPassword(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSetPassword"));
    setWindowTitle(QStringLiteral("Set/Change Password"));
    // Often shown with the main window hidden: its own icon, not a blank one.
    setWindowIcon(appIcon(AppIconKind::Normal));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const char* const captions[2] = {"Password:", "Confirm Password:"};
    for (int i = 0; i < 2; ++i) {
        m_txtPassword[i] = new QLineEdit(this);
        m_txtPassword[i]->setObjectName(QStringLiteral("txtPassword(%1)").arg(i));
        m_txtPassword[i]->setEchoMode(QLineEdit::Password);
        m_txtPassword[i]->setMaxLength(MaxPasswordLength);
        form->addRow(QString::fromLatin1(captions[i]), m_txtPassword[i]);
    }
    layout->addLayout(form);

    const OkCancelHelpRow buttons = okCancelHelpRow(this, OkIsDefault::yes, false);
    auto* ok = buttons.ok;
    auto* cancel = buttons.cancel;
    layout->addLayout(buttons.layout);

    m_cmdTurnOffProtection = new QPushButton(QStringLiteral("Turn Off Password Protection"), this);
    m_cmdTurnOffProtection->setObjectName(QStringLiteral("cmdTurnOffProtection"));
    m_cmdTurnOffProtection->setAutoDefault(false);
    layout->addWidget(m_cmdTurnOffProtection);

    connect(ok, &QPushButton::clicked, this, &frmSetPassword::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmSetPassword::cmdCancel_Click);
    connect(m_cmdTurnOffProtection, &QPushButton::clicked, this, &frmSetPassword::cmdTurnOffProtection_Click);

    // With protection on: the current password in both boxes and the taller window
    // that holds the turn-off button; otherwise the shorter one without it.
    const bool on = gblnPasswordSet;
    if (on) {
        m_txtPassword[0]->setText(q(gstrAdminPassword));
        m_txtPassword[1]->setText(q(gstrAdminPassword));
    }
    m_cmdTurnOffProtection->setEnabled(on);
    m_cmdTurnOffProtection->setVisible(on);
    resize(340, sizeHint().height());
}

void frmSetPassword::clearEntries()
{
    m_txtPassword[0]->clear();
    m_txtPassword[1]->clear();
}

void frmSetPassword::cmdOK_Click()
{
    const std::string first = s(m_txtPassword[0]->text());
    switch (CheckNewPassword(first, s(m_txtPassword[1]->text()))) {
    case NewPasswordCheck::TooShort:
        ui().messageBox("Invalid Password", "Passwords must be at least 5 characters long.",
                        MsgIcon::Information, MsgButtons::Ok);
        clearEntries();
        m_txtPassword[0]->setFocus();
        return;
    case NewPasswordCheck::Mismatch:
        ui().messageBox("Invalid Password",
                        "The two passwords do not match.  Please reenter the two passwords.",
                        MsgIcon::Exclamation, MsgButtons::Ok);
        clearEntries();
        m_txtPassword[0]->setFocus();
        return;
    case NewPasswordCheck::Valid:
        break;
    }
    ui().messageBox("Valid Password",
                    "Password has been successfully set.\n\n"
                    "You should store your password in a safe location so that you don't forget it.",
                    MsgIcon::Information, MsgButtons::Ok);
    SetAdminPassword(first);
    accept();
}

void frmSetPassword::cmdTurnOffProtection_Click()
{
    ui().messageBox("Password Protection Off", "Password protection has been turned off.",
                    MsgIcon::Information, MsgButtons::Ok);
    clearEntries();
    TurnOffPasswordProtection();
}

void frmSetPassword::cmdCancel_Click()
{
    clearEntries();
    reject();
}

} // namespace kestrow::gui
