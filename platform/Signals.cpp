#include "platform/Signals.h"

#include <csignal>
#include <unistd.h>

namespace kestrow::platform {

namespace {
std::atomic<bool>* g_flag = nullptr;
volatile std::sig_atomic_t g_count = 0;
volatile std::sig_atomic_t g_hangUps = 0;

extern "C" void onHangUp(int)
{
    g_hangUps = g_hangUps + 1;
}

extern "C" void onSignal(int sig)
{
    g_count = g_count + 1;
    if (g_flag)
        g_flag->store(true);
    if (g_count >= 3) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
}
} // namespace

void cancelOnSignals(std::atomic<bool>& flag, HangUp hangUp)
{
    static_assert(std::atomic<bool>::is_always_lock_free);
    g_flag = &flag;
    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    if (hangUp == HangUp::Cancels) {
        ::sigaction(SIGHUP, &sa, nullptr);
    } else if (hangUp == HangUp::Counts) {
        struct sigaction counting = sa;
        counting.sa_handler = onHangUp;
        ::sigaction(SIGHUP, &counting, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
}

int signalCount()
{
    return g_count;
}

int hangUpCount()
{
    return g_hangUps;
}

} // namespace kestrow::platform
