#include "app/modKestrow.h"
#include "ui/QtUiServices.h"
#include "ui/frmKestrow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrow"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROW_VERSION));

    kestrow::gui::QtUiServices services;
    kestrow::ScopedUiServices scope(services);
    if (!kestrow::StartupLoadLibraries())
        return 1;

    kestrow::gui::frmKestrow window;
    services.setParent(&window);
    window.show();
    const int rc = QApplication::exec();
    kestrow::ShutdownUnloadLibraries();
    return rc;
}
