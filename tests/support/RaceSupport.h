#pragma once
// What the race, escape and long-path tests share: a run host that changes the
// trees at a chosen moment of a run, looks at trees through folder handles only
// (so neither a planted link nor a path past PATH_MAX can mislead the check),
// and a fixture that takes down every mount and deep tree it leaves behind.

#include "tests/support/CloneTestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrow::test {

// The scripted run host with a hook: `action` runs once, at the `afterPumps`-th
// event pump of the chosen phase. Comparing starts with the first Panel1 text of
// a run ("Comparing folders...", "Scanning ..."), performing with "Cloning folder".
class HookedRunHost : public TestRunHost
{
public:
    enum class Phase
    {
        None,
        Comparing,
        Performing
    };

    void setStatusText(StatusPanel panel, const std::string& text) override;
    void processEvents() override;

    Phase when = Phase::Performing;
    int afterPumps = 1;
    std::function<void()> action;
    bool fired = false;
    // The phase the run was in when the hook ran.
    Phase firedIn = Phase::None;

private:
    Phase m_phase = Phase::None;
    int m_phasePumps = 0;
};

enum class WithTimes
{
    no,
    yes
};

// One line per entry below `root` (relative path, kind, permission bits, size,
// link text or bytes, and with WithTimes::yes the last-write time in
// nanoseconds), sorted. Reached by openat from `root` with O_NOFOLLOW: links are
// never followed, no path length limit. "<missing>" when `root` cannot be opened.
std::vector<std::string> TreeLinesAt(const std::string& root, WithTimes times = WithTimes::no);
std::string TreeDigestAt(const std::string& root, WithTimes times = WithTimes::no);
// The lines of one tree that the other lacks, each marked "-" (only in `a`) or "+" (only in `b`).
std::vector<std::string> TreeDifferencesAt(const std::string& a, const std::string& b,
                                           WithTimes times = WithTimes::yes);
// Relative paths of the files below `root` whose name or bytes hold `needle` (links not followed).
std::vector<std::string> FilesHolding(const std::string& root, const std::string& needle);

// Removes `path` and everything below it through folder handles (works past
// PATH_MAX, never follows a link). Missing is fine.
void RemoveTreeAt(const std::string& path);

// Makes a chain of folders named `level` below `base` (created) until the path of
// the deepest passes `minBytes`; returns that deepest folder as a folder spec.
std::string MakeFolderChain(const std::string& base, const std::string& level, size_t minBytes);
// Writes `content` (mode `mode`, last-write time `seconds`) as `name` in the folder
// `folderSpec`, reached by handles from "/" one name at a time.
void WriteFileAt(const std::string& folderSpec, const std::string& name, const std::string& content,
                 unsigned mode = 0644, int64_t seconds = 1'600'000'000);
// The bytes of `name` in `folderSpec` reached the same way; "<missing>" when absent.
std::string ReadFileAt(const std::string& folderSpec, const std::string& name);
bool ExistsAt(const std::string& folderSpec, const std::string& name);

// Runs `script` with /bin/sh, as root or, with `asNobody`, as uid/gid 65534 with no
// other groups (setpriv). Returns the exit status (0: done).
int RunShell(const std::string& script, bool asNobody = false);

// A clone test that also unmounts everything left mounted below its temporary
// folder (deepest first, lazily) and removes the trees it made with handles.
class RaceFixture : public CloneTest
{
protected:
    ~RaceFixture() override;

    // The whole log of the runs so far: what went to the file and what is buffered.
    std::string allLog() const;
    // Whole log lines (date stripped when present) that contain `text`.
    std::vector<std::string> logLinesHolding(const std::string& text) const;
    // Whether any line of the log is an error entry (" *... Error").
    bool loggedAnError() const;

    // The home trash of the test (HOME and XDG_DATA_HOME point into the temporary folder).
    std::string homeTrash() const;

    // Mounts `what` (a command such as "mount --bind SRC") at `point` for the test's length.
    bool mountFor(const std::string& command, const std::string& point);
    void unmountAll();

    // Trees below the temporary folder too deep for the usual removal.
    std::vector<std::string> deepTrees;

private:
    std::vector<std::unique_ptr<ScopedMount>> m_mounts;
};

} // namespace kestrow::test
