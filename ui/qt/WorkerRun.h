#pragma once
// Each run's engine work goes on a fresh thread while the window thread waits in a
// local event loop, so the window stays live (repainting, the cancel commands, the
// tray menu) and the priority the rules choose dies with the run's thread.

#include "base/UiServices.h"

#include <QObject>

#include <functional>

namespace kestrow::gui {

// Forwards every prompt to `target` on the thread of `context` (the window
// thread) and waits for the answer there; on that thread itself it calls through.
class WindowThreadUiServices : public UiServices
{
public:
    WindowThreadUiServices(UiServices& target, QObject* context) : m_target(target), m_context(context) {}

    MsgResult messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override;
    void beep() override;

private:
    template <typename Fn> void onWindowThread(Fn&& fn);

    UiServices& m_target;
    QObject* m_context;
};

// Runs `work` on a new thread and returns when it has ended; meanwhile the calling
// thread (which must be the thread of `context`) runs its events in a local loop.
// For the duration, ui() forwards to the window thread, so a prompt raised by the
// work (the removable-drive question, an error report) is shown there. Exceptions
// thrown by `work` are swallowed after a report ("frmKestrow.RunTask").
void runOnWorkerThread(QObject* context, const std::function<void()>& work);

} // namespace kestrow::gui
