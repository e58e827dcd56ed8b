#pragma once
// What a run needs from the front end that started it: status texts, a chance
// for pending events to run, the tray animation, the confirmation list and the
// window-state hooks. The GUI marshals these to its window thread; the CLI
// prints status texts to stderr and answers the confirmation itself.

#include "util/ScopeExit.h"

#include <string>
#include <vector>

namespace kestrow {

enum class StatusPanel
{
    Panel1,
    Panel2
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

    // Shows the planned operations (their text form, 1:1 with the list) for
    // confirmation. Returns false when the user cancelled the run (the host then
    // has set CancelRequested); otherwise `skipped` (same size as `actions`) says
    // which entries the user took out, and `keepConfirming` is false when the user
    // switched confirmation off for later runs.
    virtual bool confirmSyncActions(const std::vector<std::string>& actions, std::vector<bool>& skipped,
                                    bool& keepConfirming)
    {
        skipped.assign(actions.size(), false);
        keepConfirming = true;
        return true;
    }

    // Window-state hooks around a task run (menus and toolbar disabled, tray icon).
    virtual void runStarted(const std::string& /*taskName*/) {}
    virtual void runFinished(const std::string& /*taskName*/) {}
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
