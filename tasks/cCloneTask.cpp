#include "tasks/cCloneTask.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/LocalTime.h"
#include "base/RunHost.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "log/APIReadWriteFile.h"
#include "log/CloneLog.h"
#include "tasks/Schedule.h"
#include "tasks/cCloneTasks.h"
#include "tasks/modChangePriority.h"
#include "util/Trim.h"

#include <algorithm>
#include <cstdio>

namespace kestrow {

namespace {

constexpr std::string_view kTargetSeparator = "<:>";

std::string withSlash(std::string s)
{
    if (!s.empty() && s.back() != '/')
        s += '/';
    return s;
}

std::string withoutSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

// The objects a run cannot go without; their absence is a program error.
void requireProgramObjects()
{
    if (!gClone || !gCloneLog)
        throw RuntimeError(91, "Object variable or With block variable not set");
}

// Drops the line breaks a hand-made include or exclude file may end with: a value of the
// task list file cannot hold them.
std::string withoutTrailingLineBreaks(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// The root as every front end shows and saves it. A relative root that cannot be
// made absolute (the working folder is gone) stays as typed, for validation to judge.
std::string canonicalRoot(const std::string& folder)
{
    const std::string canonical = CanonicalFolderSpec(folder);
    return canonical.empty() ? folder : canonical;
}

} // namespace

bool cCloneTask::RunOnThisDayOfWeek(int32_t pBitPosition) const
{
    if (pBitPosition < 0 || pBitPosition > 30)
        return false;
    return (m_DaysOfWeek & (int32_t{1} << pBitPosition)) != 0;
}

void cCloneTask::setAllFilesAndFolders(bool value)
{
    m_AllFilesAndFolders = value;
    if (value) {
        m_IncludeFileSpecs.clear();
        m_ExcludeFileSpecs.clear();
        m_IncludeFileMasks.clear();
        m_ExcludeFileMasks.clear();
    }
}

void cCloneTask::setIncludeFileSpecs(const std::string& value)
{
    m_IncludeFileSpecs = value;
    if (!value.empty())
        m_AllFilesAndFolders = false;
}

void cCloneTask::setExcludeFileSpecs(const std::string& value)
{
    m_ExcludeFileSpecs = value;
    if (!value.empty())
        m_AllFilesAndFolders = false;
}

void cCloneTask::setIncludeFileMasks(const std::string& value)
{
    m_IncludeFileMasks = value;
    if (!value.empty())
        m_AllFilesAndFolders = false;
}

void cCloneTask::setExcludeFileMasks(const std::string& value)
{
    m_ExcludeFileMasks = value;
    if (!value.empty())
        m_AllFilesAndFolders = false;
}

std::string cCloneTask::Category() const
{
    return util::onlySpaces(m_Category) ? std::string("Unfiled") : m_Category;
}

void cCloneTask::setCategory(const std::string& value)
{
    m_Category = util::onlySpaces(value) ? std::string("Unfiled") : value;
}

std::vector<std::string> cCloneTask::TargetFolders() const
{
    std::vector<std::string> folders;
    if (m_TargetFolderSpec.empty())
        return folders;
    std::vector<std::string> seen;
    std::string_view rest = m_TargetFolderSpec;
    for (;;) {
        const std::size_t at = rest.find(kTargetSeparator);
        // Blanks as task texts are trimmed: spaces.
        std::string folder(util::trimSpaces(rest.substr(0, at)));
        std::string key = withoutSlash(folder);
        if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
            seen.push_back(std::move(key));
            folders.push_back(std::move(folder));
        }
        if (at == std::string_view::npos)
            break;
        rest.remove_prefix(at + kTargetSeparator.size());
    }
    return folders;
}

void cCloneTask::LoadIncludeFileSpecs(const std::string& /*pstrTaskListName*/,
                                      const std::string& pstrTaskSubfolderSpec,
                                      bool pbolTaskListSubfolderExists)
{
    Guarded("cCloneTask.LoadIncludeFileSpecs", [&] {
        std::string file = pstrTaskSubfolderSpec + m_TaskName + ".kwi";
        if (!pbolTaskListSubfolderExists || !FileExists(file))
            file = gstrAppPath + m_TaskName + ".kwi";
        setIncludeFileSpecs(withoutTrailingLineBreaks(ReadStringFromFile(file)));
    });
}

void cCloneTask::LoadExcludeFileSpecs(const std::string& /*pstrTaskListName*/,
                                      const std::string& pstrTaskSubfolderSpec)
{
    Guarded("cCloneTask.LoadExcludeFileSpecs", [&] {
        setExcludeFileSpecs(
            withoutTrailingLineBreaks(ReadStringFromFile(pstrTaskSubfolderSpec + m_TaskName + ".kwe")));
    });
}

int32_t cCloneTask::ValidateFolder(const std::string& folder, const std::string& kind, bool suppressMessages,
                                   std::string& errorText)
{
    errorText.clear();
    for (;;) {
        int32_t errorNumber = 0;
        const int32_t status = ValidateFolderPath(folder, errorNumber);
        if (status == FolderStatusOk)
            return 0;
        // A removable drive that is missing or not mounted: the person may plug it in.
        if ((status == FolderStatusNotReady || status == FolderStatusNoDrive) &&
            gblnPromptToInsertRemovableDrive) {
            std::string drive;
            const bool ask = status == FolderStatusNoDrive || IsRemovableDrive(folder, drive);
            if (ask) {
                if (status == FolderStatusNoDrive)
                    drive = GetDriveLetter(folder);
                const std::string text =
                    "Drive \"" + drive + "\"" +
                    (status == FolderStatusNotReady ? " is not ready." : " does not exist.") +
                    "\nPlease insert/connect the drive.";
                if (ui().messageBox("Problem Accessing " + kind + " Folder", text, MsgIcon::Exclamation,
                                    MsgButtons::RetryCancel) == MsgResult::Retry)
                    continue;
                return status;
            }
        }
        if (status == FolderStatusNoFolder && kind == "Target" && gClone->CreateTargetFolder()) {
            if (gClone->PlanOnly())
                return 0; // a dry run plans the creation and makes nothing
            CreateFolderPath(folder);
            if (FolderExists(folder, platform::FollowLinks::yes))
                return 0;
        }
        if (gblnScheduledRun)
            return status;
        errorText = GetInvalidPathErrorMsg(status, folder, errorNumber);
        if (!suppressMessages)
            ui().messageBox("Invalid " + kind + " Folder", errorText, MsgIcon::Exclamation, MsgButtons::Ok);
        return status;
    }
}

void cCloneTask::SetFormStateAtCloneBegin(bool pbolRestore)
{
    Guarded("cCloneTask.SetFormStateAtCloneBegin", [&] {
        RunHost& host = runHost();
        host.runStarted(m_TaskName);
        host.setAnimationEnabled(true);
        host.setStatusText(StatusPanel::Panel1,
                           pbolRestore ? "Restore in Progress..." : "Clone in Progress...");
    });
}

void cCloneTask::SetFormStateAtCloneEnd(bool pbolRestore)
{
    Guarded("cCloneTask.SetFormStateAtCloneEnd", [&] {
        RunHost& host = runHost();
        host.setAnimationEnabled(false);
        const std::string what = pbolRestore ? "Restore" : "Clone";
        std::string outcome = what + " Complete";
        if (m_ErrorOnLastClone)
            outcome = CancelRequested ? what + " Cancelled By User" : what + " Complete with Errors";
        host.setStatusText(StatusPanel::Panel1, outcome + " - " + m_TaskName);
        if (!pbolRestore)
            host.setStatusText(StatusPanel::Panel2, "");
        host.runFinished(m_TaskName);
    });
}

void cCloneTask::RunTargets(bool pbolRestore)
{
    const bool hasIncludes = !m_IncludeFileMasks.empty() || !m_IncludeFileSpecs.empty();
    const bool hasExcludes = !m_ExcludeFileMasks.empty() || !m_ExcludeFileSpecs.empty();

    // One spelling from here on: the engine pairs, the log shows and the task saves it.
    m_SourceFolderSpec = canonicalRoot(m_SourceFolderSpec);
    std::vector<std::string> targets;
    for (const std::string& folder : TargetFolders()) {
        std::string canonical = canonicalRoot(folder);
        if (std::find(targets.begin(), targets.end(), canonical) == targets.end())
            targets.push_back(std::move(canonical));
    }
    std::string targetSpec;
    for (const std::string& folder : targets)
        targetSpec += (targetSpec.empty() ? "" : std::string(kTargetSeparator)) + folder;
    if (!m_TargetFolderSpec.empty())
        m_TargetFolderSpec = targetSpec;

    std::string errorText;
    if (!pbolRestore && ValidateFolder(m_SourceFolderSpec, "Source", true, errorText) != 0) {
        m_ErrorOnLastClone = true;
        gCloneLog->Add(LogEntryType::FolderPathError, {}, m_SourceFolderSpec, {}, {}, 0,
                       "Problems processing the Source folder." + errorText);
        return;
    }
    const std::string source = withSlash(m_SourceFolderSpec);

    // Items reach the engine canonical and inside the Source; the others are logged
    // once for the run and never listed, read or written. The mode chosen above stays,
    // so a task whose include items were all refused clones nothing rather than all.
    std::string includeSpecs;
    std::string excludeSpecs;
    if (!m_AllFilesAndFolders) {
        size_t refused = 0;
        includeSpecs = CanonicalSpecString(m_IncludeFileSpecs, source, ItemRole::Include, &refused);
        excludeSpecs = CanonicalSpecString(m_ExcludeFileSpecs, source, ItemRole::Exclude, &refused);
        if (refused > 0)
            m_ErrorOnLastClone = true;
    }
    for (const std::string& folder : targets) {
        runHost().processEvents();
        if (IsCloneCancelled()) {
            m_ErrorOnLastClone = true;
            break;
        }
        if (!pbolRestore && ValidateFolder(folder, "Target", true, errorText) != 0) {
            m_ErrorOnLastClone = true;
            gCloneLog->Add(LogEntryType::FolderPathError, {}, folder, {}, {}, 0,
                           "Problems processing the Target folder." + errorText);
            continue;
        }
        const std::string target = withSlash(folder);
        // Every mode exempts the roots themselves from the hidden and system tests.
        gClone->SourceFolder = source;
        gClone->TargetFolder = target;
        bool ok = false;
        if (m_AllFilesAndFolders) {
            ok = gClone->CloneAll(source, target, m_IncludeSubFolders);
        } else if (hasIncludes && !hasExcludes) {
            ok = gClone->CloneSelected_InclusionsOnly(source, target, m_IncludeSubFolders, includeSpecs,
                                                      m_IncludeFileMasks);
        } else if (hasExcludes && !hasIncludes) {
            ok = gClone->CloneSelected_ExclusionsOnly(source, target, m_IncludeSubFolders, excludeSpecs,
                                                      m_ExcludeFileMasks);
        } else if (hasIncludes && hasExcludes) {
            ok = gClone->CloneSelected_InclusionExclusion(source, target, m_IncludeSubFolders, includeSpecs,
                                                          m_IncludeFileMasks, excludeSpecs,
                                                          m_ExcludeFileMasks);
        } else {
            // No filter at all: the task clones everything, and says so from now on.
            m_AllFilesAndFolders = true;
            ok = gClone->CloneAll(source, target, m_IncludeSubFolders);
        }
        if (!ok)
            m_ErrorOnLastClone = true;
        if (TargetCloned)
            TargetCloned(folder, ok);
    }
}

void cCloneTask::Execute(bool pbolRestore)
{
    gblnCloneRunning = true;
    try {
        gstrCurrentTaskName = m_TaskName;
        m_ErrorOnLastClone = false;
        ResetCancelFlags();

        SetFormStateAtCloneBegin(pbolRestore);
        requireProgramObjects();

        gCloneLog->DeleteLogFileIfMaxSizeIsExceeded();
        gCloneLog->Add(LogEntryType::Begin, m_TaskName);

        // 0: a rule forbids runs now (it logged that itself); not an error.
        if (SetPriorityBasedOnRules() != 0)
            RunTargets(pbolRestore);

        gCloneLog->Add(LogEntryType::End, m_TaskName);
    } catch (...) {
        ReportError("cCloneTask.Execute");
    }

    try {
        runHost().setStatusText(StatusPanel::Panel1, "Cleaning up... ");
        requireProgramObjects();
        gCloneLog->AppendInMemoryStringToLogFile();
        gCloneLog->ResetInMemoryLog();

        if (!pbolRestore) {
            m_LastCloneDateTime = TruncateToSeconds(currentClock().now());
            const CloneTaskPtr stored = gCloneTasks ? gCloneTasks->Item(m_TaskName) : nullptr;
            if (m_IntervalType != 0) {
                m_NextCloneDateTime = DetermineNextCloneDateTime(
                    m_LastCloneDateTime, m_IntervalType, m_IntervalIncrement, m_StartTime, m_DaysOfWeek);
                if (m_NextCloneDateTime == 0)
                    m_ErrorOnLastClone = true;
                if (stored) {
                    stored->setLastCloneDateTime(m_LastCloneDateTime);
                    stored->setNextCloneDateTime(m_NextCloneDateTime);
                    stored->setErrorOnLastClone(m_ErrorOnLastClone);
                }
                if (gCloneTasks)
                    gCloneTasks->SetNextScheduledTask();
            } else if (stored) {
                stored->setLastCloneDateTime(m_LastCloneDateTime);
            }
        }
    } catch (...) {
        ReportError("cCloneTask.Execute");
    }

    // The run host's end hook refreshes the task's row, its icon and the tray icon.
    gblnCloneRunning = false;
    SetFormStateAtCloneEnd(pbolRestore);
    gblnScheduledRun = false;
}

std::string DateSortKey(DateValue value)
{
    const DateParts p = partsFromDate(TruncateToSeconds(value));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d", p.year, p.month, p.day, p.hour, p.minute);
    return buf;
}

std::array<std::string, 7> ModifyTaskInListview(const cCloneTask& task)
{
    std::string targets;
    for (const std::string& folder : task.TargetFolders())
        targets += (targets.empty() ? "" : ", ") + folder;
    const bool manual = task.IntervalType() == 0;
    return {
        task.TaskName(),
        task.SourceFolderSpec(),
        targets,
        manual ? std::string("Manual") : GeneralDateText(task.NextCloneDateTime()),
        GeneralDateText(task.LastCloneDateTime()),
        manual ? std::string() : DateSortKey(task.NextCloneDateTime()),
        DateSortKey(task.LastCloneDateTime()),
    };
}

} // namespace kestrow
