#pragma once
// cCloneLog: the clone log. Each event of a run becomes one line, collected in
// memory and appended to clone.log in the data folder at the end of the run, or
// earlier once more than LogFlushThreshold characters are waiting.

#include "log/StringAppend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrow {

// The kinds of log entry. The numbers are fixed: they are what callers have
// always passed and what tests of the line texts name.
enum class LogEntryType : int32_t
{
    Begin = 0,         // "<Begin: task>"
    End = 1,           // "<End: task> {All Activity Logged}" and an empty line
    Copied = 2,        // skipped when LogOnlyErrors
    Deleted = 3,       // skipped when LogOnlyErrors
    CreatedFolder = 4, // skipped when LogOnlyErrors
    DeletedFolder = 5, // skipped when LogOnlyErrors
    CopyError = 6,
    DeleteError = 7,
    CreateDirError = 8,
    DeleteDirError = 9,
    UnexpectedError = 10,
    DuplicateFileError = 11,
    ContentCompareError = 12,
    CrcCompareError = 13,
    UserCancelledError = 14,
    FolderPathError = 15,
    ApplicationShutdownError = 16,
    IncludeFilterFolderError = 17, // "The subfolder does not exist"
    SafeCopyError = 18,
    IncludeFilterFileError = 19, // "The file does not exist"
    GetSubFoldersError = 20,
    InformationOnly = 21, // skipped when LogOnlyErrors
    FileExistenceCheckError = 22,
    UpdatedAttributes = 23, // metadata applied in place; skipped when LogOnlyErrors
};

// Buffered characters beyond which Add writes the buffer out (strictly more than this).
inline constexpr int32_t LogFlushThreshold = 102400;

class cCloneLog
{
public:
    cCloneLog() = default;
    cCloneLog(const cCloneLog&) = delete;
    cCloneLog& operator=(const cCloneLog&) = delete;

    // Options. They may be changed from the window thread while a run's worker adds lines.
    // When true, success and information entries (kinds 2-5, 21) are not recorded and
    // the end line says "{Only Errors Logged}".
    bool LogOnlyErrors() const { return m_LogOnlyErrors; }
    void setLogOnlyErrors(bool value) { m_LogOnlyErrors = value; }
    // Delete the log file at the start of a run once it has reached MaxLogFileSize bytes.
    bool RestrictLogSize() const { return m_RestrictLogSize; }
    void setRestrictLogSize(bool value) { m_RestrictLogSize = value; }
    int32_t MaxLogFileSize() const { return m_MaxLogFileSize; }
    void setMaxLogFileSize(int32_t value) { m_MaxLogFileSize = value; }

    // Characters collected in memory since the last flush (bytes: text is UTF-8, kept as is).
    int32_t CurrInMemoryLogSize() const { return m_CurrInMemoryLogSize; }

    // gstrAppPath + "clone.log", taken when asked (the data folder is fixed at start-up).
    std::string LogFileSpec() const;

    // Formats one line of kind `pEntryType` (the date and time, then the kind's text,
    // ending in "\n") and appends it to the in-memory buffer. Line breaks in
    // `pstrErrorMsg` become two blanks each, so the entry stays on one line; then
    // every text goes in in its one-line form (log/OneLine.h), names included. A kind
    // skipped by LogOnlyErrors, or a value outside 0..22, adds nothing. When the buffer
    // then holds more than LogFlushThreshold characters it is appended to the file and
    // emptied. Errors are reported as "cCloneLog.Add"; the entry is lost.
    void Add(LogEntryType pEntryType, const std::string& pstrTaskName = {},
             const std::string& pstrFileName = {}, const std::string& pstrSourceFolderSpec = {},
             const std::string& pstrTargetFolderSpec = {}, int32_t plngErrorNum = 0,
             const std::string& pstrErrorMsg = {}, const std::string& pstrCustomMsg = {});

    // Appends the buffer to the log file (created when missing) when it is not empty.
    // The buffer is kept. A failed write goes to the write-failure handler when one
    // is set, else it is reported as "cCloneLog.AppendInMemoryStringToLogFile".
    // Returns whether the text was written (true when there was nothing to write).
    bool AppendInMemoryStringToLogFile();

    // Called instead of the error reporter when the log file cannot be written (a
    // read-only data folder, a full disk): the file and the errno. A front end that
    // can say so in one line sets it. Empty to go back to the reporter.
    using WriteFailureHandler = std::function<void(const std::string& fileSpec, int err)>;
    void setWriteFailureHandler(WriteFailureHandler handler) { m_writeFailure = std::move(handler); }

    // Empties the buffer and sets CurrInMemoryLogSize to 0.
    void ResetInMemoryLog();

    // The buffered text.
    std::string InMemoryString() const;

    // The whole log file; empty when it is missing or cannot be read.
    std::string GetLogEntriesFromFile() const;

    // Copies the log file (not the buffer) to `pstrFileSpec`. Without `replace` an
    // existing file there stays as it is and false is returned, silently; with it
    // (the user has agreed to replace it) the file is replaced whole, or left as it
    // was when the copy fails. False also when there is no log file or the copy fails.
    bool SaveAs(const std::string& pstrFileSpec, bool replace = false) const;

    // When RestrictLogSize is on and the log file has at least MaxLogFileSize bytes,
    // deletes it (DeleteLogFile).
    void DeleteLogFileIfMaxSizeIsExceeded();

    // Deletes the log file if there is one. On failure the message box "Log Delete
    // Failed" gives the error number and its system text. Returns whether no log file
    // remains.
    bool DeleteLogFile();

    // Called with every line Add records, in order, on the thread that adds it
    // (the CLI echoes the run on stdout, the log viewer follows it). Empty to stop.
    using LineObserver = std::function<void(const std::string& line)>;
    void setLineObserver(LineObserver observer) { m_observer = std::move(observer); }

private:
    // Appends the text of one entry (without the date and time) to `out`; false,
    // appending nothing, when the kind adds nothing.
    bool AppendEntryText(std::string& out, LogEntryType type, const std::string& task,
                         const std::string& file, const std::string& src, const std::string& tgt,
                         int32_t errorNum, const std::string& msg, const std::string& custom) const;
    // Whether an entry of `type` adds nothing under the current options.
    bool AddsNothing(LogEntryType type) const;
    std::atomic<bool> m_LogOnlyErrors{false};
    std::atomic<bool> m_RestrictLogSize{true};
    std::atomic<int32_t> m_MaxLogFileSize{512000};
    std::atomic<int32_t> m_CurrInMemoryLogSize{0};
    clsStringAppend m_InMemoryLog;
    LineObserver m_observer;
    WriteFailureHandler m_writeFailure;
};

// The program-wide log, created at start-up and released at shutdown; null before.
extern cCloneLog* gCloneLog;

} // namespace kestrow
