#include "cli/CloneCommand.h"

#include "app/ProgramObjects.h"
#include "base/ErrorReporter.h"
#include "cli/Arguments.h"
#include "cli/ConsoleRunHost.h"
#include "cli/VersionsFlags.h"
#include "engine/FolderRoutines.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "log/OneLine.h"
#include "platform/Signals.h"
#include "tasks/cCloneTask.h"
#include "util/FreshThread.h"

#include <atomic>
#include <charconv>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow::cli {

namespace {

constexpr const char* kTaskName = "Command Line Clone";

struct CloneArgs
{
    std::string source;
    std::vector<std::string> targets;
    std::optional<int> compare, deleteMethod, copyMethod;
    std::optional<bool> ignore2s, ignoreDst, skipHidden, skipSystem, hardLinks;
    bool newerOnly = false;
    bool includeSubfolders = true;
    bool createTarget = false;
    bool allowEmptySource = false;
    std::optional<int> maxDeletePercent;
    bool dryRun = false;
    bool quiet = false;
    ProgressChoice progress = ProgressChoice::Auto;
    std::vector<std::string> includes, includeMasks, excludes, excludeMasks;
    VersionsFlags versions;
};

int choice(std::string_view option, std::string_view value, std::initializer_list<std::string_view> names)
{
    int i = 0;
    for (auto n : names) {
        if (n == value)
            return i;
        ++i;
    }
    std::string allowed;
    for (auto n : names)
        allowed += (allowed.empty() ? "" : "|") + std::string(n);
    throw UsageError{"invalid value '" + std::string(value) + "' for " + std::string(option) + " (use " +
                     allowed + ")"};
}

// A whole number from 0 to 100.
int percentValue(std::string_view option, const std::string& value)
{
    int n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < 0 || n > 100)
        throw UsageError{"invalid value '" + value + "' for " + std::string(option) +
                         " (use a whole number from 0 to 100; 0 is no limit)"};
    return n;
}

CloneArgs parse(int argc, char* argv[], int first)
{
    CloneArgs a;
    std::vector<std::string> positional;
    for (int i = first; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&] { return optionValue(argc, argv, i); };
        if (arg == "--compare")
            a.compare = choice(arg, value(), {"datetime", "size", "contents", "crc32"});
        else if (arg == "--delete")
            a.deleteMethod = choice(arg, value(), {"regular", "trash", "none", "secure"});
        else if (arg == "--copy")
            a.copyMethod = choice(arg, value(), {"regular", "safe", "keep"});
        else if (arg == "--ignore-2s" || arg == "--no-ignore-2s")
            a.ignore2s = arg == "--ignore-2s";
        else if (arg == "--ignore-dst" || arg == "--no-ignore-dst")
            a.ignoreDst = arg == "--ignore-dst";
        else if (arg == "--skip-hidden" || arg == "--no-skip-hidden")
            a.skipHidden = arg == "--skip-hidden";
        else if (arg == "--skip-system" || arg == "--no-skip-system")
            a.skipSystem = arg == "--skip-system";
        else if (arg == "--newer-only")
            a.newerOnly = true;
        else if (arg == "--no-subfolders")
            a.includeSubfolders = false;
        else if (arg == "--create-target")
            a.createTarget = true;
        else if (arg == "--allow-empty-source")
            a.allowEmptySource = true;
        else if (arg == "--hard-links" || arg == "--no-hard-links")
            a.hardLinks = arg == "--hard-links";
        else if (arg == "--max-delete-percent")
            a.maxDeletePercent = percentValue(arg, value());
        else if (a.versions.take(arg, value))
            continue;
        else if (arg == "--dry-run")
            a.dryRun = true;
        else if (arg == "--quiet" || arg == "-q")
            a.quiet = true;
        else if (arg == "--progress" || arg == "--no-progress")
            a.progress = arg == "--progress" ? ProgressChoice::On : ProgressChoice::Off;
        else if (arg == "--include")
            a.includes.push_back(value());
        else if (arg == "--include-mask")
            a.includeMasks.push_back(value());
        else if (arg == "--exclude")
            a.excludes.push_back(value());
        else if (arg == "--exclude-mask")
            a.excludeMasks.push_back(value());
        else if (arg == "--")
            for (++i; i < argc; ++i)
                positional.emplace_back(argv[i]);
        else if (isOption(arg))
            throwUnknownOption(arg);
        else
            positional.emplace_back(arg);
    }
    if (positional.size() < 2)
        throw UsageError{"clone needs a SOURCE and at least one TARGET"};
    // An empty argument is most often an unset variable ("$BACKUP"): never a folder.
    if (positional.front().empty())
        throw UsageError{"clone: the SOURCE is empty"};
    for (size_t i = 1; i < positional.size(); ++i)
        if (positional[i].empty())
            throw UsageError{"clone: TARGET " + std::to_string(i) + " is empty"};
    a.source = positional.front();
    a.targets.assign(positional.begin() + 1, positional.end());
    return a;
}

std::string withSlash(std::string s)
{
    if (!s.empty() && s.back() != '/')
        s += '/';
    return s;
}

// A root as the run shows and saves it; "" stays "" for the run to refuse.
std::string rootSpec(const std::string& folder)
{
    const std::string canonical = CanonicalFolderSpec(folder);
    return canonical.empty() ? withSlash(folder) : canonical;
}

// An include or exclude item: absolute as given, else below the Source root, in
// its canonical form. A folder item ends with "/" (added when the item names an
// existing folder). An item outside the Source is handed on as it is: the run
// logs and drops it.
std::string itemSpec(const std::string& sourceRoot, const std::string& item)
{
    std::string spec;
    if (!CanonicalItem(item, sourceRoot, spec))
        return item;
    if (!spec.ends_with('/') && FolderExists(spec))
        spec += '/';
    return spec;
}

std::string join(const std::vector<std::string>& parts, const std::string& separator)
{
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : separator) + p;
    return out;
}

} // namespace

void cannotWrite(const char* command, const std::string& file, int err)
{
    std::cerr << "kestrow-cli " << command << ": cannot write " << OneLineForm(file) << ": "
              << GetSystemErrorMessage(err) << '\n'
              << std::flush;
}

ConsoleRunLog::ConsoleRunLog(ConsoleRunHost& host, const char* command)
{
    gCloneLog->setLineObserver([&host](const std::string& line) {
        host.echoLogLine(line);
        // An unusable folder is also said where errors are read.
        if (line.find(" *Folder Path Error: ") != std::string::npos)
            host.echoError("kestrow-cli: " + line);
    });
    // A log that cannot be written is said once, in one line, and fails the command.
    gCloneLog->setWriteFailureHandler([this, command](const std::string& spec, int err) {
        if (!m_unwritten.exchange(true))
            cannotWrite(command, spec, err);
    });
}

ConsoleRunLog::~ConsoleRunLog()
{
    gCloneLog->setLineObserver({});
    gCloneLog->setWriteFailureHandler({});
}

void printPlan(const std::string& target)
{
    std::vector<std::string> actions;
    // Counted as they will be done: an operation the run withdrew is shown, not counted.
    const int32_t count = gClone->GetPlannedActionStrings(actions);
    std::cout << "Planned for " << OneLineForm(target) << ": " << count << " operation"
              << (count == 1 ? "" : "s") << "\n";
    for (const auto& a : actions)
        std::cout << a << '\n';
}

const char* cloneUsage()
{
    static const std::string text =
        std::string(
            "Usage: kestrow-cli clone SOURCE TARGET [TARGET...] [options]\n"
            "\n"
            "Makes each TARGET folder identical to SOURCE. Orphans in a Target (items the\n"
            "Source no longer has) are deleted as the delete method says. Options default\n"
            "to those in kestrow.ini; each flag overrides one for this run only.\n"
            "\n"
            "  --compare datetime|size|contents|crc32   how files are judged the same\n"
            "  --ignore-2s, --no-ignore-2s      times up to two seconds apart are equal\n"
            "  --ignore-dst, --no-ignore-dst    times one hour apart are equal\n"
            "  --delete regular|trash|none|secure  what happens to orphans\n"
            "  --copy regular|safe|keep         every one whole or not at all, keeping modes,\n"
            "                                   times, owners and attributes; safe also trashes\n"
            "                                   the old copy, keep also keeps access times\n"
            "  --newer-only                     copy a changed file only when the Source is newer\n"
            "  --no-subfolders                  only the files of the two roots\n"
            "  --include ITEM                   clone only this file or folder (repeatable;\n"
            "                                   relative items are below SOURCE)\n"
            "  --include-mask MASKS             clone only files matching, e.g. '*.doc,*.txt'\n"
            "  --exclude ITEM                   leave this file or folder alone (repeatable)\n"
            "  --exclude-mask MASKS             leave files matching these masks alone\n"
            "  --skip-hidden, --no-skip-hidden  skip hidden (dot) files and folders inside\n"
            "                                   the roots (never the roots themselves)\n"
            "  --skip-system, --no-skip-system  skip FIFOs, sockets and device files\n"
            "  --create-target                  create a missing Target folder (a dry run\n"
            "                                   plans it)\n"
            "  --hard-links, --no-hard-links    clone the names of one Source file as links\n"
            "                                   of one Target file (not as separate copies)\n"
            "  --allow-empty-source             clone even a SOURCE with nothing to clone over\n"
            "                                   a Target that holds something (deleting it all)\n"
            "  --max-delete-percent N           delete nothing from a Target when more than N%\n"
            "                                   of its files (and at least 10) would go; 0: no limit\n") +
        versionsFlagsUsage() +
        std::string("  --dry-run                        print the planned operations, change nothing;\n"
                    "                                   withdrawn ones read \"|REMOVED ACTION| ...\"\n"
                    "  -q, --quiet                      no status texts on stderr\n"
                    "  --progress                       a progress line on stderr while the run works\n"
                    "                                   and a summary after it (the default when stderr\n"
                    "                                   is a terminal and without -q; elsewhere a plain\n"
                    "                                   line at most once a second; with -q these alone)\n"
                    "  --no-progress                    neither\n"
                    "\n"
                    "The run is a task of its own (\"Command Line Clone\"): the priority rules of\n"
                    "kestrow.ini apply to it as to any run.\n"
                    "The run's log lines go to stdout and are appended to clone.log, one line per\n"
                    "event: control characters in names are written \\n, \\r, \\t or \\xHH, and a\n"
                    "backslash is doubled.\n"
                    "Exit status: 0 success, 1 the run had errors, 2 bad usage, 3 cancelled.\n");
    return text.c_str();
}

int runCloneCommand(int argc, char* argv[], int first)
{
    CloneArgs args;
    if (!parsedOrExplained("clone", cloneUsage(), [&] { args = parse(argc, argv, first); }))
        return ExitUsage;

    ProgramObjects objects;
    if (!ReadProgramOptionsFromIniFile())
        return ExitRunErrors;
    if (args.compare)
        gCompare->setCompareMethod(*args.compare);
    if (args.ignore2s)
        gCompare->setIgnoreFAT_NTFS_TwoSecDiff(*args.ignore2s);
    if (args.ignoreDst)
        gCompare->setIgnoreFAT_NTFS_DaylightSavings(*args.ignoreDst);
    if (args.skipHidden) {
        gCompare->setIgnoreHiddenFiles(*args.skipHidden);
        gCompare->setIgnoreHiddenFolders(*args.skipHidden);
    }
    if (args.skipSystem) {
        gCompare->setIgnoreSystemFiles(*args.skipSystem);
        gCompare->setIgnoreSystemFolders(*args.skipSystem);
    }
    if (args.deleteMethod)
        gClone->setDeleteMethod(*args.deleteMethod);
    if (args.copyMethod)
        gClone->setCopyMethod(*args.copyMethod);
    if (args.newerOnly)
        gClone->setCopyOnlyIfNewer(true);
    if (args.createTarget)
        gClone->setCreateTargetFolder(true);
    if (args.allowEmptySource)
        gClone->setProtectFromEmptySource(false);
    if (args.hardLinks)
        gClone->setKeepHardLinks(*args.hardLinks);
    if (args.maxDeletePercent)
        gClone->setMaxDeletePercent(*args.maxDeletePercent);
    args.versions.apply();
    // Nobody is there to confirm: the CLI performs what it planned, or only plans.
    gClone->setConfirmSyncActions(false);
    gClone->setPlanOnly(args.dryRun);

    ConsoleRunHost host(args.quiet, args.progress);
    ScopedRunHost hostScope(host);
    const ConsoleRunLog runLog(host, "clone");
    platform::cancelOnSignals(CancelRequested, platform::HangUp::Cancels);

    const std::string source = rootSpec(args.source);
    std::vector<std::string> includes, excludes;
    for (const auto& i : args.includes)
        includes.push_back(itemSpec(source, i));
    for (const auto& i : args.excludes)
        excludes.push_back(itemSpec(source, i));

    // A temporary task, run the way a saved one is.
    cCloneTask task;
    task.setTaskName(kTaskName);
    task.setSourceFolderSpec(source);
    std::vector<std::string> targets;
    for (const auto& t : args.targets)
        targets.push_back(rootSpec(t));
    task.setTargetFolderSpec(join(targets, "<:>"));
    task.setIncludeSubFolders(args.includeSubfolders);
    task.setIncludeFileSpecs(join(includes, "<:>"));
    task.setExcludeFileSpecs(join(excludes, "<:>"));
    task.setIncludeFileMasks(join(args.includeMasks, ","));
    task.setExcludeFileMasks(join(args.excludeMasks, ","));
    if (args.dryRun) {
        task.TargetCloned = [](const std::string& target, bool) { printPlan(withSlash(target)); };
    }
    if (platform::signalCount() == 0) {
        // A thread of its own, as every run has: the priority the rules set ends with it.
        util::runOnFreshThread([&task] { task.Execute(cCloneTask::kCloneRun); });
    }
    if (CancelRequested || platform::signalCount() > 0)
        return ExitCancelled;
    return task.ErrorOnLastClone() || runLog.unwritten() ? ExitRunErrors : ExitOk;
}

} // namespace kestrow::cli
