#pragma once
// What the main window's files share about the names a person types (trimmed with
// util::trimSpaces, compared with util::equalsIgnoringCase): a task name with a
// character illegal in file names gets one message.

#include "base/UiServices.h"

#include <string>

namespace kestrow::gui::window {

inline void illegalTaskNameMessage()
{
    ui().messageBox("Illegal Task Name",
                    "Task names cannot contain any of the following characters:\n\\ / : * ? \" < > |",
                    MsgIcon::Critical, MsgButtons::Ok);
}

} // namespace kestrow::gui::window
