#pragma once
// Shared pieces of the task dialog tests: a fresh data folder, the program objects and
// scripted answers per test, a current task to edit, and a way to act on a modal
// dialog once its own event loop runs.

#include "app/ProgramObjects.h"
#include "app/services/UiServices.h"
#include "platform/SystemInfo.h"
#include "tasks/cCloneTask.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "ui/frmTaskProperties.h"
#include "zelcommon/ZelCommon.h"

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

inline QString q(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string s(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline std::vector<std::string> listLines(const QListWidget* list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list->count(); ++i)
        lines.push_back(s(list->item(i)->text()));
    return lines;
}

template <typename T> T* child(QWidget* dialog, const char* name)
{
    auto* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Clicks a child button by object name, as the user would.
inline void click(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    ASSERT_TRUE(button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

class TaskDialogTest : public ::testing::Test
{
protected:
    TaskDialogTest()
    {
        std::string failed;
        if (!zc::load(platform::executableFolder(), failed))
            ADD_FAILURE() << "cannot load " << failed;
        gCurrentTask = std::make_shared<cCloneTask>();
        gCurrentTask->setTaskName("Photos");
        gblnTaskPropertiesCancelled = false;
        gblnTaskPropertiesChanged = false;
    }
    ~TaskDialogTest() override { gCurrentTask.reset(); }

    // Runs `act` on the modal dialog of type T once it is up (in its own event loop).
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

    // "title|text" of every message box so far.
    std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> texts;
        for (const RecordedPrompt& p : ui.messages())
            texts.push_back(p.title + "|" + p.text);
        return texts;
    }
    std::string lastMessage() const
    {
        const auto all = messageTexts();
        return all.empty() ? std::string() : all.back();
    }

    TempDir dir;
    ScriptedUiServices ui;
    ProgramObjects objects;
    int modalsHandled = 0;

private:
    std::unique_ptr<QObject> m_timerContext = std::make_unique<QObject>();
};

} // namespace kestrow::test
