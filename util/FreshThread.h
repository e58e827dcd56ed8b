#pragma once
// A job run on a thread made for it and ended with it. Each run of a task gets one: a
// priority its rules give the thread ends with the run instead of staying on the
// caller's thread.

#include <exception>
#include <functional>
#include <thread>
#include <utility>

namespace kestrow::util {

// Runs `job` on a fresh thread and returns once that thread has ended. Meanwhile the
// calling thread runs `whileRunning` (a front end's event loop, say: the job may need
// the caller's thread for its prompts); the job's end is waited for even when
// `whileRunning` returns early or throws. What the job throws is thrown again here.
template <typename Job, typename WhileRunning> void runOnFreshThread(Job&& job, WhileRunning&& whileRunning)
{
    std::exception_ptr failure;
    {
        std::jthread worker([&] {
            try {
                std::invoke(job);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        std::invoke(whileRunning);
    } // joined here
    if (failure)
        std::rethrow_exception(failure);
}

// The same with the calling thread waiting idle.
template <typename Job> void runOnFreshThread(Job&& job)
{
    runOnFreshThread(std::forward<Job>(job), [] {});
}

} // namespace kestrow::util
