#include "tasks/modChangePriority.h"

#include "base/ErrorReporter.h"
#include "log/CloneLog.h"
#include "platform/Priority.h"

namespace kestrow {

int32_t SetPriorityBasedOnRules()
{
    int32_t priorityClass = 0;
    try {
        const DateValue now = currentClock().now();
        priorityClass = gPriorityRules ? gPriorityRules->GetApplicablePriorityClass(now) : priority::Low;
        if (priorityClass != priority::DoNotRun) {
            ChangePriority(priorityClass);
            return priorityClass;
        }
        if (gCloneLog)
            gCloneLog->Add(LogEntryType::InformationOnly, {}, {}, {}, {}, 0, {},
                           "Task was not run because Priority Rule for this time is set to DO NOT RUN");
        return priority::DoNotRun;
    } catch (...) {
        ReportError("modChangePriority.SetPriorityBasedOnRules()");
        return priorityClass;
    }
}

bool ChangePriority(int32_t plngPriorityClass)
{
    return Guarded("modChangePriority.ChangePriority", false, [&] {
        if (plngPriorityClass == priority::DoNotRun)
            return false;
        if (platform::currentThreadPriorityClass() == plngPriorityClass)
            return false;
        return platform::setThreadPriorityClass(plngPriorityClass) == 0;
    });
}

} // namespace kestrow
