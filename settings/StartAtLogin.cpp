#include "settings/StartAtLogin.h"

#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "platform/Autostart.h"
#include "platform/SystemInfo.h"
#include "platform/TextFile.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <array>
#include <cerrno>
#include <string_view>

namespace kestrow {

namespace {

constexpr std::array<std::string_view, 6> kRoots = {"HKEY_CLASSES_ROOT",  "HKEY_CURRENT_USER",
                                                    "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                                    "HKEY_DYN_DATA",      "HKEY_CURRENT_CONFIG"};

[[noreturn]] void apiError(int32_t code)
{
    throw RuntimeError(easyreg::ApiCall, EasyRegistryErrorText(code));
}

// The platform result a system error stands for.
int32_t codeFromErrno(int err)
{
    switch (err) {
    case ENOENT:
        return 2;
    case EACCES:
    case EPERM:
    case EROFS:
        return 5;
    case ENOMEM:
        return 14;
    case EINVAL:
    case ENAMETOOLONG:
        return 87;
    case ENOTDIR:
    case EEXIST:
    case ELOOP:
        return 1011;
    case ENOSPC:
    case EDQUOT:
    case EIO:
        return 1013;
    default:
        return -1;
    }
}

// Whether `key` is one of the two start-up lists or a key on the way to them (those
// exist on every system; nothing else does here).
bool keyExists(const std::string& key)
{
    for (const std::string_view run :
         {std::string_view(AllUsersRunKey), std::string_view(CurrentUserRunKey)}) {
        if (run == key || (run.starts_with(key) && run[key.size()] == '\\'))
            return true;
    }
    return false;
}

std::string configFolderFromEnv(const char* variable, const std::string& fallback)
{
    const auto value = platform::env(variable);
    if (value && !value->empty() && value->front() == '/')
        return *value;
    return fallback;
}

// Writes a desktop entry's Exec argument: quoted when it holds a reserved character
// (the quoting rules of the Exec key), then escaped as any string value is.
std::string execArgument(const std::string& arg)
{
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    if (arg.find_first_of(kReserved) != std::string::npos) {
        quoted = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    } else {
        quoted = arg;
    }
    std::string out;
    for (char c : quoted) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '%':
            out += "%%";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The inverse of execArgument for a command of one argument.
std::string argumentFromExec(std::string_view value)
{
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char n = value[++i];
            c = n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n == 's' ? ' ' : n;
        } else if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {
            ++i;
        }
        unescaped += c;
    }
    if (unescaped.size() < 2 || unescaped.front() != '"' || unescaped.back() != '"')
        return unescaped;
    std::string out;
    for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
        if (unescaped[i] == '\\' && i + 2 < unescaped.size())
            ++i;
        out += unescaped[i];
    }
    return out;
}

std::string entryFile(const std::string& folder, const std::string& valueName)
{
    return folder + "/" + valueName + ".desktop";
}

std::string displayName(const std::string& valueName)
{
    std::string name = valueName;
    if (!name.empty())
        name.front() = util::asciiUpper(name.front());
    return name;
}

bool validValueName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\n') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

std::string EasyRegistryErrorText(int32_t code)
{
    switch (code) {
    case 2:
        return "Key/Value does not exist.";
    case 5:
        return "Access to Registry Denied.";
    case 14:
        return "Out of memory.";
    case 87:
        return "Invalid Parameter.";
    case 1009:
        return "Corrupt Registry Database!";
    case 1010:
        return "Key name is bad.";
    case 1011:
        return "Cannot Open Key.";
    case 1012:
        return "Cannot Read Key.";
    case 1013:
        return "Cannot Write Key.";
    default:
        return "Undefined key error code!";
    }
}

std::string AllUsersAutostartFolder()
{
    std::string first = "/etc/xdg";
    if (const auto dirs = platform::env("XDG_CONFIG_DIRS"); dirs && !dirs->empty()) {
        const std::string entry = dirs->substr(0, dirs->find(':'));
        if (!entry.empty() && entry.front() == '/')
            first = entry;
    }
    while (first.size() > 1 && first.back() == '/')
        first.pop_back();
    return first + "/autostart";
}

std::string CurrentUserAutostartFolder()
{
    std::string home = platform::homeFolder();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    std::string config = configFolderFromEnv("XDG_CONFIG_HOME", home + "/.config");
    while (config.size() > 1 && config.back() == '/')
        config.pop_back();
    return config + "/autostart";
}

void clsEasyRegistry::Cd(const std::string& strDirectory)
{
    std::string path = util::asciiUpper(util::trimmed(strDirectory, util::kSpacesAndTabs));
    if (path == "\\") {
        m_CurrentKey.clear();
        m_folder.clear();
        return;
    }
    if (path == "..") {
        if (m_CurrentKey.empty())
            throw RuntimeError(easyreg::NoCurrentKey, "No current Key.");
        const std::size_t slash = m_CurrentKey.rfind('\\');
        Cd(slash == 0 ? std::string("\\") : m_CurrentKey.substr(0, slash));
        return;
    }
    if (path.size() > 1 && path.back() == '\\')
        path.pop_back();
    if (m_CurrentKey.empty() && !path.starts_with('\\'))
        path.insert(0, 1, '\\');

    std::string key;
    if (path.starts_with('\\')) {
        m_CurrentKey.clear();
        m_folder.clear();
        const std::string root = path.substr(
            1, path.find('\\', 1) == std::string::npos ? std::string::npos : path.find('\\', 1) - 1);
        bool known = false;
        for (std::string_view r : kRoots)
            known = known || r == root;
        if (!known)
            throw RuntimeError(easyreg::InvalidKeyRoot, "Invalid Key root.");
        key = path;
    } else {
        key = m_CurrentKey + "\\" + path;
        m_CurrentKey.clear();
        m_folder.clear();
    }

    if (!keyExists(key))
        apiError(2);
    std::string folder;
    if (key == AllUsersRunKey)
        folder = AllUsersAutostartFolder();
    else if (key == CurrentUserRunKey)
        folder = CurrentUserAutostartFolder();
    if (!folder.empty()) {
        // Opened for writing: the folder must be one that may be written, or be
        // missing with the chance to be made when a value is written.
        const int err = platform::folderWriteAccess(folder);
        if (err != 0 && err != ENOENT)
            apiError(codeFromErrno(err));
    }
    m_CurrentKey = key;
    m_folder = folder;
}

void clsEasyRegistry::ValueOf(const std::string& strValueName, int32_t lngValueType,
                              const std::string& vntValue)
{
    if (lngValueType == easyreg::REG_BINARY_TYPE || lngValueType == easyreg::REG_DWORD_TYPE)
        throw RuntimeError(easyreg::TypeMismatch, "Type passed doesn't match Value passed.");
    if (lngValueType != easyreg::REG_STRING)
        throw RuntimeError(easyreg::TypeUnknown, "Type passed doesn't exist. Use STRING, DWORD or BINARY.");
    if (m_folder.empty())
        apiError(2);
    if (!validValueName(strValueName))
        apiError(87);
    if (const int err = platform::prepareWritableFolder(m_folder); err != 0)
        apiError(codeFromErrno(err));
    const std::string text = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=" +
                             displayName(strValueName) +
                             "\n"
                             "Comment=Keeps Target folders identical to a Source folder\n"
                             "Exec=" +
                             execArgument(vntValue) +
                             "\n"
                             "Icon=" +
                             strValueName +
                             "\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n";
    if (const int err = platform::writeFileAtomically(entryFile(m_folder, strValueName), text); err != 0)
        apiError(codeFromErrno(err) == 2 ? 1013 : codeFromErrno(err));
}

std::string clsEasyRegistry::ValueOf(const std::string& strValueName) const
{
    if (m_folder.empty() || !validValueName(strValueName))
        apiError(2);
    int err = 0;
    const std::string text = platform::readWholeFile(entryFile(m_folder, strValueName), err);
    if (err != 0)
        apiError(codeFromErrno(err) == -1 ? 1012 : codeFromErrno(err));
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("Exec="))
            return argumentFromExec(line.substr(5));
        pos = end + 1;
    }
    apiError(2);
}

void clsEasyRegistry::DeleteValue(const std::string& strValueName)
{
    if (m_folder.empty() || !validValueName(strValueName))
        apiError(2);
    if (const int err = platform::removeFile(entryFile(m_folder, strValueName)); err != 0)
        apiError(codeFromErrno(err));
}

void WriteStartupEntry(const std::string& strValueName, const std::string& strProgramFolder, int32_t lngScope)
{
    if (lngScope != StartupAllUsers && lngScope != StartupCurrentUser)
        throw RuntimeError(errnum::Generic, "Invalid procedure call or argument");
    clsEasyRegistry reg;
    reg.Cd(lngScope == StartupAllUsers ? AllUsersRunKey : CurrentUserRunKey);
    reg.ValueOf(strValueName, easyreg::REG_STRING, strProgramFolder + strValueName);
}

bool ShowatStartup(const std::string& strValueName, const std::string& strProgramFolder, int32_t lngScope)
{
    return Guarded("modKestrow.ShowatStartup", false, [&] {
        WriteStartupEntry(strValueName, strProgramFolder, lngScope);
        return true;
    });
}

void DontShowAtStartup(const std::string& strValueName)
{
    // The accessor's own system errors (a missing entry, an all-users folder that may
    // not be changed) are passed over step by step; anything else is reported.
    Guarded("modKestrow.DontShowAtStartup", [&] {
        for (const char* key : {AllUsersRunKey, CurrentUserRunKey}) {
            try {
                clsEasyRegistry reg;
                reg.Cd(key);
                reg.DeleteValue(strValueName);
            } catch (const RuntimeError& e) {
                if (e.number() != easyreg::ApiCall)
                    throw;
            }
            runHost().processEvents();
        }
    });
}

int32_t StartupEntryScope(const std::string& strValueName)
{
    if (!validValueName(strValueName))
        return -1;
    if (platform::pathExists(entryFile(AllUsersAutostartFolder(), strValueName)))
        return StartupAllUsers;
    if (platform::pathExists(entryFile(CurrentUserAutostartFolder(), strValueName)))
        return StartupCurrentUser;
    return -1;
}

} // namespace kestrow
