#include "ui/dialogs/program/frmAbout.h"

#include "app/ProgramOptions.h"
#include "app/Startup.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "log/CloneLog.h"
#include "platform/SystemInfo.h"
#include "settings/StartAtLogin.h"
#include "tasks/cCloneTasks.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QSysInfo>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace kestrow::gui {

namespace {

std::string orUnknown(const std::string& value)
{
    return value.empty() ? std::string("(unknown)") : value;
}

std::string orUnknown(const QString& value)
{
    return orUnknown(s(value));
}

// A byte count as "12345 bytes" with the MB figure beside larger ones.
std::string bytesText(qint64 bytes)
{
    std::string text = std::to_string(bytes) + " bytes";
    if (bytes >= 1024 * 1024)
        text += " (" + std::to_string(bytes / (1024 * 1024)) + " MB)";
    return text;
}

std::string fileText(const std::string& fileSpec)
{
    if (fileSpec.empty())
        return "(none)";
    const QFileInfo info(q(fileSpec));
    if (!info.exists())
        return fileSpec + " (not created yet)";
    return fileSpec + ", " + bytesText(info.size());
}

} // namespace

// ---------------------------------------------------------------------------
// frmAbout

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kestrow"));
    if (parent)
        setWindowIcon(parent->windowIcon());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("imgIcon"));
    icon->setPixmap(windowIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* title = new QLabel(QStringLiteral("Kestrow"), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto* version = new QLabel(VersionText(), this);
    version->setObjectName(QStringLiteral("lblVersion"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* description = new QLabel(
        QStringLiteral("Keeps Target folders identical to a Source folder: on a schedule, from the tray, or "
                       "whenever you ask."),
        this);
    description->setObjectName(QStringLiteral("lblDescription"));
    description->setWordWrap(true);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(version);
    text->addSpacing(8);
    text->addWidget(description);
    text->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("cmdOK"));
    QPushButton* sysInfo =
        buttons->addButton(QStringLiteral("&System Info..."), QDialogButtonBox::ActionRole);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    ok->setDefault(true);
    resize(420, sizeHint().height());
}

QString frmAbout::VersionText()
{
    return QStringLiteral("Version ") + QStringLiteral(KESTROW_VERSION);
}

void frmAbout::cmdSysInfo_Click()
{
    Guarded("frmAbout.cmdSysInfo_Click", [&] {
        frmSystemInfo info(this);
        info.exec();
    });
}

// ---------------------------------------------------------------------------
// frmSystemInfo

std::vector<std::pair<std::string, std::string>> frmSystemInfo::SystemInformation()
{
    std::vector<std::pair<std::string, std::string>> facts;
    facts.emplace_back("Program", std::string("Kestrow ") + KESTROW_VERSION);
    facts.emplace_back("Program folder", orUnknown(gstrProgramPath));
    facts.emplace_back("Data folder", orUnknown(gstrAppPath));
    facts.emplace_back("Options file", fileText(gstrAppPath.empty() ? std::string() : OptionsFileSpec()));
    facts.emplace_back("Task list", fileText(gCloneTasks ? gCloneTasks->TaskListFileSpec() : std::string()));
    facts.emplace_back("Log file", fileText(gCloneLog ? gCloneLog->LogFileSpec() : std::string()));

    facts.emplace_back("Operating system", orUnknown(QSysInfo::prettyProductName()));
    facts.emplace_back("Kernel",
                       orUnknown(QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion()));
    facts.emplace_back("Architecture", orUnknown(QSysInfo::currentCpuArchitecture()));
    facts.emplace_back("Host name", orUnknown(QSysInfo::machineHostName()));
    facts.emplace_back("Desktop", orUnknown(platform::env("XDG_CURRENT_DESKTOP").value_or(std::string())));
    facts.emplace_back("Session type", orUnknown(platform::env("XDG_SESSION_TYPE").value_or(std::string())));
    facts.emplace_back("Display platform", orUnknown(QGuiApplication::platformName()));
    facts.emplace_back("System tray",
                       QSystemTrayIcon::isSystemTrayAvailable() ? "available" : "not available");
    facts.emplace_back("Qt", std::string(qVersion()) + " (built with " + QT_VERSION_STR + ")");

    const int32_t scope = StartupEntryScope(ExecutableName);
    facts.emplace_back("Start at login", scope == StartupAllUsers      ? "all users"
                                         : scope == StartupCurrentUser ? "current user"
                                                                       : "off");
    const QStorageInfo storage(q(gstrAppPath));
    facts.emplace_back("Free space in the data folder",
                       storage.isValid() ? bytesText(storage.bytesAvailable()) : std::string("(unknown)"));
    return facts;
}

frmSystemInfo::frmSystemInfo(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSystemInfo"));
    setWindowTitle(QStringLiteral("System Information"));
    if (parent)
        setWindowIcon(parent->windowIcon());

    m_txtSystemInfo = new QPlainTextEdit(this);
    m_txtSystemInfo->setObjectName(QStringLiteral("txtSystemInfo"));
    m_txtSystemInfo->setReadOnly(true);
    m_txtSystemInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_txtSystemInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    const auto facts = SystemInformation();
    std::size_t width = 0;
    for (const auto& fact : facts)
        width = std::max(width, fact.first.size());
    QString text;
    for (const auto& [name, value] : facts)
        text += q(name + ": " + std::string(width - name.size(), ' ') + value) + QLatin1Char('\n');
    m_txtSystemInfo->setPlainText(text);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("cmdCopy"));
    copy->setAutoDefault(false);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(copy, &QPushButton::clicked, this, &frmSystemInfo::cmdCopy_Click);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_txtSystemInfo, 1);
    layout->addWidget(buttons);
    resize(760, 420);
}

QString frmSystemInfo::text() const
{
    return m_txtSystemInfo->toPlainText();
}

void frmSystemInfo::cmdCopy_Click()
{
    QApplication::clipboard()->setText(text());
}

} // namespace kestrow::gui
