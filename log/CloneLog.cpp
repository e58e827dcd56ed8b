#include "log/CloneLog.h"

#include "app/services/AppState.h"
#include "app/services/DateTime.h"
#include "app/services/ErrorReporter.h"
#include "app/services/UiServices.h"
#include "log/APIReadWriteFile.h"
#include "platform/TextFile.h"
#include "zelcommon/ZelCommon.h"

#include <cerrno>
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
    throw RuntimeError(errorNumberFromErrno(err, true), GetSystemErrorMessage(err) + ": " + fileSpec, err);
}

} // namespace

std::string cCloneLog::LogFileSpec() const
{
    return gstrAppPath + "clone.log";
}

std::string cCloneLog::EntryText(LogEntryType type, const std::string& task, const std::string& file,
                                 const std::string& src, const std::string& tgt, int32_t errorNum,
                                 const std::string& msg, const std::string& custom) const
{
    const std::string n = std::to_string(errorNum);
    const bool onlyErrors = LogOnlyErrors();
    using T = LogEntryType;
    switch (type) {
    case T::Begin:
        return join({"<Begin: ", task, ">\n"});
    case T::End:
        return join(
            {"<End: ", task, onlyErrors ? "> {Only Errors Logged}" : "> {All Activity Logged}", "\n\n"});
    case T::Copied:
        return onlyErrors ? std::string{} : join({" - Copied: ", file, " from ", src, " to ", tgt, "\n"});
    case T::Deleted:
        return onlyErrors ? std::string{} : join({" - Deleted: ", file, " from ", tgt, "\n"});
    case T::CreatedFolder:
        return onlyErrors ? std::string{} : join({" - Created Folder: ", tgt, "\n"});
    case T::DeletedFolder:
        return onlyErrors ? std::string{} : join({" - Deleted Folder: ", tgt, "\n"});
    case T::CopyError:
        return join({" *Copy Error: ", n, " ", msg, " ", file, " from ", src, " to ", tgt, "\n"});
    case T::DeleteError:
        return join({" *Delete Error: ", n, " ", msg, " ", file, " from ", tgt, "\n"});
    case T::CreateDirError:
        return join({" *Create Dir Error: ", n, " ", msg, " ", tgt, "\n"});
    case T::DeleteDirError:
        return join({" *Delete Dir Error: ", n, " ", msg, " ", tgt, "\n"});
    case T::UnexpectedError:
        return join({" *Unexpected Error: ", n, " ", msg, " ", "File Name: ", file, " Source Folder: ", src,
                     " Target Folder: ", tgt, "\n"});
    case T::DuplicateFileError:
        return join({" *Duplicate File Error: ", n, " ", msg, " ", file, " in ", src, "\n"});
    case T::ContentCompareError:
        return join({" *Content Compare Error: ", n, " ", msg, " ", "Comparing ", file, " in ", src, " and ",
                     tgt, "\n"});
    case T::CrcCompareError:
        return join(
            {" *CRC Compare Error: ", n, " ", msg, " ", "Comparing ", file, " in ", src, " and ", tgt, "\n"});
    case T::UserCancelledError:
        return " *User Cancelled Error: \n";
    case T::FolderPathError:
        return join({" *Folder Path Error: ", " ", msg, " ", file, "\n"});
    case T::ApplicationShutdownError:
        return " *Application Shutdown Error: The clone task was aborted\n";
    case T::IncludeFilterFolderError:
        return join({" *Include Filter Error: The subfolder does not exist ", " ", file, "\n"});
    case T::SafeCopyError:
        return join({" *Safe Copy Error: ", custom, " ", n, " ", msg, " ", file, "\n"});
    case T::IncludeFilterFileError:
        return join({" *Include Filter Error: The file does not exist ", " ", file, "\n"});
    case T::GetSubFoldersError:
        return join({" *Get SubFolders Error: ", n, " ", msg, " ", file, "\n"});
    case T::InformationOnly:
        return onlyErrors ? std::string{} : join({" - Information Only: ", custom, "\n"});
    case T::FileExistenceCheckError:
        return join({" *File Existence Check Error: ", n, " ", msg, " ", custom, "\n"});
    }
    return {};
}

void cCloneLog::Add(LogEntryType pEntryType, const std::string& pstrTaskName, const std::string& pstrFileName,
                    const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                    int32_t plngErrorNum, const std::string& pstrErrorMsg, const std::string& pstrCustomMsg)
{
    Guarded("cCloneLog.Add", [&] {
        std::string msg = pstrErrorMsg;
        if (!msg.empty()) {
            msg = zc::ReplaceString(msg, "\r\n", "  ");
            // System messages here end their lines with a bare "\n": those must not
            // split the entry either.
            msg = zc::ReplaceString(msg, "\n", "  ");
        }
        const std::string text = EntryText(pEntryType, pstrTaskName, pstrFileName, pstrSourceFolderSpec,
                                           pstrTargetFolderSpec, plngErrorNum, msg, pstrCustomMsg);
        if (text.empty())
            return;
        const std::string line = NowText() + text;
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
        if (const int err = platform::appendToFile(spec, m_InMemoryLog.CurrentString()); err != 0)
            throwFileError(err, spec);
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

bool cCloneLog::SaveAs(const std::string& pstrFileSpec) const
{
    return Guarded("cCloneLog.SaveAs", false, [&] {
        const std::string spec = LogFileSpec();
        if (!platform::pathExists(spec))
            return false;
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
