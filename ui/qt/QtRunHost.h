#pragma once
// The run host of the desktop program. A run's engine work happens on a worker
// thread; everything it asks of the window is carried to the window thread here:
// the animation switch and the start and end of a run go as queued signals (in
// order), status texts as a queued delivery of the newest text of each panel (all
// of them before the run's end), the confirmation list as a blocking call. Called
// on the window thread itself, each acts directly.

#include "base/RunHost.h"

#include <QObject>
#include <QString>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kestrow::gui {

class QtRunHost : public QObject, public RunHost
{
    Q_OBJECT
public:
    // Lives on the thread that creates it (the window thread).
    explicit QtRunHost(QObject* parent = nullptr);

    void setStatusText(StatusPanel panel, const std::string& text) override;
    // On the window thread: lets pending events run. On a worker: nothing (the
    // window thread is never blocked by a run).
    void processEvents() override;
    void setAnimationEnabled(bool enabled) override;
    // Runs the confirm handler on the window thread and waits for its answer (the
    // run's thread, and so its list, stands still meanwhile).
    bool confirmSyncActions(const SyncActionList& actions, std::vector<bool>& skipped,
                            bool& keepConfirming) override;
    void runStarted(const std::string& taskName) override;
    void runFinished(const std::string& taskName) override;

    // The confirmation of the planned operations, called on the window thread. Until
    // the confirmation dialog exists the default performs every operation.
    using ConfirmHandler =
        std::function<bool(const SyncActionList& actions, std::vector<bool>& skipped, bool& keepConfirming)>;
    void setConfirmHandler(ConfirmHandler handler);

Q_SIGNALS:
    void statusTextChanged(int panel, const QString& text);
    void animationEnabledChanged(bool enabled);
    void runStartedOnWindow(const QString& taskName);
    void runFinishedOnWindow(const QString& taskName);

private:
    bool onWindowThread() const;
    // On the window thread: emits the newest waiting text of each panel.
    void deliverPendingTexts();

    ConfirmHandler m_confirm;
    // Texts from a worker waiting for the window thread (newest per panel).
    std::mutex m_pendingMutex;
    std::string m_pendingText[2];
    bool m_hasPending[2] = {false, false};
    bool m_deliveryPosted = false;
};

} // namespace kestrow::gui
