#include "settings/cPriorityRules.h"

#include "base/ErrorReporter.h"
#include "util/AsciiCase.h"

#include <algorithm>
#include <cmath>
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

cPriorityRules* gPriorityRules = nullptr;

namespace {

constexpr int64_t kLastMinuteOfDay = 1439 * 60; // 23:59:00

// The time of day of a value in whole seconds, 0 to 86399.
int64_t secondOfDay(DateValue value)
{
    const int64_t total = std::llround(value * 86400.0);
    const int64_t second = total % 86400;
    return second < 0 ? second + 86400 : second;
}

bool inRange(int64_t t, int64_t begin, int64_t end)
{
    if (begin <= end)
        return begin <= t && t <= end;
    return (0 <= t && t <= end) || (begin <= t && t <= kLastMinuteOfDay);
}

} // namespace

std::vector<cPriorityRule> cPriorityRules::PriorityRules() const
{
    std::lock_guard lock(m_mutex);
    return m_rules;
}

bool cPriorityRules::Add(cPriorityRule poItem)
{
    return Guarded("cPriorityRules.Add", false, [&] {
        poItem.Key = GetPriorityRuleDisplayText(poItem);
        std::lock_guard lock(m_mutex);
        const bool exists = std::any_of(m_rules.begin(), m_rules.end(), [&](const cPriorityRule& r) {
            return util::equalsIgnoringCase(r.Key, poItem.Key);
        });
        if (exists)
            return false;
        m_rules.push_back(std::move(poItem));
        return true;
    });
}

bool cPriorityRules::Remove(const std::string& pstrKey)
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_rules.begin(), m_rules.end(),
                                 [&](const cPriorityRule& r) { return r.Key == pstrKey; });
    if (it == m_rules.end())
        throw RuntimeError(errnum::Generic, "Invalid procedure call or argument");
    m_rules.erase(it);
    return true;
}

int32_t cPriorityRules::Count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int32_t>(m_rules.size());
}

bool cPriorityRules::DoesThisRuleExist(const std::string& pstrKeyOfRule) const
{
    return GetPriorityRuleIndexBasedOnKey(pstrKeyOfRule) != -1;
}

bool cPriorityRules::DoesRuleConflictWithOtherRules(const cPriorityRule& poNewPriorityRule,
                                                    const std::string& pstrIgnoreThisRule) const
{
    return Guarded("cPriorityRules.DoesRuleConflictWithOtherRules", false, [&] {
        const DateValue newStart = poNewPriorityRule.StartTime;
        const DateValue newEnd = poNewPriorityRule.EndTime;
        std::lock_guard lock(m_mutex);
        for (const cPriorityRule& rule : m_rules) {
            if (!pstrIgnoreThisRule.empty() && rule.Key == pstrIgnoreThisRule)
                continue;
            if (IsTimeInRange(newStart, rule.StartTime, rule.EndTime) ||
                IsTimeInRange(newEnd, rule.StartTime, rule.EndTime) ||
                IsTimeInRange(rule.StartTime, newStart, newEnd) ||
                IsTimeInRange(rule.EndTime, newStart, newEnd))
                return true;
        }
        return false;
    });
}

int32_t cPriorityRules::GetApplicablePriorityClass(DateValue pdatTimeToCheck) const
{
    return Guarded("cPriorityRules.GetApplicablePriorityClass", priority::Low, [&] {
        const DateParts parts = partsFromDate(pdatTimeToCheck);
        const DateValue minute = (parts.hour * 60 + parts.minute) / 1440.0;
        std::lock_guard lock(m_mutex);
        for (const cPriorityRule& rule : m_rules) {
            if (!IsTimeInRange(minute, rule.StartTime, rule.EndTime))
                continue;
            switch (rule.Priority) {
            case priority::DoNotRun:
            case priority::Normal:
            case priority::Low:
            case priority::High:
                return rule.Priority;
            default:
                return priority::Low;
            }
        }
        return priority::Low;
    });
}

bool cPriorityRules::IsTimeInRange(DateValue pdatTimeToCheck, DateValue pdatBeginRange,
                                   DateValue pdatEndRange) const
{
    return Guarded("cPriorityRules.IsTimeInRange", false, [&] {
        return inRange(secondOfDay(pdatTimeToCheck), secondOfDay(pdatBeginRange), secondOfDay(pdatEndRange));
    });
}

int32_t cPriorityRules::GetPriorityRuleIndexBasedOnKey(const std::string& pstrKey) const
{
    return Guarded("cPriorityRules.GetPriorityRuleIndexBasedOnKey", int32_t{-1}, [&] {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_rules.size(); ++i) {
            if (m_rules[i].Key == pstrKey)
                return static_cast<int32_t>(i + 1);
        }
        return int32_t{-1};
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
