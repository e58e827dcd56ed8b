#pragma once
// Program-wide folders. gstrAppPath is the data folder (everything the program
// writes); the program folder holds what it only reads (libraries, images, help).

#include <atomic>
#include <cstdint>
#include <string>

namespace kestrow {

// Data folder, ending with "/": $KESTROW_HOME when set, else
// $XDG_DATA_HOME/kestrow/ (default ~/.local/share/kestrow/). Set by initFolders().
extern std::string gstrAppPath;

// Program folder, ending with "/": ProgramFolder() of this process. Set by initFolders().
extern std::string gstrProgramPath;

// The dynamic library the program folder is recognised by (zelcommon/ loads it from there).
inline constexpr const char* kZelcommonFileName = "libzelcommon.so";

// Where this executable finds what it reads (the two libraries, report images, help):
// its own folder when that holds libzelcommon.so (the build tree); else
// <prefix>/lib/kestrow/ when the executable runs from <prefix>/bin/ and that folder
// holds libzelcommon.so (an installed tree); else its own folder. Ends with "/".
std::string ProgramFolder();

// Fills both folders from the environment and creates the data folder when it is
// missing. Returns false (with errno set) when the data folder cannot be created.
bool initFolders();

// Program-wide run state. A run's engine work may go on a worker thread, so the
// flags it reads or writes there are atomic.

// A run is active: from the start of a task's Execute until just before its last
// steps. Commands that would start or change a run are refused while it is set.
extern std::atomic<bool> gblnCloneRunning;
// Name of the task being run. Written by Execute before the run's work starts and
// read (by the confirmation list) only while that run is active.
extern std::string gstrCurrentTaskName;
// The current run was started by the scheduler; Execute clears it at its end. While
// set, folder validation shows no message except the removable-drive prompt.
extern std::atomic<bool> gblnScheduledRun;
// The restore command is active (the scheduler skips its ticks).
extern std::atomic<bool> gblnRestoreRunning;
// The scheduler is paused (not saved: every start begins unpaused).
extern std::atomic<bool> gblnSchedulerPaused;
// Option PromptToInsertRemovableDrive: ask for a missing removable drive.
extern std::atomic<bool> gblnPromptToInsertRemovableDrive;
// Option DelayBeforeFirstTask: minutes after start-up before the first scheduled run.
extern std::atomic<int32_t> glngDelayBeforeFirstTask;

} // namespace kestrow
