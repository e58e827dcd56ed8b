#pragma once
// The texts of a run's progress line and of its summary, and the estimate of
// rate and time left they show. Standard C++ only: the console host feeds them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace kestrow::cli {

// 1204 -> "1,204".
std::string countText(uint64_t n);
// Binary units, one decimal above bytes: "512 B", "1.0 KB", "3.2 GB".
std::string sizeText(uint64_t bytes);
// "45.3 MB/s"; empty when the rate is not known (negative).
std::string rateText(double bytesPerSecond);
// "0.4s" below ten seconds, then "45s", "1m 12s", "2h 5m".
std::string durationText(double seconds);

enum class ProgressPhase : uint8_t
{
    Comparing,
    Copying,
    Deleting,
    MakingFolders,
    RemovingFolders,
    Updating,
};

struct ProgressState
{
    std::string target; // the Target worked on
    ProgressPhase phase = ProgressPhase::Comparing;
    uint64_t compared = 0; // files the comparison has seen
    // The totals of the list, known once it is made.
    bool planned = false;
    uint64_t filesTotal = 0, bytesTotal = 0, deletionsTotal = 0, foldersTotal = 0;
    uint64_t filesDone = 0, bytesDone = 0, deletionsDone = 0, foldersDone = 0;
    double bytesPerSecond = -1; // negative: not known
    double secondsLeft = -1;    // negative: not known
};

// One line, at most `columns` characters wide (0: no limit): the Target, then
// what the run does and how far it is. A long Target is shortened at its start.
std::string progressLine(const ProgressState& state, size_t columns);

struct RunSummary
{
    uint64_t filesCopied = 0, bytesCopied = 0, deleted = 0, foldersMade = 0, foldersRemoved = 0, errors = 0;
    double seconds = 0;
};

// "Copied 1,204 files (3.2 GB), deleted 12, folders created 4, removed 1, 0 errors, in 1m 12s".
std::string summaryLine(const RunSummary& summary);

// Whether a line of the clone log is one of its error entries (the summary
// counts them: the log says what went wrong, wherever in the run it was).
bool isLogErrorLine(std::string_view line);

// Rate and time left from what was done over the last few seconds. An
// operation counts as kOperationWeight bytes of work, so a list of many small
// files or of deletions alone still has a time left.
class ProgressEstimate
{
public:
    static constexpr uint64_t kOperationWeight = 64 * 1024;
    static constexpr double kWindowSeconds = 5;
    static constexpr double kShortestSpan = 1; // less tells nothing yet

    void reset() { m_samples.clear(); }
    // What was done by `seconds` (a clock that only goes forward).
    void sample(double seconds, uint64_t bytesDone, uint64_t operationsDone);
    // Negative when not known yet.
    double bytesPerSecond() const;
    double secondsLeft(uint64_t bytesTotal, uint64_t operationsTotal) const;

private:
    struct Sample
    {
        double seconds;
        uint64_t bytes, operations;
    };
    std::deque<Sample> m_samples;
};

} // namespace kestrow::cli
