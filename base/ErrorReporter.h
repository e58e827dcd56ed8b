#pragma once
// The shared error reporter of the program and the error-boundary helper that
// every procedure with an error location goes through.

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace kestrow {

namespace platform {
class UpdateLock;
}

// A run-time error as the reporter reads it: a program error number and its
// description, plus the system error code (errno) of the call that failed, 0
// when no system call is to blame.
class RuntimeError : public std::runtime_error
{
public:
    RuntimeError(int32_t number, const std::string& description, int32_t systemCode = 0)
        : std::runtime_error(description), m_number(number), m_systemCode(systemCode)
    {
    }
    int32_t number() const { return m_number; }
    int32_t systemCode() const { return m_systemCode; }

private:
    int32_t m_number;
    int32_t m_systemCode;
};

// Error numbers the program raises or tests for.
namespace errnum {
constexpr int32_t BadFileName = 52;
constexpr int32_t FileNotFound = 53;
constexpr int32_t PermissionDenied = 70;
constexpr int32_t PathNotFound = 76;
constexpr int32_t Generic = 5; // invalid procedure call or argument
} // namespace errnum

// Maps an errno to the program error number the callers test for.
int32_t errorNumberFromErrno(int err, bool pathExpected);

// The message text for a system error code (strerror), or "Error (n) not defined."
std::string GetSystemErrorMessage(int32_t code);

// The message for system error `err` met opening `path`, a file of the data folder. ELOOP
// (a symbolic link at that name, which is never opened through) reads "<path> is a
// symbolic link; Kestrow does not open files of its data folder through links."; any
// other error gives `otherwise`, the caller's usual text.
std::string DataFileErrorText(int32_t err, const std::string& path, std::string otherwise);

// Throws the RuntimeError for system error `err` on `path`, a file of the data folder:
// number errorNumberFromErrno(err, pathExpected), description DataFileErrorText, system
// code `err`, except for ELOOP, whose statement stands alone (system code 0).
[[noreturn]] void ThrowDataFileError(int32_t err, bool pathExpected, const std::string& path,
                                     std::string otherwise);

// For a save ordered by `lock` (platform::UpdateLock): throws the RuntimeError saying
// that a symbolic link sits at its sidecar when that is why the lock is not held, so the
// save is not made. Any other failure returns: the save goes ahead unordered.
void RefuseSaveAtLinkedUpdateLock(const platform::UpdateLock& lock);

// The error as the reporter reads it.
struct PendingError
{
    int32_t number = 0;
    std::string description;
    int32_t systemCode = 0;
};

// Turns the exception currently being handled into a PendingError.
PendingError pendingErrorFromCurrentException();

// Shows "Unexpected Error in <location>" through the UI services and, when
// `detail` is not blank, appends a record to ERR_DETAIL.TXT in the data folder.
// Never throws; a failure inside shows "Error in Error Handler".
void ReportError(const PendingError& error, const std::string& location, const std::string& detail = {});

// Call from inside a catch block: reports the exception being handled.
void ReportError(const std::string& location, const std::string& detail = {});

// Error boundary: runs `fn`; any exception is reported under `location` and
// `fallback` is returned instead.
template <typename T, typename Fn> T Guarded(const char* location, T fallback, Fn&& fn)
{
    try {
        return std::forward<Fn>(fn)();
    } catch (...) {
        ReportError(location);
        return fallback;
    }
}

template <typename Fn> void Guarded(const char* location, Fn&& fn)
{
    try {
        std::forward<Fn>(fn)();
    } catch (...) {
        ReportError(location);
    }
}

} // namespace kestrow
