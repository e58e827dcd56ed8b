#pragma once
// "New File Mask": picks one or more registered file types, or takes one custom mask.
// On an accepted OK the result is in FileMask(): registered types as "*" + extension
// joined by ";", or the custom text as typed (trimmed). Cancel leaves it empty.

#include <QDialog>

#include <string>

class QLineEdit;
class QListWidget;
class QRadioButton;

namespace kestrow::gui {

class frmFileMask : public QDialog
{
    Q_OBJECT
public:
    explicit frmFileMask(QWidget* parent = nullptr);

    const std::string& FileMask() const { return m_fileMask; }

    // Checks the choice and accepts with a result, or shows the message of the first
    // problem found and stays open with the focus on the control at fault.
    void OKButton_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void optMaskType_Click(int index);
    // Selects the first line beginning with "." + `c` (without regard to case), or none.
    void selectByFirstCharacter(QChar c);
    bool acceptCustomMask();
    bool acceptRegisteredTypes();

    QRadioButton* m_optRegistered;
    QRadioButton* m_optCustom;
    QListWidget* m_lstFileTypes;
    QLineEdit* m_txtCustomFileMask;
    std::string m_fileMask;
};

} // namespace kestrow::gui
