#pragma once
// The password window ("Set/Change Password") of the Admin menu: a password and its
// confirmation. OK sets protection on with the (trimmed) password, written to the
// options file at once; it must have at least 5 characters and both entries must
// match. "Turn Off Password Protection" (offered only while protection is on, in the
// taller layout) writes an empty password and leaves the window open. Cancel changes
// nothing.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace kestrow::gui {

class frmSetPassword : public QDialog
{
    Q_OBJECT
public:
    explicit frmSetPassword(QWidget* parent = nullptr);

    // The longest password the boxes take: its scrambled form stays within what one
    // options file value holds.
    static constexpr int MaxPasswordLength = 2000;

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdTurnOffProtection_Click();

private:
    void clearEntries();

    QLineEdit* m_txtPassword[2];
    QPushButton* m_cmdTurnOffProtection;
};

} // namespace kestrow::gui
