#pragma once
// Whole-file reads and writes. Text is bytes: never re-encoded.

#include <cstdint>
#include <string>
#include <system_error>

namespace kestrow::platform {

// Reads the whole file. A missing file gives an empty string and ENOENT in `err`.
std::string readWholeFile(const std::string& path, int& err);

// Appends `data` to the file, creating it (mode 0644) when missing. Returns 0 or errno.
int appendToFile(const std::string& path, const std::string& data);

// Writes `data` to a temporary file in the same folder, flushes it and renames it
// over `path`, so a crash never leaves a half-written file. Returns 0 or errno;
// on failure `path` is untouched and the temporary file is removed.
int writeFileAtomically(const std::string& path, const std::string& data);

// Creates or truncates `path`, writes `data` and flushes it. Returns 0 or errno.
int writeWholeFile(const std::string& path, const std::string& data);

// Size in bytes of the file (symbolic links not followed), -1 with errno in `err`.
int64_t fileSize(const std::string& path, int& err);

// Whether something exists at `path` (a final symbolic link is not followed).
bool pathExists(const std::string& path);

// Removes the file. Returns 0 or errno (ENOENT when missing).
int removeFile(const std::string& path);

// Copies `from` to `to`, failing with EEXIST when `to` exists. Returns 0 or errno.
int copyFileNoOverwrite(const std::string& from, const std::string& to);

} // namespace kestrow::platform
