#include "log/CloneLog.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "log/APIReadWriteFile.h"
#include "log/OneLine.h"
#include "platform/TextFile.h"
#include "zelcommon/ZelCommon.h"

#include <cerrno>
#include <charconv>
#include <initializer_list>
#include <string_view>

namespace kestrow {

cCloneLog* gCloneLog = nullptr;

namespace {

std::string join(std::initializer_list<std::string_view> parts)
{
    size_t size = 0;
    for (std::string_view part : parts)
        size += part.size();
    std::string text;
    text.reserve(size);
    for (std::string_view part : parts)
        text.append(part);
    return text;
}

[[noreturn]] void throwFileError(int err, const std::string& fileSpec)
{
    ThrowDataFileError(err, true, fileSpec, GetSystemErrorMessage(err) + ": " + fileSpec);
}

} // namespace

std::string cCloneLog::LogFileSpec() const
{
    return gstrAppPath + "clone.log";
}

bool cCloneLog::AppendEntryText(std::string& out, LogEntryType type, const std::string& task,
                                const std::string& file, const std::string& src, const std::string& tgt,
                                int32_t errorNum, const std::string& msg, const std::string& custom) const
{
    char digits[16];
    const std::string_view n(
        digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, errorNum).ptr - digits));
    const bool onlyErrors = LogOnlyErrors();
    auto add = [&out](std::initializer_list<std::string_view> parts) {
        for (std::string_view part : parts)
            out.append(part);
        return true;
    };
    using T = LogEntryType;
    switch (type) {
    case T::Begin:
        return add({"<Begin: ", task, ">\n"});
    case T::End:
        return add(
            {"<End: ", task, onlyErrors ? "> {Only Errors Logged}" : "> {All Activity Logged}", "\n\n"});
    case T::Copied:
        return !onlyErrors && add({" - Copied: ", file, " from ", src, " to ", tgt, "\n"});
    case T::Deleted:
        return !onlyErrors && add({" - Deleted: ", file, " from ", tgt, "\n"});
    case T::CreatedFolder:
        return !onlyErrors && add({" - Created Folder: ", tgt, "\n"});
    case T::DeletedFolder:
        return !onlyErrors && add({" - Deleted Folder: ", tgt, "\n"});
    case T::CopyError:
        return add({" *Copy Error: ", n, " ", msg, " ", file, " from ", src, " to ", tgt, "\n"});
    case T::DeleteError:
        return add({" *Delete Error: ", n, " ", msg, " ", file, " from ", tgt, "\n"});
    case T::CreateDirError:
        return add({" *Create Dir Error: ", n, " ", msg, " ", tgt, "\n"});
    case T::DeleteDirError:
        return add({" *Delete Dir Error: ", n, " ", msg, " ", tgt, "\n"});
    case T::UnexpectedError:
        return add({" *Unexpected Error: ", n, " ", msg, " ", "File Name: ", file, " Source Folder: ", src,
                    " Target Folder: ", tgt, "\n"});
    case T::DuplicateFileError:
        return add({" *Duplicate File Error: ", n, " ", msg, " ", file, " in ", src, "\n"});
    case T::ContentCompareError:
        return add({" *Content Compare Error: ", n, " ", msg, " ", "Comparing ", file, " in ", src, " and ",
                    tgt, "\n"});
    case T::CrcCompareError:
        return add(
            {" *CRC Compare Error: ", n, " ", msg, " ", "Comparing ", file, " in ", src, " and ", tgt, "\n"});
    case T::UserCancelledError:
        return add({" *User Cancelled Error: \n"});
    case T::FolderPathError:
        return add({" *Folder Path Error: ", " ", msg, " ", file, "\n"});
    case T::ApplicationShutdownError:
        return add({" *Application Shutdown Error: The clone task was aborted\n"});
    case T::IncludeFilterFolderError:
        return add({" *Include Filter Error: The subfolder does not exist ", " ", file, "\n"});
    case T::SafeCopyError:
        return add({" *Safe Copy Error: ", custom, " ", n, " ", msg, " ", file, "\n"});
    case T::IncludeFilterFileError:
        return add({" *Include Filter Error: The file does not exist ", " ", file, "\n"});
    case T::GetSubFoldersError:
        return add({" *Get SubFolders Error: ", n, " ", msg, " ", file, "\n"});
    case T::InformationOnly:
        return !onlyErrors && add({" - Information Only: ", custom, "\n"});
    case T::FileExistenceCheckError:
        return add({" *File Existence Check Error: ", n, " ", msg, " ", custom, "\n"});
    case T::UpdatedAttributes:
        if (onlyErrors)
            return false;
        // A file: its name and folder; a folder: the folder alone.
        return tgt.empty() ? add({" - Updated attributes: ", file, "\n"})
                           : add({" - Updated attributes: ", file, " in ", tgt, "\n"});
    }
    return false;
}

bool cCloneLog::AddsNothing(LogEntryType type) const
{
    using T = LogEntryType;
    if (static_cast<int32_t>(type) < 0 ||
        static_cast<int32_t>(type) > static_cast<int32_t>(T::UpdatedAttributes))
        return true;
    const bool success = type == T::Copied || type == T::Deleted || type == T::CreatedFolder ||
                         type == T::DeletedFolder || type == T::InformationOnly ||
                         type == T::UpdatedAttributes;
    return success && LogOnlyErrors();
}

namespace {

// Now with its date and time, made once per second of the clock (per thread: Add may
// be called on more than one).
const std::string& NowTextOncePerSecond()
{
    thread_local bool have = false;
    thread_local DateValue value = 0;
    thread_local std::string text;
    const DateValue now = currentClock().now();
    if (!have || now != value) {
        text = DateAndTimeText(now);
        value = now;
        have = true;
    }
    return text;
}

} // namespace

void cCloneLog::Add(LogEntryType pEntryType, const std::string& pstrTaskName, const std::string& pstrFileName,
                    const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                    int32_t plngErrorNum, const std::string& pstrErrorMsg, const std::string& pstrCustomMsg)
{
    Guarded("cCloneLog.Add", [&] {
        if (AddsNothing(pEntryType))
            return;
        const std::string* msg = &pstrErrorMsg;
        std::string blanked;
        if (pstrErrorMsg.find('\n') != std::string::npos) {
            blanked = zc::ReplaceString(pstrErrorMsg, "\r\n", "  ");
            // System messages here end their lines with a bare "\n": those must not
            // split the entry either.
            blanked = zc::ReplaceString(blanked, "\n", "  ");
            msg = &blanked;
        }
        // Names come from the file system: whatever they hold, one event stays one line.
        std::string forms[6];
        auto oneLine = [&forms](int i, const std::string& text) -> const std::string& {
            if (!NeedsOneLineForm(text))
                return text;
            forms[i] = OneLineForm(text);
            return forms[i];
        };
        const std::string& date = NowTextOncePerSecond();
        std::string line;
        line.reserve(date.size() + 160);
        line.assign(date);
        if (!AppendEntryText(line, pEntryType, oneLine(0, pstrTaskName), oneLine(1, pstrFileName),
                             oneLine(2, pstrSourceFolderSpec), oneLine(3, pstrTargetFolderSpec), plngErrorNum,
                             oneLine(4, *msg), oneLine(5, pstrCustomMsg)))
            return;
        m_InMemoryLog.Append(line);
        if (m_observer)
            m_observer(line);
        m_CurrInMemoryLogSize += static_cast<int32_t>(line.size());
        if (m_CurrInMemoryLogSize > LogFlushThreshold) {
            AppendInMemoryStringToLogFile();
            ResetInMemoryLog();
        }
    });
}

bool cCloneLog::AppendInMemoryStringToLogFile()
{
    return Guarded("cCloneLog.AppendInMemoryStringToLogFile", false, [&] {
        if (m_CurrInMemoryLogSize <= 0)
            return true;
        const std::string spec = LogFileSpec();
        if (const int err = platform::appendToFile(spec, m_InMemoryLog.CurrentString()); err != 0) {
            if (!m_writeFailure)
                throwFileError(err, spec);
            m_writeFailure(spec, err);
            return false;
        }
        return true;
    });
}

void cCloneLog::ResetInMemoryLog()
{
    m_InMemoryLog.Reset();
    m_CurrInMemoryLogSize = 0;
}

std::string cCloneLog::InMemoryString() const
{
    return Guarded("cCloneLog.InMemoryString", std::string{}, [&] { return m_InMemoryLog.CurrentString(); });
}

std::string cCloneLog::GetLogEntriesFromFile() const
{
    return Guarded("cCloneLog.GetLogEntriesFromFile", std::string{},
                   [&] { return ReadStringFromFile(LogFileSpec()); });
}

bool cCloneLog::SaveAs(const std::string& pstrFileSpec, bool replace) const
{
    return Guarded("cCloneLog.SaveAs", false, [&] {
        const std::string spec = LogFileSpec();
        if (!platform::pathExists(spec))
            return false;
        if (replace)
            return platform::copyFileReplacing(spec, pstrFileSpec) == 0;
        // Refuses an existing destination; that failure is not shown.
        return platform::copyFileNoOverwrite(spec, pstrFileSpec) == 0;
    });
}

void cCloneLog::DeleteLogFileIfMaxSizeIsExceeded()
{
    Guarded("cCloneLog.DeleteLogFileIfMaxSizeIsExceeded", [&] {
        if (!RestrictLogSize())
            return;
        int err = 0;
        const int64_t size = platform::fileSize(LogFileSpec(), err);
        if (size >= 0 && size >= MaxLogFileSize())
            DeleteLogFile();
    });
}

bool cCloneLog::DeleteLogFile()
{
    return Guarded("cCloneLog.DeleteLogFile", false, [&] {
        const std::string spec = LogFileSpec();
        if (!platform::pathExists(spec))
            return true;
        const int err = platform::removeFile(spec);
        if (err == 0 || err == ENOENT)
            return true;
        ui().messageBox("Log Delete Failed",
                        join({"Unable to Delete the Log file.\n\nError Number: ", std::to_string(err),
                              "\nError Description: ", GetSystemErrorMessage(err),
                              "\n\nIf this problem continues, please contact technical support."}),
                        MsgIcon::Exclamation, MsgButtons::Ok);
        return false;
    });
}

} // namespace kestrow
