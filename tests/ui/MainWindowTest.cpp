// The desktop program's window, offscreen.

#include "app/modKestrow.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "ui/frmKestrow.h"

#include <QApplication>
#include <QMenuBar>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace kestrow;

TEST(MainWindow, StartsWithItsCaptionAndTaskListAndClosesCleanly)
{
    test::TempDir dir;
    test::ScriptedUiServices ui;
    ASSERT_TRUE(StartupLoadLibraries());

    gui::frmKestrow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrow"));
    EXPECT_EQ(window.objectName(), QStringLiteral("frmKestrow"));
    EXPECT_NE(window.findChild<QTreeWidget*>(QStringLiteral("lvwTasks")), nullptr);

    // Closing from inside the event loop ends it.
    QTimer::singleShot(0, &window, &QWidget::close);
    QApplication::exec();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ui.prompts().empty());
    ShutdownUnloadLibraries();
}

int main(int argc, char** argv)
{
    // GUI tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
