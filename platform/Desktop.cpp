#include "platform/Desktop.h"

#include "platform/PathCheck.h"
#include "platform/SystemInfo.h"
#include "platform/TextFile.h"
#include "util/AsciiCase.h"
#include "util/PercentEncode.h"
#include "util/Trim.h"

#include <cerrno>
#include <optional>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrow::platform {

namespace {

std::vector<std::string> splitOn(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Blanks around a desktop file's keys, values and list items: spaces and tabs.
std::string trimmed(std::string_view text)
{
    return std::string(util::trimmed(text, util::kSpacesAndTabs));
}

bool isExecutableFile(const std::string& path)
{
    struct stat st;
    return detail::checkPath(path) == 0 && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// `name` as the shell would find it: a name holding "/" as it stands, else the
// first executable of that name in a PATH folder. "" when there is none.
std::string findExecutable(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    const std::string path = env("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    for (const std::string& folder : splitOn(path, ':')) {
        const std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

// An XDG folder variable: its value when absolute, else the fallback below HOME.
std::string xdgHome(const char* variable, const char* fallbackBelowHome)
{
    if (auto v = env(variable); v && v->starts_with('/'))
        return *v;
    return homeFolder() + "/" + fallbackBelowHome;
}

std::vector<std::string> xdgDirs(const char* variable, const char* fallback)
{
    std::vector<std::string> dirs;
    const auto v = env(variable);
    for (const std::string& d : splitOn(v && !v->empty() ? *v : std::string(fallback), ':')) {
        if (d.starts_with('/'))
            dirs.push_back(d);
    }
    return dirs;
}

std::string asFolder(std::string path)
{
    if (!path.ends_with('/'))
        path += '/';
    return path;
}

// The folders holding desktop entries, most important first.
std::vector<std::string> applicationFolders()
{
    std::vector<std::string> folders{asFolder(xdgHome("XDG_DATA_HOME", ".local/share")) + "applications/"};
    for (const std::string& d : xdgDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
        folders.push_back(asFolder(d) + "applications/");
    return folders;
}

// Every mimeapps.list, most important first: in each of the config home, the
// config folders, the data home's and the data folders' applications folders,
// the desktop-specific lists before the plain one.
std::vector<std::string> mimeappsLists()
{
    std::vector<std::string> folders{asFolder(xdgHome("XDG_CONFIG_HOME", ".config"))};
    for (const std::string& d : xdgDirs("XDG_CONFIG_DIRS", "/etc/xdg"))
        folders.push_back(asFolder(d));
    for (const std::string& d : applicationFolders())
        folders.push_back(d);
    std::vector<std::string> desktops;
    for (const std::string& d : splitOn(env("XDG_CURRENT_DESKTOP").value_or(""), ':'))
        desktops.push_back(util::asciiLower(d));
    std::vector<std::string> lists;
    for (const std::string& folder : folders) {
        for (const std::string& desktop : desktops)
            lists.push_back(folder + desktop + "-mimeapps.list");
        lists.push_back(folder + "mimeapps.list");
    }
    return lists;
}

std::string readText(const std::string& path)
{
    int err = 0;
    return readWholeFile(path, err);
}

// The value of `key` in `[group]` of a desktop-entry style text; nullopt when absent.
std::optional<std::string> keyValue(const std::string& text, const std::string& group, const std::string& key)
{
    std::string current;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = trimmed(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t eq = line.find('=');
        if (current == group && eq != std::string::npos && trimmed(line.substr(0, eq)) == key)
            return trimmed(line.substr(eq + 1));
    }
    return std::nullopt;
}

// The desktop ids listed for `mimeType` in `[group]` of a list's text.
std::vector<std::string> idsFor(const std::string& text, const std::string& group,
                                const std::string& mimeType)
{
    std::vector<std::string> ids;
    if (auto value = keyValue(text, group, mimeType)) {
        for (const std::string& id : splitOn(*value, ';')) {
            if (!trimmed(id).empty())
                ids.push_back(trimmed(id));
        }
    }
    return ids;
}

// A desktop entry value with its escapes (\s \n \t \r \\) resolved.
std::string unescapeValue(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The words of an Exec value: split at blanks, double quotes grouping a word,
// a backslash inside quotes taking the next character as it is.
std::vector<std::string> execWords(const std::string& exec)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size())
                word += exec[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"')
                quoted = true;
            else
                word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::optional<DefaultHandler> handlerFromDesktopId(const std::string& id)
{
    if (id.empty() || id.find('/') != std::string::npos)
        return std::nullopt;
    for (const std::string& folder : applicationFolders()) {
        int err = 0;
        const std::string file = folder + id;
        const std::string text = readWholeFile(file, err);
        if (err)
            continue;
        // The first file of an id is the entry; a broken one hides nothing behind it.
        const std::string group = "Desktop Entry";
        if (keyValue(text, group, "Hidden").value_or("") == "true")
            return std::nullopt;
        if (const auto type = keyValue(text, group, "Type"); type && *type != "Application")
            return std::nullopt;
        if (const auto tryExec = keyValue(text, group, "TryExec");
            tryExec && findExecutable(unescapeValue(*tryExec)).empty())
            return std::nullopt;
        const auto exec = keyValue(text, group, "Exec");
        if (!exec)
            return std::nullopt;
        DefaultHandler handler;
        handler.command = execWords(unescapeValue(*exec));
        if (handler.command.empty())
            return std::nullopt;
        handler.program = findExecutable(handler.command.front());
        if (handler.program.empty())
            return std::nullopt;
        handler.source = HandlerSource::DesktopEntry;
        handler.desktopEntry = file;
        return handler;
    }
    return std::nullopt;
}

std::optional<DefaultHandler> handlerFromAssociations(const std::string& mimeType)
{
    std::vector<std::string> texts;
    for (const std::string& list : mimeappsLists())
        texts.push_back(readText(list));
    std::unordered_set<std::string> removed;
    for (const std::string& text : texts) {
        for (const std::string& id : idsFor(text, "Removed Associations", mimeType))
            removed.insert(id);
    }
    for (const std::string& text : texts) {
        for (const std::string& id : idsFor(text, "Default Applications", mimeType)) {
            if (auto handler = handlerFromDesktopId(id))
                return handler;
        }
    }
    for (const std::string& text : texts) {
        for (const std::string& id : idsFor(text, "Added Associations", mimeType)) {
            if (!removed.contains(id)) {
                if (auto handler = handlerFromDesktopId(id))
                    return handler;
            }
        }
    }
    for (const std::string& folder : applicationFolders()) {
        for (const std::string& id : idsFor(readText(folder + "mimeinfo.cache"), "MIME Cache", mimeType)) {
            if (!removed.contains(id)) {
                if (auto handler = handlerFromDesktopId(id))
                    return handler;
            }
        }
    }
    return std::nullopt;
}

std::optional<DefaultHandler> browserHandler()
{
    for (const std::string& entry : splitOn(env("BROWSER").value_or(""), ':')) {
        DefaultHandler handler;
        handler.command = execWords(entry);
        if (handler.command.empty())
            continue;
        handler.program = findExecutable(handler.command.front());
        if (!handler.program.empty()) {
            handler.source = HandlerSource::BrowserVariable;
            return handler;
        }
    }
    if (std::string program = findExecutable("x-www-browser"); !program.empty()) {
        DefaultHandler handler;
        handler.source = HandlerSource::Alternative;
        handler.program = program;
        handler.command = {program};
        return handler;
    }
    return std::nullopt;
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with)
{
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + with.size()))
        text.replace(pos, what.size(), with);
    return text;
}

// Starts `program` with `args` in a session of its own, standard streams on
// /dev/null, default signal handling. Returns 0 or the errno of the failed start.
int startProcess(const std::string& program, const std::vector<std::string>& args, pid_t& pid)
{
    if (const int err = detail::checkPath(program))
        return err;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

// The exit status of a child (128 + signal when it was killed).
int waitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 0; // reaped elsewhere: nothing more to learn
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A handler runs as long as the person keeps it open: reap it without waiting.
void reapInBackground(pid_t pid)
{
    std::thread([pid] { waitForExit(pid); }).detach();
}

} // namespace

DefaultHandler findDefaultHandler(const std::string& mimeType)
{
    if (auto handler = handlerFromAssociations(mimeType))
        return *handler;
    if (mimeType == "text/html") {
        if (auto handler = browserHandler())
            return *handler;
    }
    return {};
}

std::string fileUrl(const std::string& path)
{
    return "file://" + util::percentEncodePath(path);
}

std::vector<std::string> handlerCommandFor(const DefaultHandler& handler, const std::string& path)
{
    std::vector<std::string> command;
    bool fileGiven = false;
    switch (handler.source) {
    case HandlerSource::None:
        return {};
    case HandlerSource::Alternative:
        return {handler.program, path};
    case HandlerSource::BrowserVariable:
        for (const std::string& word : handler.command) {
            if (word.find("%s") != std::string::npos) {
                command.push_back(replaceAll(word, "%s", path));
                fileGiven = true;
            } else {
                command.push_back(word);
            }
        }
        break;
    case HandlerSource::DesktopEntry:
        for (const std::string& word : handler.command) {
            std::string out;
            bool onlyCodes = true;
            for (size_t i = 0; i < word.size(); ++i) {
                if (word[i] != '%' || i + 1 == word.size()) {
                    out += word[i];
                    onlyCodes = false;
                    continue;
                }
                switch (word[++i]) {
                case '%':
                    out += '%';
                    onlyCodes = false;
                    break;
                case 'f':
                case 'F':
                    out += path;
                    fileGiven = true;
                    onlyCodes = false;
                    break;
                case 'u':
                case 'U':
                    out += fileUrl(path);
                    fileGiven = true;
                    onlyCodes = false;
                    break;
                default:
                    break; // %i %c %k and the deprecated codes give nothing
                }
            }
            if (!onlyCodes)
                command.push_back(out);
        }
        break;
    }
    if (!fileGiven)
        command.push_back(path);
    return command;
}

OpenOutcome openWithDefaultHandler(const std::string& path, const std::string& mimeType)
{
    OpenOutcome outcome;
    const DefaultHandler handler = findDefaultHandler(mimeType);
    if (handler.source == HandlerSource::None)
        return outcome;
    outcome.handler = handler.program;
    outcome.status = OpenStatus::FailedToStart;
    pid_t pid = 0;
    if (handler.source == HandlerSource::DesktopEntry) {
        // gio judges the file's type itself; when it cannot (no MIME database), or
        // fails for another reason, the entry's own command still can be run.
        if (const std::string gio = findExecutable("gio"); !gio.empty()) {
            if (startProcess(gio, {"gio", "open", path}, pid) == 0 && waitForExit(pid) == 0) {
                outcome.status = OpenStatus::Started;
                return outcome;
            }
        } else if (const std::string xdgOpen = findExecutable("xdg-open"); !xdgOpen.empty()) {
            if (startProcess(xdgOpen, {"xdg-open", path}, pid) == 0) {
                reapInBackground(pid); // xdg-open may wait for the browser to close
                outcome.status = OpenStatus::Started;
                return outcome;
            }
        }
    }
    if ((outcome.error = startProcess(handler.program, handlerCommandFor(handler, path), pid)) == 0) {
        reapInBackground(pid);
        outcome.status = OpenStatus::Started;
    }
    return outcome;
}

} // namespace kestrow::platform
