#pragma once
// modAPIReadWriteFile: whole-file text reads and writes. Text is bytes, written
// and returned unchanged (no line-end or code-page conversion).

#include <string>

namespace kestrow {

// The whole content of `fileSpec`. A missing, empty or unreadable file gives "".
std::string ReadStringFromFile(const std::string& fileSpec);

// Writes `text` to `fileSpec`, creating or truncating the file and flushing it.
// An existing file is left alone unless `overwrite` is true.
// An empty `text` deletes an existing file instead (whatever `overwrite` says);
// when that fails, the message box "Write String To File" asks the user to delete
// it by hand.
// Returns true when the file now holds `text` (for an empty text: when no file
// is left). A failed write is reported as "modAPIReadWriteFile.WriteStringToFile".
bool WriteStringToFile(const std::string& fileSpec, const std::string& text, bool overwrite);

} // namespace kestrow
