#pragma once
// A task's properties as a person gives them (the Task Properties dialog's controls,
// the options of kestrow-cli task add and edit), the checks they must pass, and how
// they are saved into a task. Both front ends go through here, so one input is
// refused with one message, and saved the same way.
//
// The checks show their messages through the UI services. A folder problem asks
// whether to disregard it (OK) or correct it (Cancel); the console's answer is
// Cancel, so kestrow-cli refuses. Unexpected errors are thrown for the caller's
// Guarded.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow {

class cCloneTask;
class cCloneTasks;

struct TaskProperties
{
    std::string SourceFolder;               // as typed
    std::vector<std::string> TargetFolders; // as typed, in order
    bool IncludeSubFolders = true;
    // True: the four strings below are not saved (the whole Source takes part).
    bool AllFilesAndFolders = true;
    std::string IncludeFileSpecs;
    std::string IncludeFileMasks;
    std::string ExcludeFileSpecs;
    std::string ExcludeFileMasks;
    int32_t IntervalType = 0;      // 0 manual ... 6 last day of the month
    std::string IntervalIncrement; // as typed; checked only when the schedule uses it
    int32_t StartSeconds = 12 * 3600;
    bool StartTimeValid = true;
    int32_t DaysOfWeek = 127; // bit 0 Monday ... bit 6 Sunday
    std::string Category;
};

// The properties of a task as the dialog shows them: Targets split at "<:>", an
// unknown interval type as manual, a start time of midnight as noon, the seven day
// bits only.
TaskProperties TaskPropertiesOf(const cCloneTask& task);

// Whether the schedule counts in an increment (minutes, hours, days: types 1 to 3),
// and the unit's word ("Minutes", "Hours", "Days"; "" for the others).
bool IntervalUsesIncrement(int32_t intervalType);
const char* IntervalUnitWord(int32_t intervalType);

// The checks of OK, each true when its part may be saved. A missing Target folder
// is created when the clone engine's CreateTargetFolder option is on; once a Target
// has failed, the Source is not looked at.
bool ValidateFolders(const TaskProperties& p);
bool ValidateFrequency(const TaskProperties& p);
bool ValidateDaysOfWeek(const TaskProperties& p);
bool ValidateStartTime(const TaskProperties& p);
// The four in that order, stopping at the first that fails.
bool ValidateTaskProperties(const TaskProperties& p);

// Writes the properties into `task`: Source and Targets as SavedFolderSpec gives
// them (Targets joined by "<:>"), the selection (emptied when AllFilesAndFolders),
// the schedule (an increment that is not a number becomes 5; a start time of
// 00:00:00 is stored as 00:00:01), a first LastCloneDateTime of now, the next run
// of a scheduled task, and the category. std::overflow_error for an increment too
// large for 32 bits.
void SaveTaskProperties(const TaskProperties& p, cCloneTask& task);

// A folder as a task saves it: canonical, with one trailing "/" ("" stays "").
std::string SavedFolderSpec(const std::string& typed);

// The parts of a TargetFolderSpec between its "<:>" separators, as typed; none for
// an empty spec.
std::vector<std::string> SplitTargetFolders(const std::string& targetFolderSpec);

enum class TaskNameCheck
{
    Empty,   // nothing is said
    Illegal, // "Illegal Task Name" was shown
    Taken,   // the duplicate-name message was shown
    Ok,
};

// A name typed for a new task (trimmed by the caller): none, one with a character
// illegal in file names, or one the list has (ignoring case) is refused.
TaskNameCheck CheckNewTaskName(const std::string& name, const cCloneTasks& list);

// The same for a new name of the task `oldName`. A change of letter case alone finds
// the task itself and is refused too.
TaskNameCheck CheckRenamedTaskName(const std::string& name, const std::string& oldName,
                                   const cCloneTasks& list);

// "Illegal Task Name": the characters a task name cannot hold.
void ShowIllegalTaskNameMessage();

} // namespace kestrow
