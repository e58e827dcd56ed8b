#pragma once
// cRestore: the parameters of a restore, copied from the selected task by the main
// window before it opens the restore window; and the restore itself, which copies
// chosen items from the task's (first) Target folder back into its Source folder by
// running a temporary task with the two swapped. A restore copies and never deletes.

#include <functional>
#include <string>

namespace kestrow {

class cRestore
{
public:
    const std::string& TaskName() const { return m_TaskName; }
    void setTaskName(const std::string& value) { m_TaskName = value; }
    // The folder the restore writes into.
    const std::string& SourceFolderSpec() const { return m_SourceFolderSpec; }
    void setSourceFolderSpec(const std::string& value) { m_SourceFolderSpec = value; }
    // The one folder the restore reads from: the task's first Target, or a moment
    // folder of that Target's old versions.
    const std::string& TargetFolderSpec() const { return m_TargetFolderSpec; }
    void setTargetFolderSpec(const std::string& value) { m_TargetFolderSpec = value; }
    bool IncludeSubFolders() const { return m_IncludeSubFolders; }
    void setIncludeSubFolders(bool value) { m_IncludeSubFolders = value; }
    // The task's own filters, kept for the window; the restore runs on the items
    // the user checks, not on these.
    const std::string& IncludeFileSpecs() const { return m_IncludeFileSpecs; }
    void setIncludeFileSpecs(const std::string& value) { m_IncludeFileSpecs = value; }
    const std::string& IncludeFileMasks() const { return m_IncludeFileMasks; }
    void setIncludeFileMasks(const std::string& value) { m_IncludeFileMasks = value; }

    // Every entry of the folder read comes back, whatever the skip options say (hidden
    // and special entries too): a moment of old versions holds only what a run kept.
    bool EveryEntry() const { return m_EveryEntry; }
    void setEveryEntry(bool value) { m_EveryEntry = value; }

private:
    bool m_EveryEntry = false;
    std::string m_TaskName;
    std::string m_SourceFolderSpec;
    std::string m_TargetFolderSpec;
    bool m_IncludeSubFolders = true;
    std::string m_IncludeFileSpecs;
    std::string m_IncludeFileMasks;
};

// The program-wide restore parameters; null until the start-up code creates them.
extern cRestore* gRestore;

// How a restore attempt ended; each but NoOutcome showed its message (title
// "Restore Source", information icon).
enum class RestoreOutcome
{
    NoOutcome,           // a warning stopped it before the run, or an unexpected error was reported
    Succeeded,           // "Restore successfully completed."
    Cancelled,           // "Restore cancelled by user"
    CompletedWithErrors, // "Restore complete with errors.  See Log for details."
};

// What the window that runs a restore lends it.
struct RestoreFrontEnd
{
    // Told true just before the temporary task runs (the window disables its
    // buttons and shows "Restore in Progress...") and false once it has ended,
    // whatever happened. May be empty.
    std::function<void(bool running)> runStateChanged;
    // Runs `work` (the temporary task's Execute) and returns once it has ended. The
    // desktop program hands it to a worker thread; empty runs it on the calling thread.
    std::function<void(const std::function<void()>& work)> runWork;
};

// The "&Restore" command, given what the window's tree holds:
//  1. A Source folder path that is empty or names no folder is created with every
//     missing level; a Source that ValidateFolderPath then refuses stops with
//     "Unable to create the missing source folder." (title "Restore Source",
//     exclamation icon) and the path.
//  2. `treeHasNodes` false stops with "Source folder contains no contents.".
//  3. An empty `selection` ("<:>"-joined items of the Target, or the Target folder
//     itself for everything) stops with "No files or folders have been selected to
//     be Restored.".
//  4. gClone's DeleteMethod becomes 2 (do not delete), CopyOnlyIfNewer false and
//     KeepVersions false while a temporary task "RESTORE SOURCE: " + TaskName runs from the Target to the
//     Source, on the selection only, through Execute(true); the options are put back
//     as soon as it ends, also when it fails, is cancelled or throws.
//  5. The outcome message: success when the task ended without error and no cancel
//     was logged; else cancelled when CancelRequested is set; else completed with errors.
// Nothing changes (no option, no folder but a created Source) when it stops at 1-3.
// With gClone's PlanOnly the run only plans (the plan stays for GetPlannedActionStrings)
// and a missing Source is not created but planned, CreateTargetFolder on for the run.
// Unexpected errors are reported as "frmRestore.cmdRestore_Click".
RestoreOutcome RunRestore(const cRestore& restore, bool treeHasNodes, const std::string& selection,
                          const RestoreFrontEnd& frontEnd = {});

// The caption of the restore window and the name of the temporary task:
// "RESTORE SOURCE: " + the task name.
std::string RestoreTaskName(const std::string& taskName);

} // namespace kestrow
