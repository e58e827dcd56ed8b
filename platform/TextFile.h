#pragma once
// Whole-file reads and writes. Text is bytes: never re-encoded.
//
// Every write here, and readDataFile, opens its file through openDataFile
// (platform/DataFile.h): never through a symbolic link at the file's name (ELOOP), and
// never anything but a regular file (EINVAL; a folder: EISDIR), so a link or a FIFO
// planted in the data folder neither redirects nor blocks a write.

#include <cstdint>
#include <string>
#include <system_error>

namespace kestrow::platform {

// Reads the whole file, following a symbolic link at `path` (for files outside the data
// folder: desktop entries, autostart entries). A missing file gives an empty string and
// ENOENT in `err`; anything but a regular file gives EINVAL (a folder EISDIR).
std::string readWholeFile(const std::string& path, int& err);

// Reads the whole file of the data folder at `path`, as readWholeFile, except that a
// symbolic link there is refused with ELOOP.
std::string readDataFile(const std::string& path, int& err);

// Appends `data` to the file, creating it (mode 0644) when missing. Returns 0 or errno.
int appendToFile(const std::string& path, const std::string& data);

// Writes `data` to a new temporary file (O_EXCL) in the same folder, flushes it and
// renames it over `path`, so a crash never leaves a half-written file. A symbolic link
// at `path` is replaced by the file, and the permission bits kept are those of a
// regular file being replaced, never of a link's target. Returns 0 or errno; on failure
// `path` is untouched and the temporary file is removed.
int writeFileAtomically(const std::string& path, const std::string& data);

// Creates or truncates `path`, writes `data` and flushes it. Returns 0 or errno.
int writeWholeFile(const std::string& path, const std::string& data);

// Size in bytes of the file (symbolic links not followed), -1 with errno in `err`.
int64_t fileSize(const std::string& path, int& err);

// Whether something exists at `path` (a final symbolic link is not followed).
bool pathExists(const std::string& path);

// Removes the file. Returns 0 or errno (ENOENT when missing).
int removeFile(const std::string& path);

// Copies `from` (a regular file, not through a link) to `to`, failing with EEXIST when
// anything, a link included, is at `to`. Returns 0 or errno.
int copyFileNoOverwrite(const std::string& from, const std::string& to);

// Copies `from` (as copyFileNoOverwrite) to a new file beside `to`, then renames it
// over `to`: whatever was at `to` (a link itself, never what it points to) is
// replaced whole, or stays as it was when the copy fails. Returns 0 or errno.
int copyFileReplacing(const std::string& from, const std::string& to);

} // namespace kestrow::platform
