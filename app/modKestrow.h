#pragma once
// Program-wide start-up routines shared by the GUI and the CLI.

#include <string>

namespace kestrow {

// Application-defined error base that the start-up raises its own errors under.
inline constexpr int32_t kAppErrorBase = static_cast<int32_t>(0x80040000u);

// Fills the folders and loads libzelcommon.so and liblumbrel.so from the program
// folder. On failure the error reporter shows "Error loading DLL - " and the
// file name under "modKestrow.Main", and false is returned: the caller ends.
bool StartupLoadLibraries();

// Frees both libraries (at shutdown).
void ShutdownUnloadLibraries();

} // namespace kestrow
