#include "settings/modChangePriority.h"

#include "app/services/ErrorReporter.h"
#include "log/CloneLog.h"
#include "platform/Priority.h"

#include <cstdio>

namespace kestrow {

namespace {

// "Hh:Nn AM/PM": two-digit hour of the 12-hour clock, two-digit minute.
std::string clockText(DateValue value)
{
    const DateParts p = partsFromDate(value);
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d %s", hour12, p.minute, p.hour < 12 ? "AM" : "PM");
    return buf;
}

const char* priorityName(int32_t priorityClass)
{
    switch (priorityClass) {
    case priority::DoNotRun:
        return "DO NOT RUN";
    case priority::Normal:
        return "NORMAL PRIORITY";
    case priority::Low:
        return "LOW PRIORITY";
    case priority::High:
        return "HIGH PRIORITY";
    default:
        return "";
    }
}

} // namespace

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

std::string GetPriorityRuleDisplayText(const cPriorityRule* pPriorityRule)
{
    if (!pPriorityRule)
        return {};
    return clockText(pPriorityRule->StartTime) + " to " + clockText(pPriorityRule->EndTime) + " - " +
           priorityName(pPriorityRule->Priority);
}

} // namespace kestrow
