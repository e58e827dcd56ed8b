#include "tasks/TaskListFile.h"

#include "base/ErrorReporter.h"
#include "settings/IniDocument.h"
#include "tasks/cCloneTask.h"

#include <optional>

namespace kestrow {

void WriteTaskSection(IniDocument& ini, const cCloneTask& task)
{
    const std::string& s = task.TaskName();
    const std::array<std::string, 16> values = {
        task.SourceFolderSpec(),
        task.TargetFolderSpec(),
        BooleanText(task.IncludeSubFolders()),
        DayNumberText(task.StartTime()),
        std::to_string(task.IntervalType()),
        std::to_string(task.IntervalIncrement()),
        DayNumberText(task.LastCloneDateTime()),
        DayNumberText(task.NextCloneDateTime()),
        BooleanText(task.ErrorOnLastClone()),
        BooleanText(task.AllFilesAndFolders()),
        std::to_string(task.DaysOfWeek()),
        task.IncludeFileSpecs(),
        task.ExcludeFileSpecs(),
        task.IncludeFileMasks(),
        task.ExcludeFileMasks(),
        task.Category(),
    };
    for (std::size_t i = 0; i < TaskListKeys.size(); ++i)
        ini.setString(s, TaskListKeys[i], values[i]);
}

void WriteRunFields(IniDocument& ini, const cCloneTask& task)
{
    const std::string& s = task.TaskName();
    ini.setString(s, "LastCloneDateTime", DayNumberText(task.LastCloneDateTime()));
    ini.setString(s, "NextCloneDateTime", DayNumberText(task.NextCloneDateTime()));
    ini.setString(s, "ErrorOnLastClone", BooleanText(task.ErrorOnLastClone()));
}

std::shared_ptr<cCloneTask> ReadTaskSection(const IniDocument& ini, const std::string& sectionName)
{
    auto task = std::make_shared<cCloneTask>();
    task->setTaskName(sectionName);
    // The value uncut (a long include list must not lose its tail), or the default
    // when it is missing or empty.
    auto text = [&](const char* key, const char* defaultValue) {
        std::optional<std::string> v = ini.value(sectionName, key);
        return v && !v->empty() ? std::move(*v) : std::string(defaultValue);
    };
    // Converts one value; a failure names where it is.
    auto convert = [&](const char* key, const char* defaultValue, auto&& fn) {
        const std::string v = text(key, defaultValue);
        try {
            return fn(v);
        } catch (const RuntimeError& e) {
            throw RuntimeError(e.number(), std::string(e.what()) + ": " + key + "=" + v + " in task \"" +
                                               sectionName + "\"");
        }
    };

    task->setSourceFolderSpec(text("SourceFolderSpec", ""));
    task->setTargetFolderSpec(text("TargetFolderSpec", ""));
    task->setIncludeSubFolders(convert("IncludeSubFolders", "True", BooleanFromText));
    task->setStartTime(convert("StartTime", "0.5", NumberFromText));
    task->setIntervalType(convert("IntervalType", "0", Integer16FromText));
    task->setIntervalIncrement(convert("IntervalIncrement", "1", Integer32FromText));
    if (const std::string v = text("LastCloneDateTime", ""); IsNumericText(v))
        task->setLastCloneDateTime(convert("LastCloneDateTime", "", NumberFromText));
    if (const std::string v = text("NextCloneDateTime", ""); IsNumericText(v))
        task->setNextCloneDateTime(convert("NextCloneDateTime", "", NumberFromText));
    task->setErrorOnLastClone(convert("ErrorOnLastClone", "False", BooleanFromText));
    task->setAllFilesAndFolders(convert("AllFilesAndFolders", "True", BooleanFromText));
    task->setDaysOfWeek(convert("DaysOfWeek", "127", Integer32FromText));
    task->setIncludeFileSpecs(text("IncludeFileSpecs", ""));
    task->setExcludeFileSpecs(text("ExcludeFileSpecs", ""));
    task->setIncludeFileMasks(text("IncludeFileMasks", ""));
    task->setExcludeFileMasks(text("ExcludeFileMasks", ""));
    task->setCategory(text("Category", "Unfiled"));
    return task;
}

} // namespace kestrow
