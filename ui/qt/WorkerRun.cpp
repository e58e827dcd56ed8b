#include "ui/qt/WorkerRun.h"

#include "base/ErrorReporter.h"
#include "util/FreshThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>

namespace kestrow::gui {

template <typename Fn> void WindowThreadUiServices::onWindowThread(Fn&& fn)
{
    if (!m_context || QThread::currentThread() == m_context->thread())
        fn();
    else
        QMetaObject::invokeMethod(m_context, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}

MsgResult WindowThreadUiServices::messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                                             MsgButtons buttons)
{
    MsgResult result = safeAnswer(buttons);
    onWindowThread([&] { result = m_target.messageBox(title, text, icon, buttons); });
    return result;
}

std::optional<std::string> WindowThreadUiServices::inputBox(const std::string& title,
                                                            const std::string& prompt,
                                                            const std::string& defaultText)
{
    std::optional<std::string> result;
    onWindowThread([&] { result = m_target.inputBox(title, prompt, defaultText); });
    return result;
}

void WindowThreadUiServices::beep()
{
    onWindowThread([&] { m_target.beep(); });
}

void runOnWorkerThread(QObject* context, const std::function<void()>& work)
{
    WindowThreadUiServices forwarder(ui(), context);
    ScopedUiServices scope(forwarder);

    std::atomic<bool> done{false};
    QEventLoop loop;
    util::runOnFreshThread(
        [&] {
            try {
                work();
            } catch (...) {
                ReportError("frmKestrow.RunTask");
            }
            done = true;
            // Wakes the local loop; a queued call runs after every signal the work sent.
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        },
        [&] {
            // An application quit ends every loop of the thread at once; the work still
            // needs this thread for its prompts, so wait on until it has really ended.
            while (!done) {
                loop.exec();
                if (!done)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
        });
    // The wake-up call may still be queued: let it run while the loop exists. What
    // the work sent to the window (its last status texts) arrives before we return.
    QCoreApplication::sendPostedEvents(&loop);
    if (context)
        QCoreApplication::sendPostedEvents(context);
}

} // namespace kestrow::gui
