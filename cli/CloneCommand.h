#pragma once
// kestrow-cli clone SOURCE TARGET [TARGET...] [options]

#include <string>

namespace kestrow::cli {

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

// The usage text of the clone command.
const char* cloneUsage();

} // namespace kestrow::cli
