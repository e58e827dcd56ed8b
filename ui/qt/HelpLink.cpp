#include "ui/qt/HelpLink.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "ui/qt/QtText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>

namespace kestrow::gui {

namespace {
QUrl helpFile(const char* name)
{
    return QUrl::fromLocalFile(q(gstrProgramPath) + QStringLiteral("help/") + QString::fromLatin1(name));
}
} // namespace

QUrl HelpUrl(int context)
{
    QUrl url = helpFile("kestrow.html");
    url.setFragment(QStringLiteral("context-%1").arg(context));
    return url;
}

QUrl QuickStartUrl()
{
    return helpFile("quickstart.html");
}

void ShowHelp(const QUrl& url, const char* location)
{
    Guarded(location, [&] {
        const QString file = url.toLocalFile();
        if (!QFileInfo(file).isFile()) {
            const QByteArray name = file.toUtf8();
            ui().messageBox("Kestrow Help",
                            "The help file " +
                                std::string(name.constData(), static_cast<size_t>(name.size())) +
                                " was not found.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        QDesktopServices::openUrl(url);
        QCoreApplication::processEvents();
    });
}

} // namespace kestrow::gui
