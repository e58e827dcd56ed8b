#include "app/Startup.h"

#include "platform/SystemInfo.h"

#include "app/ProgramObjects.h"
#include "app/modKestrow.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "log/CloneLog.h"
#include "platform/InstanceLock.h"
#include "settings/StartAtLogin.h"
#include "tasks/cCloneTasks.h"
#include "util/ScopeExit.h"

namespace kestrow {

std::vector<std::string> ShellHost::taskListRowTexts() const
{
    std::vector<std::string> names;
    if (gCloneTasks) {
        for (const CloneTaskPtr& task : gCloneTasks->Tasks())
            names.push_back(task->TaskName());
    }
    return names;
}

// The start-at-login entry names the executable itself, which lives in bin/
// while the program folder of an installed copy is lib/kestrow/.
std::string ProgramExecutableFileSpec()
{
    return platform::executableFolder() + ExecutableName;
}

std::string QuickStartHelpFileSpec()
{
    return gstrProgramPath + "help/quickstart.html";
}

KestrowShell::KestrowShell(ShellHost& host) : m_host(host), m_scheduler(host) {}

KestrowShell::~KestrowShell()
{
    m_objects.reset();
    if (m_librariesLoaded)
        ShutdownUnloadLibraries();
    m_lock.reset();
}

bool KestrowShell::Main()
{
    try {
        // The lock lives in the data folder, so the folders come first; a second
        // instance finds the folder in place and changes nothing.
        if (!initFolders())
            throw RuntimeError(errnum::PathNotFound, "Unable to create the data folder " + gstrAppPath);
        auto lock = std::make_unique<platform::InstanceLock>();
        switch (lock->acquire(platform::instanceLockFile(gstrAppPath))) {
        case platform::InstanceLock::Result::Acquired:
            break;
        case platform::InstanceLock::Result::HeldElsewhere:
            if (!m_host.activateRunningInstance())
                ui().messageBox("Kestrow", "Kestrow is already running", MsgIcon::None, MsgButtons::Ok);
            return false;
        case platform::InstanceLock::Result::Failed:
            ThrowDataFileError(lock->error(), false, platform::instanceLockFile(gstrAppPath),
                               "Unable to lock the data folder " + gstrAppPath + ": " +
                                   GetSystemErrorMessage(lock->error()));
        }
        m_lock = std::move(lock);
    } catch (...) {
        ReportError("modKestrow.Main");
        return false;
    }

    // Reports its own failure under "modKestrow.Main".
    if (!StartupLoadLibraries())
        return false;
    m_librariesLoaded = true;

    return Guarded("modKestrow.Main", false, [this] {
        m_objects = std::make_unique<ProgramObjects>();
        return true;
    });
}

bool KestrowShell::Form_Load()
{
    const util::ScopedValue loading(m_loading, true);
    return Guarded("frmKestrow.Form_Load", false, [this] {
        WarnIfDataFolderIsOpenToOthers();
        m_host.setupToolbarAndStatusBar();
        // Reports its own errors; the options read before one stay in effect.
        ReadProgramOptionsFromIniFile(m_options);

        gCloneTasks->ReadAllTasksFromTaskListFile(gCloneTasks->TaskListFileSpec());
        gCloneTasks->SetNextScheduledTask();
        m_host.setTaskListCaption(gCloneTasks->TaskListName());
        m_host.refreshTaskList();
        m_host.refreshTrayIcon();

        if (gCloneTasks->TaskNameContainedIllegalChar()) {
            ui().messageBox(
                "Illegal Task Name",
                "One or more tasks contained an illegal character in their name.\n"
                "All occurrences of the following characters have been replaced with a space:\n"
                "\\ / : * ? \" < > |\n"
                "\n"
                "Previous versions of Kestrow allowed these characters.  This\n"
                "resulted in some errors cropping up in the 'Only Selected Files' feature.\n"
                "\n"
                "Please check the properties of all of your tasks to ensure their correctness.\n"
                "You may need to reselect the files and folders in the Selected Files and Folders "
                "window.",
                MsgIcon::Critical, MsgButtons::Ok);
        }

        m_firstStart = !FileExists(OptionsFileSpec());
        if (m_firstStart) {
            m_host.showWindowAtStart();
            m_host.processEvents();
            m_host.openQuickStartHelp(QuickStartHelpFileSpec());
            m_host.processEvents();
            startAtLoginOnFirstStart();
            m_host.processEvents();
            ui().messageBox("IMPORTANT - PLEASE READ!",
                            "Kestrow's purpose is to make a Target folder\n"
                            "identical to a Source folder. In order to do this, all orphan\n"
                            "files and folders in the Target folder will be DELETED.\n"
                            "\n"
                            "If you do not want orphans to be deleted, select\n"
                            "'Do Not Delete' from the Delete Methods menu.",
                            MsgIcon::Information, MsgButtons::Ok);
        } else {
            m_host.hideWindowToTray();
        }

        m_host.armTimers();
        m_scheduler.start(glngDelayBeforeFirstTask);
        return true;
    });
}

void KestrowShell::startAtLoginOnFirstStart()
{
    // As the "When Any User is Logged On" command, except that a location that may
    // not be written falls back to the current user without a word.
    DontShowAtStartup(ExecutableName);
    try {
        WriteStartupEntry(ExecutableName, platform::executableFolder(), StartupAllUsers);
        m_options.checkOnly(OptionsMenuItem::mnuOptionsRunOnWindowsStartupAnyUser);
        return;
    } catch (const RuntimeError&) {
    }
    if (ShowatStartup(ExecutableName, platform::executableFolder(), StartupCurrentUser))
        m_options.checkOnly(OptionsMenuItem::mnuOptionsRunOnWindowsStartupCurrentUser);
    else
        m_options.checkOnly(OptionsMenuItem::mnuOptionsRunOnWindowsStartupNoRun);
}

bool KestrowShell::launchAtLogin(bool allUsers)
{
    DontShowAtStartup(ExecutableName);
    return ShowatStartup(ExecutableName, platform::executableFolder(),
                         allUsers ? StartupAllUsers : StartupCurrentUser);
}

bool KestrowShell::Form_QueryUnload(UnloadMode mode)
{
    return Guarded("frmKestrow.Form_QueryUnload", false, [this, mode] {
        switch (mode) {
        case UnloadMode::FormControlMenu:
            m_host.hideWindowToTray();
            if (gblnShowSysTrayReminder)
                m_host.showSysTrayReminder();
            return true;
        case UnloadMode::FormCode:
            if (gblnCloneRunning) {
                ui().beep();
                return true;
            }
            return false;
        case UnloadMode::AppWindows:
        case UnloadMode::AppTaskManager:
            if (gblnCloneRunning) {
                // The run's work goes on on its own thread: stop it first, so the
                // log has one writer when the shutdown entries go in.
                CancelRequested = true;
                m_host.waitForRunToEnd();
                if (gCloneLog) {
                    gCloneLog->Add(LogEntryType::ApplicationShutdownError);
                    gCloneLog->Add(LogEntryType::End, "Unknown Task Name");
                }
                m_host.processEvents();
            }
            return false;
        }
        return false;
    });
}

void KestrowShell::Form_Unload()
{
    m_host.setWaitCursor(true);
    m_unloading = true;
    Guarded("frmKestrow.Form_Unload", [this] {
        if (!m_objects)
            return;
        SaveProgramOptionsToIniFile(m_options);
        if (gCloneTasks)
            gCloneTasks->SaveOrderedTaskListToTaskListFile(m_host.taskListRowTexts(),
                                                           gCloneTasks->TaskListFileSpec());
        if (gCloneLog)
            gCloneLog->AppendInMemoryStringToLogFile();
    });
    Guarded("frmKestrow.Form_Unload", [this] {
        m_host.releaseWindowResources();
        m_host.processEvents();
    });
    m_objects.reset();
    if (m_librariesLoaded) {
        ShutdownUnloadLibraries();
        m_librariesLoaded = false;
    }
    m_lock.reset();
    m_host.setWaitCursor(false);
}

bool KestrowShell::LoadHeadless(const std::string& taskListFile)
{
    return Guarded("frmKestrow.Form_Load", false, [this, &taskListFile] {
        if (!ReadProgramOptionsFromIniFile(m_options))
            return false;
        if (!taskListFile.empty())
            gCloneTasks->setTaskListFileSpec(taskListFile);
        const bool complete = gCloneTasks->ReadAllTasksFromTaskListFile(gCloneTasks->TaskListFileSpec());
        gCloneTasks->SetNextScheduledTask();
        m_scheduler.start(glngDelayBeforeFirstTask);
        return complete;
    });
}

bool KestrowShell::ReloadHeadless(bool options)
{
    return Guarded("frmKestrow.Form_Load", false, [this, options] {
        // The daemon keeps the list it was started on, whatever the options name.
        const std::string spec = gCloneTasks->TaskListFileSpec();
        bool complete = !options || ReadProgramOptionsFromIniFile(m_options);
        cCloneTasks& tasks = ProgramObjects::ReplaceTaskList();
        tasks.setTaskListFileSpec(spec);
        complete = tasks.ReadAllTasksFromTaskListFile(spec) && complete;
        tasks.SetNextScheduledTask();
        return complete;
    });
}

void KestrowShell::UnloadHeadless()
{
    m_unloading = true;
    if (gCloneLog)
        gCloneLog->AppendInMemoryStringToLogFile();
    m_objects.reset();
    if (m_librariesLoaded) {
        ShutdownUnloadLibraries();
        m_librariesLoaded = false;
    }
    m_lock.reset();
}

} // namespace kestrow
