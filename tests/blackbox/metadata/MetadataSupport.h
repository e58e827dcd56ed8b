#pragma once
// What the metadata and torn-copy cases share: the copy methods, shell commands
// whose output goes into a failure message, rsync as the judge of two trees, and
// the fixture they stand on.

#include "tests/support/FaultSupport.h"
#include "tests/support/RaceSupport.h"

#include <cstdint>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace kestrow::test {

// The values of --copy.
inline const std::vector<std::string> kCopyMethods = {"regular", "safe", "keep"};

struct ShellResult
{
    int status = -1; // the exit status, -1 when it did not exit normally
    std::string out; // stdout and stderr together
};

// Runs `script` with /bin/sh as the test's user.
ShellResult Shell(const std::string& script);

// Whether `program` is found on PATH (or in the sbin folders, where setcap lives).
bool HaveProgram(const std::string& program);

// What rsync would still change to make `target` like `source` (one itemized line
// per difference, including owners, modes, times, ACLs and extended attributes,
// bytes compared by checksum): empty when the trees are alike. Hard links have an
// option of their own, so -H is left out. A failing rsync comes back as text too,
// so that it can never pass for "no differences".
std::string RsyncDifferences(const std::string& source, const std::string& target);

// lstat of `path`; a zeroed stat (st_ino 0) when it is missing.
struct stat StatOf(const std::string& path);

// Deterministic bytes for file contents: `bytes` long, different for each `seed`,
// and never the same 8-byte word twice within a file.
void WritePattern(const std::string& path, uint64_t bytes, uint32_t seed, int64_t seconds);
std::string Pattern(uint64_t bytes, uint32_t seed);

// The names directly in `folder`, sorted.
std::vector<std::string> NamesIn(const std::string& folder);

// Lines of `text` that contain every one of `parts`.
std::vector<std::string> LinesWith(const std::string& text, const std::vector<std::string>& parts);

// The fixture of a black-box case that needs root: it skips (with the reason)
// when there is no kestrow-cli or the test does not run as root.
class RootCliTest : public RaceFixture, public ::testing::WithParamInterface<std::string>
{
protected:
    void SetUp() override;
    // kestrow-cli clone SRC TGT -q with the parameter's copy method and `extra`.
    CliResult Clone(const std::vector<std::string>& extra = {});
    std::string method() const { return GetParam(); }
};

} // namespace kestrow::test
