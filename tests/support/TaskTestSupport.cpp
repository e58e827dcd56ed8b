#include "tests/support/TaskTestSupport.h"

#include "base/AppState.h"
#include "engine/RunControl.h"
#include "lumbrel/Lumbrel.h"
#include "platform/SystemInfo.h"
#include "util/FreshThread.h"
#include "zelcommon/ZelCommon.h"

namespace kestrow::test {

void RecordingRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    (panel == StatusPanel::Panel1 ? panel1 : panel2).push_back(text);
    statusLog.push_back((panel == StatusPanel::Panel1 ? "1:" : "2:") + text);
}

void RecordingRunHost::processEvents()
{
    // A copy, so a hook may clear itself while it runs.
    if (const std::function<void()> hook = onProcessEvents)
        hook();
}

TaskTest::TaskTest()
{
    std::string failed;
    if (!zc::load(platform::executableFolder(), failed) ||
        !lumbrel::load(platform::executableFolder(), failed))
        ADD_FAILURE() << "cannot load " << failed;
    gCloneLog = &log;
    gCompare = &compare;
    gClone = &clone;
    gCloneTasks = &tasks;
    gPriorityRules = &rules;
    clone.setConfirmSyncActions(false);
    clone.setDeleteMethod(0);
    log.setLineObserver([this](const std::string& line) { m_lines.push_back(line); });
    ResetCancelFlags();
    gblnPromptToInsertRemovableDrive = false;
    gblnScheduledRun = false;
    gblnCloneRunning = false;
}

TaskTest::~TaskTest()
{
    log.setLineObserver({});
    gCloneLog = nullptr;
    gCompare = nullptr;
    gClone = nullptr;
    gCloneTasks = nullptr;
    gPriorityRules = nullptr;
    ResetCancelFlags();
    gblnPromptToInsertRemovableDrive = false;
    gblnScheduledRun = false;
}

void TaskTest::run(cCloneTask& task, bool restore)
{
    util::runOnFreshThread([&] { task.Execute(restore); });
}

CloneTaskPtr TaskTest::makeTask(const std::string& name, const std::string& source,
                                const std::string& targets)
{
    auto task = std::make_shared<cCloneTask>();
    task->setTaskName(name);
    task->setSourceFolderSpec(source);
    task->setTargetFolderSpec(targets);
    return task;
}

std::vector<std::string> TaskTest::logEntries() const
{
    // The clock stands still, so every line begins with the same date text.
    const std::string date = GeneralDateText(clock.now());
    std::vector<std::string> entries;
    for (std::string line : m_lines) {
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        entries.push_back(line.starts_with(date) ? line.substr(date.size()) : line);
    }
    return entries;
}

int TaskTest::logCount(const std::string& text) const
{
    int count = 0;
    for (const std::string& entry : logEntries())
        count += entry.find(text) != std::string::npos ? 1 : 0;
    return count;
}

std::vector<std::string> TaskTest::messageTexts() const
{
    std::vector<std::string> out;
    for (const RecordedPrompt& p : scripted.messages())
        out.push_back(p.title + "|" + p.text);
    return out;
}

} // namespace kestrow::test
