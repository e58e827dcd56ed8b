#pragma once
// The program-wide objects (gCompare, gClone, gCloneTasks, gCloneLog, gPriorityRules,
// gCategories, gRestore) for the life of a front end: created in start-up order, released in
// shutdown order. gCloneTasks starts as an empty list without a file.

#include <string>

namespace kestrow {

class ProgramObjects
{
public:
    ProgramObjects();
    ~ProgramObjects();
    ProgramObjects(const ProgramObjects&) = delete;
    ProgramObjects& operator=(const ProgramObjects&) = delete;
};

// For front ends without a main window (the CLI, the daemon): the whole options
// file read into the objects (ReadProgramOptionsFromIniFile, app/ProgramOptions.h)
// with a window model that nobody shows. Returns false after a report when
// reading stopped at an error.
bool ReadProgramOptionsFromIniFile();

// The options file: gstrAppPath + "kestrow.ini".
const char* OptionsFileName();

// gstrAppPath + "Default Task List.kwt".
std::string DefaultTaskListFileSpec();

} // namespace kestrow
