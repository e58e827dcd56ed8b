// The Admin, Log and Help menus and the windows they open.

#include "ui/mainwindow/frmKestrow.h"

#include "app/ProgramOptions.h"
#include "base/ErrorReporter.h"
#include "log/CloneLog.h"
#include "tasks/cCategories.h"
#include "ui/dialogs/log/frmLog.h"
#include "ui/dialogs/password/frmSetPassword.h"
#include "ui/dialogs/program/frmAbout.h"
#include "ui/dialogs/tasks/frmEditCategories.h"
#include "ui/qt/HelpLink.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

namespace kestrow::gui {

namespace {

// Where "Kestrow on the Web" leads.
constexpr const char* ProductWebSite = "https://kestrow.invalid/";
constexpr const char* SupportEmail = "dev@kestrow.invalid";

} // namespace

void frmKestrow::buildAdminLogHelpMenus()
{
    using I = OptionsMenuItem;
    m_mnuAdmin = menuBar()->addMenu(QStringLiteral("&Admin"));
    m_mnuAdmin->setObjectName(QStringLiteral("mnuAdmin"));
    QMenu* categories = m_mnuAdmin->addMenu(QStringLiteral("&Categories"));
    categories->setObjectName(QStringLiteral("mnuCategories"));
    addAction(categories, "mnuShowCategoryTasks", QStringLiteral("Show Only Tasks From Category"), nullptr);
    addAction(categories, "mnuOptionsEditCategories", QStringLiteral("Edit Categories..."),
              &frmKestrow::mnuOptionsEditCategories_Click);
    addAction(m_mnuAdmin, "mnuAdminSetPassword", QStringLiteral("Set/Change Password..."),
              &frmKestrow::mnuAdminSetPassword_Click);

    m_mnuLog = menuBar()->addMenu(QStringLiteral("&Log"));
    m_mnuLog->setObjectName(QStringLiteral("mnuLog"));
    addAction(m_mnuLog, "mnuLogView", QStringLiteral("View &Log"), &frmKestrow::mnuViewLog_Click);
    QMenu* sizes = m_mnuLog->addMenu(QStringLiteral("&Reset Log At Size"));
    sizes->setObjectName(QStringLiteral("mnuLogReset"));
    for (auto [item, caption] :
         {std::pair{I::mnuLogSize100, "&100 kb"}, std::pair{I::mnuLogSize200, "&200 kb"},
          std::pair{I::mnuLogSize500, "&500 kb"}, std::pair{I::mnuLogSize1Meg, "1 &Meg"},
          std::pair{I::mnuLogSizeNever, "Never Reset Log"}}) {
        connect(optionAction(sizes, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { chooseLogSize(item); });
    }
    connect(optionAction(m_mnuLog, I::mnuLogOnlyErrors, QStringLiteral("Log Only &Errors")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuLogOnlyErrors); });
    addAction(m_mnuLog, "mnuLogClear", QStringLiteral("&Clear Log"), &frmKestrow::mnuLogClear_Click);
    addAction(m_mnuLog, "mnuLogSaveAs", QStringLiteral("&Save Log As..."), &frmKestrow::SaveLog);

    m_mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    m_mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* contents = addAction(m_mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), nullptr);
    connect(contents, &QAction::triggered, this, [this] { openHelp(1); });
    QAction* legend = addAction(m_mnuHelp, "mnuHelpIconLegend", QStringLiteral("&Icon Legend"), nullptr);
    connect(legend, &QAction::triggered, this, [this] { openHelp(52); });
    QAction* trouble =
        addAction(m_mnuHelp, "mnuHelpTroubleshooting", QStringLiteral("&Troubleshooting"), nullptr);
    connect(trouble, &QAction::triggered, this, [this] { openHelp(32); });
    QMenu* web = m_mnuHelp->addMenu(QStringLiteral("Kestrow on the &Web"));
    web->setObjectName(QStringLiteral("mnuHelpOneTheWeb"));
    addAction(web, "mnuHelpOnTheWebSite", QStringLiteral("&Web Site"),
              &frmKestrow::mnuHelpOnTheWebSite_Click);
    addAction(web, "mnuHelpOnTheWebContactUs", QStringLiteral("&Contact Us"),
              &frmKestrow::mnuHelpOnTheWebContactUs_Click);
    m_mnuHelp->addSeparator();
    addAction(m_mnuHelp, "mnuHelpAbout", QStringLiteral("&About..."), &frmKestrow::mnuHelpAbout_Click);
}

void frmKestrow::mnuOptionsEditCategories_Click()
{
    // Also reached from the tray menu, which stays open during a run: the dialog
    // moves tasks between categories, which a running task must not see change.
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuOptionsEditCategories_Click", [&] {
        frmEditCategories dialog(*gCategories, gCloneTasks, dialogParent());
        dialog.exec();
    });
}

void frmKestrow::mnuAdminSetPassword_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuAdminSetPassword_Click", [&] {
        frmSetPassword dialog(dialogParent());
        dialog.exec();
    });
}

void frmKestrow::mnuViewLog_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuLogView_Click", [&] {
        frmLog log(this);
        log.exec();
    });
}

void frmKestrow::mnuLogClear_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuLogClear_Click", [] { gCloneLog->DeleteLogFile(); });
}

void frmKestrow::SaveLog()
{
    gui::SaveLog(this);
}

void frmKestrow::openHelp(int context)
{
    ShowHelp(HelpUrl(context), "frmKestrow.mnuHelp_Click");
}

void frmKestrow::mnuHelpAbout_Click()
{
    Guarded("frmKestrow.mnuHelpAbout_Click", [&] {
        frmAbout about(dialogParent());
        about.exec();
    });
}

void frmKestrow::mnuHelpOnTheWebSite_Click()
{
    Guarded("frmKestrow.mnuHelpOnTheWebSite_Click", [] {
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(ProductWebSite)));
        QCoreApplication::processEvents();
    });
}

void frmKestrow::mnuHelpOnTheWebContactUs_Click()
{
    Guarded("frmKestrow.mnuHelpOnTheWebContactUs_Click", [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(SupportEmail)));
        QCoreApplication::processEvents();
    });
}

} // namespace kestrow::gui
