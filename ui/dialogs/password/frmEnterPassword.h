#pragma once
// The password prompt ("Enter Kestrow Password") that stands before the hidden main
// window. OK with the right password sets gblnPasswordOK and closes; a wrong one shows
// "Invalid Password" and the window stays, with no limit on attempts; Cancel or
// closing leaves gblnPasswordOK false.

#include <QDialog>

class QLineEdit;

namespace kestrow::gui {

class frmEnterPassword : public QDialog
{
    Q_OBJECT
public:
    // Clears gblnPasswordOK.
    explicit frmEnterPassword(QWidget* parent = nullptr);

    // Whether a password prompt window is open (IsEnterPasswordWindowOpen of the main
    // window: while one is, the tray's show commands do nothing).
    static bool IsEnterPasswordWindowOpen();

    // Makes PasswordPrompt (app/PasswordPrompt.h) ask through this window.
    static void InstallAsPasswordWindow();

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    QLineEdit* m_txtPassword;
};

} // namespace kestrow::gui
