#pragma once
// What the clone engine tests share: a run host that records and scripts, the
// engine installed as gClone, helpers to build trees, and a full comparison of
// two trees.

#include "base/RunHost.h"
#include "engine/cClone.h"
#include "tests/support/EngineTestSupport.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrow::test {

// Records status texts and confirmations; can cancel after a number of event
// pumps, and answers the confirmation list as scripted.
class TestRunHost : public RunHost
{
public:
    TestRunHost() : m_scope(*this) {}

    void setStatusText(StatusPanel panel, const std::string& text) override;
    void processEvents() override;
    void setAnimationEnabled(bool enabled) override { animation.push_back(enabled); }
    bool confirmSyncActions(const SyncActionList& actions, std::vector<bool>& skipped,
                            bool& keepConfirming) override;

    // Status texts in order, per panel.
    std::vector<std::string> panel1, panel2;
    std::vector<bool> animation;
    int pumps = 0;
    // Sets CancelRequested once `pumps` reaches this (0: never).
    int cancelAtPump = 0;
    // Counts pumps only after a Panel1 text beginning "Cloning folder" (the performing phase).
    bool countOnlyWhilePerforming = false;

    // Confirmation: how often asked, what was shown (every entry's line, withdrawn
    // ones too), which entries were withdrawn, what to answer.
    int confirmations = 0;
    std::vector<std::string> shown;
    std::vector<bool> withdrawn;
    std::set<size_t> skipIndexes; // 0-based entries the person takes out
    bool answerPerform = true;
    bool answerKeepConfirming = true;

private:
    bool m_performing = false;
    ScopedRunHost m_scope;
};

class CloneTest : public EngineTest
{
protected:
    CloneTest();
    ~CloneTest() override;

    // The Source and Target roots (folder specs).
    std::string src() const { return root() + "src/"; }
    std::string tgt() const { return root() + "tgt/"; }

    // Writes `content` at root-relative `relative` with last-write time `seconds`.
    std::string file(const std::string& relative, const std::string& content, int64_t seconds = 1'600'000'000,
                     int64_t nanos = 0);
    // A symbolic link at root-relative `relative` holding `text`.
    std::string link(const std::string& relative, const std::string& text);
    std::string folder(const std::string& relative);
    bool exists(const std::string& path) const; // anything there, links not followed
    std::string read(const std::string& path) const { return tmp.readFile(path); }
    void setMode(const std::string& path, unsigned mode);
    unsigned modeOf(const std::string& path) const;

    // CloneAll with PlanOnly: the text form of the plan.
    std::vector<std::string> plan(bool subfolders = true);
    // Log entries that begin with `prefix` (after the date), in order.
    std::vector<std::string> entriesStartingWith(const std::string& prefix) const;
    // Every file name under `folder` (recursively) that begins with "kw_".
    std::vector<std::string> tempFilesUnder(const std::string& folder) const;

    cClone clone;
    TestRunHost host;
};

// Differences between two trees, one text per difference (empty when the trees
// hold the same names, kinds, bytes, permission bits, last-write times and link
// texts, and owners, groups and extended attributes; folders also by their
// permission bits and last-write times).
std::vector<std::string> TreeDifferences(const std::string& a, const std::string& b);

enum class Enforced
{
    RunHere,
    DoneInChild,
    Unavailable
};

// Permission bits bind root only without its override rights. For a root user
// this runs the current test again in a child process that has dropped them
// (setpriv) and reports the child's result: DoneInChild. In that child, and for
// any other user, it returns RunHere. Unavailable when the child cannot be made.
Enforced RunWithPermissionsEnforced();

} // namespace kestrow::test
