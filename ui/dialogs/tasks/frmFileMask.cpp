#include "ui/dialogs/tasks/frmFileMask.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/dialogs/tasks/modFileTypes.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kestrow::gui {

namespace {

// Disabled inputs show the button face, enabled ones the window background.
void setInputEnabled(QWidget* widget, bool enabled)
{
    widget->setEnabled(enabled);
    widget->setBackgroundRole(enabled ? QPalette::Base : QPalette::Button);
}

constexpr const char* kInvalidCustom = "Invalid Custom File Mask";

} // namespace

frmFileMask::frmFileMask(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFileMask"));
    setWindowTitle(QStringLiteral("New File Mask"));

    auto* Frame1 = new QGroupBox(QStringLiteral("Specify the File Mask"), this);
    m_optRegistered = new QRadioButton(QStringLiteral("Registered File Types"), Frame1);
    m_optRegistered->setObjectName(QStringLiteral("optMaskType0"));
    m_optCustom = new QRadioButton(QStringLiteral("Custom File Mask"), Frame1);
    m_optCustom->setObjectName(QStringLiteral("optMaskType1"));
    m_lstFileTypes = new QListWidget(Frame1);
    m_lstFileTypes->setObjectName(QStringLiteral("lstFileTypes"));
    m_lstFileTypes->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lstFileTypes->installEventFilter(this);
    m_txtCustomFileMask = new QLineEdit(Frame1);
    m_txtCustomFileMask->setObjectName(QStringLiteral("txtCustomFileMask"));
    auto* Label1 = new QLabel(QStringLiteral("Supports the wildcard characters * ? #"), Frame1);

    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(m_optRegistered);
    frameLayout->addWidget(m_lstFileTypes, 1);
    frameLayout->addWidget(m_optCustom);
    frameLayout->addWidget(m_txtCustomFileMask);
    frameLayout->addWidget(Label1);

    auto* OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    auto* CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1, 1);
    layout->addLayout(buttons);
    resize(420, 460);

    connect(OKButton, &QPushButton::clicked, this, &frmFileMask::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_optRegistered, &QRadioButton::clicked, this, [this] { optMaskType_Click(0); });
    connect(m_optCustom, &QRadioButton::clicked, this, [this] { optMaskType_Click(1); });
    connect(m_lstFileTypes, &QListWidget::itemDoubleClicked, this, [this] { OKButton_Click(); });

    Guarded("frmFileMask.Form_Load", [&] {
        WaitCursor wait;
        m_optRegistered->setChecked(true);
        setInputEnabled(m_txtCustomFileMask, false);
        setInputEnabled(m_lstFileTypes, true);
        SetListBoxTabStops(m_lstFileTypes);
        m_lstFileTypes->setUpdatesEnabled(false);
        LoadFileTypesInListBox(m_lstFileTypes);
        m_lstFileTypes->setUpdatesEnabled(true);
    });
}

void frmFileMask::optMaskType_Click(int index)
{
    if (index == 1) {
        m_lstFileTypes->clearSelection();
        setInputEnabled(m_lstFileTypes, false);
        setInputEnabled(m_txtCustomFileMask, true);
    } else {
        m_txtCustomFileMask->clear();
        setInputEnabled(m_txtCustomFileMask, false);
        setInputEnabled(m_lstFileTypes, true);
    }
}

void frmFileMask::selectByFirstCharacter(QChar c)
{
    m_lstFileTypes->clearSelection();
    const QString prefix = QLatin1Char('.') + c;
    for (int row = 0; row < m_lstFileTypes->count(); ++row) {
        QListWidgetItem* item = m_lstFileTypes->item(row);
        if (item->text().startsWith(prefix, Qt::CaseInsensitive)) {
            m_lstFileTypes->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
            m_lstFileTypes->scrollToItem(item);
            return;
        }
    }
}

bool frmFileMask::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lstFileTypes && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.size() == 1 && text.front().isPrint() && !text.front().isSpace() &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            selectByFirstCharacter(text.front());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool frmFileMask::acceptCustomMask()
{
    const std::string mask = s(m_txtCustomFileMask->text().trimmed());
    const std::size_t dot = mask.find('.');
    const char* problem = nullptr;
    std::string title = kInvalidCustom;
    if (mask.empty()) {
        problem = "No custom file mask entered";
        title = "Invalid File Mask";
    } else if (dot == std::string::npos) {
        problem = "The custom file mask you entered is not valid.\n"
                  "The file mask should contain a 'dot' character.\n\nSee the Help File for details.";
    } else if (dot == mask.size() - 1) {
        problem = "The custom file mask you entered is not valid.\n"
                  "The file mask should contain text after the 'dot'.\n\nSee the Help File for details.";
    } else if (dot == 0) {
        problem = "The custom file mask you entered is not valid.\n"
                  "The file mask should contain text before the 'dot'.\n\n"
                  "Consider adding an asterisk before the dot character.\n\nSee the Help File for details.";
    } else if (mask == "*.*") {
        problem = "The custom file mask you entered is not allowed.\n"
                  "You cannot include or exclude all folders and files in this manner.";
    }
    if (problem) {
        ui().messageBox(title, problem, MsgIcon::Exclamation, MsgButtons::Ok);
        m_txtCustomFileMask->setFocus();
        return false;
    }
    m_fileMask = mask;
    return true;
}

bool frmFileMask::acceptRegisteredTypes()
{
    std::string result;
    for (int row = 0; row < m_lstFileTypes->count(); ++row) {
        const QListWidgetItem* item = m_lstFileTypes->item(row);
        if (!item->isSelected())
            continue;
        if (!result.empty())
            result += ';';
        result += "*" + s(item->text().section(QLatin1Char('\t'), 0, 0));
    }
    if (result.empty()) {
        ui().messageBox("Invalid File Mask", "No file type selected", MsgIcon::Exclamation, MsgButtons::Ok);
        m_lstFileTypes->setFocus();
        return false;
    }
    m_fileMask = result;
    return true;
}

void frmFileMask::OKButton_Click()
{
    Guarded("frmFileMask.OKButton_Click", [&] {
        const bool accepted = m_optCustom->isChecked() ? acceptCustomMask() : acceptRegisteredTypes();
        if (accepted)
            accept();
    });
}

} // namespace kestrow::gui
