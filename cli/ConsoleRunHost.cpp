#include "cli/ConsoleRunHost.h"

#include "log/OneLine.h"
#include "platform/FileOps.h"
#include "platform/SystemInfo.h"

#include <charconv>
#include <iostream>

namespace kestrow::cli {

namespace {

constexpr auto kTerminalInterval = std::chrono::milliseconds(250);
constexpr auto kPlainInterval = std::chrono::seconds(1);
constexpr const char* kClearLine = "\r\033[K";
constexpr size_t kColumnsWhenUnknown = 80;

// The run's thread is the only writer of these counters: no locked add needed.
void bump(std::atomic<uint64_t>& counter, uint64_t by = 1)
{
    counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
}

uint64_t load(const std::atomic<uint64_t>& counter)
{
    return counter.load(std::memory_order_relaxed);
}

ProgressPhase phaseOf(WorkKind kind)
{
    switch (kind) {
    case WorkKind::Copy:
        return ProgressPhase::Copying;
    case WorkKind::Delete:
        return ProgressPhase::Deleting;
    case WorkKind::MakeFolder:
        return ProgressPhase::MakingFolders;
    case WorkKind::RemoveFolder:
        return ProgressPhase::RemovingFolders;
    case WorkKind::Other:
        break;
    }
    return ProgressPhase::Updating;
}

// "1234 files", the comparison's count, as a number.
bool comparedCount(std::string_view text, uint64_t& n)
{
    if (!text.ends_with(" files"))
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && end == text.data() + text.size() - 6;
}

} // namespace

ConsoleRunHost::ConsoleRunHost(bool quiet, ProgressChoice progress, bool namedSummary)
    : m_quiet(quiet), m_progress(progress == ProgressChoice::On || (progress == ProgressChoice::Auto &&
                                                                    !quiet && platform::stderrIsTerminal())),
      m_drawOnTerminal(m_progress && platform::stderrIsTerminal()),
      m_sharedTerminal(m_drawOnTerminal && platform::stdoutIsTerminal()), m_namedSummary(namedSummary)
{
}

ConsoleRunHost::~ConsoleRunHost()
{
    stopTicker();
    if (m_progress)
        platform::setCopiedBytesCounter(nullptr);
    const std::lock_guard lock(m_mutex);
    clearLocked();
}

void ConsoleRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    if (!m_progress)
        return showStatus(panel, text);
    if (m_inTarget.load(std::memory_order_relaxed)) {
        // The progress line says it all; only the comparison's count is of use.
        uint64_t n = 0;
        if (panel == StatusPanel::Panel2 && !m_planned.load(std::memory_order_relaxed) &&
            comparedCount(text, n))
            m_compared.store(n, std::memory_order_relaxed);
        if (!m_drawOnTerminal && panel == StatusPanel::Panel1)
            showStatus(panel, text);
        return;
    }
    showStatus(panel, text);
}

void ConsoleRunHost::showStatus(StatusPanel panel, const std::string& raw)
{
    if (m_quiet)
        return;
    // A file name in a status text must not reach the terminal as a command.
    const std::string text = OneLineForm(raw);
    std::unique_lock lock(m_mutex, std::defer_lock);
    if (m_progress)
        lock.lock(); // the ticker writes to stderr too
    m_terminal = platform::stderrIsTerminal();
    if (panel == StatusPanel::Panel1) {
        if (text == m_panel1)
            return;
        m_panel1 = text;
        m_panel2.clear();
        if (!m_terminal) {
            std::cerr << text << '\n';
            return;
        }
    } else {
        m_panel2 = text;
        if (!m_terminal)
            return;
    }
    // Outside a Target's work the ticker shows the same text: it draws it.
    if (m_progress && m_ticker.joinable())
        return;
    const std::string line = m_panel1 + (m_panel2.empty() ? "" : "  ") + m_panel2;
    std::cerr << kClearLine << line << std::flush;
    m_shown = true;
    if (m_progress)
        m_lastText = line; // what a log line on the same terminal puts back
}

void ConsoleRunHost::runStarted(const std::string& /*taskName*/)
{
    if (!m_progress)
        return;
    m_summary = {};
    m_errors.store(0);
    m_runStart = Clock::now();
    m_inTarget.store(false);
    platform::setCopiedBytesCounter(&m_copiedBytes);
    startTicker();
}

void ConsoleRunHost::runFinished(const std::string& taskName)
{
    if (!m_progress)
        return;
    stopTicker();
    platform::setCopiedBytesCounter(nullptr);
    m_inTarget.store(false);
    m_summary.errors = m_errors.load();
    m_summary.seconds = std::chrono::duration<double>(Clock::now() - m_runStart).count();
    const std::lock_guard lock(m_mutex);
    clearLocked();
    m_lastText.clear();
    std::cerr << (m_namedSummary ? OneLineForm(taskName) + ": " : std::string()) << summaryLine(m_summary)
              << '\n'
              << std::flush;
}

void ConsoleRunHost::comparingStarted(const std::string& /*source*/, const std::string& target)
{
    {
        const std::lock_guard lock(m_mutex);
        m_target = OneLineForm(target);
    }
    m_planned.store(false, std::memory_order_relaxed);
    m_compared.store(0, std::memory_order_relaxed);
    m_phase.store(static_cast<uint8_t>(ProgressPhase::Comparing), std::memory_order_relaxed);
    for (auto* counter : {&m_filesDone, &m_bytesDone, &m_deletionsDone, &m_foldersDone, &m_othersDone})
        counter->store(0, std::memory_order_relaxed);
    m_generation.fetch_add(1);
    m_inTarget.store(true);
    drawSoon();
}

void ConsoleRunHost::performingStarted(const PlannedWork& plan)
{
    m_filesTotal.store(plan.files, std::memory_order_relaxed);
    m_bytesTotal.store(plan.bytes, std::memory_order_relaxed);
    m_deletionsTotal.store(plan.deletions, std::memory_order_relaxed);
    m_foldersTotal.store(plan.foldersMade + plan.foldersRemoved, std::memory_order_relaxed);
    m_othersTotal.store(plan.others, std::memory_order_relaxed);
    m_copiedBase.store(load(m_copiedBytes), std::memory_order_relaxed);
    m_performStart.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    // The first kind of work the list has, until the first operation is over.
    const ProgressPhase first = plan.files            ? ProgressPhase::Copying
                                : plan.deletions      ? ProgressPhase::Deleting
                                : plan.foldersMade    ? ProgressPhase::MakingFolders
                                : plan.foldersRemoved ? ProgressPhase::RemovingFolders
                                                      : ProgressPhase::Updating;
    m_phase.store(static_cast<uint8_t>(first), std::memory_order_relaxed);
    m_generation.fetch_add(1);
    m_planned.store(true, std::memory_order_release);
    drawSoon();
}

void ConsoleRunHost::workDone(WorkKind kind, uint64_t bytes, bool happened)
{
    switch (kind) {
    case WorkKind::Copy:
        bump(m_filesDone);
        bump(m_bytesDone, bytes);
        if (happened) {
            ++m_summary.filesCopied;
            m_summary.bytesCopied += bytes;
        }
        break;
    case WorkKind::Delete:
        bump(m_deletionsDone);
        m_summary.deleted += happened ? 1 : 0;
        break;
    case WorkKind::MakeFolder:
        bump(m_foldersDone);
        m_summary.foldersMade += happened ? 1 : 0;
        break;
    case WorkKind::RemoveFolder:
        bump(m_foldersDone);
        m_summary.foldersRemoved += happened ? 1 : 0;
        break;
    case WorkKind::Other:
        bump(m_othersDone);
        break;
    }
    m_phase.store(static_cast<uint8_t>(phaseOf(kind)), std::memory_order_relaxed);
}

void ConsoleRunHost::echoLogLine(const std::string& line)
{
    if (m_progress && isLogErrorLine(line))
        m_errors.fetch_add(1, std::memory_order_relaxed);
    if (!m_sharedTerminal) {
        std::cout << line << std::flush;
        return;
    }
    const std::lock_guard lock(m_mutex);
    const bool shown = m_shown;
    clearLocked();
    std::cout << line << std::flush;
    if (shown) {
        std::cerr << m_lastText << std::flush;
        m_shown = true;
    }
}

void ConsoleRunHost::echoError(const std::string& text)
{
    std::unique_lock lock(m_mutex, std::defer_lock);
    if (m_progress)
        lock.lock();
    const bool shown = m_shown && m_drawOnTerminal;
    if (shown)
        clearLocked();
    std::cerr << text << std::flush;
    if (shown) {
        std::cerr << m_lastText << std::flush;
        m_shown = true;
    }
}

void ConsoleRunHost::startTicker()
{
    stopTicker();
    m_stop = false;
    m_urgent = false;
    m_ticker = std::thread([this] { tickerLoop(); });
}

void ConsoleRunHost::stopTicker()
{
    if (!m_ticker.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_ticker.join();
}

void ConsoleRunHost::tickerLoop()
{
    std::unique_lock lock(m_mutex);
    const auto interval =
        m_drawOnTerminal ? Clock::duration(kTerminalInterval) : Clock::duration(kPlainInterval);
    bool drawn = false;
    Clock::time_point lastDraw;
    auto next = Clock::now() + interval;
    for (;;) {
        m_wake.wait_until(lock, next, [this] { return m_stop || m_urgent; });
        if (m_stop)
            break;
        const auto now = Clock::now();
        if (m_urgent) {
            // A new Target or list is shown at once, unless a line went out just now.
            m_urgent = false;
            if (drawn && now < lastDraw + interval) {
                next = lastDraw + interval;
                continue;
            }
        } else if (now < next) {
            continue;
        }
        drawLocked();
        drawn = true;
        lastDraw = now;
        next = now + interval;
    }
}

void ConsoleRunHost::drawSoon()
{
    {
        const std::lock_guard lock(m_mutex);
        m_urgent = true;
    }
    m_wake.notify_all();
}

std::string ConsoleRunHost::progressTextLocked()
{
    if (!m_inTarget.load()) {
        // Before the first Target: the run's own status, unless it is to be quiet.
        if (m_quiet || !m_drawOnTerminal)
            return {};
        return m_panel1 + (m_panel2.empty() ? "" : "  ") + m_panel2;
    }
    ProgressState s;
    s.target = m_target;
    s.phase = static_cast<ProgressPhase>(m_phase.load(std::memory_order_relaxed));
    s.compared = load(m_compared);
    s.planned = m_planned.load(std::memory_order_acquire);
    const uint32_t generation = m_generation.load();
    if (generation != m_estimated) {
        m_estimate.reset();
        m_estimated = generation;
    }
    if (s.planned) {
        s.filesTotal = load(m_filesTotal);
        s.bytesTotal = load(m_bytesTotal);
        s.deletionsTotal = load(m_deletionsTotal);
        s.foldersTotal = load(m_foldersTotal);
        s.filesDone = load(m_filesDone);
        s.deletionsDone = load(m_deletionsDone);
        s.foldersDone = load(m_foldersDone);
        // Bytes of copies still on their way count too; a copy that failed half-way
        // counted its part, so the figure never passes the total.
        const uint64_t streamed = load(m_copiedBytes) - load(m_copiedBase);
        s.bytesDone = std::min(std::max(load(m_bytesDone), streamed), s.bytesTotal);
        const uint64_t operations = s.filesDone + s.deletionsDone + s.foldersDone + load(m_othersDone);
        const uint64_t operationsTotal =
            s.filesTotal + s.deletionsTotal + s.foldersTotal + load(m_othersTotal);
        const Clock::time_point started{Clock::duration(m_performStart.load(std::memory_order_relaxed))};
        m_estimate.sample(std::chrono::duration<double>(Clock::now() - started).count(), s.bytesDone,
                          operations);
        s.bytesPerSecond = m_estimate.bytesPerSecond();
        s.secondsLeft = m_estimate.secondsLeft(s.bytesTotal, operationsTotal);
    }
    const int columns = m_drawOnTerminal ? platform::stderrTerminalColumns() : 0;
    return progressLine(s, m_drawOnTerminal ? (columns > 0 ? size_t(columns) : kColumnsWhenUnknown) : 0);
}

void ConsoleRunHost::drawLocked()
{
    const std::string text = progressTextLocked();
    if (text.empty() || (text == m_lastText && (m_shown || !m_drawOnTerminal)))
        return;
    m_lastText = text;
    if (!m_drawOnTerminal) {
        std::cerr << text << '\n' << std::flush;
        return;
    }
    std::cerr << kClearLine << text << std::flush;
    m_shown = true;
}

void ConsoleRunHost::clearLocked()
{
    if (!m_shown)
        return;
    std::cerr << kClearLine << std::flush;
    m_shown = false;
}

} // namespace kestrow::cli
