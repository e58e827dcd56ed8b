#pragma once
// Registered file types, from the shared MIME database: every glob "*.ext" with the
// comment of its type. Also the tab stop of the lists that show a mask and its type
// description as "mask<TAB>description".

#include <string>

class QListWidget;

namespace kestrow::gui {

// The type description of a file name or mask (the file need not exist): the comment
// of the first MIME type whose glob matches the name, or "" when none does. A mask
// such as "*.txt" is looked up by its extension. Errors: "modFileTypes.GetFileType", "".
std::string GetFileType(const std::string& name);

// Appends one line ".ext<TAB>description" per extension that some MIME type claims
// with a plain "*.ext" glob (the first type claiming it wins; an extension whose
// description is empty is left out), sorted by extension without regard to case.
// Errors: "modFileTypes.LoadFileTypesInListBox"; the lines added so far stay.
void LoadFileTypesInListBox(QListWidget* list);

// Draws the list's lines with the text after the first tab starting at one tab stop,
// 60 dialog units (15 average character widths) from the left, and repaints it.
void SetListBoxTabStops(QListWidget* list);

} // namespace kestrow::gui
