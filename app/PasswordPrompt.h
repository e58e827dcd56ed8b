#pragma once
// Password protection as the front ends share it: the prompt before the hidden main
// window comes up, the checks of a new password, and where it is kept (AdminPassword
// in [Miscellaneous] of kestrow.ini, scrambled). The password locks the window; it
// encrypts nothing. State: gblnPasswordSet, gstrAdminPassword, gblnPasswordOK
// (app/ProgramOptions.h), window thread only.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestrow {

// Makes the options reader and writer keep AdminPassword scrambled (modEncryption).
// Done at start-up in every program this code is linked into; call it before the
// options file is read in any other (calling again is harmless).
void InstallPasswordCodec();

// The front end's password window: shows it modally and returns once it is closed,
// gblnPasswordOK then telling whether the password was entered.
using PasswordWindow = std::function<void()>;
void setPasswordWindow(PasswordWindow window);

// True at once when no password is set; otherwise clears gblnPasswordOK, shows the
// password window and returns gblnPasswordOK. Without a window a set password can
// never be entered: false.
bool PasswordPrompt();

// Whether `entered` is the password: exact, letter case counting, blanks untrimmed.
bool IsAdminPassword(const std::string& entered);

// The first entry of a new password and its confirmation, as the set-password window
// judges them after trimming blanks off both.
enum class NewPasswordCheck
{
    TooShort, // 4 characters or fewer
    Mismatch, // the two differ
    Valid,
};
NewPasswordCheck CheckNewPassword(const std::string& first, const std::string& confirmation);

// The least number of characters a password has.
inline constexpr std::size_t MinPasswordChars = 5;

// Characters (UTF-8 sequences) in `text`.
std::size_t CharacterCount(std::string_view text);

// Protection on with `password` trimmed, written to the options file at once.
void SetAdminPassword(const std::string& password);

// Protection off: an empty password, and an empty AdminPassword written at once.
void TurnOffPasswordProtection();

// Writes ScramblePassword(gstrAdminPassword) (empty when protection is off) as
// AdminPassword in [Miscellaneous] of gstrAppPath + "kestrow.ini". Failures are
// reported as "frmSetPassword.SavePasswordToIni"; the password in memory stays.
void SavePasswordToIni();

} // namespace kestrow
