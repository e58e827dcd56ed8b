#pragma once
// Status texts of a run on stderr: on a terminal one line kept up to date,
// elsewhere one line per change of the first panel. With progress on, a run
// shows a progress line in their place (on a terminal one line redrawn at
// most four times a second, elsewhere a plain line at most once a second) and
// a one-line summary at its end. None of it goes to stdout or the log.

#include "base/RunHost.h"
#include "cli/ProgressText.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kestrow::cli {

enum class ProgressChoice
{
    Auto, // when stderr is a terminal and the run is not quiet
    On,   // whatever stderr is and whatever -q says (-q then drops the status texts only)
    Off,
};

class ConsoleRunHost : public RunHost
{
public:
    // `namedSummary`: the summary begins with the task's name (runs of saved tasks).
    explicit ConsoleRunHost(bool quiet, ProgressChoice progress = ProgressChoice::Auto,
                            bool namedSummary = false);
    ~ConsoleRunHost() override;
    ConsoleRunHost(const ConsoleRunHost&) = delete;
    ConsoleRunHost& operator=(const ConsoleRunHost&) = delete;

    void setStatusText(StatusPanel panel, const std::string& text) override;
    void runStarted(const std::string& taskName) override;
    void runFinished(const std::string& taskName) override;
    bool wantsProgress() const override { return m_progress; }
    void comparingStarted(const std::string& source, const std::string& target) override;
    void performingStarted(const PlannedWork& plan) override;
    void workDone(WorkKind kind, uint64_t bytes, bool happened) override;

    // A line of the clone log for stdout (from any thread that logs); a
    // progress line sharing the terminal makes way for it and comes back below.
    void echoLogLine(const std::string& line);
    // The same for a line on stderr.
    void echoError(const std::string& text);

private:
    using Clock = std::chrono::steady_clock;

    void showStatus(StatusPanel panel, const std::string& text);
    void startTicker();
    void stopTicker();
    void tickerLoop();
    // Asks the ticker for a line now, as far as the rate allows.
    void drawSoon();
    // With m_mutex held.
    std::string progressTextLocked();
    void drawLocked();
    void clearLocked();

    const bool m_quiet;
    const bool m_progress;
    const bool m_drawOnTerminal; // the progress line is redrawn in place
    const bool m_sharedTerminal; // stdout is a terminal too
    const bool m_namedSummary;

    // The status texts. Without progress only the thread of the run uses them;
    // with it they are behind m_mutex like all writes to stderr.
    bool m_terminal = false;
    bool m_shown = false;
    std::string m_panel1;
    std::string m_panel2;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_ticker;
    bool m_stop = false;
    bool m_urgent = false;
    std::string m_lastText; // the progress text last written
    std::string m_target;
    ProgressEstimate m_estimate; // the ticker's
    uint32_t m_estimated = 0;    // the generation m_estimate is of

    // Written by the run's thread, read by the ticker.
    std::atomic<bool> m_inTarget{false};
    std::atomic<uint32_t> m_generation{0};
    std::atomic<uint8_t> m_phase{0};
    std::atomic<bool> m_planned{false};
    std::atomic<uint64_t> m_compared{0};
    std::atomic<uint64_t> m_filesTotal{0}, m_bytesTotal{0}, m_deletionsTotal{0}, m_foldersTotal{0},
        m_othersTotal{0};
    std::atomic<uint64_t> m_filesDone{0}, m_bytesDone{0}, m_deletionsDone{0}, m_foldersDone{0},
        m_othersDone{0};
    std::atomic<uint64_t> m_copiedBytes{0}; // counted by the copies themselves
    std::atomic<uint64_t> m_copiedBase{0};  // m_copiedBytes when this Target's list began
    std::atomic<int64_t> m_performStart{0}; // Clock ticks

    // The task run's summary; errors come from the log lines (any thread).
    RunSummary m_summary;
    std::atomic<uint64_t> m_errors{0};
    Clock::time_point m_runStart;
};

} // namespace kestrow::cli
