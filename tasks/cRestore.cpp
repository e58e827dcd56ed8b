#include "tasks/cRestore.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "tasks/cCloneTask.h"
#include "util/ScopeExit.h"

#include <memory>

namespace kestrow {

cRestore* gRestore = nullptr;

namespace {

constexpr const char* kTitle = "Restore Source";

void warn(const std::string& text)
{
    ui().messageBox(kTitle, text, MsgIcon::Exclamation, MsgButtons::Ok);
}

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
        // A plan-only restore makes nothing: a missing Source is planned as a new Target is.
        const bool planOnly = gClone && gClone->PlanOnly();
        const bool missing = source.empty() || !FolderExists(source, platform::FollowLinks::yes);
        const bool planCreation = planOnly && missing && !source.empty();
        if (missing && !planOnly)
            CreateFolderPath(source);
        int32_t errorNumber = 0;
        if (!planCreation && ValidateFolderPath(source, errorNumber) != FolderStatusOk) {
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
            // The engine's delete, copy and versions options at a restore's values while
            // it runs; the user's come back however the scope is left. A restore keeps no
            // old versions of what it replaces in the Source.
            cClone& clone = *gClone;
            const int32_t deleteMethod = clone.DeleteMethod();
            const bool copyOnlyIfNewer = clone.CopyOnlyIfNewer();
            const bool keepVersions = clone.KeepVersions();
            const bool createTargetFolder = clone.CreateTargetFolder();
            clone.setDeleteMethod(DeleteMethodDoNotDelete);
            clone.setCopyOnlyIfNewer(false);
            clone.setKeepVersions(false);
            if (planCreation)
                clone.setCreateTargetFolder(true);
            cCompare* compare = restore.EveryEntry() ? gCompare : nullptr;
            const bool skips[] = {
                compare && compare->IgnoreHiddenFiles(), compare && compare->IgnoreHiddenFolders(),
                compare && compare->IgnoreSystemFiles(), compare && compare->IgnoreSystemFolders()};
            auto setSkips = [compare](const bool(&values)[4]) {
                if (!compare)
                    return;
                compare->setIgnoreHiddenFiles(values[0]);
                compare->setIgnoreHiddenFolders(values[1]);
                compare->setIgnoreSystemFiles(values[2]);
                compare->setIgnoreSystemFolders(values[3]);
            };
            setSkips({false, false, false, false});
            const util::ScopeExit restoreOptions([&] {
                clone.setDeleteMethod(deleteMethod);
                clone.setCopyOnlyIfNewer(copyOnlyIfNewer);
                clone.setKeepVersions(keepVersions);
                clone.setCreateTargetFolder(createTargetFolder);
                setSkips(skips);
            });
            // The front end hears that the run began, and that it ended.
            if (frontEnd.runStateChanged)
                frontEnd.runStateChanged(true);
            const util::ScopeExit runEnded([&] {
                if (!frontEnd.runStateChanged)
                    return;
                try {
                    frontEnd.runStateChanged(false);
                } catch (...) {
                    ReportError("frmRestore.cmdRestore_Click");
                }
            });
            auto task = std::make_unique<cCloneTask>();
            task->setTaskName(RestoreTaskName(restore.TaskName()));
            task->setSourceFolderSpec(restore.TargetFolderSpec());
            task->setTargetFolderSpec(restore.SourceFolderSpec());
            task->setIncludeSubFolders(restore.IncludeSubFolders());
            task->setIncludeFileSpecs(selection);
            task->setAllFilesAndFolders(false);
            const std::function<void()> work = [&task] { task->Execute(cCloneTask::kRestoreRun); };
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
