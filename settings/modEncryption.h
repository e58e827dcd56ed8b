#pragma once
// The scramble the options file keeps the program password in. It hides the password
// from a casual look at kestrow.ini; it is no encryption, and the password only locks
// the window.
//
// The scrambled form uses letters, digits and ~!@#$%^&*<>? only: no blank, quote,
// line break or other character the INI file would trim, unquote or cut. It is
// 2 * (bytes + 4) characters long.

#include <string>

namespace kestrow {

// Empty stays empty. Any bytes (UTF-8 or not) scramble, and UnscramblePassword gives
// them back. Throws RuntimeError when libzelcommon.so is not loaded (the case swap is
// its ToggleCase).
std::string ScramblePassword(const std::string& text);

// Undoes ScramblePassword; empty stays empty. A text that ScramblePassword cannot
// have produced (a password typed into the file by hand) is returned as it is.
// Throws RuntimeError when libzelcommon.so is not loaded.
std::string UnscramblePassword(const std::string& text);

} // namespace kestrow
