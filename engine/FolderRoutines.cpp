#include "engine/FolderRoutines.h"

#include "base/ErrorReporter.h"
#include "log/CloneLog.h"
#include "platform/DirList.h"
#include "platform/Drives.h"
#include "platform/FileOps.h"
#include "platform/FileProbe.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <cerrno>
#include <filesystem>

namespace kestrow {

namespace {

// "/a/b/" and "/a/b" name the same entry; "/" stays "/". Without the trailing
// slash a final link is examined as a link rather than resolved.
std::string withoutTrailingSlashes(const std::string& path)
{
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    return path.substr(0, end);
}

// The absolute form of `path`, "." and ".." resolved by name, ending with "/".
std::string absoluteFolderSpec(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path p(path);
    if (p.is_relative())
        p = fs::current_path() / p;
    std::string spec = p.lexically_normal().string();
    if (!spec.ends_with('/'))
        spec += '/';
    return spec;
}

platform::PathKind folderKind(const std::string& path, platform::FollowLinks follow, int& err)
{
    err = 0;
    return platform::pathKind(withoutTrailingSlashes(path), follow, &err);
}

} // namespace

bool FolderExists(const std::string& path, platform::FollowLinks follow)
{
    try {
        if (util::onlySpaces(path))
            return false;
        int err = 0;
        return folderKind(path, follow, err) == platform::PathKind::Folder;
    } catch (...) {
        ReportError("modKestrow.FolderExists", "Folder: " + path);
        return false;
    }
}

bool FileExists(const std::string& path)
{
    if (path.empty() || path.ends_with('/'))
        return false;
    return Guarded("modKestrow.FileExists", false, [&] {
        int err = 0;
        const platform::PathKind kind = platform::pathKind(path, platform::FollowLinks::no, &err);
        if (kind == platform::PathKind::Folder)
            return false;
        if (kind != platform::PathKind::Missing)
            return true;
        switch (err) {
        case 0:
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
            return false;
        default:
            if (gCloneLog)
                gCloneLog->Add(LogEntryType::FileExistenceCheckError, {}, {}, {}, {}, err,
                               GetSystemErrorMessage(err), "APIFileExists - File: " + path);
            return false;
        }
    });
}

bool APIDriveExists(const std::string& drive)
{
    return Guarded("modKestrow.APIDriveExists", false,
                   [&] { return !drive.empty() && platform::driveExists(drive); });
}

int32_t ValidateFolderPath(const std::string& path, int32_t& errorNumber)
{
    errorNumber = 0;
    if (path.empty())
        return FolderStatusNoPath;
    if (path.size() < 2 || withoutTrailingSlashes(path) == "/")
        return FolderStatusTooShort;
    try {
        const std::string folder = absoluteFolderSpec(path);
        // An absent medium's mount folder may exist (empty, on the system disk):
        // the drive decides before the folder does.
        const std::string drive = platform::driveOfPath(folder);
        const bool driveThere = !drive.empty() && platform::driveExists(drive);
        if (driveThere && !platform::driveReady(drive))
            return FolderStatusNotReady;
        int err = 0;
        if (folderKind(folder, platform::FollowLinks::yes, err) == platform::PathKind::Folder) {
            // Reading one entry proves that the folder can be listed.
            if (platform::forEachDirEntry(folder,
                                          [](std::string_view, platform::EntryKind) { return false; }))
                return FolderStatusOk;
            std::vector<platform::DirEntry> entries;
            err = platform::listFolder(folder, entries);
            if (err == 0)
                return FolderStatusOk;
        }
        if (err == EACCES || err == EPERM) {
            errorNumber = errnum::PermissionDenied;
            return FolderStatusAccessDenied;
        }
        if (err != 0 && err != ENOENT && err != ENOTDIR) {
            errorNumber = errorNumberFromErrno(err, true);
            return FolderStatusOtherError;
        }
        return driveThere ? FolderStatusNoFolder : FolderStatusNoDrive;
    } catch (...) {
        const PendingError error = pendingErrorFromCurrentException();
        errorNumber = error.number;
        return error.number == errnum::PermissionDenied ? FolderStatusAccessDenied : FolderStatusOtherError;
    }
}

std::string GetInvalidPathErrorMsg(int32_t status, const std::string& path, int32_t errorNumber)
{
    return Guarded("modKestrow.GetInvalidPathErrorMsg()", std::string{}, [&]() -> std::string {
        const std::string processing = "An error occurred while processing \"" + path + "\".\n";
        const std::string unexpected = "Error Number: " + std::to_string(errorNumber) +
                                       "\n\nAn unexpected error occurred while accessing " + path;
        switch (status) {
        case FolderStatusNoPath:
            return "No Folder path provided.";
        case FolderStatusTooShort:
            return "\"" + path +
                   "\" is not a valid path.\nPaths must contain at least two characters.\nex)  /home";
        case FolderStatusNoDrive:
            if (errorNumber != 0)
                return unexpected;
            return processing + "Make sure that the drive exists and that you have permission to access it.";
        case FolderStatusNotReady:
            return processing + "The drive is not ready. Please insert/connect the drive.";
        case FolderStatusNoFolder:
            return processing + "Make sure that the folder exists and that you have permission to access it.";
        case FolderStatusAccessDenied:
            return processing + "You do not have permission to access this folder.  Please see your Network "
                                "Administrator.";
        case FolderStatusOtherError:
            return unexpected;
        default:
            return {};
        }
    });
}

void CreateFolderPath(const std::string& path)
{
    Guarded("modKestrow.CreateFolderPath", [&] {
        if (path.empty())
            return;
        std::string rest = path.ends_with('/') ? path : path + '/';
        std::string level;
        if (rest.starts_with('/')) {
            rest = absoluteFolderSpec(rest);
            const std::string drive = platform::driveOfPath(rest);
            if (drive.empty() || !platform::driveExists(drive) || !platform::driveReady(drive))
                return;
            level = rest.starts_with(drive) ? drive : std::string("/");
            rest.erase(0, level.size());
            platform::makeFolder(level);
        }
        while (!rest.empty()) {
            level += SplitOffToken(rest, "/");
            platform::makeFolder(level);
        }
    });
}

std::string SplitOffToken(std::string& text, const std::string& delimiter)
{
    const size_t at = delimiter.empty() ? std::string::npos : util::findIgnoringCase(text, delimiter);
    const size_t length = at == std::string::npos ? text.size() : at + delimiter.size();
    std::string token = text.substr(0, length);
    text.erase(0, length);
    return token;
}

std::string GetDriveLetter(const std::string& path)
{
    return Guarded("modKestrow.GetDriveLetter()", std::string{}, [&]() -> std::string {
        if (path.empty())
            return {};
        return platform::driveOfPath(absoluteFolderSpec(path));
    });
}

bool IsRemovableDrive(const std::string& path, std::string& driveName)
{
    driveName.clear();
    return Guarded("modKestrow.IsRemovableDrive()", false, [&] {
        const std::string drive = GetDriveLetter(path);
        if (drive.empty())
            return false;
        driveName = drive;
        return platform::driveRemovable(drive);
    });
}

} // namespace kestrow
