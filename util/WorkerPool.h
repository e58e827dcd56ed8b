#pragma once
// Threads that do jobs in the order they were handed in, ahead of the one thread that
// takes their outcomes: the engine's reads ahead (listings, comparisons by contents)
// and its copies.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrow::util {

// A unit of work for a WorkerPool: it touches nothing the waiting thread uses
// meanwhile, and leaves its outcome in itself.
struct PoolJob
{
    virtual ~PoolJob() = default;
    virtual void run() noexcept = 0;
    bool done = false; // under the pool's lock
};

// Threads that do jobs in the order they were handed in, while one thread (the
// waiting thread) takes the outcomes, doing queued jobs itself rather than wait
// idle. A job must outlive its wait(), or be taken back.
class WorkerPool
{
public:
    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_workReady.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    // Threads are made by the thread that will wait: they inherit its priority.
    void start(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    bool started() const { return !m_threads.empty(); }

    // A sleeping thread is woken for a large job, or once a few small ones wait:
    // the waiting thread does queued jobs itself when it waits, so a wake-up (a
    // system call) per small job would cost more than it saves.
    void submit(PoolJob& job, bool large)
    {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(&job);
            wake = m_idleThreads > 0 && (large || m_pending.size() >= kWakeBatch);
        }
        if (wake)
            m_workReady.notify_one();
    }

    // Takes `job` back if no thread has begun it; false when it has (then wait for it).
    bool withdraw(PoolJob& job)
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::find(m_pending.begin(), m_pending.end(), &job);
        if (it == m_pending.end())
            return false;
        m_pending.erase(it);
        return true;
    }

    // Takes `job` back when no thread has begun it (true), else waits until it is
    // done (false): afterwards no thread touches it.
    bool withdrawOrWait(PoolJob& job)
    {
        if (withdraw(job))
            return true;
        wait(job);
        return false;
    }

    // Until `job` is done; queued jobs are done here meanwhile.
    void wait(PoolJob& job)
    {
        std::unique_lock lock(m_mutex);
        while (!job.done) {
            if (!m_pending.empty()) {
                PoolJob* next = m_pending.front();
                m_pending.pop_front();
                lock.unlock();
                execute(*next);
                lock.lock();
                continue;
            }
            m_waiting = true;
            m_jobDone.wait(lock);
            m_waiting = false;
        }
    }

private:
    static constexpr size_t kWakeBatch = 4;

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_pending.empty()) {
                if (m_stopping)
                    return;
                ++m_idleThreads;
                m_workReady.wait(lock);
                --m_idleThreads;
                continue;
            }
            PoolJob* job = m_pending.front();
            m_pending.pop_front();
            lock.unlock();
            execute(*job);
            lock.lock();
        }
    }

    // Waits are rare (the waiting thread mostly finds its job done), so a wake-up
    // goes out only to someone waiting.
    void execute(PoolJob& job)
    {
        job.run();
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            job.done = true;
            wake = m_waiting;
        }
        if (wake)
            m_jobDone.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_jobDone;
    std::deque<PoolJob*> m_pending;
    unsigned m_idleThreads = 0;
    bool m_waiting = false;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace kestrow::util
