#pragma once
// cPriorityRule and cPriorityRules: the time-of-day rules that choose the priority
// of a run, or forbid runs in a period. The list is edited on the window thread and
// read at the start of each run (possibly on the run's worker thread), so every
// operation takes the list's lock and PriorityRules() hands out a copy.

#include "base/DateTime.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kestrow {

// Priority classes. 0 is not a class: it forbids runs in the rule's period.
namespace priority {
constexpr int32_t DoNotRun = 0;
constexpr int32_t Normal = 32;
constexpr int32_t Low = 64;
constexpr int32_t High = 128;
} // namespace priority

struct cPriorityRule
{
    DateValue StartTime = 0; // first minute of the period (time of day, date part zero)
    DateValue EndTime = 0;   // last minute of the period, inclusive; earlier than StartTime: through midnight
    int32_t Priority = 0;    // 64 low, 32 normal, 128 high, 0 do not run
    std::string Key;         // display text, set by cPriorityRules::Add
};

class cPriorityRules
{
public:
    cPriorityRules() = default;
    cPriorityRules(const cPriorityRules&) = delete;
    cPriorityRules& operator=(const cPriorityRules&) = delete;

    // The rules in list order (a snapshot).
    std::vector<cPriorityRule> PriorityRules() const;

    // Sets the rule's Key to its display text and appends it. False, silently, when a
    // rule with that display text (ignoring case) exists; false after a report as
    // "cPriorityRules.Add" on any other failure.
    bool Add(cPriorityRule poItem);

    // Removes the rule whose Key equals `pstrKey` exactly and returns true. A key that
    // is not in the list is the caller's error: throws RuntimeError 5 (nothing is
    // reported here), for the caller's error boundary to report.
    bool Remove(const std::string& pstrKey);

    int32_t Count() const;

    // Whether a rule's Key equals `pstrKeyOfRule` exactly.
    bool DoesThisRuleExist(const std::string& pstrKeyOfRule) const;

    // Whether the new rule's period touches or overlaps the period of any rule other
    // than the one keyed `pstrIgnoreThisRule` (exact match; empty skips none). Ends are
    // inclusive, so periods sharing a boundary minute conflict. False after a report
    // ("cPriorityRules.DoesRuleConflictWithOtherRules") on failure.
    bool DoesRuleConflictWithOtherRules(const cPriorityRule& poNewPriorityRule,
                                        const std::string& pstrIgnoreThisRule) const;

    // The class in force at `pdatTimeToCheck` (only its hour and minute count): the
    // Priority of the first rule in list order whose period holds that minute when it
    // is 0, 32, 64 or 128; 64 for any other value and when no rule holds it. 64 after
    // a report ("cPriorityRules.GetApplicablePriorityClass") on failure.
    int32_t GetApplicablePriorityClass(DateValue pdatTimeToCheck) const;

    // Whether the time of day of `pdatTimeToCheck` lies in [begin, end], both ends
    // inclusive, all three taken as day fractions (to the second). A begin later than
    // the end is a period through midnight: 0 to end, or begin to 23:59:00; a time
    // after 23:59:00 is not in such a period.
    bool IsTimeInRange(DateValue pdatTimeToCheck, DateValue pdatBeginRange, DateValue pdatEndRange) const;

    // 1-based position of the first rule whose Key equals `pstrKey` (case counts), or -1.
    int32_t GetPriorityRuleIndexBasedOnKey(const std::string& pstrKey) const;

private:
    mutable std::mutex m_mutex;
    std::vector<cPriorityRule> m_rules;
};

// The program-wide rules, created at start-up and released at shutdown; null before.
// While it is null every time is low priority.
extern cPriorityRules* gPriorityRules;

// "Hh:Nn AM/PM to Hh:Nn AM/PM - NAME", e.g. "12:00 AM to 11:59 PM - LOW PRIORITY";
// names: 0 "DO NOT RUN", 32 "NORMAL PRIORITY", 64 "LOW PRIORITY", 128 "HIGH
// PRIORITY", any other value an empty name. Empty for no rule (null).
std::string GetPriorityRuleDisplayText(const cPriorityRule* pPriorityRule);
inline std::string GetPriorityRuleDisplayText(const cPriorityRule& pPriorityRule)
{
    return GetPriorityRuleDisplayText(&pPriorityRule);
}

} // namespace kestrow
