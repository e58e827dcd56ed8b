#include "cli/VersionsCommands.h"

#include "app/ProgramObjects.h"
#include "base/ErrorReporter.h"
#include "base/LocalTime.h"
#include "base/UiServices.h"
#include "cli/Arguments.h"
#include "cli/CloneCommand.h"
#include "cli/ConsoleRunHost.h"
#include "cli/TaskCommands.h"
#include "engine/FolderRoutines.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/Versions.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "log/OneLine.h"
#include "platform/Signals.h"
#include "tasks/cCloneTasks.h"
#include "tasks/cRestore.h"
#include "util/FreshThread.h"
#include "util/ScopeExit.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow::cli {

namespace {

constexpr const char* kCommand = "versions";
constexpr const char* kPrefix = "kestrow-cli versions: ";
// The restore's task name when no saved task is behind it (--to).
constexpr const char* kTaskName = "Command Line Restore";
constexpr const char* kRestoreTitle = "Restore Source";

enum class Verb
{
    List,
    Show,
    Restore,
};

struct VersionsArgs
{
    Verb verb = Verb::List;
    std::string target;
    std::string moment;
    std::vector<std::string> items;
    std::optional<std::string> versionsFolder;
    std::optional<std::string> to;
    std::optional<std::string> taskList;
    bool dryRun = false;
    bool quiet = false;
    ProgressChoice progress = ProgressChoice::Auto;
};

VersionsArgs parse(int argc, char* argv[], int first)
{
    VersionsArgs a;
    const std::string_view verb = argv[first];
    if (verb == "list")
        a.verb = Verb::List;
    else if (verb == "show")
        a.verb = Verb::Show;
    else if (verb == "restore")
        a.verb = Verb::Restore;
    else
        throw UsageError{"unknown sub-command '" + std::string(verb) + "' (use list, show or restore)"};
    const bool restore = a.verb == Verb::Restore;
    std::vector<std::string> positional;
    for (int i = first + 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--versions-folder")
            a.versionsFolder = nonEmptyValue(argc, argv, i, "--versions-folder needs a folder");
        else if (restore && arg == "--to")
            a.to = nonEmptyValue(argc, argv, i, "--to needs a folder");
        else if (restore && arg == "--task-list")
            a.taskList = nonEmptyValue(argc, argv, i, "--task-list needs a file name");
        else if (restore && arg == "--dry-run")
            a.dryRun = true;
        else if (restore && (arg == "--quiet" || arg == "-q"))
            a.quiet = true;
        else if (restore && (arg == "--progress" || arg == "--no-progress"))
            a.progress = arg == "--progress" ? ProgressChoice::On : ProgressChoice::Off;
        else if (arg == "--")
            for (++i; i < argc; ++i)
                positional.emplace_back(argv[i]);
        else if (isOption(arg))
            throwUnknownOption(arg);
        else
            positional.emplace_back(arg);
    }
    const size_t needed = a.verb == Verb::List ? 1 : 2;
    if (positional.size() < needed)
        throw UsageError{std::string(verb) +
                         (needed == 1 ? " needs a TARGET" : " needs a TARGET and a MOMENT")};
    if (!restore && positional.size() > needed)
        throwUnexpectedArgument(positional[needed]);
    // An empty argument is most often an unset variable: never a folder.
    if (positional[0].empty())
        throw UsageError{"the TARGET is empty"};
    a.target = positional[0];
    if (needed > 1)
        a.moment = positional[1];
    a.items.assign(positional.begin() + static_cast<std::ptrdiff_t>(needed), positional.end());
    return a;
}

// Where the versions of the Target live, and its canonical spec.
struct Place
{
    std::string target;
    std::string root;
};

// False (said on stderr) when TARGET is no folder. A Target gone is no obstacle
// when its versions are kept in a versions folder and are there: they may be all
// that is left of it.
bool locate(const VersionsArgs& a, Place& out)
{
    const std::string folder =
        a.versionsFolder ? CanonicalFolderSpec(*a.versionsFolder) : gClone->VersionsFolder();
    out.target = CanonicalFolderSpec(a.target);
    out.root = VersionsRootFor(out.target, folder);
    if (FolderExists(out.target, platform::FollowLinks::yes))
        return true;
    if (!folder.empty() && !FileExists(a.target) && FolderExists(out.root, platform::FollowLinks::yes))
        return true;
    std::cerr << kPrefix << OneLineForm(a.target) << " is not a folder\n";
    return false;
}

void cannotRead(const std::string& folder, int err)
{
    std::cerr << kPrefix << "cannot read " << OneLineForm(folder) << ": " << GetSystemErrorMessage(err)
              << '\n';
}

// The items of the moment, or false (said on stderr).
bool momentItems(const VersionsArgs& a, const Place& place, std::vector<VersionItem>& items)
{
    const int err = ListMomentItems(place.root, a.moment, items);
    if (err == 0)
        return true;
    if (err == ENOENT || err == ENOTDIR)
        std::cerr << kPrefix << "no moment '" << OneLineForm(a.moment) << "' in the old versions of "
                  << OneLineForm(a.target) << '\n';
    else
        cannotRead(place.root + a.moment + '/', err);
    return false;
}

// A last-write time (platform::DirEntry units) as local "2026-12-09 18:15:02".
std::string lastWriteText(int64_t lastWrite)
{
    constexpr int64_t kUnixEpoch = 116444736000000000; // 1970-01-01 in 100 ns units since 1601
    constexpr int64_t kUnitsPerSecond = 10000000;
    int64_t units = lastWrite - kUnixEpoch;
    int64_t seconds = units / kUnitsPerSecond;
    if (units % kUnitsPerSecond < 0)
        --seconds;
    const DateParts p = partsFromDate(EpochSecondsToLocal(seconds));
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
    return text;
}

int digits(uint64_t n)
{
    return static_cast<int>(std::to_string(n).size());
}

int listMoments(const VersionsArgs& a, const Place& place)
{
    std::vector<VersionMoment> moments;
    const int err = ListMoments(place.root, moments);
    if (err != 0 && err != ENOENT) {
        cannotRead(place.root, err);
        return ExitRunErrors;
    }
    if (moments.empty()) {
        std::cerr << "No old versions of " << OneLineForm(a.target) << ".\n";
        return ExitOk;
    }
    int nameWidth = 0, itemsWidth = 0, bytesWidth = 0;
    for (const VersionMoment& m : moments) {
        nameWidth = std::max(nameWidth, static_cast<int>(m.name.size()));
        itemsWidth = std::max(itemsWidth, digits(m.items));
        bytesWidth = std::max(bytesWidth, digits(m.bytes));
    }
    for (const VersionMoment& m : moments) {
        char line[128];
        std::snprintf(line, sizeof line, "%-*s  %*llu %-5s  %*llu bytes", nameWidth, m.name.c_str(),
                      itemsWidth, static_cast<unsigned long long>(m.items), m.items == 1 ? "item" : "items",
                      bytesWidth, static_cast<unsigned long long>(m.bytes));
        std::cout << line << '\n';
    }
    return ExitOk;
}

int showMoment(const VersionsArgs& a, const Place& place)
{
    std::vector<VersionItem> items;
    if (!momentItems(a, place, items))
        return ExitRunErrors;
    int sizeWidth = 1;
    for (const VersionItem& item : items)
        if (!item.folder)
            sizeWidth = std::max(sizeWidth, digits(item.size));
    for (const VersionItem& item : items) {
        const std::string size = item.folder ? "-" : std::to_string(item.size);
        std::cout << std::string(static_cast<size_t>(sizeWidth) - std::min(size.size(), size_t(sizeWidth)),
                                 ' ')
                  << size << "  " << lastWriteText(item.lastWrite) << "  " << OneLineForm(item.path) << '\n';
    }
    return ExitOk;
}

// The item of the moment an ITEM argument names: its path as `show` prints it,
// else as it is; a folder also without its "/". Null when there is none.
const VersionItem* findItem(const std::vector<VersionItem>& items, const std::string& arg)
{
    for (const bool printed : {true, false})
        for (const VersionItem& item : items) {
            const std::string path = printed ? OneLineForm(item.path) : item.path;
            if (path == arg || (item.folder && path == arg + '/'))
                return &item;
        }
    return nullptr;
}

// Keeps the outcome message of the restore for after it, and forwards every other
// message as it comes.
class RestoreMessages : public UiServices
{
public:
    explicit RestoreMessages(UiServices& next) : m_next(next) {}

    MsgResult messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                         MsgButtons buttons) override
    {
        if (title == kRestoreTitle && icon == MsgIcon::Information && buttons == MsgButtons::Ok) {
            m_outcome = text;
            return MsgResult::Ok;
        }
        return m_next.messageBox(title, text, icon, buttons);
    }
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override
    {
        return m_next.inputBox(title, prompt, defaultText);
    }
    void beep() override { m_next.beep(); }

    void showOutcome()
    {
        if (m_outcome)
            m_next.messageBox(kRestoreTitle, *m_outcome, MsgIcon::Information, MsgButtons::Ok);
    }

private:
    UiServices& m_next;
    std::optional<std::string> m_outcome;
};

// The Source of the task whose Targets include `target`; the task's name in `name`.
// Nullopt (said on stderr, with the usage) when no task or several tasks with
// different Sources have it.
std::optional<std::string> taskSource(const VersionsArgs& a, const std::string& target, std::string& name)
{
    std::vector<std::string> sources;
    for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
        const std::vector<std::string> targets = task->TargetFolders();
        const bool has = std::any_of(targets.begin(), targets.end(),
                                     [&](const std::string& t) { return CanonicalFolderSpec(t) == target; });
        if (!has)
            continue;
        const std::string source = CanonicalFolderSpec(task->SourceFolderSpec());
        if (sources.empty())
            name = task->TaskName();
        if (std::find(sources.begin(), sources.end(), source) == sources.end())
            sources.push_back(source);
    }
    if (sources.size() == 1)
        return sources.front();
    std::cerr << kPrefix;
    if (sources.empty()) {
        std::cerr << "no task of " << OneLineForm(gCloneTasks->TaskListFileSpec()) << " has "
                  << OneLineForm(a.target) << " as a Target: --to DIR is needed";
    } else {
        std::cerr << OneLineForm(a.target) << " is a Target of tasks with different Sources (";
        for (size_t i = 0; i < sources.size(); ++i)
            std::cerr << (i ? ", " : "") << OneLineForm(sources[i]);
        std::cerr << "): --to DIR is needed";
    }
    std::cerr << "\n\n" << versionsUsage();
    return std::nullopt;
}

int restoreMoment(const VersionsArgs& a, const Place& place)
{
    std::vector<VersionItem> items;
    if (!momentItems(a, place, items))
        return ExitRunErrors;
    if (items.empty()) {
        std::cerr << kPrefix << "moment '" << a.moment << "' holds nothing\n";
        return ExitRunErrors;
    }
    const std::string momentFolder = place.root + a.moment + '/';
    // Every ITEM is checked before anything is restored.
    std::vector<std::string> chosen;
    bool unknown = false;
    for (const std::string& arg : a.items) {
        const VersionItem* item = findItem(items, arg);
        if (!item) {
            std::cerr << kPrefix << "no item '" << OneLineForm(arg) << "' in moment '" << a.moment << "'\n";
            unknown = true;
        } else if (std::find(chosen.begin(), chosen.end(), momentFolder + item->path) == chosen.end()) {
            chosen.push_back(momentFolder + item->path);
        }
    }
    if (unknown)
        return ExitRunErrors;
    std::string selection;
    for (const std::string& spec : chosen)
        selection += (selection.empty() ? "" : "<:>") + spec;
    if (chosen.empty())
        selection = momentFolder; // the moment itself: everything

    std::string taskName = kTaskName;
    std::string destination;
    if (a.to) {
        destination = CanonicalFolderSpec(*a.to);
    } else {
        const std::optional<std::string> source = taskSource(a, place.target, taskName);
        if (!source)
            return ExitUsage;
        destination = *source;
    }

    cRestore restore;
    restore.setTaskName(taskName);
    restore.setSourceFolderSpec(destination);
    restore.setTargetFolderSpec(momentFolder);
    restore.setIncludeSubFolders(true);
    // A moment holds only what a run kept: all of it comes back, hidden or special.
    restore.setEveryEntry(true);

    // Nobody is there to confirm. RunRestore itself keeps no versions of what it replaces.
    gClone->setConfirmSyncActions(false);
    gClone->setPlanOnly(a.dryRun);
    const util::ScopeExit planOnlyOff([] { gClone->setPlanOnly(false); });
    ConsoleRunHost host(a.quiet, a.progress);
    ScopedRunHost hostScope(host);
    RestoreMessages messages(ui());
    ScopedUiServices messagesScope(messages);
    const ConsoleRunLog runLog(host, kCommand);
    platform::cancelOnSignals(CancelRequested, platform::HangUp::Cancels);
    if (platform::signalCount() > 0)
        return ExitCancelled;

    RestoreFrontEnd frontEnd;
    // A thread of its own, as every run has: the priority the rules set ends with it.
    frontEnd.runWork = [](const std::function<void()>& work) { util::runOnFreshThread(work); };
    const RestoreOutcome outcome = RunRestore(restore, true, selection, frontEnd);

    if (a.dryRun && outcome != RestoreOutcome::NoOutcome)
        printPlan(destination);
    // Success needs no word when the dry run's plan or -q says enough.
    if (outcome != RestoreOutcome::Succeeded || !(a.dryRun || a.quiet))
        messages.showOutcome();
    if (outcome == RestoreOutcome::Cancelled || platform::signalCount() > 0)
        return ExitCancelled;
    return outcome == RestoreOutcome::Succeeded && !runLog.unwritten() ? ExitOk : ExitRunErrors;
}

int runParsed(const VersionsArgs& args)
{
    ProgramObjects objects;
    // A restore into the Source of a task reads the task list too (and the options with it).
    if (args.verb == Verb::Restore && !args.to) {
        int usageExit = 0;
        if (openTaskList(args.taskList, kCommand, usageExit) == ListRead::Failed)
            return usageExit ? usageExit : int{ExitRunErrors};
    } else if (!ReadProgramOptionsFromIniFile()) {
        return ExitRunErrors;
    }
    Place place;
    if (!locate(args, place))
        return ExitRunErrors;
    switch (args.verb) {
    case Verb::List:
        return listMoments(args, place);
    case Verb::Show:
        return showMoment(args, place);
    case Verb::Restore:
        return restoreMoment(args, place);
    }
    return ExitRunErrors;
}

} // namespace

const char* versionsUsage()
{
    return "Usage: kestrow-cli versions list TARGET [--versions-folder DIR]\n"
           "       kestrow-cli versions show TARGET MOMENT [--versions-folder DIR]\n"
           "       kestrow-cli versions restore TARGET MOMENT [ITEM...] [options]\n"
           "\n"
           "The old versions of a Target: what runs with KeepVersions on moved aside\n"
           "instead of deleting or replacing it, one moment per run, named by the run's\n"
           "start (\"2026-12-09 181502\", then \" 2\" for a second run in that second).\n"
           "\n"
           "  list     the moments of TARGET, oldest first, one a line: name, items, bytes\n"
           "           (columns two spaces or more apart); none is said on stderr\n"
           "  show     the items of MOMENT, a folder before its contents, one a line: size\n"
           "           (\"-\" for a folder), last-write time, and last the path relative to\n"
           "           the moment (a folder's ends with \"/\"; control characters are written\n"
           "           \\n, \\r, \\t or \\xHH and a backslash doubled, as in log lines)\n"
           "  restore  copies the ITEMs of MOMENT (paths as show prints them, or as they\n"
           "           are), or all of it, back, hidden and special files too: nothing is\n"
           "           deleted, the versions stay\n"
           "\n"
           "  --versions-folder DIR  the versions are in DIR, a subfolder per Target\n"
           "                         (default: VersionsFolder of kestrow.ini, else\n"
           "                         .kestrow-versions in TARGET)\n"
           "  --to DIR               restore into DIR, creating it when missing (default:\n"
           "                         the Source of the task whose Targets include TARGET)\n"
           "  --task-list FILE       the task list that task is looked up in (default: the\n"
           "                         one kestrow.ini names, else \"Default Task List.kwt\")\n"
           "  --dry-run              print the planned operations, change nothing\n"
           "  -q, --quiet            no status texts on stderr, no word on success\n"
           "  --progress             a progress line and a summary on stderr, as for clone\n"
           "  --no-progress          neither\n"
           "\n"
           "The restore's log lines go to stdout and are appended to clone.log.\n"
           "Exit status: 0 success (also no old versions), 1 errors (a TARGET that is no\n"
           "folder, a MOMENT or an ITEM not there, a restore with errors), 2 bad usage\n"
           "(also a restore without --to whose TARGET is no task's), 3 cancelled.\n";
}

int runVersionsCommand(int argc, char* argv[], int first)
{
    if (first >= argc) {
        std::cerr << kPrefix << "list, show or restore is needed\n\n" << versionsUsage();
        return ExitUsage;
    }
    for (int i = first; i < argc && i <= first + 1; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << versionsUsage();
            return ExitOk;
        }
    }
    VersionsArgs args;
    if (!parsedOrExplained(kCommand, versionsUsage(), [&] { args = parse(argc, argv, first); }))
        return ExitUsage;
    return Guarded("kestrow-cli.versions", int{ExitRunErrors}, [&] { return runParsed(args); });
}

} // namespace kestrow::cli
