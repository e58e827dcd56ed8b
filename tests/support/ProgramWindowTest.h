#pragma once
// What the window tests that run the program's work stand on: a temporary folder with
// the environment pointed into it, scripted answers, a still clock, fresh program objects
// (gClone, gCloneLog, gCompare, gCloneTasks, gPriorityRules) and a run host whose hooks a
// test can fill. In kestrow_qt_test_support, apart from the fixtures without Qt.

#include "base/DateTime.h"
#include "base/RunHost.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/cPriorityRules.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "ui/qt/QtText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrow::test {

using gui::q;
using gui::s;

// A run host that lets the window's events run and calls `onProcessEvents` (once
// per call, on whichever thread the run calls from) so a test can act mid-run.
class HookRunHost : public RunHost
{
public:
    void setStatusText(StatusPanel, const std::string&) override {}
    void processEvents() override;
    std::function<void()> onProcessEvents;
};

// Runs `work` on a thread of its own while this thread runs its events, as the
// desktop program runs a task's work.
void runWithEventLoop(const std::function<void()>& work);

class ProgramWindowTest : public ::testing::Test
{
public:
    // A file's content, or "<missing>".
    static std::string content(const std::string& path);
    static bool exists(const std::string& path);

protected:
    ProgramWindowTest();
    ~ProgramWindowTest() override;

    // The recorded message boxes as "title|text".
    std::vector<std::string> messageTexts() const;

    TempDir tmp;
    ScriptedUiServices scripted;
    ManualClock clock{dateFromParts({2026, 3, 2, 10, 0, 0})};
    ScopedClock scopedClock{clock};
    HookRunHost host;
    ScopedRunHost scopedHost{host};
    cCloneLog log;
    cCompare compare;
    cClone clone;
    cCloneTasks tasks;
    cPriorityRules rules;
};

} // namespace kestrow::test
