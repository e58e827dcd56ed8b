#include "base/ErrorReporter.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/UiServices.h"
#include "platform/InstanceLock.h"
#include "platform/SystemInfo.h"
#include "platform/TextFile.h"
#include "util/Trim.h"

#include <cerrno>
#include <new>
#include <system_error>
#include <utility>

namespace kestrow {

namespace {

constexpr const char* kRegistryDenied = "Access to Registry Denied.";

} // namespace

int32_t errorNumberFromErrno(int err, bool pathExpected)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return pathExpected ? errnum::PathNotFound : errnum::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return errnum::PermissionDenied;
    case ENAMETOOLONG:
    case EINVAL:
        return errnum::BadFileName;
    case EEXIST:
        return 58; // file already exists
    case ENOSPC:
    case EDQUOT:
        return 61; // disk full
    case EIO:
        return 57; // device I/O error
    case ENOMEM:
        return 7; // out of memory
    default:
        return 75; // path/file access error
    }
}

std::string GetSystemErrorMessage(int32_t code)
{
    std::string text = platform::errnoText(code);
    if (text.empty())
        return "Error (" + std::to_string(code) + ") not defined.";
    return text;
}

std::string DataFileErrorText(int32_t err, const std::string& path, std::string otherwise)
{
    if (err == ELOOP)
        return path + " is a symbolic link; Kestrow does not open files of its data folder through links.";
    return otherwise;
}

void ThrowDataFileError(int32_t err, bool pathExpected, const std::string& path, std::string otherwise)
{
    // The statement says all there is; the system's own text for ELOOP would only confuse.
    throw RuntimeError(errorNumberFromErrno(err, pathExpected),
                       DataFileErrorText(err, path, std::move(otherwise)), err == ELOOP ? 0 : err);
}

void RefuseSaveAtLinkedUpdateLock(const platform::UpdateLock& lock)
{
    if (!lock.held() && lock.error() == ELOOP)
        ThrowDataFileError(ELOOP, true, lock.lockFile(), {});
}

PendingError pendingErrorFromCurrentException()
{
    PendingError e;
    try {
        throw;
    } catch (const RuntimeError& ex) {
        e.number = ex.number();
        e.description = ex.what();
        e.systemCode = ex.systemCode();
    } catch (const std::system_error& ex) {
        e.number = errorNumberFromErrno(ex.code().value(), false);
        e.description = ex.what();
        e.systemCode =
            ex.code().category() == std::generic_category() || ex.code().category() == std::system_category()
                ? ex.code().value()
                : 0;
    } catch (const std::bad_alloc&) {
        e.number = 7;
        e.description = "Out of memory";
    } catch (const std::exception& ex) {
        e.number = errnum::Generic;
        e.description = ex.what();
    } catch (...) {
        e.number = errnum::Generic;
        e.description = "Unknown error";
    }
    return e;
}

void ReportError(const PendingError& error, const std::string& location, const std::string& detail)
{
    const std::string title = "Unexpected Error in " + location;
    try {
        std::string block;
        if (error.systemCode != 0) {
            block = "DLL Error: " + GetSystemErrorMessage(error.systemCode) + "\n" +
                    "Error: " + error.description + "\n" + "Source: " + location + "\n" +
                    "No: " + std::to_string(error.systemCode) + "\n";
        } else if (error.description == kRegistryDenied) {
            ui().messageBox(
                title,
                "Unable to read/write information from/to the System\n"
                "autostart folders due to the security rules in place on this computer.\n"
                "All users on this computer must be granted Read/Write Access to the autostart folders.\n"
                "\n"
                "See your System Administrator for assistance.",
                MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        } else {
            block = "Error: " + error.description + "\n" + "Source: " + location + "\n" +
                    "No: " + std::to_string(error.number) + "\n";
        }

        std::string text = block;
        if (!util::onlySpaces(detail)) {
            const std::string record =
                "\n" + NowText() + "\n" + block + "\n" + "- More Information - \n" + detail + "\n";
            const std::string detailFile = gstrAppPath + "ERR_DETAIL.TXT";
            if (int rc = platform::appendToFile(detailFile, record); rc != 0)
                throw RuntimeError(errorNumberFromErrno(rc, true),
                                   DataFileErrorText(rc, detailFile, GetSystemErrorMessage(rc)));
            text += "\nSee the ERR_DETAIL.TXT file before proceeding.\n";
        }
        text += "\n* If this problem persists, please contact our technical support staff for assistance.\n"
                "  (Refer to the Troubleshooting section of the Help file for details.)";
        ui().messageBox(title, text, MsgIcon::Exclamation, MsgButtons::Ok);
    } catch (...) {
        PendingError inner = pendingErrorFromCurrentException();
        try {
            ui().messageBox("Error in Error Handler",
                            "An error has occured in the error handler.\n" + std::to_string(inner.number) +
                                "\n" + inner.description,
                            MsgIcon::Exclamation, MsgButtons::Ok);
        } catch (...) {
            // Nothing is left to tell the user with.
        }
    }
}

void ReportError(const std::string& location, const std::string& detail)
{
    ReportError(pendingErrorFromCurrentException(), location, detail);
}

} // namespace kestrow
