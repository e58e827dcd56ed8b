#pragma once
// kestrow-cli report SOURCE TARGET [--no-subfolders] [--output FILE] [--open]

namespace kestrow::cli {

// Runs the report command on argv[first..argc). Returns an ExitCode (CloneCommand.h):
// 0 when the report was written, 1 when it could not be, 2 on bad usage or a
// folder that cannot be used.
int runReportCommand(int argc, char* argv[], int first);

// The usage text of the report command.
const char* reportUsage();

} // namespace kestrow::cli
