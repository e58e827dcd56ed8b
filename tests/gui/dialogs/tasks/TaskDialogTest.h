#pragma once
// The fixture of the task dialog tests: a fresh data folder, the program objects and
// scripted answers per test, a current task to edit, and a way to act on a modal
// dialog once its own event loop runs.

#include "app/ProgramObjects.h"
#include "tasks/cCloneTask.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/tasks/frmTaskProperties.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrow::test {

template <typename T> T* child(QWidget* dialog, const char* name)
{
    auto* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

class TaskDialogTest : public ModalDialogTest
{
protected:
    TaskDialogTest()
    {
        gCurrentTask = std::make_shared<cCloneTask>();
        gCurrentTask->setTaskName("Photos");
        gblnTaskPropertiesCancelled = false;
        gblnTaskPropertiesChanged = false;
    }
    ~TaskDialogTest() override { gCurrentTask.reset(); }

    // "title|text" of every message box so far.
    std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> texts;
        for (const RecordedPrompt& p : ui.messages())
            texts.push_back(p.title + "|" + p.text);
        return texts;
    }

    ProgramObjects objects;
};

} // namespace kestrow::test
