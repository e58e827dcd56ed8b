#include "engine/Filters.h"

#include "base/ErrorReporter.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "platform/FileInfo.h"

namespace kestrow {

namespace {

// "/a/b/" and "/a/b" name the same folder; "/" stays "/".
std::string withoutTrailingSlashes(const std::string& path)
{
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    return path.substr(0, end);
}

bool skipByAttributes(bool system, bool hidden, bool ignoreSystem, bool ignoreHidden, int32_t& SkipReason)
{
    if (system && ignoreSystem) {
        SkipReason = SkipReasonSystem;
        return true;
    }
    if (hidden && ignoreHidden) {
        SkipReason = SkipReasonHidden;
        return true;
    }
    SkipReason = SkipReasonNone;
    return false;
}

} // namespace

bool IsFileSkipped(const std::string& fileSpec, int32_t& SkipReason)
{
    SkipReason = SkipReasonNone;
    return Guarded("modKestrow.IsFileSkipped", false, [&] {
        const cCompare& options = CompareOptions();
        platform::PathAttributes attributes;
        const bool unreadable = platform::pathAttributes(fileSpec, attributes) != 0;
        return skipByAttributes(unreadable || attributes.system, unreadable || attributes.hidden,
                                options.IgnoreSystemFiles(), options.IgnoreHiddenFiles(), SkipReason);
    });
}

bool IsFindDataSkipped(const platform::DirEntry& entry, int32_t& SkipReason)
{
    const cCompare& options = CompareOptions();
    return skipByAttributes(entry.system, entry.hidden, options.IgnoreSystemFiles(),
                            options.IgnoreHiddenFiles(), SkipReason);
}

bool IsFolderPathSkipped(const std::string& folderSpec, int32_t& SkipReason)
{
    SkipReason = SkipReasonNone;
    return Guarded("modKestrow.IsFolderPathSkipped", false, [&] {
        const cCompare& options = CompareOptions();
        platform::PathAttributes attributes;
        const bool unreadable = platform::pathAttributes(withoutTrailingSlashes(folderSpec), attributes) != 0;
        return skipByAttributes(unreadable || attributes.system, unreadable || attributes.hidden,
                                options.IgnoreSystemFolders(), options.IgnoreHiddenFolders(), SkipReason);
    });
}

bool IsFolderObjectSkipped(const std::string& folderSpec, int32_t& SkipReason)
{
    SkipReason = SkipReasonNone;
    return Guarded("modKestrow.IsFolderObjectSkipped", false, [&] {
        const cCompare& options = CompareOptions();
        platform::PathAttributes attributes;
        if (platform::pathAttributes(withoutTrailingSlashes(folderSpec), attributes) != 0)
            return false;
        return skipByAttributes(attributes.system, attributes.hidden, options.IgnoreSystemFolders(),
                                options.IgnoreHiddenFolders(), SkipReason);
    });
}

bool AreFolderAttributesSkipped(const platform::DirEntry& entry, int32_t& SkipReason)
{
    const cCompare& options = CompareOptions();
    return skipByAttributes(entry.system, entry.hidden, options.IgnoreSystemFolders(),
                            options.IgnoreHiddenFolders(), SkipReason);
}

std::string SkipMessage(SkipSubject subject, int32_t reason)
{
    if (reason != SkipReasonSystem && reason != SkipReasonHidden)
        return {};
    const bool system = reason == SkipReasonSystem;
    const char* who = "";
    bool folder = false;
    switch (subject) {
    case SkipSubject::File:
        who = "File";
        break;
    case SkipSubject::SourceFile:
        who = "Source File";
        break;
    case SkipSubject::TargetFile:
        who = "Target File";
        break;
    case SkipSubject::Folder:
        who = "Folder", folder = true;
        break;
    case SkipSubject::SourceFolder:
        who = "Source folder", folder = true;
        break;
    case SkipSubject::TargetFolder:
        who = "Target folder", folder = true;
        break;
    }
    const std::string kind = system ? "System" : "Hidden";
    const std::string noun = folder ? "folder" : "file";
    const std::string option = folder ? "Folders" : "Files";
    return std::string(who) + " was skipped because it is a " + kind + " " + noun + " and the Ignore " +
           kind + " " + option + " option is selected. - '";
}

void LogSkip(SkipSubject subject, int32_t reason, const std::string& spec)
{
    if (gCloneLog)
        gCloneLog->Add(LogEntryType::InformationOnly, {}, {}, {}, {}, 0, {},
                       SkipMessage(subject, reason) + spec + "' ");
}

} // namespace kestrow
