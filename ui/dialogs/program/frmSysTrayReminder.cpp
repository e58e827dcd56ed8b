#include "ui/dialogs/program/frmSysTrayReminder.h"

#include "app/ProgramOptions.h"
#include "ui/qt/KestrowIcons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrow::gui {

frmSysTrayReminder::frmSysTrayReminder(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSysTrayReminder"));
    setWindowTitle(QStringLiteral("Close Kestrow"));
    // Often shown with the main window hidden: its own icon, not a blank one.
    setWindowIcon(appIcon(AppIconKind::Normal));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* layout = new QVBoxLayout(this);
    auto* message =
        new QLabel(QStringLiteral("To exit the program, right-click on the icon in the system tray and "
                                  "select 'Shut Down Kestrow' from the menu."),
                   this);
    message->setObjectName(QStringLiteral("lblMsg"));
    message->setWordWrap(true);
    layout->addWidget(message);
    m_remind = new QCheckBox(QStringLiteral("&Continue to remind me"), this);
    m_remind->setObjectName(QStringLiteral("chkSysTrayReminder"));
    m_remind->setChecked(gblnShowSysTrayReminder);
    layout->addWidget(m_remind);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    resize(360, sizeHint().height());
}

void frmSysTrayReminder::done(int result)
{
    gblnShowSysTrayReminder = m_remind->isChecked();
    QDialog::done(result);
}

} // namespace kestrow::gui
