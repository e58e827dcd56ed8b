#include "engine/modCompare.h"

#include "base/ErrorReporter.h"
#include "log/CloneLog.h"
#include "platform/FileCompare.h"
#include "platform/FileInfo.h"
#include "platform/SystemInfo.h"

#include <limits>

namespace kestrow {

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr uint32_t kFileTypeMask = 0170000; // the file-type bits of st_mode (POSIX)

int32_t sign(int64_t value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// The comparer keeps its last error between calls, so each thread of work has its own.
platform::FileComparer& comparer()
{
    thread_local platform::FileComparer instance;
    return instance;
}

void logFailure(LogEntryType kind, const std::string& fileName, const std::string& sourceFolderSpec,
                const std::string& targetFolderSpec, uint32_t code, const std::string& text)
{
    if (gCloneLog)
        gCloneLog->Add(kind, {}, fileName, sourceFolderSpec, targetFolderSpec, static_cast<int32_t>(code),
                       text);
}

enum class Judgement
{
    Same,
    Different,
    Failed,
    ReadContents
};

struct PairCheck
{
    Judgement judgement = Judgement::ReadContents;
    uint32_t code = 0; // errno when Failed
};

// Links and special files are judged without opening them. Anything that cannot
// be examined is left to the contents reader, whose failure is then the one logged.
PairCheck judgeWithoutOpening(const std::string& sourceSpec, const std::string& targetSpec)
{
    platform::PathAttributes source, target;
    if (platform::pathAttributes(sourceSpec, source) != 0 ||
        platform::pathAttributes(targetSpec, target) != 0)
        return {};
    using K = platform::PathKind;
    const bool sourcePlain = source.kind == K::File;
    const bool targetPlain = target.kind == K::File;
    if (sourcePlain && targetPlain)
        return {};
    if (source.kind != target.kind)
        return {Judgement::Different};
    if (source.kind == K::Special)
        return {(source.mode & kFileTypeMask) == (target.mode & kFileTypeMask) ? Judgement::Same
                                                                               : Judgement::Different};
    if (source.kind == K::Symlink) {
        std::string sourceText, targetText;
        if (int err = platform::readLinkText(sourceSpec, sourceText); err != 0)
            return {Judgement::Failed, static_cast<uint32_t>(err)};
        if (int err = platform::readLinkText(targetSpec, targetText); err != 0)
            return {Judgement::Failed, static_cast<uint32_t>(err)};
        return {sourceText == targetText ? Judgement::Same : Judgement::Different};
    }
    // Two folders of the file's name: nothing to read.
    return {Judgement::Different};
}

// CRC-32 of one whole file into `crc`. False when it could not be computed; a real
// failure (a non-zero code) is logged as kind 13 and raises `errorFlag`.
bool crcOf(const std::string& spec, const std::string& fileName, const std::string& sourceFolderSpec,
           const std::string& targetFolderSpec, bool& errorFlag, int64_t& crc)
{
    platform::FileComparer& files = comparer();
    files.reset();
    crc = files.crc32OfFile(spec);
    if (crc != -1)
        return true;
    const uint32_t code = files.lastError();
    if (code != 0) {
        errorFlag = true;
        logFailure(LogEntryType::CrcCompareError, fileName, sourceFolderSpec, targetFolderSpec, code,
                   ComparisonFailureText(code));
        files.reset();
    }
    return false;
}

} // namespace

std::string ComparisonFailureText(uint32_t code)
{
    if (code <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        const std::string systemText = platform::errnoText(static_cast<int>(code));
        if (!systemText.empty())
            return systemText;
    }
    return platform::FileComparer().errorText(code);
}

// Wide enough for the difference of any two 64-bit times (a GCC extension, said so).
__extension__ using WideTicks = __int128;

int64_t RoundedSecondsDifference(int64_t sourceTime, int64_t targetTime)
{
    const WideTicks difference = static_cast<WideTicks>(sourceTime) - targetTime;
    WideTicks seconds = difference / kTicksPerSecond;
    WideTicks rest = difference % kTicksPerSecond;
    if (rest < 0) { // floor division, so the rest lies in [0, 1 s)
        rest += kTicksPerSecond;
        --seconds;
    }
    const int64_t half = kTicksPerSecond / 2;
    if (rest > half || (rest == half && (seconds & 1) != 0))
        ++seconds;
    // Two int64 tick counts are at most 2^64 ticks (about 1.8e12 s) apart: this fits.
    return static_cast<int64_t>(seconds);
}

int64_t FAT_NTFS_TimeDiffAllowance(int64_t difference, bool ignoreTwoSec, bool ignoreDST)
{
    return Guarded("FAT_NTFS_TimeDiffAllowance", int64_t{0}, [&]() -> int64_t {
        const int64_t d = difference < 0 ? -difference : difference;
        const bool twoSeconds = d == 1 || d == 2;
        const bool oneHour = d == 3600;
        const bool oneHourAndTwoSeconds = d >= 3598 && d <= 3602;
        if (ignoreTwoSec && ignoreDST) {
            if (twoSeconds || oneHourAndTwoSeconds)
                return 0;
        } else if (ignoreTwoSec) {
            if (twoSeconds)
                return 0;
        } else if (ignoreDST) {
            if (oneHour)
                return 0;
        }
        return difference;
    });
}

int32_t CompareFilesUsingTimestamp(const platform::DirEntry& sourceEntry,
                                   const platform::DirEntry& targetEntry, bool ignoreTwoSec, bool ignoreDST)
{
    return Guarded("modCompare.CompareFilesUsingTimestamp", int32_t{0}, [&]() -> int32_t {
        if (!ignoreTwoSec && !ignoreDST) {
            if (sourceEntry.lastWrite < targetEntry.lastWrite)
                return -1;
            return sourceEntry.lastWrite > targetEntry.lastWrite ? 1 : 0;
        }
        // Taking both times into local time moves them by the same present offset
        // (as the system's conversion does), so the difference is the UTC one.
        int64_t difference = RoundedSecondsDifference(sourceEntry.lastWrite, targetEntry.lastWrite);
        if (difference != 0)
            difference = FAT_NTFS_TimeDiffAllowance(difference, ignoreTwoSec, ignoreDST);
        return sign(difference);
    });
}

bool AreFilesSameUsingTimestamp(const platform::DirEntry& sourceEntry, const platform::DirEntry& targetEntry,
                                bool ignoreTwoSec, bool ignoreDST)
{
    return Guarded("modCompare.AreFilesSameUsingTimestamp", false, [&] {
        return CompareFilesUsingTimestamp(sourceEntry, targetEntry, ignoreTwoSec, ignoreDST) == 0;
    });
}

bool AreFilesSameUsingSize(const platform::DirEntry& sourceEntry, const platform::DirEntry& targetEntry)
{
    return Guarded("modCompare.AreFilesSameUsingSize", false,
                   [&] { return sourceEntry.size == targetEntry.size; });
}

bool AreFilesSameUsingContents(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                               const std::string& fileName, bool& errorFlag)
{
    return Guarded("modCompare.AreFilesSameUsingContents", false, [&] {
        const std::string sourceSpec = sourceFolderSpec + fileName;
        const std::string targetSpec = targetFolderSpec + fileName;
        const PairCheck check = judgeWithoutOpening(sourceSpec, targetSpec);
        if (check.judgement == Judgement::Failed) {
            errorFlag = true;
            logFailure(LogEntryType::ContentCompareError, fileName, sourceFolderSpec, targetFolderSpec,
                       check.code, ComparisonFailureText(check.code));
            return false;
        }
        if (check.judgement != Judgement::ReadContents)
            return check.judgement == Judgement::Same;

        platform::FileComparer& files = comparer();
        files.reset();
        const int result = files.compareFiles(sourceSpec, targetSpec);
        if (result == 0)
            return true;
        if (result != -1)
            return false;
        const uint32_t code = files.lastError();
        if (code == 0 || code == platform::FileComparer::kDifferentCode)
            return false;
        errorFlag = true;
        logFailure(LogEntryType::ContentCompareError, fileName, sourceFolderSpec, targetFolderSpec, code,
                   ComparisonFailureText(code));
        files.reset();
        return false;
    });
}

bool AreFilesSameUsingCRC32(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                            const std::string& fileName, bool& errorFlag)
{
    return Guarded("modCompare.AreFilesSameUsingCRC32", false, [&] {
        const std::string sourceSpec = sourceFolderSpec + fileName;
        const std::string targetSpec = targetFolderSpec + fileName;
        const PairCheck check = judgeWithoutOpening(sourceSpec, targetSpec);
        if (check.judgement == Judgement::Failed) {
            errorFlag = true;
            logFailure(LogEntryType::CrcCompareError, fileName, sourceFolderSpec, targetFolderSpec,
                       check.code, ComparisonFailureText(check.code));
            return false;
        }
        if (check.judgement != Judgement::ReadContents)
            return check.judgement == Judgement::Same;

        // The second file is not read once the first has failed.
        int64_t sourceCrc = 0;
        if (!crcOf(sourceSpec, fileName, sourceFolderSpec, targetFolderSpec, errorFlag, sourceCrc))
            return false;
        int64_t targetCrc = 0;
        if (!crcOf(targetSpec, fileName, sourceFolderSpec, targetFolderSpec, errorFlag, targetCrc))
            return false;
        return sourceCrc == targetCrc;
    });
}

} // namespace kestrow
