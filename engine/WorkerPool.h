#pragma once
// Threads that do jobs in the order they were handed in, for the walk's
// comparisons by contents and the performer's copies.

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrow::clone_detail {

// Jobs on files of this size or more are worth a thread's wake-up each.
inline constexpr uint64_t kLargeJobBytes = 256 * 1024;

// A unit of work for a WorkerPool: it touches nothing the run's thread uses
// meanwhile (no log, no run host), and leaves its outcome in itself.
struct PoolJob
{
    virtual ~PoolJob() = default;
    virtual void run() noexcept = 0;
    bool done = false; // under the pool's lock
};

// Threads that do jobs in the order they were handed in, while the run's thread
// takes the outcomes in that same order (doing queued jobs itself rather than
// wait idle). Jobs must outlive their wait().
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
    // the run's thread does queued jobs itself when it waits, so a wake-up (a
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

    // Waits are rare (the run's thread mostly finds its job done), so a wake-up
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

// Copy threads besides the run's own: one per further core, at most three.
inline unsigned CopyThreadCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 2 ? 1u : std::min(cores - 1, 3u);
}

} // namespace kestrow::clone_detail
