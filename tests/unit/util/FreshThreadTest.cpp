// A job on a thread of its own, ended before the call returns; the calling thread
// meanwhile runs what it must (a front end's event loop).

#include "util/FreshThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace kestrow::util {
namespace {

using namespace std::chrono_literals;

// Waits up to a few seconds for `flag`; false when it never came.
bool waitFor(const std::atomic<bool>& flag)
{
    for (int i = 0; i < 500 && !flag; ++i)
        std::this_thread::sleep_for(10ms);
    return flag;
}

TEST(FreshThread, TheJobRunsElsewhereAndHasEndedOnReturn)
{
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> finished{false};
    runOnFreshThread([&] {
        std::this_thread::sleep_for(20ms);
        ranOn = std::this_thread::get_id();
        finished = true;
    });
    EXPECT_TRUE(finished);
    EXPECT_NE(ranOn, caller);
}

TEST(FreshThread, TheCallerWorksWhileTheJobRuns)
{
    // The job waits for the caller and the caller for the job: only both at once end.
    std::atomic<bool> callerWorked{false}, jobStarted{false};
    bool jobSawCaller = false, callerSawJob = false;
    runOnFreshThread(
        [&] {
            jobStarted = true;
            jobSawCaller = waitFor(callerWorked);
        },
        [&] {
            callerSawJob = waitFor(jobStarted);
            callerWorked = true;
        });
    EXPECT_TRUE(jobSawCaller);
    EXPECT_TRUE(callerSawJob);
}

TEST(FreshThread, WhatTheJobThrowsArrivesAtTheCaller)
{
    EXPECT_THROW(runOnFreshThread([] { throw std::runtime_error("job failed"); }), std::runtime_error);
}

TEST(FreshThread, TheJobIsWaitedForEvenWhenTheCallersPartThrows)
{
    std::atomic<bool> finished{false};
    try {
        runOnFreshThread(
            [&] {
                std::this_thread::sleep_for(50ms);
                finished = true;
            },
            [] { throw std::logic_error("loop failed"); });
        FAIL() << "the caller's exception was lost";
    } catch (const std::logic_error&) {
        EXPECT_TRUE(finished);
    }
}

} // namespace
} // namespace kestrow::util
