// The desktop run host carries a worker's status texts to the window thread: a
// flood of them must leave the window with the newest of each panel, all of them
// before the run's end, and a text sent on the window thread must arrive at once.

#include "ui/qt/QtRunHost.h"
#include "ui/qt/WorkerRun.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>

namespace kestrow::gui {
namespace {

struct Received
{
    QStringList panel1, panel2;
    int textsAfterEnd = 0;
    bool ended = false;
};

void record(QtRunHost& host, Received& got)
{
    QObject::connect(&host, &QtRunHost::statusTextChanged, &host, [&got](int panel, const QString& text) {
        if (got.ended)
            ++got.textsAfterEnd;
        (panel == 1 ? got.panel1 : got.panel2) << text;
    });
    QObject::connect(&host, &QtRunHost::runFinishedOnWindow, &host, [&got] { got.ended = true; });
}

TEST(QtRunHostTest, AFloodOfWorkerTextsEndsWithTheNewestOfEachPanelBeforeTheRunEnds)
{
    QtRunHost host;
    Received got;
    record(host, got);

    constexpr int kTexts = 20000;
    runOnWorkerThread(&host, [&host] {
        host.runStarted("A");
        host.setStatusText(StatusPanel::Panel1, "Comparing folders...");
        for (int i = 1; i <= kTexts; ++i)
            host.setStatusText(StatusPanel::Panel2, std::to_string(i) + " files");
        host.setStatusText(StatusPanel::Panel1, "Cloning folder \"/src/\"...");
        host.runFinished("A");
    });
    QCoreApplication::processEvents();

    ASSERT_TRUE(got.ended);
    EXPECT_EQ(got.textsAfterEnd, 0);
    ASSERT_FALSE(got.panel1.isEmpty());
    ASSERT_FALSE(got.panel2.isEmpty());
    EXPECT_EQ(got.panel1.back(), QStringLiteral("Cloning folder \"/src/\"..."));
    EXPECT_EQ(got.panel2.back(), QStringLiteral("%1 files").arg(kTexts));
    EXPECT_LE(got.panel2.size(), kTexts);
    // Whatever arrives comes in the order it was sent.
    int last = 0;
    for (const QString& text : got.panel2) {
        const int n = text.section(QLatin1Char(' '), 0, 0).toInt();
        EXPECT_GT(n, last) << text.toStdString();
        last = n;
    }
}

TEST(QtRunHostTest, TextsSentOnTheWindowThreadArriveAtOnceAndEachOne)
{
    QtRunHost host;
    Received got;
    record(host, got);
    host.setStatusText(StatusPanel::Panel2, "1%");
    host.setStatusText(StatusPanel::Panel2, "2%");
    host.setStatusText(StatusPanel::Panel1, "Ready");
    EXPECT_EQ(got.panel2, (QStringList{QStringLiteral("1%"), QStringLiteral("2%")}));
    EXPECT_EQ(got.panel1, QStringList{QStringLiteral("Ready")});
}

} // namespace
} // namespace kestrow::gui
