#pragma once
// Small process-level facts: environment, own executable, local time.

#include <ctime>
#include <optional>
#include <string>

namespace kestrow::platform {

// Value of an environment variable, nullopt when unset.
std::optional<std::string> env(const char* name);

// Folder holding the running executable (from /proc/self/exe), ending with "/".
std::string executableFolder();

// Local broken-down time of now, to the second.
std::tm localNow();

// The user's home folder ($HOME, else the password database).
std::string homeFolder();

// The process's working folder, without a trailing "/" (so "/" itself is "/"); empty when
// it cannot be read (it was removed, or a parent is not searchable). No length limit.
std::string workingFolder();

// Creates `path` and every missing parent (mode 0700 for new folders).
// Returns 0 on success or the errno of the failing step.
int makePath(const std::string& path);

// strerror text for `err`, empty when the system has none ("Unknown error n").
std::string errnoText(int err);

// Whether stderr is a terminal (a beep there is heard, elsewhere it is noise).
bool stderrIsTerminal();
bool stdoutIsTerminal();

// Columns of the terminal stderr is, 0 when it is none or does not say.
int stderrTerminalColumns();

} // namespace kestrow::platform
