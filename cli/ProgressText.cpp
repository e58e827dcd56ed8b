#include "cli/ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <vector>

namespace kestrow::cli {

namespace {

std::string oneDecimal(double value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    return buf;
}

// Characters (not bytes) of UTF-8 text: what a terminal line holds, near enough.
size_t columnsOf(std::string_view text)
{
    size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

// The first `columns` characters of `text`.
std::string headColumns(std::string_view text, size_t columns)
{
    size_t i = 0;
    for (size_t seen = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == columns)
            break;
    }
    return std::string(text.substr(0, i));
}

// The last `columns` characters of `text`.
std::string tailColumns(std::string_view text, size_t columns)
{
    const size_t total = columnsOf(text);
    if (total <= columns)
        return std::string(text);
    size_t skip = total - columns;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (skip == 0)
                break;
            --skip;
        }
    }
    return std::string(text.substr(i));
}

const char* phaseWord(ProgressPhase phase)
{
    switch (phase) {
    case ProgressPhase::Comparing:
        return "comparing";
    case ProgressPhase::Copying:
        return "copying";
    case ProgressPhase::Deleting:
        return "deleting";
    case ProgressPhase::MakingFolders:
        return "creating folders";
    case ProgressPhase::RemovingFolders:
        return "removing folders";
    case ProgressPhase::Updating:
        return "updating";
    }
    return "";
}

std::string ofTotal(uint64_t done, uint64_t total)
{
    return countText(done < total ? done : total) + "/" + countText(total);
}

std::string plural(uint64_t n, const char* one, const char* many)
{
    return countText(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string countText(uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string sizeText(uint64_t bytes)
{
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    // Past the unit as soon as the rounded figure would read 1024.0.
    while (unit + 1 < std::size(kUnits) && std::round(value * 10) >= 1024 * 10) {
        value /= 1024;
        ++unit;
    }
    return oneDecimal(value) + " " + kUnits[unit];
}

std::string rateText(double bytesPerSecond)
{
    if (!(bytesPerSecond >= 0))
        return {};
    return sizeText(static_cast<uint64_t>(std::llround(bytesPerSecond))) + "/s";
}

std::string durationText(double seconds)
{
    if (!(seconds > 0))
        seconds = 0;
    if (std::round(seconds * 10) < 100)
        return oneDecimal(seconds) + "s";
    const auto whole = static_cast<uint64_t>(std::llround(seconds));
    if (whole < 60)
        return std::to_string(whole) + "s";
    if (whole < 3600)
        return std::to_string(whole / 60) + "m " + std::to_string(whole % 60) + "s";
    return std::to_string(whole / 3600) + "h " + std::to_string(whole % 3600 / 60) + "m";
}

std::string progressLine(const ProgressState& s, size_t columns)
{
    std::vector<std::string> parts;
    if (s.phase == ProgressPhase::Comparing || !s.planned) {
        if (s.compared > 0)
            parts.push_back(plural(s.compared, "file", "files"));
    } else {
        if (s.filesTotal > 0)
            parts.push_back(ofTotal(s.filesDone, s.filesTotal) + " files");
        if (s.bytesTotal > 0)
            parts.push_back(sizeText(std::min(s.bytesDone, s.bytesTotal)) + "/" + sizeText(s.bytesTotal));
        if (s.deletionsTotal > 0)
            parts.push_back(ofTotal(s.deletionsDone, s.deletionsTotal) + " deleted");
        if (s.foldersTotal > 0 && s.filesTotal == 0 && s.deletionsTotal == 0)
            parts.push_back(ofTotal(s.foldersDone, s.foldersTotal) + " folders");
        if (s.bytesTotal > 0 && s.bytesPerSecond >= 0)
            parts.push_back(rateText(s.bytesPerSecond));
        if (s.secondsLeft >= 0)
            parts.push_back(durationText(s.secondsLeft) + " left");
    }
    std::string tail = std::string(" - ") + phaseWord(s.phase);
    for (size_t i = 0; i < parts.size(); ++i)
        tail += (i == 0 ? ": " : ", ") + parts[i];

    std::string line = s.target + tail;
    // One column short of the width: a full last column makes some terminals wrap.
    if (columns == 0 || columnsOf(line) < columns)
        return line;
    const size_t room = columns - 1;
    const size_t tailColumnsUsed = columnsOf(tail);
    constexpr std::string_view kCut = "...";
    if (tailColumnsUsed + kCut.size() + 1 <= room)
        return std::string(kCut) + tailColumns(s.target, room - tailColumnsUsed - kCut.size()) + tail;
    return headColumns(line, room);
}

std::string summaryLine(const RunSummary& s)
{
    return "Copied " + plural(s.filesCopied, "file", "files") + " (" + sizeText(s.bytesCopied) +
           "), deleted " + countText(s.deleted) + ", folders created " + countText(s.foldersMade) +
           ", removed " + countText(s.foldersRemoved) + ", " + plural(s.errors, "error", "errors") + ", in " +
           durationText(s.seconds);
}

bool isLogErrorLine(std::string_view line)
{
    // The date and time before an entry hold none of these; an error's text
    // begins " *", every other entry's " - " or "<".
    const size_t mark = line.find_first_of("*-<");
    return mark != std::string_view::npos && line[mark] == '*';
}

void ProgressEstimate::sample(double seconds, uint64_t bytesDone, uint64_t operationsDone)
{
    m_samples.push_back({seconds, bytesDone, operationsDone});
    // One sample at or before the window's start stays, so the span is the whole window.
    while (m_samples.size() > 2 && m_samples[1].seconds <= seconds - kWindowSeconds)
        m_samples.pop_front();
}

double ProgressEstimate::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return -1;
    const Sample& first = m_samples.front();
    const Sample& last = m_samples.back();
    const double span = last.seconds - first.seconds;
    if (span < kShortestSpan)
        return -1;
    return last.bytes > first.bytes ? static_cast<double>(last.bytes - first.bytes) / span : 0.0;
}

double ProgressEstimate::secondsLeft(uint64_t bytesTotal, uint64_t operationsTotal) const
{
    auto units = [](uint64_t bytes, uint64_t operations) {
        return static_cast<double>(bytes) + static_cast<double>(operations) * kOperationWeight;
    };
    const double total = units(bytesTotal, operationsTotal);
    if (m_samples.empty())
        return total == 0 ? 0 : -1;
    const Sample& first = m_samples.front();
    const Sample& last = m_samples.back();
    const double remaining = total - units(last.bytes, last.operations);
    if (remaining <= 0)
        return 0;
    const double span = last.seconds - first.seconds;
    const double done = units(last.bytes, last.operations) - units(first.bytes, first.operations);
    if (span < kShortestSpan || done <= 0)
        return -1; // nothing moved over the window: no honest figure
    return remaining / (done / span);
}

} // namespace kestrow::cli
