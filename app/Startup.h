#pragma once
// Start-up and shutdown of the program, free of any front end: Main, Form_Load,
// Form_QueryUnload and Form_Unload of the main window as logic that the GUI calls
// from its own entry point and window events. Everything that needs the window
// (showing it, the tray, the toolbar, the list view, the help) goes through a
// ShellHost the front end implements; message boxes go through ui().
//
// Typical use by a front end:
//     KestrowShell shell(host);
//     if (!shell.Main()) return 0;       // second instance, or a library missing
//     shell.Form_Load();                 // options, task list, first start
//     ... event loop; the scheduler timer calls shell.scheduler().tmrCloneScheduler_Timer()
//     if (!shell.Form_QueryUnload(UnloadMode::FormCode)) shell.Form_Unload();

#include "app/ProgramOptions.h"
#include "app/Scheduler.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrow {

class ProgramObjects;
namespace platform {
class InstanceLock;
}

// Why the main window is asked to unload (the values of the unload modes).
enum class UnloadMode : int
{
    FormControlMenu = 0, // the user closed the window (close box, "C&lose", "Send to &Tray")
    FormCode = 1,        // the program unloads it ("&Shut Down Kestrow")
    AppWindows = 2,      // the desktop session ends, or SIGTERM
    AppTaskManager = 3,  // a task manager closes the program
};

// What the start-up and shutdown logic needs from the window. Every hook has a
// harmless default, so a front end overrides what it has.
class ShellHost : public SchedulerHost
{
public:
    // Form_Load step 2: build the toolbar and the status bar.
    virtual void setupToolbarAndStatusBar() {}
    // Step 5: the caption of the task list's tab (TaskListName of gCloneTasks).
    virtual void setTaskListCaption(const std::string& /*name*/) {}
    // Step 6: fill the task list view from gCloneTasks (ShowAllTasksInListview).
    virtual void refreshTaskList() {}
    // First start: show and activate the main window (RestoreMainWindow).
    virtual void showWindowAtStart() {}
    // Later starts, and the close box: hide the main window (HideMainWindow); the
    // program lives on in the tray.
    virtual void hideWindowToTray() {}
    // Let pending window events run.
    virtual void processEvents() {}
    // First start: open the quick-start help (`file` is its full path).
    virtual void openQuickStartHelp(const std::string& /*file*/) {}
    // The close box with gblnShowSysTrayReminder set: show frmSysTrayReminder
    // without blocking.
    virtual void showSysTrayReminder() {}
    // Steps 9 and 10: create the 500 ms animation timer (disabled) and start the
    // 60-second scheduler timer.
    virtual void armTimers() {}
    // Shutdown: the task names in the order of the task list view, for the ordered
    // save. The default is the order of gCloneTasks.
    virtual std::vector<std::string> taskListRowTexts() const;
    // Shutdown while a run is active (after CancelRequested was set): return once the
    // run's work has ended, letting window events run meanwhile. The default returns
    // at once (for front ends that run tasks inline).
    virtual void waitForRunToEnd() {}
    // Form_Unload steps 5 and 7: release the animation timer, the last order of
    // tasks, the toolbar and status bar items.
    virtual void releaseWindowResources() {}
    // Wait cursor on (true) and off.
    virtual void setWaitCursor(bool /*on*/) {}
    // Main found the data folder locked by another instance: ask that instance to
    // bring up its window. True when it took the request; false (the default, and
    // for an instance without a window, such as the daemon) when it cannot be reached.
    virtual bool activateRunningInstance() { return false; }
};

class KestrowShell
{
public:
    explicit KestrowShell(ShellHost& host);
    // Releases whatever is still held (objects, libraries, the lock), without saving.
    ~KestrowShell();
    KestrowShell(const KestrowShell&) = delete;
    KestrowShell& operator=(const KestrowShell&) = delete;

    // Main steps 1 to 5: takes the single-instance lock on the data folder (another
    // instance holds it: false, after asking it to bring up its window through the
    // host; when it cannot be reached, the message "Kestrow is already running", OK,
    // no icon, titled "Kestrow"; no file is created or written), fills the folders, loads
    // libzelcommon.so and liblumbrel.so from the program folder (a failure is reported
    // under "modKestrow.Main" as "Error loading DLL - " and the file name; false), and
    // creates the program-wide objects in order. Returns whether the window is to be
    // loaded (Form_Load).
    bool Main();

    // Form_Load: writes the data folder's warning to clone.log when other users may
    // write the folder (WarnIfDataFolderIsOpenToOthers), reads the options into
    // options() and the objects, reads the task list
    // file into gCloneTasks and chooses the next scheduled task, fills the window through
    // the host, warns "Illegal Task Name" when the reader replaced characters, and then:
    // - first start (no options file): shows the window, opens the quick-start help,
    //   makes the program start at login for all users (when that location cannot be
    //   written: for the current user instead, silently, and the menu's check mark
    //   follows), then the "IMPORTANT - PLEASE READ!" warning;
    // - later starts: hides the window.
    // Then arms the timers and starts the scheduler's start-up delay. An error is
    // reported as "frmKestrow.Form_Load" and the remaining steps are skipped (false).
    bool Form_Load();

    // Form_QueryUnload. Returns Cancel: true when the window stays.
    // - FormControlMenu: hides the window (and shows the tray reminder when
    //   gblnShowSysTrayReminder); always cancels.
    // - FormCode: cancels with a beep while a run is active.
    // - AppWindows, AppTaskManager: never cancels. While a run is active, cancels it
    //   (CancelRequested), waits for its work to end (host), then adds the
    //   "Application Shutdown Error" entry (kind 16) and the end entry for
    //   "Unknown Task Name".
    bool Form_QueryUnload(UnloadMode mode);

    // Form_Unload: saves the options, the task list in the order of the list view and
    // the in-memory log, releases the window's resources and the objects in order, and
    // unloads both libraries. Errors are reported as "frmKestrow.Form_Unload" and the
    // shutdown goes on. Call once.
    void Form_Unload();

    // The daemon's start after Main: reads the options and the task list (the file
    // `taskListFile` when not empty, else the one the options name), chooses the next
    // scheduled task and starts the scheduler's start-up delay. No window, no first-
    // start steps. Returns false (after a report) when the options or the task list
    // could not be read to their end.
    bool LoadHeadless(const std::string& taskListFile);

    // The daemon's reread of what changed under it: with `options`, the options
    // file; then the task list file, into a fresh list in place of the old one (the
    // tasks of the old list are not written anywhere), and the next scheduled task.
    // Returns false (after a report) when either could not be read to its end; the
    // tasks read before the fault are scheduled.
    bool ReloadHeadless(bool options);

    // The daemon's shutdown: appends the in-memory log to clone.log and releases the
    // objects, the libraries and the lock. The options file is not written: the daemon
    // never changes an option, and writing the file would take the desktop program's
    // first start away. (Each run's task was saved right after the run.)
    void UnloadHeadless();

    // Form_Unload has begun (the scheduler skips its ticks).
    bool unloading() const { return m_unloading; }
    // Form_Load is under way (perhaps inside one of its message boxes).
    bool loading() const { return m_loading; }
    // True when this start found no options file.
    bool firstStart() const { return m_firstStart; }

    ProgramOptions& options() { return m_options; }
    Scheduler& scheduler() { return m_scheduler; }

    // Makes the program start at login (`allUsers` or the current user) with the
    // executable of this process, as the start-at-login menu commands do: the entry
    // is removed from both places, then written. Returns whether it was written
    // (failures are reported as "modKestrow.ShowatStartup").
    bool launchAtLogin(bool allUsers);

private:
    void startAtLoginOnFirstStart();

    ShellHost& m_host;
    ProgramOptions m_options;
    Scheduler m_scheduler;
    std::unique_ptr<platform::InstanceLock> m_lock;
    std::unique_ptr<ProgramObjects> m_objects;
    bool m_librariesLoaded = false;
    bool m_unloading = false;
    bool m_loading = false;
    bool m_firstStart = false;
};

// The executable's name, which names the options file, the start-at-login entry and
// the program in messages: "kestrow".
inline constexpr const char* ExecutableName = "kestrow";

// The full path of the program's executable in the program folder:
// gstrProgramPath + ExecutableName.
std::string ProgramExecutableFileSpec();

// The quick-start help shown on the first start: gstrProgramPath + "help/quickstart.html".
std::string QuickStartHelpFileSpec();

} // namespace kestrow
