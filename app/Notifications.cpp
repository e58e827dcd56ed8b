#include "app/Notifications.h"

#include "app/Scheduler.h"
#include "engine/RunControl.h"
#include "tasks/Schedule.h"
#include "tasks/cCloneTasks.h"
#include "util/AsciiCase.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace kestrow {

bool gblnNotifications = true;

namespace {

// Days from one chosen weekday to the next, at most: 7 with a single day, 1 with all.
int longestWeekdayGap(int32_t daysOfWeek)
{
    int longest = 0;
    for (int day = 0; day < 7; ++day) {
        if (!(daysOfWeek & (1 << day)))
            continue;
        int gap = 1;
        while (gap < 7 && !(daysOfWeek & (1 << ((day + gap) % 7))))
            ++gap;
        longest = std::max(longest, gap);
    }
    return longest;
}

} // namespace

Notification RunEndedWithErrorsNotification(const std::string& taskName)
{
    return {NotificationKind::RunEndedWithErrors, taskName, "Kestrow: task ended with errors",
            "The scheduled task \"" + taskName + "\" ended with errors. The log has the details."};
}

Notification NotRunForTooLongNotification(const std::string& taskName, DateValue due)
{
    return {NotificationKind::NotRunForTooLong, taskName, "Kestrow: task not run",
            "The scheduled task \"" + taskName + "\" has not been able to run since it was due at " +
                GeneralDateText(due) + "."};
}

int SyslogPriority(NotificationKind kind)
{
    return kind == NotificationKind::RunEndedWithErrors ? 3 : 4;
}

DateValue OverdueLimit(const cCloneTask& task)
{
    const DateValue next = task.NextCloneDateTime();
    if (next == 0 || task.IntervalType() == 0 ||
        CheckScheduleFields(task.IntervalType(), task.IntervalIncrement(), task.StartTime(),
                            task.DaysOfWeek()) != ScheduleFault::None)
        return 0;
    const double increment = task.IntervalIncrement();
    switch (task.IntervalType()) {
    case 1:
        return next + 2 * increment / 1440.0;
    case 2:
        return next + 2 * increment / 24.0;
    case 3:
        return next + 2 * increment;
    case 4:
        return next + 2 * longestWeekdayGap(task.DaysOfWeek());
    case 5:
        return AddMonths(next, 2);
    case 6: {
        const DateValue timeOfDay = next - std::floor(next);
        return GetLastDayOfMonth(AddMonths(GetFirstDayOfMonth(next), 2)) + timeOfDay;
    }
    default:
        return 0;
    }
}

bool IsNotRunForTooLong(const cCloneTask& task, DateValue now)
{
    const DateValue limit = OverdueLimit(task);
    return limit != 0 && MinuteBoundariesBetween(limit, now) > 0;
}

void Notifier::scheduledRunEnded(const cCloneTask& task)
{
    if (!m_sink || !gblnNotifications)
        return;
    if (task.ErrorOnLastClone() && !CancelRequested)
        m_sink->notify(RunEndedWithErrorsNotification(task.TaskName()));
}

void Notifier::checkOverdue(const cCloneTasks& tasks, DateValue now)
{
    if (!m_sink || !gblnNotifications) {
        m_named.clear();
        return;
    }
    std::set<std::string> present;
    for (const CloneTaskPtr& task : tasks.Tasks()) {
        // Tasks are told apart as the task list tells them apart: ASCII letters folded.
        const std::string key = util::asciiLower(task->TaskName());
        present.insert(key);
        const auto named = m_named.find(key);
        if (named != m_named.end()) {
            if (named->second == task->NextCloneDateTime())
                continue;
            // It ran (or was rescheduled) since it was named.
            m_named.erase(named);
        }
        if (IsNotRunForTooLong(*task, now)) {
            m_named.emplace(key, task->NextCloneDateTime());
            m_sink->notify(NotRunForTooLongNotification(task->TaskName(), task->NextCloneDateTime()));
        }
    }
    std::erase_if(m_named, [&present](const auto& entry) { return !present.contains(entry.first); });
}

} // namespace kestrow
