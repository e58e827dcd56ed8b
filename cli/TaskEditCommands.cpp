#include "cli/TaskEditCommands.h"

#include "app/ProgramObjects.h"
#include "base/ErrorReporter.h"
#include "cli/Arguments.h"
#include "cli/CloneCommand.h"
#include "engine/FolderRoutines.h"
#include "engine/RootPaths.h"
#include "platform/InstanceLock.h"
#include "settings/IniDocument.h"
#include "tasks/TaskListCommands.h"
#include "tasks/TaskListFile.h"
#include "tasks/TaskProperties.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow::cli {

namespace {

enum class Verb
{
    Add,
    Edit,
    Remove,
    Show,
};

struct EditArgs
{
    Verb verb = Verb::Add;
    std::string command; // "task add" ...
    std::string name;
    std::optional<std::string> taskList;
    std::optional<std::string> source;
    std::optional<std::vector<std::string>> targets;
    std::vector<std::string> addTargets, removeTargets;
    std::optional<bool> subfolders;
    bool allItems = false;
    std::optional<std::vector<std::string>> includes, excludes, includeMasks, excludeMasks;
    std::optional<int32_t> schedule;
    std::optional<std::string> every;
    std::optional<int32_t> startSeconds;
    std::optional<int32_t> days;
    std::optional<std::string> category;
    std::optional<std::string> rename;

    bool selects() const { return includes || excludes || includeMasks || excludeMasks; }
    bool changesSomething() const
    {
        return source || targets || !addTargets.empty() || !removeTargets.empty() || subfolders || allItems ||
               selects() || schedule || every || startSeconds || days || category || rename;
    }
};

// The schedule words, by IntervalType.
constexpr std::string_view kScheduleWords[] = {"none",   "minutes",        "hours",        "days",
                                               "weekly", "first-of-month", "last-of-month"};
constexpr std::string_view kDayWords[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
constexpr std::string_view kDayNames[] = {"monday", "tuesday",  "wednesday", "thursday",
                                          "friday", "saturday", "sunday"};

int32_t scheduleValue(const std::string& text)
{
    const std::string word = util::asciiLower(util::trimSpaces(text));
    if (word == "manual")
        return 0;
    for (int32_t i = 0; i < 7; ++i)
        if (word == kScheduleWords[i] || word == std::to_string(i))
            return i;
    throw UsageError{"invalid value '" + text +
                     "' for --schedule (none, minutes, hours, days, weekly, first-of-month, last-of-month)"};
}

// "H:MM" or "H:MM:SS", 24-hour, as seconds of the day.
int32_t startValue(const std::string& text)
{
    int32_t parts[3] = {0, 0, 0};
    int count = 0;
    bool ok = true;
    std::string_view rest = text;
    for (;;) {
        const std::size_t colon = rest.find(':');
        const std::string_view field = rest.substr(0, colon);
        ok = ok && count < 3 && !field.empty() && field.size() <= 2 &&
             field.find_first_not_of("0123456789") == std::string_view::npos;
        if (!ok)
            break;
        parts[count++] = std::stoi(std::string(field));
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    ok = ok && count >= 2 && parts[0] < 24 && parts[1] < 60 && parts[2] < 60;
    if (!ok)
        throw UsageError{"invalid value '" + text + "' for --start (HH:MM or HH:MM:SS, 24-hour)"};
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

// "mon,wed" as DaysOfWeek bits; "" is no day.
int32_t daysValue(const std::string& text)
{
    int32_t bits = 0;
    std::string_view rest = text;
    while (!util::onlySpaces(rest)) {
        const std::size_t comma = rest.find(',');
        const std::string day = util::asciiLower(util::trimSpaces(rest.substr(0, comma)));
        int32_t bit = -1;
        for (int32_t i = 0; i < 7; ++i)
            if (day == kDayWords[i] || day == kDayNames[i])
                bit = i;
        if (bit < 0)
            throw UsageError{"invalid day '" + day + "' for --days (mon, tue, wed, thu, fri, sat, sun)"};
        bits |= 1 << bit;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return bits;
}

void append(std::optional<std::vector<std::string>>& list, std::string value)
{
    if (!list)
        list.emplace();
    list->push_back(std::move(value));
}

EditArgs parse(int argc, char* argv[], int first)
{
    EditArgs a;
    const std::string_view verb = argv[first];
    a.command = "task " + std::string(verb);
    if (verb == "add")
        a.verb = Verb::Add;
    else if (verb == "edit")
        a.verb = Verb::Edit;
    else if (verb == "remove")
        a.verb = Verb::Remove;
    else if (verb == "show")
        a.verb = Verb::Show;
    else
        throw UsageError{"unknown task command '" + std::string(verb) + "' (add, edit, remove or show)"};
    const bool changes = a.verb == Verb::Add || a.verb == Verb::Edit;
    const bool edit = a.verb == Verb::Edit;
    std::vector<std::string> positional;
    bool namesOnly = false; // after "--"
    for (int i = first + 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (namesOnly || !isOption(arg)) {
            positional.emplace_back(arg);
            continue;
        }
        auto value = [&] { return optionValue(argc, argv, i); };
        if (arg == "--")
            namesOnly = true;
        else if (arg == "--task-list")
            a.taskList = nonEmptyValue(argc, argv, i, "--task-list needs a file name");
        else if (changes && arg == "--source")
            a.source = value();
        else if (changes && arg == "--target")
            append(a.targets, value());
        else if (edit && arg == "--add-target")
            a.addTargets.push_back(value());
        else if (edit && arg == "--remove-target")
            a.removeTargets.push_back(value());
        else if (changes && (arg == "--subfolders" || arg == "--no-subfolders"))
            a.subfolders = arg == "--subfolders";
        else if (changes && arg == "--all-items")
            a.allItems = true;
        else if (changes && arg == "--include")
            append(a.includes, value());
        else if (changes && arg == "--exclude")
            append(a.excludes, value());
        else if (changes && arg == "--include-mask")
            append(a.includeMasks, value());
        else if (changes && arg == "--exclude-mask")
            append(a.excludeMasks, value());
        else if (changes && arg == "--schedule")
            a.schedule = scheduleValue(value());
        else if (changes && arg == "--every")
            a.every = value();
        else if (changes && arg == "--start")
            a.startSeconds = startValue(value());
        else if (changes && arg == "--days")
            a.days = daysValue(value());
        else if (changes && arg == "--category")
            a.category = value();
        else if (edit && arg == "--rename")
            a.rename = std::string(util::trimSpaces(nonEmptyValue(argc, argv, i, "--rename needs a name")));
        else
            throwUnknownOption(arg);
    }
    if (positional.empty() || util::onlySpaces(positional.front()))
        throw UsageError{a.command + " needs a task NAME"};
    if (positional.size() > 1)
        throwUnexpectedArgument(positional[1]);
    a.name = std::string(util::trimSpaces(positional.front()));
    if (a.allItems && a.selects())
        throw UsageError{"--all-items cannot go with --include, --exclude, --include-mask or --exclude-mask"};
    if (a.rename && a.rename->empty())
        throw UsageError{"--rename needs a name"};
    if (edit && !a.changesSomething())
        throw UsageError{"task edit needs something to change"};
    return a;
}

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : separator) + p;
    return out;
}

// Include or exclude items as the file selection saves them: full paths below the
// Source, a folder with its trailing "/". An empty value empties the list.
std::string itemSpecs(const std::vector<std::string>& items, const std::string& sourceRoot,
                      const char* option)
{
    std::vector<std::string> specs;
    for (const std::string& item : items) {
        if (item.empty())
            continue;
        std::string spec;
        if (!CanonicalItem(item, sourceRoot, spec))
            throw UsageError{std::string(option) + " item '" + item + "' is not inside the Source folder" +
                             (sourceRoot.empty() ? "" : " " + sourceRoot)};
        if (!spec.ends_with('/') && FolderExists(spec))
            spec += '/';
        if (std::find(specs.begin(), specs.end(), spec) == specs.end())
            specs.push_back(spec);
    }
    return joined(specs, "<:>");
}

// Masks as the file selection saves them: joined by ",". Each value may hold
// several, separated by "," or ";".
std::string maskList(const std::vector<std::string>& values)
{
    std::vector<std::string> masks;
    for (const std::string& value : values) {
        std::string_view rest = value;
        for (;;) {
            const std::size_t at = rest.find_first_of(",;");
            const std::string_view mask = util::trimSpaces(rest.substr(0, at));
            if (!mask.empty())
                masks.emplace_back(mask);
            if (at == std::string_view::npos)
                break;
            rest.remove_prefix(at + 1);
        }
    }
    return joined(masks, ",");
}

// The category as the dialog's list spells it: "Unfiled" or one of kestrow.ini's.
std::string categoryName(const std::string& typed)
{
    const std::string name(util::trimSpaces(typed));
    if (name.empty() || util::equalsIgnoringCase(name, UnfiledCategoryName))
        return UnfiledCategoryName;
    const int32_t at = gCategories ? gCategories->GetCategoryIndexBasedOnKey(name) : -1;
    if (at < 1) {
        std::vector<std::string> names;
        if (gCategories)
            gCategories->GetSortedCategoryListArray(names);
        throw UsageError{"unknown category '" + name + "' (" + UnfiledCategoryName +
                         (names.empty() ? "" : ", " + joined(names, ", ")) + ")"};
    }
    return gCategories->Categories()[static_cast<std::size_t>(at - 1)].Name;
}

// The options laid over the properties of the task `taskName`.
void applyOptions(const EditArgs& a, TaskProperties& p, const std::string& taskName)
{
    const int32_t typeBefore = p.IntervalType;
    if (a.source)
        p.SourceFolder = *a.source;
    if (a.targets)
        p.TargetFolders = *a.targets;
    for (const std::string& t : a.addTargets)
        p.TargetFolders.push_back(t);
    for (const std::string& t : a.removeTargets) {
        const std::string spec = SavedFolderSpec(std::string(util::trimSpaces(t)));
        const auto it =
            std::find_if(p.TargetFolders.begin(), p.TargetFolders.end(), [&](const std::string& x) {
                return SavedFolderSpec(std::string(util::trimSpaces(x))) == spec;
            });
        if (it == p.TargetFolders.end())
            throw UsageError{"--remove-target '" + t + "' is not a Target of task '" + taskName + "'"};
        p.TargetFolders.erase(it);
    }
    if (a.subfolders)
        p.IncludeSubFolders = *a.subfolders;

    if (a.allItems)
        p.AllFilesAndFolders = true;
    if (a.selects()) {
        if (p.AllFilesAndFolders) {
            p.IncludeFileSpecs.clear();
            p.IncludeFileMasks.clear();
            p.ExcludeFileSpecs.clear();
            p.ExcludeFileMasks.clear();
        }
        const std::string root = SavedFolderSpec(std::string(util::trimSpaces(p.SourceFolder)));
        if (a.includes)
            p.IncludeFileSpecs = itemSpecs(*a.includes, root, "--include");
        if (a.excludes)
            p.ExcludeFileSpecs = itemSpecs(*a.excludes, root, "--exclude");
        if (a.includeMasks)
            p.IncludeFileMasks = maskList(*a.includeMasks);
        if (a.excludeMasks)
            p.ExcludeFileMasks = maskList(*a.excludeMasks);
        // As the file selection decides: nothing selected is the whole Source.
        p.AllFilesAndFolders = p.IncludeFileSpecs.empty() && p.IncludeFileMasks.empty() &&
                               p.ExcludeFileSpecs.empty() && p.ExcludeFileMasks.empty();
    }

    if (a.schedule) {
        p.IntervalType = *a.schedule;
        // A new schedule starts with the dialog's own increment for it.
        if (p.IntervalType != typeBefore && IntervalUsesIncrement(p.IntervalType))
            p.IntervalIncrement = p.IntervalType == 1 ? "10" : "1";
    }
    if (a.every) {
        if (!IntervalUsesIncrement(p.IntervalType))
            throw UsageError{"--every goes with a minutes, hours or days schedule only"};
        p.IntervalIncrement = *a.every;
    }
    if (a.startSeconds)
        p.StartSeconds = *a.startSeconds;
    if (a.days)
        p.DaysOfWeek = *a.days;
    if (a.category)
        p.Category = categoryName(*a.category);
}

bool fileHasSection(const std::string& spec, const std::string& name)
{
    int err = 0;
    const IniDocument ini = IniDocument::load(spec, err);
    return err == 0 && ini.hasSection(name);
}

// The task's section as the file holds it: its header, then each of the sixteen
// keys the section has, in the order they are written.
int showTask(const std::string& spec, const std::string& name)
{
    int err = 0;
    const IniDocument ini = IniDocument::load(spec, err);
    if (err != 0) {
        std::cerr << "kestrow-cli task show: " << spec << ": " << GetSystemErrorMessage(err) << '\n';
        return ExitRunErrors;
    }
    std::cout << '[' << name << "]\n";
    for (const char* key : TaskListKeys)
        if (const std::optional<std::string> value = ini.value(name, key))
            std::cout << key << '=' << *value << '\n';
    return ExitOk;
}

int addTask(const EditArgs& a, const std::string& spec)
{
    if (CheckNewTaskName(a.name, *gCloneTasks) != TaskNameCheck::Ok)
        return ExitRunErrors;
    auto task = std::make_shared<cCloneTask>();
    task->setTaskName(a.name);
    TaskProperties p = TaskPropertiesOf(*task);
    applyOptions(a, p, a.name);
    if (!ValidateTaskProperties(p))
        return ExitRunErrors;
    SaveTaskProperties(p, *task);
    if (!gCloneTasks->Add(task) || !gCloneTasks->SaveTaskToTaskListFile(spec, a.name))
        return ExitRunErrors;
    return fileHasSection(spec, a.name) ? ExitOk : ExitRunErrors;
}

int editTask(const EditArgs& a, const std::string& spec, const CloneTaskPtr& task)
{
    const std::string name = task->TaskName();
    if (a.rename && CheckRenamedTaskName(*a.rename, name, *gCloneTasks) != TaskNameCheck::Ok)
        return ExitRunErrors;
    TaskProperties p = TaskPropertiesOf(*task);
    applyOptions(a, p, name);
    if (!ValidateTaskProperties(p))
        return ExitRunErrors;
    SaveTaskProperties(p, *task);
    if (!a.rename)
        return gCloneTasks->SaveTaskToTaskListFile(spec, name) ? ExitOk : ExitRunErrors;
    // The renamed task's section is written with the new properties.
    if (!RenameTaskInList(name, *a.rename))
        return ExitRunErrors;
    return fileHasSection(spec, *a.rename) && !fileHasSection(spec, name) ? ExitOk : ExitRunErrors;
}

int removeTask(const std::string& spec, const CloneTaskPtr& task)
{
    const std::string name = task->TaskName();
    DeleteTaskFromList(name);
    return fileHasSection(spec, name) ? ExitRunErrors : ExitOk;
}

int runParsed(const EditArgs& a)
{
    const char* command = a.command.c_str();
    ProgramObjects objects;
    if (!ReadProgramOptionsFromIniFile())
        return ExitRunErrors;
    if (a.taskList) {
        if (!FileExists(*a.taskList)) {
            std::cerr << "kestrow-cli " << command << ": task list " << *a.taskList << " does not exist\n";
            return ExitUsage;
        }
        gCloneTasks->setTaskListFileSpec(*a.taskList);
    }
    const std::string spec = gCloneTasks->TaskListFileSpec();
    // Held from the read to the last save: another program's save of this list
    // waits, so the names checked are the names the file has when this one saves.
    const platform::UpdateLock lock(spec);
    const bool complete = gCloneTasks->ReadAllTasksFromTaskListFile(spec);
    if (!complete && a.verb != Verb::Show) {
        std::cerr << "kestrow-cli " << command << ": the task list " << spec
                  << " could not be read to its end; it is left as it is\n";
        return ExitRunErrors;
    }
    if (a.verb == Verb::Add)
        return addTask(a, spec);
    const CloneTaskPtr task = gCloneTasks->Item(a.name);
    if (!task) {
        std::cerr << "kestrow-cli " << command << ": no task named '" << a.name << "' in " << spec << '\n';
        return ExitUsage;
    }
    switch (a.verb) {
    case Verb::Edit:
        return editTask(a, spec, task);
    case Verb::Remove:
        return removeTask(spec, task);
    default:
        return showTask(spec, task->TaskName());
    }
}

} // namespace

const char* taskUsage()
{
    return "Usage: kestrow-cli task add NAME --source DIR --target DIR [--target DIR...] [options]\n"
           "       kestrow-cli task edit NAME [options] [--rename NEW]\n"
           "       kestrow-cli task remove NAME [--task-list FILE]\n"
           "       kestrow-cli task show NAME [--task-list FILE]\n"
           "\n"
           "Creates, changes, deletes and prints the saved tasks of a task list, with the\n"
           "checks and messages of the desktop program's Task Properties dialog. show\n"
           "prints the task's section of the task list file (see kestrow.kwt(5)).\n"
           "\n"
           "Options of add and edit (edit changes only what is given):\n"
           "  --source DIR           the Source folder\n"
           "  --target DIR           a Target folder (repeatable; edit: replaces the Targets)\n"
           "  --add-target DIR       edit: one more Target folder\n"
           "  --remove-target DIR    edit: drop this Target folder\n"
           "  --subfolders, --no-subfolders\n"
           "                         clone the subfolders too (the default), or only the\n"
           "                         files of the roots\n"
           "  --all-items            clone everything in the Source (the default)\n"
           "  --include ITEM         clone only this file or folder (repeatable; relative\n"
           "                         items are below the Source)\n"
           "  --exclude ITEM         leave this file or folder alone (repeatable)\n"
           "  --include-mask MASKS   clone only files matching, e.g. '*.doc,*.txt'\n"
           "  --exclude-mask MASKS   leave files matching these masks alone\n"
           "                         (on edit each of the four replaces its own list; an\n"
           "                         empty value empties it)\n"
           "  --schedule WHEN        none (run by hand, the default), minutes, hours, days,\n"
           "                         weekly, first-of-month or last-of-month\n"
           "  --every N              minutes (at least 5), hours or days between runs\n"
           "                         (a new schedule starts with 10, 1 and 1)\n"
           "  --start HH:MM[:SS]     the time of day of days, weekly and monthly runs\n"
           "                         (default 12:00)\n"
           "  --days DAYS            the days of a weekly task, e.g. mon,wed,fri (default:\n"
           "                         every day)\n"
           "  --category NAME        Unfiled (the default) or a category of kestrow.ini\n"
           "  --rename NEW           edit: give the task a new name\n"
           "\n"
           "  --task-list FILE       the task list (default: the one kestrow.ini names,\n"
           "                         else \"Default Task List.kwt\" in the data folder)\n"
           "\n"
           "A folder the dialog would ask about (one that cannot be used) is refused.\n"
           "Success prints nothing (show prints the section).\n"
           "Exit status: 0 done, 1 refused (the reason is on stderr), 2 bad usage\n"
           "(including a task not in the list).\n";
}

int runTaskCommand(int argc, char* argv[], int first)
{
    if (first >= argc) {
        std::cerr << "kestrow-cli task: add, edit, remove or show is needed\n\n" << taskUsage();
        return ExitUsage;
    }
    for (int i = first; i < argc && i <= first + 1; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << taskUsage();
            return ExitOk;
        }
    }
    EditArgs args;
    const std::string command = "task " + std::string(argv[first]);
    if (!parsedOrExplained(command.c_str(), taskUsage(), [&] { args = parse(argc, argv, first); }))
        return ExitUsage;
    // A usage error found only against the list (an item outside the Source, an
    // unknown category, a Target the task does not have) is bad usage too.
    std::optional<std::string> usage;
    const int rc = Guarded(("kestrow-cli." + command).c_str(), int{ExitRunErrors}, [&] {
        try {
            return runParsed(args);
        } catch (const UsageError& e) {
            usage = e.message;
            return int{ExitUsage};
        }
    });
    if (usage)
        std::cerr << "kestrow-cli " << command << ": " << *usage << "\n\n" << taskUsage();
    return rc;
}

} // namespace kestrow::cli
