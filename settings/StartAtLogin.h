#pragma once
// Starting the program at login: freedesktop.org autostart entries, behind an
// accessor that walks "keys" the way the program's registry accessor always has.
//
// The two start-up lists are folders of desktop entries:
//   "\HKEY_LOCAL_MACHINE\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUN"  (all users):
//       <first entry of $XDG_CONFIG_DIRS, default /etc/xdg>/autostart
//   "\HKEY_CURRENT_USER\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUN"   (current user):
//       <$XDG_CONFIG_HOME, default ~/.config>/autostart
// A "value" NAME in one of them is the entry NAME.desktop, whose command (Exec) is the
// value's data. Any other key under a valid root does not exist on this system.
//
// Errors are thrown as RuntimeError with the numbers and descriptions the program has
// always used (relative to the application error base 0x80040000), never with a
// system error code, so that "Access to Registry Denied." reaches the error reporter's
// special message:
//   base + 1    "No current Key."            ".." with no current key
//   base + 2    "Invalid Key root."          a root name not in the list
//   base + 3    "Type passed doesn't match Value passed."
//   base + 4    "Type passed doesn't exist. Use STRING, DWORD or BINARY."
//   base + 256  by the system's answer: 2 "Key/Value does not exist." (ENOENT),
//               5 "Access to Registry Denied." (EACCES, EPERM, EROFS), 14 "Out of
//               memory.", 87 "Invalid Parameter.", 1011 "Cannot Open Key." (the folder
//               is not a folder), 1013 "Cannot Write Key." (the entry cannot be
//               written: disk full, I/O error), any other "Undefined key error code!".

#include <cstdint>
#include <string>

namespace kestrow {

namespace easyreg {
constexpr int32_t ErrorBase = static_cast<int32_t>(0x80040000u);
constexpr int32_t NoCurrentKey = ErrorBase + 1;
constexpr int32_t InvalidKeyRoot = ErrorBase + 2;
constexpr int32_t TypeMismatch = ErrorBase + 3;
constexpr int32_t TypeUnknown = ErrorBase + 4;
constexpr int32_t ApiCall = ErrorBase + 256;
// Value types of ValueOf.
constexpr int32_t REG_STRING = 0;
constexpr int32_t REG_BINARY_TYPE = 1;
constexpr int32_t REG_DWORD_TYPE = 2;
} // namespace easyreg

// The description of a platform result code (2, 5, 14, 87, 1009 to 1013, other).
std::string EasyRegistryErrorText(int32_t code);

class clsEasyRegistry
{
public:
    clsEasyRegistry() = default;
    clsEasyRegistry(const clsEasyRegistry&) = delete;
    clsEasyRegistry& operator=(const clsEasyRegistry&) = delete;

    // Makes a key current, opened for writing. The path is trimmed and upper-cased;
    // "\" closes the key; ".." goes to the parent; a trailing "\" is dropped; a path
    // starting with "\" is absolute (its first part a root name: HKEY_CLASSES_ROOT,
    // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_DYN_DATA,
    // HKEY_CURRENT_CONFIG), any other is relative to the current key (or absolute when
    // no key is current). Opening a start-up list creates its folder when it is
    // missing and checks that it can be written. Throws the errors above; after an
    // error no key is current.
    void Cd(const std::string& strDirectory);

    // Path of the open key: "\" + root + ..., upper case; empty when none is open.
    const std::string& CurrentKey() const { return m_CurrentKey; }

    // Writes the value `strValueName` into the current key (type 0, a string; the
    // entry's file is written atomically). Type 1 or 2 with a string is base + 3; any
    // other type base + 4. No current key, or a key other than a start-up list:
    // base + 256, "Key/Value does not exist.".
    void ValueOf(const std::string& strValueName, int32_t lngValueType, const std::string& vntValue);

    // The data of a value of the current key (the command of the entry); base + 256 with
    // code 2 when there is none.
    std::string ValueOf(const std::string& strValueName) const;

    // Deletes a value of the current key. A value that is not there: base + 256, code 2.
    void DeleteValue(const std::string& strValueName);

    // The folder behind the current key; empty when none is open.
    const std::string& folder() const { return m_folder; }

private:
    std::string m_CurrentKey;
    std::string m_folder;
};

// The registry paths of the two start-up lists.
inline constexpr const char* AllUsersRunKey =
    "\\HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
inline constexpr const char* CurrentUserRunKey =
    "\\HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

// The autostart folders (no trailing "/"), from the environment at the time of the call.
std::string AllUsersAutostartFolder();
std::string CurrentUserAutostartFolder();

// Scopes of ShowatStartup.
inline constexpr int32_t StartupAllUsers = 0;
inline constexpr int32_t StartupCurrentUser = 1;

// Writes the start-at-login entry `strValueName` for all users (scope 0) or the
// current user (1), whose command is `strProgramFolder` + `strValueName` (the
// executable). Any other scope writes nothing. Every error (the all-users folder that
// may not be written included) is reported as "modKestrow.ShowatStartup" and false
// returned.
bool ShowatStartup(const std::string& strValueName, const std::string& strProgramFolder, int32_t lngScope);

// As ShowatStartup, but without the report: throws the accessor's errors (a scope
// other than 0 or 1 is RuntimeError 5). The first start uses it to fall back to the
// current user silently.
void WriteStartupEntry(const std::string& strValueName, const std::string& strProgramFolder,
                       int32_t lngScope);

// Removes the entry `strValueName` from the all-users list, then from the current
// user's. A missing entry or folder, or an all-users folder that may not be changed,
// is passed over silently; other errors are reported as "modKestrow.DontShowAtStartup".
void DontShowAtStartup(const std::string& strValueName);

// Where the entry `strValueName` is now: 0 all users, 1 current user, -1 neither (the
// all-users list looked at first).
int32_t StartupEntryScope(const std::string& strValueName);

} // namespace kestrow
