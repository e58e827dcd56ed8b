// Copy method 1 at held folders, and the main module's file routines that work
// by path: the temporary file, the trash, the two copy methods for one file.

#include "engine/cClone.h"

#include "base/ErrorReporter.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "platform/FileOps.h"
#include "platform/FolderAt.h"
#include "util/RetryOnce.h"

namespace kestrow {

namespace clone_detail {

bool SafeCopyAt(const HeldFolder& from, const HeldFolder& to, const std::string& name,
                const std::string& SourceFileSpec, const std::string& TargetFileSpec,
                const platform::PathAttributes* expected, platform::MetadataLoss* loss,
                const platform::BeforeReplace& keepOld)
{
    return Guarded("modKestrow.SafeCopy", false, [&] {
        auto safeCopyError = [](const std::string& file, int32_t code, const std::string& message,
                                const char* custom) {
            LogAdd(LogEntryType::SafeCopyError, file, {}, {}, code, message, custom);
            return false;
        };
        auto errorText = [](int err) {
            return err == platform::kSourceChanged ? std::string(kChangedMessage)
                                                   : GetSystemErrorMessage(err);
        };
        auto code = [](int err) { return err == platform::kSourceChanged ? kChangedCode : err; };

        platform::PathAttributes existing;
        const int probe = platform::entryAttributesAt(to.folder, name, existing);
        if (probe == ENOENT) {
            // Nothing to protect: the copy is whole or absent under its name anyway.
            if (const int err = platform::copyFileAt(from.folder, name, to.folder, name,
                                                     platform::CopyFlavor::Regular, expected, false, loss))
                return safeCopyError(err == platform::kSourceChanged ? SourceFileSpec : TargetFileSpec,
                                     code(err), errorText(err), "(Copy Failed)");
            return true;
        }
        if (probe == 0 && existing.kind == platform::PathKind::Folder) {
            // A folder kept where the Source has a file is never sent to the trash in its place.
            return safeCopyError(TargetFileSpec, EISDIR, GetSystemErrorMessage(EISDIR), "(Copy Failed)");
        }

        if (IsCloneCancelled())
            return false;
        std::string temp;
        if (const int err = platform::copyToTempAt(from.folder, name, to.folder,
                                                   platform::CopyFlavor::Regular, temp, expected, loss)) {
            return safeCopyError(err == platform::kSourceChanged ? SourceFileSpec : TargetFileSpec, code(err),
                                 errorText(err), "(Copy Failed)");
        }
        const std::string tempSpec = GetFolderPart(TargetFileSpec) + temp;
        // From here on every way out that does not rename the temporary file removes it.
        auto dropTemp = [&] { platform::deleteFileAt(to.folder, temp); };

        // On disk before the old Target goes: a crash after the rename finds the whole new file.
        // A link or FIFO copied in its place has no data (ENOTSUP): the folder's flush covers it.
        if (const int err = platform::syncAt(to.folder, temp); err && err != ENOTSUP) {
            dropTemp();
            return safeCopyError(tempSpec, err, GetSystemErrorMessage(err), "(Copy Failed)");
        }
        if (IsCloneCancelled()) {
            dropTemp();
            return false;
        }

        // With old versions kept, the old Target goes there instead of the trash.
        const int trashErr =
            keepOld ? util::retryOnce(
                          keepOld, [](int err) { return IsAccessDenied(err); },
                          [&] { return ClearFolderReadOnly(to); })
                    : util::retryOnce(
                          [&] {
                              return Guarded("modKestrow.SendFileToRecycleBin", EIO, [&] {
                                  return platform::moveToTrashAt(to.folder, name, TargetFileSpec);
                              });
                          },
                          [](int err) { return IsAccessDenied(err); },
                          [&] { return ClearEntryReadOnly(to, name); });
        if (trashErr != 0 && trashErr != ENOENT) {
            dropTemp();
            return safeCopyError(TargetFileSpec, trashErr, GetSystemErrorMessage(trashErr),
                                 "(Delete Failed)");
        }

        // The old Target is in the trash now: the new one takes its place even if
        // a cancel arrived meanwhile, so the name is never left empty.
        if (const int err = platform::renameAt(to.folder, temp, to.folder, name, false)) {
            safeCopyError(tempSpec, err, GetSystemErrorMessage(err), "(Rename Failed)");
            if (const int delErr = platform::deleteFileAt(to.folder, temp))
                safeCopyError(tempSpec, delErr, GetSystemErrorMessage(delErr), "(Delete Failed)");
            return false;
        }
        // The rename itself is durable once its folder is flushed (a file system
        // that cannot flush a folder says so with EINVAL: nothing more to do there).
        if (const int err = platform::syncFolder(to.folder); err && err != EINVAL && err != ENOTSUP)
            return safeCopyError(TargetFileSpec, err, GetSystemErrorMessage(err), "(Rename Failed)");
        return true;
    });
}

} // namespace clone_detail

using namespace clone_detail;

// ---------------------------------------------------------------------------
// Main-module file routines

std::string GetTempFileSpec(const std::string& prefix, const std::string& extension,
                            const std::string& folder, int32_t& errNumber, std::string& errMessage)
{
    errNumber = 0;
    errMessage.clear();
    std::string out;
    const std::string ext = "." + (extension.empty() ? std::string("tmp") : extension);
    const int err = platform::makeUniqueFile(
        folder.empty() ? platform::tempFolder() : WithTrailingSlash(folder), prefix.substr(0, 3), ext, out);
    if (err) {
        errNumber = err;
        errMessage = GetSystemErrorMessage(err);
        return {};
    }
    return out;
}

bool SendFileToRecycleBin(const std::string& fileSpec, int* err)
{
    return Guarded("modKestrow.SendFileToRecycleBin", false, [&] {
        const int rc = platform::moveToTrash(fileSpec);
        if (err)
            *err = rc;
        return rc == 0;
    });
}

bool SafeCopy(const std::string& SourceFileSpec, const std::string& TargetFileSpec,
              const std::string& TargetFolderSpec, const CloneEntryState* listed)
{
    FolderHandles handles;
    int err = 0;
    const HeldFolderPtr from = handles.open(FolderSpecRef(GetFolderPart(SourceFileSpec)), err);
    const HeldFolderPtr to =
        from ? handles.open(FolderSpecRef(WithTrailingSlash(TargetFolderSpec)), err) : nullptr;
    if (!from || !to) {
        LogAdd(LogEntryType::SafeCopyError, from ? TargetFileSpec : SourceFileSpec, {}, {}, err,
               GetSystemErrorMessage(err), "(Copy Failed)");
        return false;
    }
    platform::PathAttributes expected;
    if (listed) {
        expected.kind = platform::PathKind::File;
        expected.size = listed->size;
        expected.lastWrite = listed->lastWrite;
    }
    return SafeCopyAt(*from, *to, GetFileNamePart(SourceFileSpec), SourceFileSpec, TargetFileSpec,
                      listed ? &expected : nullptr, nullptr);
}

bool CopyRetainCreateDateTime(const std::string& SourceFileSpec, const std::string& TargetFileSpec,
                              const std::string& SourceFolderSpec, const std::string& TargetFolderSpec,
                              const std::string& FileName)
{
    return Guarded("modKestrow.CopyRetainCreateDateTime", false, [&] {
        (void)SourceFileSpec;
        (void)TargetFileSpec;
        FolderHandles handles;
        int err = 0;
        const HeldFolderPtr from = handles.open(FolderSpecRef(WithTrailingSlash(SourceFolderSpec)), err);
        const HeldFolderPtr to =
            from ? handles.open(FolderSpecRef(WithTrailingSlash(TargetFolderSpec)), err) : nullptr;
        const int openErr = err;
        err = util::retryOnce(
            [&] {
                return from && to ? platform::copyFileAt(from->folder, FileName, to->folder, FileName,
                                                         platform::CopyFlavor::KeepEverything)
                                  : openErr;
            },
            [&](int e) { return to && IsAccessDenied(e); },
            [&] { return EntryClearedForRetry(*to, FileName); });
        if (err == 0)
            return true;
        LogAdd(LogEntryType::CopyError, FileName, SourceFolderSpec, TargetFolderSpec, err,
               "Dx - " + GetSystemErrorMessage(err));
        return false;
    });
}

} // namespace kestrow
