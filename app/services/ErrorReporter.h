#pragma once
// The shared error reporter of the program and the error-boundary helper that
// every procedure with an error location goes through.

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace kestrow {

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
template <typename T, typename Fn>
T Guarded(const char* location, T fallback, Fn&& fn)
{
    try {
        return std::forward<Fn>(fn)();
    } catch (...) {
        ReportError(location);
        return fallback;
    }
}

template <typename Fn>
void Guarded(const char* location, Fn&& fn)
{
    try {
        std::forward<Fn>(fn)();
    } catch (...) {
        ReportError(location);
    }
}

} // namespace kestrow
