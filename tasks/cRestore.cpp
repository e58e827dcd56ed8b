#include "tasks/cRestore.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "tasks/cCloneTask.h"

#include <memory>

namespace kestrow {

cRestore* gRestore = nullptr;

namespace {

constexpr const char* kTitle = "Restore Source";

void warn(const std::string& text)
{
    ui().messageBox(kTitle, text, MsgIcon::Exclamation, MsgButtons::Ok);
}

// Holds the engine's delete and copy options at a restore's values for its own
// lifetime, and puts the user's back however the scope is left.
class RestoreEngineOptions
{
public:
    explicit RestoreEngineOptions(cClone& clone)
        : m_clone(clone), m_deleteMethod(clone.DeleteMethod()), m_copyOnlyIfNewer(clone.CopyOnlyIfNewer())
    {
        m_clone.setDeleteMethod(2);
        m_clone.setCopyOnlyIfNewer(false);
    }
    ~RestoreEngineOptions()
    {
        m_clone.setDeleteMethod(m_deleteMethod);
        m_clone.setCopyOnlyIfNewer(m_copyOnlyIfNewer);
    }
    RestoreEngineOptions(const RestoreEngineOptions&) = delete;
    RestoreEngineOptions& operator=(const RestoreEngineOptions&) = delete;

private:
    cClone& m_clone;
    int32_t m_deleteMethod;
    bool m_copyOnlyIfNewer;
};

// Tells the front end the run began, and that it ended when the scope is left.
class RunStateNotice
{
public:
    explicit RunStateNotice(const RestoreFrontEnd& frontEnd) : m_frontEnd(frontEnd)
    {
        if (m_frontEnd.runStateChanged)
            m_frontEnd.runStateChanged(true);
    }
    ~RunStateNotice()
    {
        if (m_frontEnd.runStateChanged) {
            try {
                m_frontEnd.runStateChanged(false);
            } catch (...) {
                ReportError("frmRestore.cmdRestore_Click");
            }
        }
    }
    RunStateNotice(const RunStateNotice&) = delete;
    RunStateNotice& operator=(const RunStateNotice&) = delete;

private:
    const RestoreFrontEnd& m_frontEnd;
};

} // namespace

std::string RestoreTaskName(const std::string& taskName)
{
    return "RESTORE SOURCE: " + taskName;
}

RestoreOutcome RunRestore(const cRestore& restore, bool treeHasNodes, const std::string& selection,
                          const RestoreFrontEnd& frontEnd)
{
    return Guarded("frmRestore.cmdRestore_Click", RestoreOutcome::NoOutcome, [&] {
        const std::string& source = restore.SourceFolderSpec();
        if (source.empty() || !FolderExists(source, platform::FollowLinks::yes))
            CreateFolderPath(source);
        int32_t errorNumber = 0;
        if (ValidateFolderPath(source, errorNumber) != FolderStatusOk) {
            warn("Unable to create the missing source folder.\nMake sure that the drive is available and "
                 "that you "
                 "have permission to access it.\n\n" +
                 source);
            return RestoreOutcome::NoOutcome;
        }
        if (!treeHasNodes) {
            warn("Source folder contains no contents.");
            return RestoreOutcome::NoOutcome;
        }
        if (selection.empty()) {
            warn("No files or folders have been selected to be Restored.");
            return RestoreOutcome::NoOutcome;
        }
        if (!gClone)
            throw RuntimeError(91, "Object variable or With block variable not set");

        bool errorOnLastClone = true;
        {
            RestoreEngineOptions options(*gClone);
            RunStateNotice notice(frontEnd);
            auto task = std::make_unique<cCloneTask>();
            task->setTaskName(RestoreTaskName(restore.TaskName()));
            task->setSourceFolderSpec(restore.TargetFolderSpec());
            task->setTargetFolderSpec(restore.SourceFolderSpec());
            task->setIncludeSubFolders(restore.IncludeSubFolders());
            task->setIncludeFileSpecs(selection);
            task->setAllFilesAndFolders(false);
            const std::function<void()> work = [&task] { task->Execute(true); };
            if (frontEnd.runWork)
                frontEnd.runWork(work);
            else
                work();
            errorOnLastClone = task->ErrorOnLastClone();
        }

        RestoreOutcome outcome = RestoreOutcome::CompletedWithErrors;
        std::string text = "Restore complete with errors.  See Log for details.";
        if (!errorOnLastClone && !CancelLogged) {
            outcome = RestoreOutcome::Succeeded;
            text = "Restore successfully completed.";
        } else if (CancelRequested) {
            outcome = RestoreOutcome::Cancelled;
            text = "Restore cancelled by user";
        }
        ui().messageBox(kTitle, text, MsgIcon::Information, MsgButtons::Ok);
        return outcome;
    });
}

} // namespace kestrow
