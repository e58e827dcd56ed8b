#include "tests/support/ProgramWindowTest.h"

#include "base/AppState.h"
#include "engine/RunControl.h"
#include "lumbrel/Lumbrel.h"
#include "platform/SystemInfo.h"
#include "zelcommon/ZelCommon.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace kestrow::test {

void HookRunHost::processEvents()
{
    // A copy, so a hook may clear itself while it runs.
    if (const std::function<void()> hook = onProcessEvents)
        hook();
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
}

void runWithEventLoop(const std::function<void()>& work)
{
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

ProgramWindowTest::ProgramWindowTest()
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
    // Normal priority all day: a run on this thread leaves its priority as it was.
    cPriorityRule normal;
    normal.StartTime = 0;
    normal.EndTime = 1439.0 / 1440.0;
    normal.Priority = 32;
    rules.Add(normal);
    clone.setConfirmSyncActions(false);
    ResetCancelFlags();
    gblnPromptToInsertRemovableDrive = false;
    gblnScheduledRun = false;
    gblnCloneRunning = false;
}

ProgramWindowTest::~ProgramWindowTest()
{
    gCloneLog = nullptr;
    gCompare = nullptr;
    gClone = nullptr;
    gCloneTasks = nullptr;
    gPriorityRules = nullptr;
    ResetCancelFlags();
    gblnCloneRunning = false;
}

std::vector<std::string> ProgramWindowTest::messageTexts() const
{
    std::vector<std::string> out;
    for (const RecordedPrompt& p : scripted.messages())
        out.push_back(p.title + "|" + p.text);
    return out;
}

std::string ProgramWindowTest::content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool ProgramWindowTest::exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

} // namespace kestrow::test
