#pragma once
// Running the built kestrow-cli from a fault test: to its end, or killed at a
// chosen moment. The child inherits the test's environment (KESTROW_HOME and
// the XDG folders point into the test's temporary folder).

#include <string>
#include <vector>

namespace kestrow::test {

// The built kestrow-cli, or "" when this build has none.
std::string CliPath();

struct CliResult
{
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, 0 when it exited
    std::string out, err;
};

// Runs kestrow-cli with `args` and waits for it.
CliResult RunCli(const std::vector<std::string>& args);

// Runs kestrow-cli with `args` as the user nobody (group nogroup, no other groups)
// through setpriv, so permission bits bind it even when the test runs as root.
// The caller makes sure nobody can reach the program and the folders it needs.
CliResult RunCliAsNobody(const std::vector<std::string>& args);

// Starts kestrow-cli with `args` (output discarded) and returns its process id.
int StartCli(const std::vector<std::string>& args);
// Sends SIGKILL after `delayMicros` and reaps the child; true when the kill ended it
// (false when it had already finished by itself).
bool KillAfter(int pid, long delayMicros);

// A digest of everything under `folder` (names, kinds, link texts, bytes,
// permission bits), links never followed: equal digests, equal trees.
std::string TreeDigest(const std::string& folder);

} // namespace kestrow::test
