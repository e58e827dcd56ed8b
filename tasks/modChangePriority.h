#pragma once
// Switching the priority of a run by the rules of gPriorityRules. The priority is
// set on the calling thread (the thread that does the run's engine work), so a
// later run on a fresh thread starts again from the priority the program began with.

#include "settings/cPriorityRules.h"

#include <cstdint>
#include <string>

namespace kestrow {

// Called at the start of a run, on the thread that will do its work. Looks up the
// class for the present minute (currentClock()); a class other than 0 is applied
// (ChangePriority) and returned. Class 0 logs the information entry "Task was not
// run because Priority Rule for this time is set to DO NOT RUN" to gCloneLog and
// returns 0: the task must not run. After a reported failure
// ("modChangePriority.SetPriorityBasedOnRules()") the result is the class found so
// far, 0 when the lookup had not finished.
int32_t SetPriorityBasedOnRules();

// Applies a class (64, 32 or 128) to the calling thread. Class 0: false, nothing done.
// False with nothing done when the thread already has that class. Otherwise true
// exactly when the system accepted the whole change; a refused change (raising the
// priority without the right to) is otherwise ignored. Failures are reported as
// "modChangePriority.ChangePriority" and give false.
bool ChangePriority(int32_t plngPriorityClass);

} // namespace kestrow
