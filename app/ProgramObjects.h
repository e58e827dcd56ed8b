#pragma once
// The program-wide objects (gCompare, gClone, gCloneTasks, gCloneLog, gPriorityRules,
// gCategories, gRestore) for the life of a front end: created in start-up order, released in
// shutdown order. gCloneTasks starts as an empty list without a file. The globals are
// the code's way to them; this object owns them, and sets and clears the globals.

#include <memory>
#include <string>

namespace kestrow {

class cCategories;
class cClone;
class cCloneLog;
class cCloneTasks;
class cCompare;
class cPriorityRules;
class cRestore;

class ProgramObjects
{
public:
    ProgramObjects();
    ~ProgramObjects();
    ProgramObjects(const ProgramObjects&) = delete;
    ProgramObjects& operator=(const ProgramObjects&) = delete;

    // Releases the task list and puts a fresh, empty one without a file in its place
    // (gCloneTasks follows), as opening another list needs. RuntimeError 91 when no
    // program objects exist.
    static cCloneTasks& ReplaceTaskList();

private:
    std::unique_ptr<cCompare> m_compare;
    std::unique_ptr<cClone> m_clone;
    std::unique_ptr<cCloneTasks> m_tasks;
    std::unique_ptr<cCloneLog> m_log;
    std::unique_ptr<cPriorityRules> m_priorityRules;
    std::unique_ptr<cCategories> m_categories;
    std::unique_ptr<cRestore> m_restore;
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
