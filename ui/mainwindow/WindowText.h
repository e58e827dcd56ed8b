#pragma once
// What the main window's files share about the names a person types: they are
// trimmed of blanks only, compared without regard to ASCII letter case, and a task
// name with a character illegal in file names gets one message.

#include "base/UiServices.h"

#include <string>

namespace kestrow::gui::window {

// Blanks off both ends (the names the user types are trimmed of blanks only).
inline std::string trimBlanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

inline void illegalTaskNameMessage()
{
    ui().messageBox("Illegal Task Name",
                    "Task names cannot contain any of the following characters:\n\\ / : * ? \" < > |",
                    MsgIcon::Critical, MsgButtons::Ok);
}

} // namespace kestrow::gui::window
