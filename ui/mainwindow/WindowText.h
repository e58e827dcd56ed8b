#pragma once
// What the main window's files share about the names a person types (trimmed with
// util::trimSpaces, compared with util::equalsIgnoringCase): a task name with a
// character illegal in file names gets one message.

#include "tasks/TaskProperties.h"

#include <string>

namespace kestrow::gui::window {

inline void illegalTaskNameMessage()
{
    ShowIllegalTaskNameMessage();
}

} // namespace kestrow::gui::window
