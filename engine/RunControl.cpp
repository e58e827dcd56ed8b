#include "engine/RunControl.h"

#include "log/CloneLog.h"

namespace kestrow {

std::atomic<bool> CancelRequested{false};
std::atomic<bool> CancelLogged{false};

bool IsCloneCancelled()
{
    if (!CancelRequested.load(std::memory_order_relaxed))
        return false;
    // exchange, so two threads that see the flag at once still log it once
    if (!CancelLogged.exchange(true) && gCloneLog)
        gCloneLog->Add(LogEntryType::UserCancelledError);
    return true;
}

void ResetCancelFlags()
{
    CancelRequested = false;
    CancelLogged = false;
}

} // namespace kestrow
