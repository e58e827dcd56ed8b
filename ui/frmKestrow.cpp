#include "ui/frmKestrow.h"

#include <QMenuBar>
#include <QStatusBar>
#include <QTreeWidget>

namespace kestrow::gui {

frmKestrow::frmKestrow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmKestrow"));
    setWindowTitle(QStringLiteral("Kestrow"));
    auto* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("mnuFile"));
    auto* exitAction = fileMenu->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    auto* tasks = new QTreeWidget(this);
    tasks->setObjectName(QStringLiteral("lvwTasks"));
    tasks->setHeaderLabels({QStringLiteral("Task Name"), QStringLiteral("Last Run"),
                            QStringLiteral("Next Run"), QStringLiteral("Schedule"), QStringLiteral("Category")});
    tasks->setRootIsDecorated(false);
    setCentralWidget(tasks);
    statusBar()->showMessage(QStringLiteral("Ready"));
    resize(760, 420);
}

} // namespace kestrow::gui
