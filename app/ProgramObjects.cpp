#include "app/ProgramObjects.h"

#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/cPriorityRules.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "tasks/cRestore.h"

#include <string>

namespace kestrow {

namespace {

ProgramObjects* gLiveObjects = nullptr;

// Creates one object and points its global at it.
template <typename T> void create(std::unique_ptr<T>& owned, T*& global)
{
    owned = std::make_unique<T>();
    global = owned.get();
}

// Deletes one object, then clears its global.
template <typename T> void release(std::unique_ptr<T>& owned, T*& global)
{
    owned.reset();
    global = nullptr;
}

} // namespace

ProgramObjects::ProgramObjects()
{
    create(m_compare, gCompare);
    create(m_clone, gClone);
    create(m_tasks, gCloneTasks);
    create(m_log, gCloneLog);
    create(m_priorityRules, gPriorityRules);
    create(m_categories, gCategories);
    create(m_restore, gRestore);
    gLiveObjects = this;
}

ProgramObjects::~ProgramObjects()
{
    if (gLiveObjects == this)
        gLiveObjects = nullptr;
    // Shutdown order: the task list first, the categories last.
    release(m_restore, gRestore);
    release(m_tasks, gCloneTasks);
    release(m_compare, gCompare);
    release(m_clone, gClone);
    release(m_log, gCloneLog);
    release(m_priorityRules, gPriorityRules);
    release(m_categories, gCategories);
}

cCloneTasks& ProgramObjects::ReplaceTaskList()
{
    if (!gLiveObjects)
        throw RuntimeError(91, "Object variable or With block variable not set");
    // The old list is gone before the new one exists: never two lists at once.
    release(gLiveObjects->m_tasks, gCloneTasks);
    create(gLiveObjects->m_tasks, gCloneTasks);
    return *gCloneTasks;
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
