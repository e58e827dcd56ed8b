#pragma once
// kestrow-cli clone SOURCE TARGET [TARGET...] [options]

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

// The usage text of the clone command.
const char* cloneUsage();

} // namespace kestrow::cli
