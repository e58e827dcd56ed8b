#pragma once
// kestrow-cli clone SOURCE TARGET [TARGET...] [options]

#include <atomic>
#include <string>

namespace kestrow::cli {

class ConsoleRunHost;

// Exit codes of the run commands.
enum ExitCode : int
{
    ExitOk = 0,
    ExitRunErrors = 1,
    ExitUsage = 2,
    ExitCancelled = 3
};

// Runs the clone command on argv[first..argc). Returns an ExitCode.
int runCloneCommand(int argc, char* argv[], int first);

// Says on stderr, in one line, that `file` could not be written and why (errno `err`):
// "kestrow-cli COMMAND: cannot write FILE: REASON".
void cannotWrite(const char* command, const std::string& file, int err);

// The log of a run on the console while it lives: every line echoed through `host`
// (a Folder Path Error also where errors are read), and a clone.log that cannot be
// written said once, in one line (cannotWrite).
class ConsoleRunLog
{
public:
    ConsoleRunLog(ConsoleRunHost& host, const char* command);
    ~ConsoleRunLog();
    ConsoleRunLog(const ConsoleRunLog&) = delete;
    ConsoleRunLog& operator=(const ConsoleRunLog&) = delete;
    // Whether the log could not be written: the command fails.
    bool unwritten() const { return m_unwritten; }

private:
    std::atomic<bool> m_unwritten{false};
};

// Prints the planned operations of gClone's last run for `target` on stdout:
// "Planned for TARGET: N operations", then one line each.
void printPlan(const std::string& target);

// The usage text of the clone command.
const char* cloneUsage();

} // namespace kestrow::cli
