#pragma once
// What the offscreen dialog tests share: a fresh data folder and scripted answers per
// test, libzelcommon.so loaded from the test's folder, a way to act on a modal dialog
// once its own event loop runs, and the list and button gestures of a user.
// Header only: for test programs that link Qt Widgets and Qt Test.

#include "base/UiServices.h"
#include "platform/SystemInfo.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "ui/qt/QtText.h"
#include "zelcommon/ZelCommon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrow::test {

using gui::q;
using gui::s;

inline std::vector<std::string> listLines(const QListWidget* list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list->count(); ++i)
        lines.push_back(s(list->item(i)->text()));
    return lines;
}

// The selected line's text, or "" with none.
inline std::string selectedLine(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? std::string() : s(selected.front()->text());
}

inline void selectLine(QListWidget* list, const std::string& text)
{
    const QList<QListWidgetItem*> found = list->findItems(q(text), Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << "no line " << text;
    list->setCurrentItem(found.front());
}

// A double click on a line, as the user gives it: press and release, then the second
// press that makes it a double click. The list is laid out first (without running
// the event loop, which would fire the timers of onModal early).
inline void doubleClick(QListWidget* list, QListWidgetItem* line)
{
    list->doItemsLayout();
    const QPoint centre = list->visualItemRect(line).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

// Clicks a child button (push, tool, check or radio) by object name, as the user would.
inline void click(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    ASSERT_TRUE(button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

class ModalDialogTest : public ::testing::Test
{
protected:
    ModalDialogTest()
    {
        std::string failed;
        if (!zc::load(platform::executableFolder(), failed))
            ADD_FAILURE() << "cannot load " << failed;
    }

    // Runs `act` on the modal dialog of type T once it is up (in its own event loop).
    // Timers die with the test, so one that never found its dialog cannot act on a
    // later test's.
    template <typename T, typename Fn> void onModal(Fn act, int triesLeft = 100)
    {
        QTimer::singleShot(0, m_timerContext.get(), [this, act, triesLeft] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                ++modalsHandled;
                act(dialog);
                return;
            }
            if (triesLeft > 0)
                onModal<T>(act, triesLeft - 1);
            else
                ADD_FAILURE() << "the expected dialog never came up";
        });
    }

    std::vector<RecordedPrompt> messages() const { return ui.messages(); }
    // The last message box as "title|text", or "" with none.
    std::string lastMessage() const
    {
        const auto all = ui.messages();
        return all.empty() ? std::string() : all.back().title + "|" + all.back().text;
    }

    TempDir dir;
    ScriptedUiServices ui;
    int modalsHandled = 0;

private:
    std::unique_ptr<QObject> m_timerContext = std::make_unique<QObject>();
};

} // namespace kestrow::test
