#include "tasks/TaskProperties.h"

#include "base/LocalTime.h"
#include "base/UiServices.h"
#include "engine/Filters.h"
#include "engine/FolderRoutines.h"
#include "engine/RootPaths.h"
#include "engine/cClone.h"
#include "tasks/Schedule.h"
#include "tasks/cCloneTasks.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace kestrow {

namespace {

constexpr const char* kPathProblemTail =
    "\n\nPress OK to disregard this error or Cancel to correct the problem.";

std::string trimmed(const std::string& text)
{
    return std::string(util::trimmed(text, util::kCWhiteSpace));
}

// The whole-number value of a numeric text (halves to even), or nothing.
std::optional<double> numericValue(const std::string& text)
{
    const std::string t = trimmed(text);
    if (t.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return std::nearbyint(v);
}

bool fitsInt32(double value)
{
    return value >= -2147483648.0 && value <= 2147483647.0;
}

// OK disregards a folder problem, Cancel corrects it.
bool disregarded(const char* title, int32_t status, const std::string& folder, int32_t errorNumber)
{
    return ui().messageBox(title, GetInvalidPathErrorMsg(status, folder, errorNumber) + kPathProblemTail,
                           MsgIcon::Exclamation, MsgButtons::OkCancel) == MsgResult::Ok;
}

} // namespace

TaskProperties TaskPropertiesOf(const cCloneTask& task)
{
    TaskProperties p;
    p.SourceFolder = task.SourceFolderSpec();
    p.TargetFolders = SplitTargetFolders(task.TargetFolderSpec());
    p.IncludeSubFolders = task.IncludeSubFolders();
    p.AllFilesAndFolders = task.AllFilesAndFolders();
    p.IncludeFileSpecs = task.IncludeFileSpecs();
    p.IncludeFileMasks = task.IncludeFileMasks();
    p.ExcludeFileSpecs = task.ExcludeFileSpecs();
    p.ExcludeFileMasks = task.ExcludeFileMasks();
    const int32_t type = task.IntervalType();
    p.IntervalType = type >= 0 && type < 7 ? type : 0;
    p.IntervalIncrement = std::to_string(task.IntervalIncrement());
    const DateParts parts = partsFromDate(task.StartTime());
    p.StartSeconds = parts.hour * 3600 + parts.minute * 60 + parts.second;
    // A start time of midnight shows as noon.
    if (p.StartSeconds == 0)
        p.StartSeconds = 12 * 3600;
    p.DaysOfWeek = 0;
    for (int i = 0; i < 7; ++i)
        if (task.RunOnThisDayOfWeek(i))
            p.DaysOfWeek |= 1 << i;
    p.Category = task.Category();
    return p;
}

bool IntervalUsesIncrement(int32_t intervalType)
{
    return intervalType >= 1 && intervalType <= 3;
}

const char* IntervalUnitWord(int32_t intervalType)
{
    switch (intervalType) {
    case 1:
        return "Minutes";
    case 2:
        return "Hours";
    case 3:
        return "Days";
    default:
        return "";
    }
}

bool ValidateFolders(const TaskProperties& p)
{
    if (p.TargetFolders.empty()) {
        ui().messageBox("Validate Folders", "No target folder has been entered.", MsgIcon::Exclamation,
                        MsgButtons::Ok);
        return false;
    }
    for (const std::string& typed : p.TargetFolders) {
        const std::string target = trimmed(typed);
        int32_t errorNumber = 0;
        int32_t status = ValidateFolderPath(target, errorNumber);
        if (status == FolderStatusNoFolder && gClone && gClone->CreateTargetFolder()) {
            CreateFolderPath(target);
            if (FolderExists(target, platform::FollowLinks::yes))
                status = FolderStatusOk;
        }
        if (status != FolderStatusOk)
            return disregarded("Problems with Target Folder", status, target, errorNumber);
    }
    const std::string source = trimmed(p.SourceFolder);
    if (source.empty()) {
        ui().messageBox("Validate Folders", "No source folder has been entered.", MsgIcon::Exclamation,
                        MsgButtons::Ok);
        return false;
    }
    int32_t errorNumber = 0;
    const int32_t status = ValidateFolderPath(source, errorNumber);
    if (status != FolderStatusOk)
        return disregarded("Problems with Source Folder", status, source, errorNumber);
    // A run would refuse such a Target with this reason in the log alone: say it here.
    for (const std::string& typed : p.TargetFolders) {
        if (const char* overlap = RootsOverlapText(source, trimmed(typed))) {
            ui().messageBox("Problems with Target Folder", overlap, MsgIcon::Exclamation, MsgButtons::Ok);
            return false;
        }
    }
    return true;
}

bool ValidateFrequency(const TaskProperties& p)
{
    if (!IntervalUsesIncrement(p.IntervalType))
        return true;
    const std::optional<double> value = numericValue(p.IntervalIncrement);
    const bool minutes = p.IntervalType == 1;
    if (value && fitsInt32(*value) && *value > 0 && (!minutes || *value >= 5) &&
        *value <= MaxIntervalIncrement(p.IntervalType))
        return true;
    const std::string word = IntervalUnitWord(p.IntervalType);
    if (minutes)
        ui().messageBox("Invalid " + word,
                        "Minutes value is invalid.  Please check the following:\n\n"
                        "1) The value must be a positive number\n2) The value cannot be less than 5\n",
                        MsgIcon::Information, MsgButtons::Ok);
    else
        ui().messageBox("Invalid " + word,
                        word + " value is invalid.  Please check the following:\n\n"
                               "The value must be a positive number\n",
                        MsgIcon::Information, MsgButtons::Ok);
    return false;
}

bool ValidateDaysOfWeek(const TaskProperties& p)
{
    if (p.IntervalType != 4 || (p.DaysOfWeek & 127) != 0)
        return true;
    ui().messageBox("Invalid Days", "No days of the week are selected.", MsgIcon::Information,
                    MsgButtons::Ok);
    return false;
}

bool ValidateStartTime(const TaskProperties& p)
{
    if (p.StartTimeValid)
        return true;
    ui().messageBox("Invalid Start Time",
                    "Start Time is not in a valid format.\n\n"
                    "To correct this problem check the system's regional settings, \n"
                    "select the Time tab and choose this time format from the list:\n\nh:mm:ss tt",
                    MsgIcon::Information, MsgButtons::Ok);
    return false;
}

bool ValidateTaskProperties(const TaskProperties& p)
{
    return ValidateFolders(p) && ValidateFrequency(p) && ValidateDaysOfWeek(p) && ValidateStartTime(p);
}

void SaveTaskProperties(const TaskProperties& p, cCloneTask& task)
{
    task.setSourceFolderSpec(SavedFolderSpec(trimmed(p.SourceFolder)));
    std::string targets;
    for (std::size_t i = 0; i < p.TargetFolders.size(); ++i)
        targets += (i == 0 ? "" : "<:>") + SavedFolderSpec(trimmed(p.TargetFolders[i]));
    task.setTargetFolderSpec(targets);

    task.setIncludeSubFolders(p.IncludeSubFolders);
    const bool all = p.AllFilesAndFolders;
    task.setAllFilesAndFolders(all);
    task.setIncludeFileSpecs(all ? std::string() : p.IncludeFileSpecs);
    task.setIncludeFileMasks(all ? std::string() : p.IncludeFileMasks);
    task.setExcludeFileSpecs(all ? std::string() : p.ExcludeFileSpecs);
    task.setExcludeFileMasks(all ? std::string() : p.ExcludeFileMasks);

    task.setIntervalType(p.IntervalType);
    const std::optional<double> increment = numericValue(p.IntervalIncrement);
    if (increment && !fitsInt32(*increment))
        throw std::overflow_error("Overflow");
    task.setIntervalIncrement(increment ? static_cast<int32_t>(*increment) : 5);

    DateValue start = p.StartSeconds / 86400.0;
    if (start == 0)
        start = 1.0 / 86400.0;
    task.setStartTime(start);
    task.setDaysOfWeek(p.DaysOfWeek);

    if (task.LastCloneDateTime() == 0)
        task.setLastCloneDateTime(TruncateToSeconds(currentClock().now()));
    if (task.IntervalType() != 0) {
        int32_t dow = task.DaysOfWeek();
        task.setNextCloneDateTime(DetermineNextCloneDateTime(
            task.LastCloneDateTime(), task.IntervalType(), task.IntervalIncrement(), task.StartTime(), dow));
        task.setDaysOfWeek(dow);
    }
    task.setCategory(p.Category);
}

std::string SavedFolderSpec(const std::string& typed)
{
    const std::string canonical = CanonicalFolderSpec(typed);
    return canonical.empty() ? WithTrailingSlash(typed) : canonical;
}

std::vector<std::string> SplitTargetFolders(const std::string& targetFolderSpec)
{
    std::vector<std::string> parts;
    if (targetFolderSpec.empty())
        return parts;
    std::string rest = targetFolderSpec;
    for (;;) {
        const std::size_t at = rest.find("<:>");
        parts.push_back(rest.substr(0, at));
        if (at == std::string::npos)
            return parts;
        rest.erase(0, at + 3);
    }
}

void ShowIllegalTaskNameMessage()
{
    ui().messageBox("Illegal Task Name",
                    "Task names cannot contain any of the following characters:\n\\ / : * ? \" < > |",
                    MsgIcon::Critical, MsgButtons::Ok);
}

TaskNameCheck CheckNewTaskName(const std::string& name, const cCloneTasks& list)
{
    if (name.empty())
        return TaskNameCheck::Empty;
    if (StringContainsIllegalFileNameCharacter(name)) {
        ShowIllegalTaskNameMessage();
        return TaskNameCheck::Illegal;
    }
    if (list.Item(name)) {
        ui().messageBox("Duplicate Task Name", "A task with this name already exists.", MsgIcon::Exclamation,
                        MsgButtons::Ok);
        return TaskNameCheck::Taken;
    }
    return TaskNameCheck::Ok;
}

TaskNameCheck CheckRenamedTaskName(const std::string& name, const std::string& oldName,
                                   const cCloneTasks& list)
{
    if (name.empty())
        return TaskNameCheck::Empty;
    if (StringContainsIllegalFileNameCharacter(name)) {
        ShowIllegalTaskNameMessage();
        return TaskNameCheck::Illegal;
    }
    const bool otherName = !util::equalsIgnoringCase(name, oldName);
    if (list.Item(otherName ? name : oldName)) {
        ui().messageBox("Rename Task", "Duplicate task name", MsgIcon::Exclamation, MsgButtons::Ok);
        return TaskNameCheck::Taken;
    }
    return TaskNameCheck::Ok;
}

} // namespace kestrow
