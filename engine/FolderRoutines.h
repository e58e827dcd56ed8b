#pragma once
// Folder, file and drive routines shared by the engine, the task, the dialogs and
// the shell. A "drive" is the mount point that holds a path, or for a path under
// a removable-media root (/media/USER/LABEL/...) that LABEL folder, mounted or not.

#include "platform/FileInfo.h"

#include <cstdint>
#include <string>

namespace kestrow {

// Status codes of ValidateFolderPath.
enum FolderStatus : int32_t
{
    FolderStatusNoPath = -1,      // no path given
    FolderStatusOk = 0,           // the folder exists and can be listed
    FolderStatusTooShort = 1,     // shorter than two characters ("" is -1, "/" is 1)
    FolderStatusNoDrive = 2,      // the drive does not exist
    FolderStatusNotReady = 3,     // a removable-media folder with nothing mounted on it
    FolderStatusNoFolder = 4,     // the drive is ready but the folder does not exist
    FolderStatusAccessDenied = 5, // permission denied (error 70)
    FolderStatusOtherError = 6,   // another error; its number comes back too
};

// Whether `path` (a trailing "/" allowed) is a folder. A final symbolic link is
// not followed unless `follow` says so. A blank path is false. Never shows or
// logs anything for a path that cannot be examined; an unexpected error is
// reported as "modKestrow.FolderExists" with the detail "Folder: " + path.
bool FolderExists(const std::string& path, platform::FollowLinks follow = platform::FollowLinks::no);

// Whether `path` names a file: a regular file, a symbolic link (never followed,
// dangling or not) or a special file; a folder is not a file. An empty path or one
// ending in "/" is false without touching the disk. The path is taken as it
// stands (blanks are part of Linux names). A path that is merely missing (ENOENT,
// ENOTDIR) or unusable as a name (ENAMETOOLONG, EINVAL) is false silently; any
// other failure (EACCES on a parent, ELOOP, EIO) adds one "File Existence Check
// Error" entry (kind 22) with the errno, its text and "APIFileExists - File: " +
// path, and gives false.
bool FileExists(const std::string& path);

// Whether the drive (as GetDriveLetter gives it) exists. Errors are reported as
// "modKestrow.APIDriveExists" and give false.
bool APIDriveExists(const std::string& drive);

// The status of a folder the user named (see FolderStatus); `errorNumber` gets
// the program error number of status 6 (and of status 5: 70), else 0. The path
// is made absolute (relative to the working folder, "." and ".." resolved by
// name) and a final symbolic link to a folder is accepted: a root the user chose
// may be a link. A path that cannot be examined for lack of permission gives 5;
// one that fails otherwise (ELOOP, ENAMETOOLONG) gives 6. A path on a
// removable-media drive with nothing mounted gives 3 even where its folder
// exists (an empty mount folder on the system disk).
int32_t ValidateFolderPath(const std::string& path, int32_t& errorNumber);

// The message a person reads for a status code; empty for 0 and unknown codes.
// Lines are joined with "\n". Unexpected errors: "modKestrow.GetInvalidPathErrorMsg()", "".
std::string GetInvalidPathErrorMsg(int32_t status, const std::string& path, int32_t errorNumber);

// Creates every missing level of a folder path, ignoring "already exists" and
// every other failure (callers check the result themselves). Nothing is created
// when the path's drive is missing or not ready, so an absent medium's mount
// folder is never filled on the system disk. A relative path is created below the
// working folder.
void CreateFolderPath(const std::string& path);

// Returns `text` up to and including the first `delimiter` (ASCII letters compared
// without regard to case) and removes that much from `text`. Without a delimiter
// the whole text is returned and `text` becomes empty.
std::string SplitOffToken(std::string& text, const std::string& delimiter);

// The drive of the absolute form of `path`, ending with "/": the mount point that
// holds it, or the removable-media LABEL folder. Unexpected errors:
// "modKestrow.GetDriveLetter()", "".
std::string GetDriveLetter(const std::string& path);

// Sets `driveName` as GetDriveLetter does and returns whether that drive is
// removable. Unexpected errors: "modKestrow.IsRemovableDrive()", "" and false.
bool IsRemovableDrive(const std::string& path, std::string& driveName);

} // namespace kestrow
