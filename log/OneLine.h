#pragma once
// The one form in which a name (or any text from outside the program) goes into a
// line of the log, a printed plan or a report: a control character in a file name
// must never start a line of its own, nor reach a terminal as a command.
//
// The form: a backslash is written "\\", a line feed "\n", a carriage return "\r",
// a tab "\t", and every other byte from 0x01 to 0x1F and 0x7F as "\x" and two
// lower-case hex digits (ESC is "\x1b"). Every other byte is kept as it is. A
// backslash is always doubled, so a name holding a backslash and an "n" never
// reads as one holding a line feed, and the form reads back to the same bytes.

#include <string>
#include <string_view>

namespace kestrow {

// Whether `text` reads differently in its one-line form.
bool NeedsOneLineForm(std::string_view text);

// `text` in its one-line form.
std::string OneLineForm(std::string_view text);

// Appends `text` in its one-line form to `out`.
void AppendOneLineForm(std::string& out, std::string_view text);

} // namespace kestrow
