#include "ui/QtRunHost.h"

#include "ui/QtText.h"

#include <QCoreApplication>
#include <QThread>

namespace kestrow::gui {

namespace {
bool performAll(const std::vector<std::string>& actions, std::vector<bool>& skipped, bool& keepConfirming)
{
    skipped.assign(actions.size(), false);
    keepConfirming = true;
    return true;
}
} // namespace

QtRunHost::QtRunHost(QObject* parent) : QObject(parent), m_confirm(performAll)
{
}

bool QtRunHost::onWindowThread() const
{
    return QThread::currentThread() == thread();
}

void QtRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    Q_EMIT statusTextChanged(panel == StatusPanel::Panel1 ? 1 : 2, q(text));
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

bool QtRunHost::confirmSyncActions(const std::vector<std::string>& actions, std::vector<bool>& skipped,
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
