#include "ui/dialogs/password/frmEnterPassword.h"

#include "app/PasswordPrompt.h"
#include "app/ProgramOptions.h"
#include "base/UiServices.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/qt/KestrowIcons.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrow::gui {

frmEnterPassword::frmEnterPassword(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEnterPassword"));
    setWindowTitle(QStringLiteral("Enter Kestrow Password"));
    // Often shown with the main window hidden: its own icon, not a blank one.
    setWindowIcon(appIcon(AppIconKind::Normal));
    gblnPasswordOK = false;

    auto* layout = new QVBoxLayout(this);
    m_txtPassword = new QLineEdit(this);
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    layout->addWidget(m_txtPassword);

    const OkCancelHelpRow buttons = okCancelHelpRow(this, OkIsDefault::yes, false);
    auto* ok = buttons.ok;
    auto* cancel = buttons.cancel;
    layout->addLayout(buttons.layout);
    connect(ok, &QPushButton::clicked, this, &frmEnterPassword::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmEnterPassword::cmdCancel_Click);

    resize(320, sizeHint().height());
}

bool frmEnterPassword::IsEnterPasswordWindowOpen()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QStringLiteral("frmEnterPassword") && qobject_cast<frmEnterPassword*>(top))
            return true;
    return false;
}

void frmEnterPassword::InstallAsPasswordWindow()
{
    setPasswordWindow([] {
        frmEnterPassword window;
        window.exec();
    });
}

void frmEnterPassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The prompt comes up from the tray, over whatever else is on the screen.
    raise();
    activateWindow();
    m_txtPassword->setFocus();
}

void frmEnterPassword::cmdOK_Click()
{
    if (IsAdminPassword(s(m_txtPassword->text()))) {
        gblnPasswordOK = true;
        accept();
        return;
    }
    gblnPasswordOK = false;
    ui().messageBox("Invalid Password",
                    "Invalid Password.  Please try again.\n\nSee Administrator for assistance.",
                    MsgIcon::Exclamation, MsgButtons::Ok);
    m_txtPassword->setFocus();
    m_txtPassword->selectAll();
}

void frmEnterPassword::cmdCancel_Click()
{
    reject();
}

void frmEnterPassword::reject()
{
    gblnPasswordOK = false;
    QDialog::reject();
}

} // namespace kestrow::gui
