// The pool behind the walk's comparisons ahead and the performer's copies: every
// job handed in is done exactly once, by a pool thread or by the waiting thread
// itself, and a job taken back before it began is never done.

#include "engine/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <set>
#include <thread>

namespace kestrow::clone_detail {
namespace {

struct CountingJob : PoolJob
{
    std::atomic<int> runs{0};
    std::thread::id by;
    void run() noexcept override
    {
        ++runs;
        by = std::this_thread::get_id();
    }
};

TEST(WorkerPool, EveryJobIsDoneOnceAndWaitedForInOrder)
{
    for (const unsigned threads : {0u, 1u, 3u}) {
        SCOPED_TRACE(threads);
        WorkerPool pool;
        pool.start(threads);
        EXPECT_EQ(pool.started(), threads > 0);
        std::deque<CountingJob> jobs(500);
        for (size_t i = 0; i < jobs.size(); ++i)
            pool.submit(jobs[i], i % 50 == 0);
        std::set<std::thread::id> doers;
        for (CountingJob& job : jobs) {
            pool.wait(job);
            EXPECT_EQ(job.runs.load(), 1);
            doers.insert(job.by);
        }
        // Without threads the waiting thread does every job itself.
        if (threads == 0) {
            EXPECT_EQ(doers, std::set<std::thread::id>{std::this_thread::get_id()});
        }
    }
}

TEST(WorkerPool, AJobTakenBackBeforeItBeganIsNeverDone)
{
    WorkerPool pool; // no threads: nothing begins until someone waits
    CountingJob kept, withdrawn;
    pool.submit(withdrawn, false);
    pool.submit(kept, false);
    EXPECT_TRUE(pool.withdraw(withdrawn));
    EXPECT_FALSE(pool.withdraw(withdrawn)) << "a job is taken back once";
    pool.wait(kept);
    EXPECT_EQ(kept.runs.load(), 1);
    EXPECT_EQ(withdrawn.runs.load(), 0);
}

TEST(WorkerPool, AJobAlreadyDoneCannotBeTakenBack)
{
    WorkerPool pool;
    CountingJob job;
    pool.submit(job, false);
    pool.wait(job);
    EXPECT_FALSE(pool.withdraw(job));
    EXPECT_EQ(job.runs.load(), 1);
}

TEST(WorkerPool, JobsLeftWhenThePoolEndsAreNotRunAfterwards)
{
    std::deque<CountingJob> jobs(64);
    {
        WorkerPool pool;
        pool.start(2);
        for (CountingJob& job : jobs)
            pool.submit(job, true);
        pool.wait(jobs.back());
    } // the threads are joined here
    for (const CountingJob& job : jobs)
        EXPECT_LE(job.runs.load(), 1);
    EXPECT_EQ(jobs.back().runs.load(), 1);
}

} // namespace
} // namespace kestrow::clone_detail
