#include "ui/qt/QtRunHost.h"

#include "ui/qt/QtText.h"

#include <QCoreApplication>
#include <QThread>

#include <utility>

namespace kestrow::gui {

namespace {
bool performAll(const SyncActionList& actions, std::vector<bool>& skipped, bool& keepConfirming)
{
    skipped.assign(actions.count(), false);
    keepConfirming = true;
    return true;
}
} // namespace

QtRunHost::QtRunHost(QObject* parent) : QObject(parent), m_confirm(performAll) {}

bool QtRunHost::onWindowThread() const
{
    return QThread::currentThread() == thread();
}

void QtRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    const int index = panel == StatusPanel::Panel1 ? 0 : 1;
    if (onWindowThread()) {
        Q_EMIT statusTextChanged(index + 1, q(text));
        return;
    }
    // A worker may send tens of thousands of texts a second; the window shows only
    // the newest of each panel, so one delivery carries whatever is waiting then.
    {
        const std::lock_guard lock(m_pendingMutex);
        m_pendingText[index] = text;
        m_hasPending[index] = true;
        if (m_deliveryPosted)
            return;
        m_deliveryPosted = true;
    }
    QMetaObject::invokeMethod(
        this, [this] { deliverPendingTexts(); }, Qt::QueuedConnection);
}

void QtRunHost::deliverPendingTexts()
{
    std::string texts[2];
    bool has[2] = {false, false};
    {
        const std::lock_guard lock(m_pendingMutex);
        for (int i = 0; i < 2; ++i) {
            has[i] = std::exchange(m_hasPending[i], false);
            texts[i] = std::move(m_pendingText[i]);
        }
        m_deliveryPosted = false;
    }
    for (int i = 0; i < 2; ++i)
        if (has[i])
            Q_EMIT statusTextChanged(i + 1, q(texts[i]));
}

void QtRunHost::processEvents()
{
    if (onWindowThread())
        QCoreApplication::processEvents();
}

void QtRunHost::setAnimationEnabled(bool enabled)
{
    Q_EMIT animationEnabledChanged(enabled);
}

bool QtRunHost::confirmSyncActions(const SyncActionList& actions, std::vector<bool>& skipped,
                                   bool& keepConfirming)
{
    if (onWindowThread())
        return m_confirm(actions, skipped, keepConfirming);
    bool answer = true;
    QMetaObject::invokeMethod(
        this, [&] { answer = m_confirm(actions, skipped, keepConfirming); }, Qt::BlockingQueuedConnection);
    return answer;
}

void QtRunHost::runStarted(const std::string& taskName)
{
    Q_EMIT runStartedOnWindow(q(taskName));
}

void QtRunHost::runFinished(const std::string& taskName)
{
    Q_EMIT runFinishedOnWindow(q(taskName));
}

void QtRunHost::setConfirmHandler(ConfirmHandler handler)
{
    m_confirm = handler ? std::move(handler) : ConfirmHandler(performAll);
}

} // namespace kestrow::gui
