#pragma once
// The file comparison methods: whether a Source file and its Target counterpart
// are the same under the chosen method, and which of the two is newer.

#include "platform/DirList.h"

#include <cstdint>
#include <string>

namespace kestrow {

// Comparison methods held in cCompare::CompareMethod.
enum CompareMethodValue : int32_t
{
    CompareMethodDateTime = 0,
    CompareMethodSize = 1,
    CompareMethodContents = 2,
    CompareMethodCRC32 = 3,
};

// -1, 0 or 1: the Source's last-write time is earlier than, equal to or later than
// the Target's. Without allowances the times compare exactly (100-ns units).
// With either allowance the difference is taken in whole seconds (halves to even)
// and passed through FAT_NTFS_TimeDiffAllowance. Unexpected errors are reported
// as "modCompare.CompareFilesUsingTimestamp" and give 0.
int32_t CompareFilesUsingTimestamp(const platform::DirEntry& sourceEntry,
                                   const platform::DirEntry& targetEntry, bool ignoreTwoSec, bool ignoreDST);

// CompareFilesUsingTimestamp gives 0. Unexpected errors: reported as
// "modCompare.AreFilesSameUsingTimestamp", false.
bool AreFilesSameUsingTimestamp(const platform::DirEntry& sourceEntry, const platform::DirEntry& targetEntry,
                                bool ignoreTwoSec, bool ignoreDST);

// Both sizes are equal. Unexpected errors: "modCompare.AreFilesSameUsingSize", false.
bool AreFilesSameUsingSize(const platform::DirEntry& sourceEntry, const platform::DirEntry& targetEntry);

// Whether sourceFolderSpec + fileName and targetFolderSpec + fileName hold the
// same bytes. A pair of symbolic links is the same when the target texts are
// equal, a pair of special files when both are of the same kind; a link or special
// file against anything else differs. Nothing but regular files is ever opened.
// A failure (a file that cannot be opened or read) makes the pair different, sets
// `errorFlag` (which is never cleared here) and adds a "Content Compare Error"
// entry (kind 12) naming the file, both folders, the error code and its text.
bool AreFilesSameUsingContents(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                               const std::string& fileName, bool& errorFlag);

// As AreFilesSameUsingContents, judging regular files by the CRC-32 of their whole
// contents; failures are logged as "CRC Compare Error" (kind 13).
bool AreFilesSameUsingCRC32(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                            const std::string& fileName, bool& errorFlag);

// `difference` (whole seconds, Source minus Target) or 0 when an allowance swallows
// it: two-second only: |d| 1 or 2; daylight saving only: |d| 3600; both: |d| 1, 2,
// or 3598 to 3602. Unexpected errors: "FAT_NTFS_TimeDiffAllowance", 0.
int64_t FAT_NTFS_TimeDiffAllowance(int64_t difference, bool ignoreTwoSec, bool ignoreDST);

// source - target in whole seconds, both given in 100-ns units, rounded half to
// even (1.5 s gives 2, 2.5 s gives 2, -1.5 s gives -2).
int64_t RoundedSecondsDifference(int64_t sourceTime, int64_t targetTime);

// The text logged for a comparison failure code: the system's message for an
// errno, the comparer's own text for a code the system does not know.
std::string ComparisonFailureText(uint32_t code);

} // namespace kestrow
