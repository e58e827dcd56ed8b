#include "app/ProgramObjects.h"

#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/cPriorityRules.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "tasks/cRestore.h"

#include <string>

namespace kestrow {

ProgramObjects::ProgramObjects()
{
    gCompare = new cCompare;
    gClone = new cClone;
    gCloneTasks = new cCloneTasks;
    gCloneLog = new cCloneLog;
    gPriorityRules = new cPriorityRules;
    gCategories = new cCategories;
    gRestore = new cRestore;
}

ProgramObjects::~ProgramObjects()
{
    // Shutdown order: the task list first, the categories last.
    delete gRestore;
    gRestore = nullptr;
    delete gCloneTasks;
    gCloneTasks = nullptr;
    delete gCompare;
    gCompare = nullptr;
    delete gClone;
    gClone = nullptr;
    delete gCloneLog;
    gCloneLog = nullptr;
    delete gPriorityRules;
    gPriorityRules = nullptr;
    delete gCategories;
    gCategories = nullptr;
}

const char* OptionsFileName()
{
    return "kestrow.ini";
}

std::string DefaultTaskListFileSpec()
{
    return gstrAppPath + "Default Task List.kwt";
}

bool ReadProgramOptionsFromIniFile()
{
    ProgramOptions unseen;
    return ReadProgramOptionsFromIniFile(unseen);
}

} // namespace kestrow
