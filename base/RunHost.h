#pragma once
// What a run needs from the front end that started it: status texts, a chance
// for pending events to run, the tray animation, the confirmation list and the
// window-state hooks. The GUI marshals these to its window thread; the CLI
// prints status texts to stderr and answers the confirmation itself.

#include "util/ScopeExit.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrow {

enum class StatusPanel
{
    Panel1,
    Panel2
};

// What one Target's operations list holds, as it is about to be performed.
struct PlannedWork
{
    uint64_t files = 0; // copies, hard links among them
    uint64_t bytes = 0; // the copies' data as listed (a hard link has none)
    uint64_t deletions = 0;
    uint64_t foldersMade = 0;
    uint64_t foldersRemoved = 0;
    uint64_t others = 0; // renames and metadata updates
};

enum class WorkKind : uint8_t
{
    Copy,
    Delete,
    MakeFolder,
    RemoveFolder,
    Other
};

// The planned operations as the confirmation list reads them, one line per entry of
// the operations list. A line is made only when asked for, so a list of a million
// entries costs nothing until it is looked at.
class SyncActionList
{
public:
    virtual ~SyncActionList() = default;
    virtual size_t count() const = 0;
    // The text of entry `i` (0-based).
    virtual std::string line(size_t i) const = 0;
    // Entry `i` was taken out of the list before it was shown (not listed).
    virtual bool withdrawn(size_t i) const = 0;
};

// A list held as texts, for a caller that has them already; an entry equal (with
// regard to case) to "|REMOVED ACTION|" counts as withdrawn.
class SyncActionTexts : public SyncActionList
{
public:
    explicit SyncActionTexts(std::vector<std::string> texts) : m_texts(std::move(texts)) {}
    size_t count() const override { return m_texts.size(); }
    std::string line(size_t i) const override { return m_texts[i]; }
    bool withdrawn(size_t i) const override;

private:
    std::vector<std::string> m_texts;
};

class RunHost
{
public:
    virtual ~RunHost() = default;

    // Status-bar text of one of the two panels.
    virtual void setStatusText(StatusPanel panel, const std::string& text) = 0;

    // Lets pending events run (timer ticks, the cancel command, repainting).
    virtual void processEvents() {}

    // The tray animation of a running task.
    virtual void setAnimationEnabled(bool) {}

    // Shows the planned operations for confirmation. Returns false when the user
    // cancelled the run (the host then has set CancelRequested); otherwise `skipped`
    // (one flag per entry of `actions`) says which entries the user took out, and
    // `keepConfirming` is false when the user switched confirmation off for later
    // runs. `actions` stays valid and unchanged for the length of the call only.
    virtual bool confirmSyncActions(const SyncActionList& actions, std::vector<bool>& skipped,
                                    bool& keepConfirming)
    {
        skipped.assign(actions.count(), false);
        keepConfirming = true;
        return true;
    }

    // Window-state hooks around a task run (menus and toolbar disabled, tray icon).
    virtual void runStarted(const std::string& /*taskName*/) {}
    virtual void runFinished(const std::string& /*taskName*/) {}

    // Progress of a run, for a front end that shows it. The engine calls the
    // three below only when this is true, so a host without them costs nothing.
    virtual bool wantsProgress() const { return false; }
    // One Target's comparison begins.
    virtual void comparingStarted(const std::string& /*source*/, const std::string& /*target*/) {}
    // Its list is about to be performed.
    virtual void performingStarted(const PlannedWork&) {}
    // One planned operation is over; `happened` is false when it failed or was
    // left undone (a folder not empty). `bytes` is the copy's listed size.
    virtual void workDone(WorkKind, uint64_t /*bytes*/, bool /*happened*/) {}
};

// Host used when nobody installed one: no status, no prompts.
RunHost& runHost();

class ScopedRunHost
{
public:
    explicit ScopedRunHost(RunHost& host);

private:
    util::ScopedValue<RunHost*> m_installed;
};

} // namespace kestrow
