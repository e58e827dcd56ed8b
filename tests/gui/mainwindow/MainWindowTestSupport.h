#pragma once
// The main window tests' fixture: the real window offscreen over a temporary data
// folder, task list files written from TaskSpec rows, a still clock and scripted answers.

#include "app/ProgramOptions.h"
#include "app/modKestrow.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "engine/Report.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/MainWindowFixture.h"
#include "ui/dialogs/log/frmLog.h"
#include "ui/dialogs/restore/frmRestore.h"
#include "ui/dialogs/run/frmConfirmChanges.h"
#include "ui/dialogs/run/frmOrderTasks.h"
#include "ui/dialogs/tasks/frmTaskProperties.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/DesktopIntegration.h"
#include "ui/qt/QtRunHost.h"
#include "ui/qt/QtUiServices.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace kestrow::test::mainwindow {

using namespace kestrow;
using gui::frmKestrow;

using test::contains;
using test::q;
using test::s;

// One task section of a task list file.
struct TaskSpec
{
    std::string name;
    std::string source;
    std::string target;
    int intervalType = 0;
    std::string next = "0";
    bool error = false;
    std::string category = "Unfiled";
};

class MainWindowTest : public test::MainWindowFixture
{
protected:
    MainWindowTest() : clock(dateFromParts({2026, 3, 10, 12, 0, 0})), clockScope(clock)
    {
        gblnSchedulerPaused = false;
        gblnCloneRunning = false;
        gblnScheduledRun = false;
        ResetCancelFlags();
        gCurrentTask.reset();
        // Not a first start: an options file exists. No reminder window on close.
        dir.writeFile("data/kestrow.ini", "[Reminders]\nSysTray=False\n");
    }

    ~MainWindowTest() override
    {
        closeWindow();
        gCurrentTask.reset();
        gblnSchedulerPaused = false;
        clearPendingQuit();
    }

    void writeTaskList(const std::vector<TaskSpec>& tasks)
    {
        std::string text;
        for (const TaskSpec& t : tasks) {
            text += "[" + t.name + "]\nSourceFolderSpec=" + t.source + "\nTargetFolderSpec=" + t.target +
                    "\nIntervalType=" + std::to_string(t.intervalType) +
                    "\nIntervalIncrement=5\nNextCloneDateTime=" + t.next +
                    "\nErrorOnLastClone=" + (t.error ? "True" : "False") + "\nCategory=" + t.category + "\n";
        }
        dir.writeFile("data/Default Task List.kwt", text);
    }

    // A Source with two files and an empty Target, under `name`.
    TaskSpec treeTask(const std::string& name)
    {
        dir.writeFile(name + "/src/one.txt", "one");
        dir.writeFile(name + "/src/sub/two.txt", "two");
        dir.makeDir(name + "/dst");
        return {name, dir / (name + "/src/"), dir / (name + "/dst/")};
    }

    // Runs in these tests perform their operations without the confirmation list.
    void performWithoutConfirming()
    {
        dir.writeFile("data/kestrow.ini",
                      "[Reminders]\nSysTray=False\n[Miscellaneous]\nConfirmSyncActions=False\n");
    }

    QTreeWidget* list() const { return window->taskListView(); }

    std::vector<std::string> rows() const { return window->rowTexts(); }

    void select(const std::string& name)
    {
        QTreeWidgetItem* row = window->findRow(name);
        ASSERT_NE(row, nullptr) << name;
        list()->setCurrentItem(row);
        row->setSelected(true);
    }

    std::string taskListFile() const { return dir.readFile("data/Default Task List.kwt"); }

    // Answers the next task properties dialog once it is shown: Source and Target
    // filled in (when given), then OK, or Cancel.
    void answerPropertiesDialog(const std::string& source, const std::string& target, bool ok)
    {
        dialogsAnswered = 0;
        answerWhenShown(source, target, ok, kPollTries);
    }

    // Dialogs are looked for every few milliseconds for up to half a minute: a run's
    // worker thread may still be comparing when the first looks are made.
    static constexpr int kPollTries = 6000;
    static constexpr int kPollMs = 5;

    void answerWhenShown(const std::string& source, const std::string& target, bool ok, int triesLeft)
    {
        QTimer::singleShot(triesLeft == kPollTries ? 0 : kPollMs, [this, source, target, ok, triesLeft] {
            gui::frmTaskProperties* dialog = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<gui::frmTaskProperties*>(top); d && d->isVisible())
                    dialog = d;
            if (!dialog) {
                if (triesLeft > 0)
                    answerWhenShown(source, target, ok, triesLeft - 1);
                else
                    ADD_FAILURE() << "no task properties dialog";
                return;
            }
            if (!source.empty())
                dialog->findChild<QLineEdit*>(QStringLiteral("txtSourceFolderPath"))->setText(q(source));
            if (!target.empty()) {
                auto* targets = dialog->findChild<QListWidget*>(QStringLiteral("lstTargetFolders"));
                targets->clear();
                targets->addItem(q(target));
            }
            dialog->findChild<QPushButton*>(ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"))
                ->click();
            ++dialogsAnswered;
        });
    }

    // Once a visible top-level window of type T shows up (the next modal dialog), hands
    // it to `answer`, which must close it; counts it in dialogsAnswered.
    template <typename T> void whenShown(std::function<void(T*)> answer, int triesLeft = kPollTries)
    {
        QTimer::singleShot(triesLeft == kPollTries ? 0 : kPollMs, [this, answer, triesLeft] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<T*>(top); d && d->isVisible()) {
                    ++dialogsAnswered;
                    answer(d);
                    return;
                }
            }
            if (triesLeft > 0)
                whenShown<T>(answer, triesLeft - 1);
            else
                ADD_FAILURE() << "no " << T::staticMetaObject.className() << " shown";
        });
    }

    // Types `name` into the open label editor and presses Return.
    void typeIntoLabelEditor(const QString& name)
    {
        auto* editor = list()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(name);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits through a queued call, then deletes the editor.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    ManualClock clock;
    ScopedClock clockScope;
    int dialogsAnswered = 0;
};

} // namespace kestrow::test::mainwindow
