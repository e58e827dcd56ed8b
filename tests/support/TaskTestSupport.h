#pragma once
// What every task test stands on: its own temporary folder (environment pointed
// into it), scripted UI services, a clock that stands still, a run host that
// records what a run shows, and fresh program objects (gClone, gCloneLog,
// gCompare, gCloneTasks, gPriorityRules) installed for the test.

#include "base/DateTime.h"
#include "base/RunHost.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/cPriorityRules.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrow::test {

// Records the status texts and the window-state hooks of a run, and calls
// `onProcessEvents` (when set) each time the run lets events through, on the
// run's thread, so a test can act mid-run.
class RecordingRunHost : public RunHost
{
public:
    void setStatusText(StatusPanel panel, const std::string& text) override;
    void processEvents() override;
    void runStarted(const std::string& taskName) override { events.push_back("started " + taskName); }
    void runFinished(const std::string& taskName) override { events.push_back("finished " + taskName); }
    void setAnimationEnabled(bool on) override { events.push_back(on ? "animation on" : "animation off"); }

    std::vector<std::string> panel1;
    std::vector<std::string> panel2;
    // Both panels in order: "1:text" or "2:text".
    std::vector<std::string> statusLog;
    std::vector<std::string> events;
    std::function<void()> onProcessEvents;
};

class TaskTest : public ::testing::Test
{
protected:
    TaskTest();
    ~TaskTest() override;

    // Runs the task's Execute on a thread of its own, as the front ends do.
    static void run(cCloneTask& task, bool restore = false);

    // A task named `name` cloning `source` to `targets` ("<:>"-joined).
    static CloneTaskPtr makeTask(const std::string& name, const std::string& source,
                                 const std::string& targets);

    // Log lines recorded since the test began, without their date and time.
    std::vector<std::string> logEntries() const;
    int logCount(const std::string& text) const;

    // The recorded prompts that were message boxes, as "title|text".
    std::vector<std::string> messageTexts() const;

    TempDir tmp;
    ScriptedUiServices scripted;
    // Monday 2 March 2026, 10:00:00.
    ManualClock clock{dateFromParts({2026, 3, 2, 10, 0, 0})};
    ScopedClock scopedClock{clock};
    RecordingRunHost host;
    ScopedRunHost scopedHost{host};
    cCloneLog log;
    cCompare compare;
    cClone clone;
    cCloneTasks tasks;
    cPriorityRules rules;

private:
    std::vector<std::string> m_lines;
};

} // namespace kestrow::test
