#pragma once
// cCloneTask: one clone task (a Source folder, one or more Target folders, what
// takes part, and a schedule) and its run. Execute is the single road from "run
// this task" to the clone engine.
//
// Properties store and return exactly what was written, except:
// - a non-empty IncludeFileSpecs, ExcludeFileSpecs, IncludeFileMasks or
//   ExcludeFileMasks sets AllFilesAndFolders to false (an empty one changes nothing);
// - AllFilesAndFolders true empties all four filter strings (false changes nothing);
// - a blank Category (empty or blanks only) is stored and read as "Unfiled".
// Nothing else is validated here.

#include "base/DateTime.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrow {

class cCloneTask
{
public:
    cCloneTask() = default;

    // Days on which a type-4 task may run: bit 0 Monday ... bit 6 Sunday; 127 every day.
    int32_t DaysOfWeek() const { return m_DaysOfWeek; }
    void setDaysOfWeek(int32_t value) { m_DaysOfWeek = value; }
    // True when bit `pBitPosition` of DaysOfWeek is set (false outside 0..30).
    bool RunOnThisDayOfWeek(int32_t pBitPosition) const;
    // The whole Source tree takes part (the filters are ignored).
    bool AllFilesAndFolders() const { return m_AllFilesAndFolders; }
    void setAllFilesAndFolders(bool value);
    // Set by the task list on the one task that runs next.
    bool IsNextScheduledTask() const { return m_IsNextScheduledTask; }
    void setIsNextScheduledTask(bool value) { m_IsNextScheduledTask = value; }
    // Time of day (date part zero) that anchors the schedule; default 12:00.
    DateValue StartTime() const { return m_StartTime; }
    void setStartTime(DateValue value) { m_StartTime = value; }
    // Filters: include and exclude item lists ("<:>"-joined full paths, a folder
    // item ending with "/") and mask lists (comma-separated wildcard patterns).
    const std::string& IncludeFileSpecs() const { return m_IncludeFileSpecs; }
    void setIncludeFileSpecs(const std::string& value);
    const std::string& ExcludeFileSpecs() const { return m_ExcludeFileSpecs; }
    void setExcludeFileSpecs(const std::string& value);
    const std::string& IncludeFileMasks() const { return m_IncludeFileMasks; }
    void setIncludeFileMasks(const std::string& value);
    const std::string& ExcludeFileMasks() const { return m_ExcludeFileMasks; }
    void setExcludeFileMasks(const std::string& value);
    // When the task runs next (scheduled tasks); 0 never.
    DateValue NextCloneDateTime() const { return m_NextCloneDateTime; }
    void setNextCloneDateTime(DateValue value) { m_NextCloneDateTime = value; }
    // When the task last ran; 0 never.
    DateValue LastCloneDateTime() const { return m_LastCloneDateTime; }
    void setLastCloneDateTime(DateValue value) { m_LastCloneDateTime = value; }
    // Interval units between runs (minutes for type 1, hours for 2, days for 3).
    int32_t IntervalIncrement() const { return m_IntervalIncrement; }
    void setIntervalIncrement(int32_t value) { m_IntervalIncrement = value; }
    // 0 manual, 1 minutes, 2 hours, 3 days, 4 days of the week, 5 first and 6 last
    // day of the month.
    int32_t IntervalType() const { return m_IntervalType; }
    void setIntervalType(int32_t value) { m_IntervalType = value; }
    // The last run met an error, was cancelled, or found a folder unusable.
    bool ErrorOnLastClone() const { return m_ErrorOnLastClone; }
    void setErrorOnLastClone(bool value) { m_ErrorOnLastClone = value; }
    bool IncludeSubFolders() const { return m_IncludeSubFolders; }
    void setIncludeSubFolders(bool value) { m_IncludeSubFolders = value; }
    // The task's name, its key in the task list.
    const std::string& TaskName() const { return m_TaskName; }
    void setTaskName(const std::string& value) { m_TaskName = value; }
    const std::string& SourceFolderSpec() const { return m_SourceFolderSpec; }
    void setSourceFolderSpec(const std::string& value) { m_SourceFolderSpec = value; }
    // One or more Target folders joined by "<:>".
    const std::string& TargetFolderSpec() const { return m_TargetFolderSpec; }
    void setTargetFolderSpec(const std::string& value) { m_TargetFolderSpec = value; }
    std::string Category() const;
    void setCategory(const std::string& value);

    // Runs the task (the steps below, in order), on the calling thread. The GUI
    // calls it on a fresh worker thread per run, so the priority the rules set dies
    // with that thread.
    //  - gblnCloneRunning, gstrCurrentTaskName set; error flag and cancel flags cleared;
    //  - run host told the run started; begin entry logged (after the log-size check);
    //  - priority rules applied: a "DO NOT RUN" rule skips the clone, the error flag
    //    staying clear;
    //  - unless `pbolRestore`, the Source is validated (an unusable Source: error
    //    flag, "Problems processing the Source folder." entry, no Target processed);
    //  - each Target in order: cancel check (sets the error flag and ends the loop),
    //    validation unless `pbolRestore` (an unusable Target is logged and skipped),
    //    then the engine mode that fits the filters; a failed engine call sets the
    //    error flag;
    //  - end entry, log written to clone.log and emptied;
    //  - unless `pbolRestore`: LastCloneDateTime := now (whole seconds); for a
    //    scheduled task NextCloneDateTime is computed, the stored task of the same
    //    name in gCloneTasks (when there is one) receives run times and error flag,
    //    and the list's next scheduled task is chosen again; a manual task's stored
    //    twin receives the run time only;
    //  - gblnCloneRunning and gblnScheduledRun cleared, run host told the run ended.
    // Folder validation never shows a message except the removable-drive prompt
    // (Retry/Cancel, when gblnPromptToInsertRemovableDrive). An unexpected error is
    // reported as "cCloneTask.Execute" and the run goes on with its closing steps.
    void Execute(bool pbolRestore);
    // Execute's argument, named at the call.
    static constexpr bool kCloneRun = false;
    static constexpr bool kRestoreRun = true;

    // Sets IncludeFileSpecs from the whole content of `pstrTaskSubfolderSpec` +
    // TaskName + ".kwi" when `pbolTaskListSubfolderExists` and that file exists,
    // else of gstrAppPath + TaskName + ".kwi"; a missing or empty file gives "".
    // `pstrTaskListName` is not used. Errors: "cCloneTask.LoadIncludeFileSpecs",
    // the property keeps its value.
    void LoadIncludeFileSpecs(const std::string& pstrTaskListName, const std::string& pstrTaskSubfolderSpec,
                              bool pbolTaskListSubfolderExists);
    // Sets ExcludeFileSpecs from `pstrTaskSubfolderSpec` + TaskName + ".kwe" ("" when
    // missing or empty). Errors: "cCloneTask.LoadExcludeFileSpecs".
    void LoadExcludeFileSpecs(const std::string& pstrTaskListName, const std::string& pstrTaskSubfolderSpec);

    // The Target folders of TargetFolderSpec: split at "<:>", each trimmed of blanks,
    // a folder met before dropped (compared as the file system does, case counting,
    // a trailing "/" ignored). An empty TargetFolderSpec has none.
    std::vector<std::string> TargetFolders() const;

    // Called after the engine ran for each Target (not for a Target that failed
    // validation), with the Target folder and the engine's result. The CLI's dry
    // run prints each Target's plan from it.
    std::function<void(const std::string& targetFolder, bool succeeded)> TargetCloned;

private:
    // 0 when `folder` can be used, else the status that failed; `errorText` gets the
    // message a person would read (empty during a scheduled run).
    int32_t ValidateFolder(const std::string& folder, const std::string& kind, bool suppressMessages,
                           std::string& errorText);
    void SetFormStateAtCloneBegin(bool pbolRestore);
    void SetFormStateAtCloneEnd(bool pbolRestore);
    void RunTargets(bool pbolRestore);

    int32_t m_DaysOfWeek = 127;
    bool m_AllFilesAndFolders = true;
    bool m_IsNextScheduledTask = false;
    DateValue m_StartTime = 0.5;
    std::string m_IncludeFileSpecs;
    std::string m_ExcludeFileSpecs;
    std::string m_IncludeFileMasks;
    std::string m_ExcludeFileMasks;
    DateValue m_NextCloneDateTime = 0;
    DateValue m_LastCloneDateTime = 0;
    int32_t m_IntervalIncrement = 1;
    int32_t m_IntervalType = 0;
    bool m_ErrorOnLastClone = false;
    bool m_IncludeSubFolders = true;
    std::string m_TaskName;
    std::string m_SourceFolderSpec;
    std::string m_TargetFolderSpec;
    std::string m_Category = "Unfiled";
};

// The texts of a task's row in the main window's task list, by column: 0 task
// name, 1 Source, 2 the Target folders joined with ", ", 3 next run in the general
// date format ("Manual" for a manual task), 4 last run in the general date format,
// 5 next run as the sort key "yyyymmddHhNn" ("" for a manual task), 6 last run as
// the sort key. The row's icon is not part of it.
std::array<std::string, 7> ModifyTaskInListview(const cCloneTask& task);

// The 12-digit sort key "yyyymmddHhNn" (24-hour clock) of a date-time.
std::string DateSortKey(DateValue value);

} // namespace kestrow
