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

// "Warning: the data folder <gstrAppPath> can be written by other users; files planted
// there could change what Kestrow does." when users other than the effective user may
// change the data folder (platform::folderWritableByOthers); "" when they may not, or
// when the folder cannot be examined.
std::string DataFolderWarning();

// Start-up check of the data folder, made once by each program as it starts: when
// DataFolderWarning() is not empty, appends it to clone.log as one dated line and
// returns it (the CLI also prints it on stderr); otherwise returns "". A log that cannot
// be written loses the line without a message: the next write to it reports the fault.
std::string WarnIfDataFolderIsOpenToOthers();

} // namespace kestrow
