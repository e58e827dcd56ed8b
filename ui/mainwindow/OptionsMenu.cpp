// The Options menu: its check marks follow the options model, and each entry
// changes the option and the object it stands for. The log size entries of the Log
// menu are options too and are handled here.

#include "ui/mainwindow/frmKestrow.h"

#include "app/Notifications.h"
#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/StartAtLogin.h"
#include "settings/cPriorityRules.h"
#include "tasks/TaskListFile.h"
#include "ui/dialogs/priority/frmPriorityRules.h"
#include "ui/mainwindow/WindowText.h"
#include "util/Trim.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <cmath>

namespace kestrow::gui {

namespace {

constexpr OptionsMenuItem kCompareItems[] = {
    OptionsMenuItem::mnuOptionsCompMethodDateTime, OptionsMenuItem::mnuOptionsCompMethodSize,
    OptionsMenuItem::mnuOptionsCompMethodContents, OptionsMenuItem::mnuOptionsCompMethodCRC32};

} // namespace

QAction* frmKestrow::optionAction(QMenu* menu, OptionsMenuItem item, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(controlName(item)));
    action->setCheckable(true);
    m_optionActions[item] = action;
    return action;
}

void frmKestrow::buildOptionsMenus()
{
    using I = OptionsMenuItem;
    m_mnuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    m_mnuOptions->setObjectName(QStringLiteral("mnuOptions"));

    QMenu* compare = m_mnuOptions->addMenu(QStringLiteral("File &Comparison Method"));
    compare->setObjectName(QStringLiteral("mnuComparisonMethod"));
    const char* const compareCaptions[] = {"&Date/Time", "&Size", "&Contents", "C&RC32"};
    for (int i = 0; i < 4; ++i)
        connect(optionAction(compare, kCompareItems[i], QString::fromLatin1(compareCaptions[i])),
                &QAction::triggered, this, [this, i] { chooseCompareMethod(i); });

    QMenu* fat = m_mnuOptions->addMenu(QStringLiteral("FAT/NTFS Issues"));
    fat->setObjectName(QStringLiteral("mnuOptionsFATNTFS"));
    for (auto [item, caption] : {std::pair{I::mnuOptionsFATIgnore2SecDiff, "Ignore up to 2 Seconds Diff"},
                                 std::pair{I::mnuOptionsFATIgnoreDST, "Ignore Daylight Savings Time Diff"}}) {
        connect(optionAction(fat, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { toggleOption(item); });
    }
    addAction(m_mnuOptions, "mnuOptionsSetPriority", QStringLiteral("Priority Rules..."),
              &frmKestrow::mnuOptionsSetPriority_Click);
    m_mnuOptions->addSeparator();

    QMenu* del = m_mnuOptions->addMenu(QStringLiteral("Delete Methods"));
    del->setObjectName(QStringLiteral("mnuOptionsDelete"));
    const char* const deleteCaptions[] = {"Regular Delete", "Send To Recycle Bin", "Do Not Delete",
                                          "Secure Delete"};
    for (int i = 0; i < 4; ++i)
        connect(optionAction(del, mnuOptionsDeleteMethod(i), QString::fromLatin1(deleteCaptions[i])),
                &QAction::triggered, this, [this, i] { chooseDeleteMethod(i); });
    QMenu* copy = m_mnuOptions->addMenu(QStringLiteral("Copy Methods"));
    copy->setObjectName(QStringLiteral("mnuOptionsCopy"));
    const char* const copyCaptions[] = {"Regular Copy", "Safe Copy", "Retain Source Files Create Timestamp"};
    for (int i = 0; i < 3; ++i)
        connect(optionAction(copy, mnuOptionsCopyMethod(i), QString::fromLatin1(copyCaptions[i])),
                &QAction::triggered, this, [this, i] { chooseCopyMethod(i); });

    for (auto [item, caption] :
         {std::pair{I::mnuOptionsCopyOnlyIfNewer, "Copy Only if Source is Newer than Target"},
          std::pair{I::mnuOptionsCreateTargetFolder, "Create Target Folder if it Does Not Exist"},
          std::pair{I::mnuOptionsConfirmSyncActions, "Confirm Synchronization Actions"},
          std::pair{I::mnuOptionsIgnoreSystemFiles, "Ignore System Files"},
          std::pair{I::mnuOptionsIgnoreHiddenFiles, "Ignore Hidden Files"},
          std::pair{I::mnuOptionsIgnoreSystemFolders, "Ignore System Folders"},
          std::pair{I::mnuOptionsIgnoreHiddenFolders, "Ignore Hidden Folders"}}) {
        connect(optionAction(m_mnuOptions, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { toggleOption(item); });
    }
    m_mnuOptions->addSeparator();
    addAction(m_mnuOptions, "mnuOptionsDelayBeforeFirstTask",
              QStringLiteral("Delay Before First Task Execution..."),
              &frmKestrow::mnuOptionsDelayBeforeFirstTask_Click);
    QMenu* login = m_mnuOptions->addMenu(QStringLiteral("Launch Kestrow at &Login"));
    login->setObjectName(QStringLiteral("mnuOptionsRunOnWindowsStartup"));
    for (auto [item, caption] :
         {std::pair{I::mnuOptionsRunOnWindowsStartupCurrentUser, "When Current User is Logged On"},
          std::pair{I::mnuOptionsRunOnWindowsStartupAnyUser, "When Any User is Logged On"},
          std::pair{I::mnuOptionsRunOnWindowsStartupNoRun, "Do Not Launch Kestrow at Login"}}) {
        connect(optionAction(login, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { chooseLaunchAtLogin(item); });
    }
    connect(optionAction(m_mnuOptions, I::mnuOptionsPromptToInsertRemovableDrive,
                         QStringLiteral("Prompt Me to Insert Removable Drives")),
            &QAction::triggered, this,
            [this] { toggleOption(OptionsMenuItem::mnuOptionsPromptToInsertRemovableDrive); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsNotifications, QStringLiteral("&Notifications")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsNotifications); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsProtectFromEmptySource,
                         QStringLiteral("Protect Targets From an Empty Source")),
            &QAction::triggered, this,
            [this] { toggleOption(OptionsMenuItem::mnuOptionsProtectFromEmptySource); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsKeepHardLinks, QStringLiteral("Keep &Hard Links")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsKeepHardLinks); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsKeepVersions, QStringLiteral("Keep Old &Versions")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsKeepVersions); });
    QMenu* reset = m_mnuOptions->addMenu(QStringLiteral("Reset &Error Indicator"));
    reset->setObjectName(QStringLiteral("mnuFileResetErrorFlag"));
    addAction(reset, "mnuResetErrorFlagSelectedTask", QStringLiteral("&Selected Task"),
              &frmKestrow::mnuRestetErrorFlagForSelectedTask_Click);
    addAction(reset, "mnuResetErrorFlagAllTasks", QStringLiteral("&All Tasks"),
              &frmKestrow::mnuResetErrorFlagForAllTasks_Click);
    QMenu* toolbar = m_mnuOptions->addMenu(QStringLiteral("&Toolbar"));
    toolbar->setObjectName(QStringLiteral("mnuOptionsToolbar"));
    for (auto [item, caption] : {std::pair{I::mnuOptionsToolbarShow, "&Show Toolbar"},
                                 std::pair{I::mnuOptionsToolbarHide, "&Hide Toolbar"}}) {
        connect(optionAction(toolbar, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] {
                    m_shell->options().checkOnly(item);
                    syncOptionActions();
                });
    }
}

// ---------------------------------------------------------------------------
// The options model: the menus show its check marks, the window its geometry.

void frmKestrow::bindOptionsModel()
{
    ProgramOptions& options = m_shell->options();
    m_optionsListener = options.addCheckListener([this](OptionsMenuItem item, bool checked) {
        auto it = m_optionActions.find(item);
        if (it != m_optionActions.end())
            it->second->setChecked(checked);
        if (item == OptionsMenuItem::mnuOptionsToolbarHide || item == OptionsMenuItem::mnuOptionsToolbarShow)
            m_suToolbar->setVisible(!m_shell->options().checked(OptionsMenuItem::mnuOptionsToolbarHide));
    });
    m_geometryListener = options.addGeometryListener([this] { applyGeometryFromOptions(); });
    syncOptionActions();
}

void frmKestrow::syncOptionActions()
{
    const ProgramOptions& options = m_shell->options();
    for (auto& [item, action] : m_optionActions)
        action->setChecked(options.checked(item));
    if (m_suToolbar)
        m_suToolbar->setVisible(!options.checked(OptionsMenuItem::mnuOptionsToolbarHide));
}

// ---------------------------------------------------------------------------
// The entries

void frmKestrow::toggleOption(OptionsMenuItem item)
{
    Guarded("frmKestrow.mnuOptions_Click", [&] {
        using I = OptionsMenuItem;
        ProgramOptions& options = m_shell->options();
        const bool on = !options.checked(item);
        options.setChecked(item, on);
        switch (item) {
        case I::mnuOptionsFATIgnore2SecDiff:
            gCompare->setIgnoreFAT_NTFS_TwoSecDiff(on);
            break;
        case I::mnuOptionsFATIgnoreDST:
            gCompare->setIgnoreFAT_NTFS_DaylightSavings(on);
            break;
        case I::mnuOptionsIgnoreSystemFiles:
            gCompare->setIgnoreSystemFiles(on);
            break;
        case I::mnuOptionsIgnoreHiddenFiles:
            gCompare->setIgnoreHiddenFiles(on);
            break;
        case I::mnuOptionsIgnoreSystemFolders:
            gCompare->setIgnoreSystemFolders(on);
            break;
        case I::mnuOptionsIgnoreHiddenFolders:
            gCompare->setIgnoreHiddenFolders(on);
            break;
        case I::mnuOptionsCopyOnlyIfNewer:
            gClone->setCopyOnlyIfNewer(on);
            break;
        case I::mnuOptionsCreateTargetFolder:
            gClone->setCreateTargetFolder(on);
            break;
        case I::mnuOptionsConfirmSyncActions:
            gClone->setConfirmSyncActions(on);
            break;
        case I::mnuOptionsPromptToInsertRemovableDrive:
            gblnPromptToInsertRemovableDrive = on;
            break;
        case I::mnuOptionsNotifications:
            gblnNotifications = on;
            break;
        case I::mnuOptionsProtectFromEmptySource:
            gClone->setProtectFromEmptySource(on);
            break;
        case I::mnuOptionsKeepHardLinks:
            gClone->setKeepHardLinks(on);
            break;
        case I::mnuOptionsKeepVersions:
            gClone->setKeepVersions(on);
            break;
        case I::mnuLogOnlyErrors:
            gCloneLog->setLogOnlyErrors(on);
            if (on && gCloneLog->CurrInMemoryLogSize() != 0)
                ui().messageBox("Log Only Errors",
                                "This change will be applied only to tasks that are run after this point.\n\n"
                                "If you wish, you can Clear your log file of previous activity.\n"
                                "The Clear Log option is available in the Log menu",
                                MsgIcon::Information, MsgButtons::Ok);
            break;
        default:
            break;
        }
    });
    syncOptionActions();
}

void frmKestrow::chooseCompareMethod(int method)
{
    ProgramOptions& options = m_shell->options();
    if (!options.checked(kCompareItems[method])) {
        options.checkOnly(kCompareItems[method]);
        gCompare->setCompareMethod(method);
    }
    syncOptionActions();
}

void frmKestrow::chooseDeleteMethod(int index)
{
    Guarded("frmKestrow.mnuOptionsDeleteMethod_Click", [&] {
        if (index == 1 && gblnShowSendToRecycleBinMsg) {
            // Shown once per options file, whatever the answer.
            gblnShowSendToRecycleBinMsg = false;
            const MsgResult answer =
                ui().messageBox("Send To Recycle Bin",
                                "Files on removeable drives and network drives are not sent \n"
                                "to the Recycle Bin.  They are permanently deleted.  This is determined\n"
                                "by the operating system; Kestrow has no control over this.\n\n"
                                "Do you still wish to select this Delete Method?",
                                MsgIcon::Information, MsgButtons::YesNo);
            if (answer == MsgResult::No)
                return;
        }
        m_shell->options().checkOnly(mnuOptionsDeleteMethod(index));
        gClone->setDeleteMethod(index);
    });
    syncOptionActions();
}

void frmKestrow::chooseCopyMethod(int index)
{
    m_shell->options().checkOnly(mnuOptionsCopyMethod(index));
    gClone->setCopyMethod(index);
    syncOptionActions();
}

void frmKestrow::chooseLaunchAtLogin(OptionsMenuItem item)
{
    Guarded("frmKestrow.mnuOptionsRunOnWindowsStartup_Click", [&] {
        ProgramOptions& options = m_shell->options();
        if (options.checked(item))
            return;
        options.checkOnly(item);
        if (item == OptionsMenuItem::mnuOptionsRunOnWindowsStartupNoRun)
            DontShowAtStartup(ExecutableName);
        else
            m_shell->launchAtLogin(item == OptionsMenuItem::mnuOptionsRunOnWindowsStartupAnyUser);
    });
    syncOptionActions();
}

void frmKestrow::chooseLogSize(OptionsMenuItem item)
{
    Guarded("frmKestrow.mnuLogSize_Click", [&] {
        using I = OptionsMenuItem;
        ProgramOptions& options = m_shell->options();
        if (options.checked(item))
            return;
        if (item == I::mnuLogSizeNever) {
            const MsgResult answer =
                ui().messageBox("Confirm Log Size Change",
                                "The Log file can grow to be VERY LARGE.\n"
                                "This can take up disk space/memory and possibly affect system performance.\n"
                                "It will also take more time to display the contents of the Log.\n\n"
                                "Are you certain that you want to make this change?",
                                MsgIcon::Information, MsgButtons::YesNo);
            if (answer != MsgResult::Yes)
                return;
            gCloneLog->setRestrictLogSize(false);
        } else {
            const int32_t bytes = item == I::mnuLogSize100   ? 102400
                                  : item == I::mnuLogSize200 ? 204800
                                  : item == I::mnuLogSize500 ? 512000
                                                             : 1024000;
            gCloneLog->setRestrictLogSize(true);
            gCloneLog->setMaxLogFileSize(bytes);
        }
        options.checkOnly(item);
    });
    syncOptionActions();
}

void frmKestrow::mnuOptionsDelayBeforeFirstTask_Click()
{
    Guarded("mnuOptionsDelayBeforeFirstTask_Click", [&] {
        const int32_t current = glngDelayBeforeFirstTask;
        const std::optional<std::string> answer = ui().inputBox(
            "Delay Duration",
            "How many minutes should pass after Kestrow startup before the first task is executed?"
            "\n\nEnter only numeric values.",
            std::to_string(current == 0 ? 1 : current));
        const std::string text(util::trimSpaces(answer.value_or(std::string())));
        if (text.empty())
            return;
        if (!IsNumericText(text)) {
            ui().messageBox("Invalid Delay Input",
                            "\"" + text +
                                "\" is not a valid numeric input.\n\nFor example, enter \"5\" "
                                "(without the quotes)\nfor a five minute delay.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        // To a whole number, halves to even; beyond the range of one, no delay.
        const double number = NumberFromText(text);
        const int32_t whole = std::fabs(number) < 2147483647.5 ? Integer32FromText(text) : 0;
        if (whole > 0) {
            glngDelayBeforeFirstTask = whole;
            ui().messageBox("Delay", "This change will take effect the next time Kestrow is launched.",
                            MsgIcon::Information, MsgButtons::Ok);
        } else {
            ui().messageBox("Invalid Delay Input",
                            "\"" + text +
                                "\" is not a valid delay input.\n\nThe delay value must be a positive "
                                "number.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
        }
    });
}

void frmKestrow::mnuOptionsSetPriority_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuOptionsSetPriority_Click", [&] {
        frmPriorityRules dialog(*gPriorityRules, dialogParent());
        dialog.exec();
    });
}

} // namespace kestrow::gui
