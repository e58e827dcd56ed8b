#pragma once
// Program-wide folders. gstrAppPath is the data folder (everything the program
// writes); the program folder holds what it only reads (libraries, images, help).

#include <string>

namespace kestrow {

// Data folder, ending with "/": $KESTROW_HOME when set, else
// $XDG_DATA_HOME/kestrow/ (default ~/.local/share/kestrow/). Set by initFolders().
extern std::string gstrAppPath;

// Folder of the running executable, ending with "/". Set by initFolders().
extern std::string gstrProgramPath;

// Fills both folders from the environment and creates the data folder when it is
// missing. Returns false (with errno set) when the data folder cannot be created.
bool initFolders();

} // namespace kestrow
