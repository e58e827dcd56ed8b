#include "tasks/cCloneTasks.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/LocalTime.h"
#include "base/RunHost.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "engine/cClone.h"
#include "lumbrel/Lumbrel.h"
#include "platform/InstanceLock.h"
#include "platform/TextFile.h"
#include "settings/IniDocument.h"
#include "tasks/Schedule.h"
#include "tasks/TaskListFile.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"
#include "zelcommon/ZelCommon.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <unordered_set>
#include <utility>

namespace kestrow {

cCloneTasks* gCloneTasks = nullptr;

namespace {

// The characters a task name read from the older format may not hold (they are
// illegal in file names where that format was written), and their replacements.
constexpr const char* kIllegalNameChars = "\\/:*?\"<>|";
constexpr const char* kIllegalNameReplacements = "         ";

// A task's key: its name with ASCII letters folded.
std::string folded(std::string_view s)
{
    return util::asciiLower(s);
}

[[noreturn]] void throwErrno(int err, const std::string& spec)
{
    ThrowDataFileError(err, true, spec, GetSystemErrorMessage(err));
}

// The file's text; a missing file is created empty first.
std::string readOrCreate(const std::string& spec)
{
    int err = 0;
    std::string text = platform::readDataFile(spec, err);
    if (err == ENOENT) {
        // Another program may save a first task in between: create only what is still missing.
        const platform::UpdateLock lock(spec);
        RefuseSaveAtLinkedUpdateLock(lock);
        text = platform::readDataFile(spec, err);
        if (err == ENOENT) {
            if (const int w = platform::writeWholeFile(spec, ""); w != 0)
                throwErrno(w, spec);
            return {};
        }
    }
    if (err != 0)
        throwErrno(err, spec);
    return text;
}

// The lines of a text, without their line breaks (LF or CR LF). A line break at the
// very end does not start another line.
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        pos = nl + 1;
    }
    return lines;
}

// The file as a document to change; a file that exists but cannot be read is an
// error (it must not be replaced by a fresh one).
IniDocument loadForChange(const std::string& spec)
{
    int err = 0;
    IniDocument ini = IniDocument::load(spec, err);
    if (err != 0)
        throwErrno(err, spec);
    return ini;
}

} // namespace

std::string cCloneTasks::TaskListName() const
{
    return zc::RemoveFilenameExtension(zc::GetLastItemInPath(m_TaskListFileSpec));
}

bool cCloneTasks::ATaskContainsError() const
{
    return Guarded("cCloneTasks.ATaskContainsError", false, [&] {
        return std::any_of(m_tasks.begin(), m_tasks.end(),
                           [](const CloneTaskPtr& t) { return t->ErrorOnLastClone(); });
    });
}

bool cCloneTasks::AnyErrorTasks() const
{
    return Guarded("cCloneTasks.AnyErrorTasks", false, [&] {
        for (const CloneTaskPtr& t : m_tasks) {
            if (t->ErrorOnLastClone())
                return true;
            runHost().processEvents();
        }
        return false;
    });
}

CloneTaskPtr cCloneTasks::NextScheduledTask() const
{
    return Guarded("cCloneTasks.NextScheduledTask", CloneTaskPtr{}, [&] {
        for (const CloneTaskPtr& t : m_tasks) {
            if (t->IsNextScheduledTask())
                return t;
        }
        return CloneTaskPtr{};
    });
}

void cCloneTasks::Rename(const cCloneTask& pTaskObject, const std::string& pstrNewName,
                         int32_t plngPositionInList)
{
    auto renamed = std::make_shared<cCloneTask>();
    CopyTaskPropertiesFromObj1ToObj2(pTaskObject, *renamed);
    renamed->setTaskName(pstrNewName);
    // The old task may be the list's own object, gone once removed.
    const std::string oldName = pTaskObject.TaskName();
    if (!Add(renamed, plngPositionInList, true))
        return;
    if (!SaveTaskToTaskListFile(m_TaskListFileSpec, pstrNewName))
        return;
    if (!Remove(pTaskObject))
        return;
    RemoveTaskFromTaskListFile(m_TaskListFileSpec, oldName);
}

bool cCloneTasks::Remove(const cCloneTask& pItem)
{
    const auto it = m_byKey.find(folded(pItem.TaskName()));
    if (it == m_byKey.end())
        return false;
    m_tasks.erase(std::find(m_tasks.begin(), m_tasks.end(), it->second));
    m_byKey.erase(it);
    SetNextScheduledTask();
    return true;
}

bool cCloneTasks::Add(const CloneTaskPtr& pItem, int32_t plngInThisPosition, bool pbolSkipSetNext)
{
    if (!pItem || util::onlySpaces(pItem->TaskName()) || m_byKey.contains(folded(pItem->TaskName())))
        return false;
    const int32_t n = Count();
    if (plngInThisPosition == -1 || (plngInThisPosition == 1 && n == 1)) {
        m_tasks.push_back(pItem);
    } else {
        // Inserted right after the task at this 1-based position.
        const int32_t after = plngInThisPosition + 1 <= n ? plngInThisPosition + 1 : plngInThisPosition - 1;
        if (after < 1 || after > n)
            return false;
        m_tasks.insert(m_tasks.begin() + after, pItem);
    }
    m_byKey.emplace(folded(pItem->TaskName()), pItem);
    if (!pbolSkipSetNext)
        SetNextScheduledTask();
    return true;
}

CloneTaskPtr cCloneTasks::Item(int32_t index) const
{
    if (index < 1 || index > Count())
        return nullptr;
    return m_tasks[static_cast<std::size_t>(index - 1)];
}

CloneTaskPtr cCloneTasks::Item(const std::string& key) const
{
    const auto it = m_byKey.find(folded(key));
    return it == m_byKey.end() ? nullptr : it->second;
}

int32_t cCloneTasks::NumTasksInCategory(const std::string& pstrCategory) const
{
    return Guarded("cCloneTasks.NumTasksInCategory", int32_t{0}, [&] {
        const std::string_view category = util::trimSpaces(pstrCategory);
        if (category.empty())
            return int32_t{0};
        int32_t count = 0;
        for (const CloneTaskPtr& t : m_tasks) {
            if (util::equalsIgnoringCase(t->Category(), category))
                ++count;
            runHost().processEvents();
        }
        return count;
    });
}

void cCloneTasks::AddReadTask(const CloneTaskPtr& task)
{
    if (m_byKey.contains(folded(task->TaskName())))
        throw RuntimeError(457, "This key is already associated with an element of this collection: task \"" +
                                    task->TaskName() + "\"");
    const ScheduleFault fault = CheckScheduleFields(task->IntervalType(), task->IntervalIncrement(),
                                                    task->StartTime(), task->DaysOfWeek());
    if (m_converting)
        m_converted.push_back(task);
    if (fault != ScheduleFault::None) {
        // Such a task would never get a next run; it stays in the file for a person to mend.
        ui().messageBox("Task Not Loaded",
                        "The task \"" + task->TaskName() +
                            "\" was not loaded because its schedule can never " +
                            "be met: " + ScheduleFaultText(fault) + ".\nCorrect it in the task list file " +
                            m_TaskListFileSpec + ".",
                        MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    m_tasks.push_back(task);
    m_byKey.emplace(folded(task->TaskName()), task);
}

CloneTaskPtr cCloneTasks::CreateCloneTasksObjFromString(const std::string& line)
{
    return Guarded("cCloneTasks.CreateCloneTasksObjFromString", CloneTaskPtr{}, [&] {
        const std::string supportFolder = gstrAppPath + TaskListName() + " support files/";
        const std::vector<std::string> f = SplitOlderFormatLine(line);
        if (f.size() < 10)
            throw RuntimeError(9, "Subscript out of range");

        auto task = std::make_shared<cCloneTask>();
        std::string name = f[0];
        if (name.find_first_of(kIllegalNameChars) != std::string::npos) {
            name = lumbrel::ReplaceMultipleChars(name, kIllegalNameChars, kIllegalNameReplacements);
            m_TaskNameContainedIllegalChar = true;
        }
        const OlderFormatTask v = ParseOlderFormatFields(f);
        task->setTaskName(name);
        task->setSourceFolderSpec(v.SourceFolderSpec);
        task->setTargetFolderSpec(v.TargetFolderSpec);
        task->setIncludeSubFolders(v.IncludeSubFolders);
        task->setStartTime(v.StartTime);
        task->setIntervalType(v.IntervalType);
        task->setIntervalIncrement(v.IntervalIncrement);
        task->setLastCloneDateTime(v.LastCloneDateTime);
        task->setNextCloneDateTime(v.NextCloneDateTime);
        task->setErrorOnLastClone(v.ErrorOnLastClone);

        if (!v.AllFilesAndFolders) {
            task->setAllFilesAndFolders(true);
        } else {
            task->setAllFilesAndFolders(*v.AllFilesAndFolders);
            if (!task->AllFilesAndFolders()) {
                if (!m_supportFolderLookedUp) {
                    m_supportFolderExists = FolderExists(supportFolder);
                    m_supportFolderLookedUp = true;
                }
                task->LoadIncludeFileSpecs(TaskListName(), supportFolder, m_supportFolderExists);
                task->LoadExcludeFileSpecs(TaskListName(), supportFolder);
            }
        }

        if (!v.DaysOfWeek) {
            task->setDaysOfWeek(127);
        } else {
            task->setDaysOfWeek(*v.DaysOfWeek);
            // A weekly task whose next run passed on a day it may not run gets a new one.
            const DateValue now = TruncateToSeconds(currentClock().now());
            if (task->IntervalType() == 4 && WallSecondsBetween(task->NextCloneDateTime(), now) > 0 &&
                !task->RunOnThisDayOfWeek(ConvertToKWDayOfWeek(WeekdayOf(now)))) {
                int32_t days = task->DaysOfWeek();
                task->setNextCloneDateTime(DetermineNextCloneDateTime(now, 4, 0, task->StartTime(), days));
                task->setDaysOfWeek(days);
            }
        }
        if (v.IncludeFileMasks)
            task->setIncludeFileMasks(*v.IncludeFileMasks);
        if (v.ExcludeFileMasks)
            task->setExcludeFileMasks(*v.ExcludeFileMasks);
        if (v.Category)
            task->setCategory(*v.Category);
        return task;
    });
}

bool cCloneTasks::ReadAllTasksFromKWTFile(const std::string& pstrTaskListFileSpec)
{
    return Guarded("cCloneTasks.ReadAllTasksFromKWTFile", false, [&] {
        const std::string text = readOrCreate(pstrTaskListFileSpec);
        for (const std::string_view line : splitLines(text)) {
            const CloneTaskPtr task = CreateCloneTasksObjFromString(std::string(line));
            if (!task)
                throw RuntimeError(91, "Object variable or With block variable not set");
            AddReadTask(task);
        }
        return true;
    });
}

bool cCloneTasks::ReadAllTasksFromTaskListFile(const std::string& pstrTaskListFileSpec)
{
    bool olderFormat = false;
    const bool ok = Guarded("cCloneTasks.ReadAllTasksFromTaskListFile", false, [&] {
        const std::string text = readOrCreate(pstrTaskListFileSpec);
        std::vector<std::string> sections;
        for (const std::string_view line : splitLines(text)) {
            if (line.find(OlderFormatSeparator) != std::string_view::npos) {
                olderFormat = true;
                return true;
            }
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
                sections.emplace_back(line.substr(1, line.size() - 2));
        }
        const IniDocument ini(text);
        std::unordered_set<std::string> namesRead;
        for (const std::string& name : sections) {
            if (util::onlySpaces(name))
                throw RuntimeError(5, "Invalid procedure call or argument: a task section without a name");
            if (!namesRead.insert(folded(util::trimSpaces(name))).second)
                throw RuntimeError(457, "This key is already associated with an element of this collection: "
                                        "task \"" +
                                            name + "\"");
            AddReadTask(ReadTaskSection(ini, name));
        }
        return true;
    });
    if (!olderFormat)
        return ok;

    m_converting = true;
    m_converted.clear();
    const bool readOk = ReadAllTasksFromKWTFile(pstrTaskListFileSpec);
    m_converting = false;
    const std::vector<CloneTaskPtr> converted = std::exchange(m_converted, {});
    // The old file goes out of the way first; only then is the list written anew,
    // with the tasks the schedule check refused too: their sections wait there for
    // a person to mend them, as the message says.
    if (!SendFileToRecycleBin(pstrTaskListFileSpec))
        return readOk;
    return Guarded("cCloneTasks.SaveAllTasksToTaskListFile", false,
                   [&] {
                       if (converted.empty())
                           return true;
                       const platform::UpdateLock lock(pstrTaskListFileSpec);
                       RefuseSaveAtLinkedUpdateLock(lock);
                       IniDocument ini = loadForChange(pstrTaskListFileSpec);
                       for (const CloneTaskPtr& t : converted)
                           WriteTaskSection(ini, *t);
                       return ini.save() == 0;
                   }) &&
           readOk;
}

bool cCloneTasks::RemoveTaskFromTaskListFile(const std::string& pstrTaskListFileSpec,
                                             const std::string& pstrTaskName)
{
    return Guarded("cCloneTasks.RemoveTaskFromTaskListFile", false, [&] {
        const platform::UpdateLock lock(pstrTaskListFileSpec);
        RefuseSaveAtLinkedUpdateLock(lock);
        IniDocument ini = loadForChange(pstrTaskListFileSpec);
        if (!ini.deleteSection(pstrTaskName))
            return true;
        return ini.save() == 0;
    });
}

bool cCloneTasks::SaveOrderedTaskListToTaskListFile(const std::vector<std::string>& rowTexts,
                                                    const std::string& pstrTaskListFileSpec)
{
    return Guarded("cCloneTasks.SaveOrderedTaskListToTaskListFile", false, [&] {
        if (m_tasks.empty())
            return true;
        const platform::UpdateLock lock(pstrTaskListFileSpec);
        RefuseSaveAtLinkedUpdateLock(lock);
        IniDocument ini = loadForChange(pstrTaskListFileSpec);
        for (const CloneTaskPtr& t : m_tasks)
            ini.deleteSection(t->TaskName());
        for (const std::string& row : rowTexts) {
            if (const CloneTaskPtr t = Item(row))
                WriteTaskSection(ini, *t);
            runHost().processEvents();
        }
        return ini.save() == 0;
    });
}

bool cCloneTasks::SaveAllTasksToTaskListFile(const std::string& pstrTaskListFileSpec)
{
    return Guarded("cCloneTasks.SaveAllTasksToTaskListFile", false, [&] {
        if (m_tasks.empty())
            return true;
        const platform::UpdateLock lock(pstrTaskListFileSpec);
        RefuseSaveAtLinkedUpdateLock(lock);
        IniDocument ini = loadForChange(pstrTaskListFileSpec);
        for (const CloneTaskPtr& t : m_tasks) {
            WriteTaskSection(ini, *t);
            runHost().processEvents();
        }
        return ini.save() == 0;
    });
}

bool cCloneTasks::SaveTaskToTaskListFile(const std::string& pstrTaskListFileSpec,
                                         const std::string& pstrTaskName)
{
    return Guarded("cCloneTasks.SaveTaskToTaskListFile", false, [&] {
        if (m_tasks.empty())
            return true;
        const CloneTaskPtr t = Item(pstrTaskName);
        if (!t)
            throw RuntimeError(5, "Invalid procedure call or argument: no task \"" + pstrTaskName + "\"");
        const platform::UpdateLock lock(pstrTaskListFileSpec);
        RefuseSaveAtLinkedUpdateLock(lock);
        IniDocument ini = loadForChange(pstrTaskListFileSpec);
        WriteTaskSection(ini, *t);
        return ini.save() == 0;
    });
}

bool cCloneTasks::SaveRunFieldsToTaskListFile(const std::string& pstrTaskListFileSpec,
                                              const std::vector<std::string>& taskNames,
                                              FileVersions* versions)
{
    return Guarded("cCloneTasks.SaveRunFieldsToTaskListFile", false, [&] {
        const platform::UpdateLock lock(pstrTaskListFileSpec);
        RefuseSaveAtLinkedUpdateLock(lock);
        if (versions)
            versions->before = platform::dataFileVersion(pstrTaskListFileSpec);
        IniDocument ini = loadForChange(pstrTaskListFileSpec);
        for (const std::string& name : taskNames) {
            const CloneTaskPtr t = Item(name);
            if (t && ini.hasSection(t->TaskName()))
                WriteRunFields(ini, *t);
        }
        if (ini.modified() && ini.save() != 0)
            return false;
        if (versions)
            versions->after = platform::dataFileVersion(pstrTaskListFileSpec);
        return true;
    });
}

void cCloneTasks::ChangeCategoryName(const std::string& pstrOriginalCategory,
                                     const std::string& pstrNewCategory)
{
    Guarded("cCloneTasks.ChangeCategoryName", [&] {
        for (const CloneTaskPtr& t : m_tasks) {
            if (util::equalsIgnoringCase(t->Category(), pstrOriginalCategory))
                t->setCategory(pstrNewCategory);
            runHost().processEvents();
        }
    });
}

void cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(const cCloneTask& pobjCloneTask1,
                                                   cCloneTask& pobjCloneTask2)
{
    const cCloneTask& a = pobjCloneTask1;
    cCloneTask& b = pobjCloneTask2;
    b.setStartTime(a.StartTime());
    b.setNextCloneDateTime(a.NextCloneDateTime());
    b.setLastCloneDateTime(a.LastCloneDateTime());
    b.setIntervalIncrement(a.IntervalIncrement());
    b.setIntervalType(a.IntervalType());
    b.setDaysOfWeek(a.DaysOfWeek());
    b.setErrorOnLastClone(a.ErrorOnLastClone());
    b.setIncludeSubFolders(a.IncludeSubFolders());
    b.setTaskName(a.TaskName());
    b.setSourceFolderSpec(a.SourceFolderSpec());
    b.setTargetFolderSpec(a.TargetFolderSpec());
    b.setAllFilesAndFolders(a.AllFilesAndFolders());
    b.setIncludeFileSpecs(a.IncludeFileSpecs());
    b.setIncludeFileMasks(a.IncludeFileMasks());
    b.setExcludeFileSpecs(a.ExcludeFileSpecs());
    b.setExcludeFileMasks(a.ExcludeFileMasks());
    b.setIsNextScheduledTask(a.IsNextScheduledTask());
    b.setCategory(a.Category());
}

} // namespace kestrow
