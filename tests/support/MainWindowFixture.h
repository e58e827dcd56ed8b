#pragma once
// What the main window tests share: a temporary data folder, scripted answers, the
// window built and started as the program starts it (no tray), its menu actions by
// name, and the steps of a clean shutdown between tests.
// Header only: for test programs that link the Qt user interface.

#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/DesktopIntegration.h"
#include "ui/qt/QtText.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kestrow::test {

using gui::q;
using gui::s;

inline bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

class MainWindowFixture : public ::testing::Test
{
protected:
    // Builds the window and runs the start-up; windowStarted() follows a start-up
    // that succeeded.
    void start()
    {
        window = std::make_unique<gui::frmKestrow>(gui::DesktopIntegration::TrayMode::NoTray);
        ASSERT_TRUE(window->shell().Main());
        ASSERT_TRUE(window->shell().Form_Load());
        windowStarted();
    }
    virtual void windowStarted() {}

    QAction* action(const char* name) const { return window->action(QString::fromLatin1(name)); }

    void trigger(const char* name)
    {
        QAction* a = action(name);
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
    }

    // The last message box as "title|text".
    std::string lastMessage() const
    {
        const auto all = ui.messages();
        return all.empty() ? std::string() : all.back().title + "|" + all.back().text;
    }

    // Shuts down a window the test left running, then deletes it.
    void closeWindow()
    {
        if (window && !window->unloaded())
            window->shell().Form_Unload();
        window.reset();
    }

    // A shutdown ends the application's event loop even when none is running,
    // which would end the next one at once: run one to its end to clear that.
    static void clearPendingQuit()
    {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }

    TempDir dir;
    ScriptedUiServices ui;
    std::unique_ptr<gui::frmKestrow> window;
};

} // namespace kestrow::test
