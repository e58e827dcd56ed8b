#pragma once
// The tray reminder, shown without blocking when the main window is closed while
// gblnShowSysTrayReminder is set: it says how to end the program, stays on top,
// and its check box decides whether it appears again. Closing it only hides it;
// whoever made it deletes it.

#include <QDialog>

class QCheckBox;

namespace kestrow::gui {

class frmSysTrayReminder : public QDialog
{
    Q_OBJECT
public:
    explicit frmSysTrayReminder(QWidget* parent = nullptr);

protected:
    // On closing, gblnShowSysTrayReminder becomes the check box's state.
    void done(int result) override;

private:
    QCheckBox* m_remind;
};

} // namespace kestrow::gui
