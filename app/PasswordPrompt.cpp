#include "app/PasswordPrompt.h"

#include "app/ProgramOptions.h"
#include "base/ErrorReporter.h"
#include "platform/InstanceLock.h"
#include "settings/IniDocument.h"
#include "settings/modEncryption.h"
#include "util/Trim.h"

namespace kestrow {

namespace {

PasswordWindow& passwordWindow()
{
    static PasswordWindow window;
    return window;
}

// Any program that links the password code (and so can set a password) keeps it
// scrambled from the start, before its options are read.
[[maybe_unused]] const bool kCodecInstalled = (InstallPasswordCodec(), true);

} // namespace

void InstallPasswordCodec()
{
    setPasswordCodec(ScramblePassword, UnscramblePassword);
}

void setPasswordWindow(PasswordWindow window)
{
    passwordWindow() = std::move(window);
}

bool PasswordPrompt()
{
    if (!gblnPasswordSet)
        return true;
    gblnPasswordOK = false;
    if (passwordWindow())
        passwordWindow()();
    return gblnPasswordOK;
}

bool IsAdminPassword(const std::string& entered)
{
    return entered == gstrAdminPassword;
}

std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

NewPasswordCheck CheckNewPassword(const std::string& first, const std::string& confirmation)
{
    // Blanks around a password are spaces, and are not part of it.
    const std::string_view password = util::trimSpaces(first);
    if (CharacterCount(password) < MinPasswordChars)
        return NewPasswordCheck::TooShort;
    if (password != util::trimSpaces(confirmation))
        return NewPasswordCheck::Mismatch;
    return NewPasswordCheck::Valid;
}

void SetAdminPassword(const std::string& password)
{
    gblnPasswordSet = true;
    gstrAdminPassword = util::trimSpaces(password);
    SavePasswordToIni();
}

void TurnOffPasswordProtection()
{
    gblnPasswordSet = false;
    gstrAdminPassword.clear();
    SavePasswordToIni();
}

void SavePasswordToIni()
{
    Guarded("frmSetPassword.SavePasswordToIni", [] {
        // One read and one atomic write, so a file that cannot be written is reported
        // instead of passing unnoticed; under the options file's lock, so another
        // program's save in between is not lost.
        const platform::UpdateLock lock(OptionsFileSpec());
        RefuseSaveAtLinkedUpdateLock(lock);
        int err = 0;
        IniDocument ini = IniDocument::load(OptionsFileSpec(), err);
        if (err != 0)
            ThrowDataFileError(err, false, OptionsFileSpec(), GetSystemErrorMessage(err));
        ini.setString("Miscellaneous", "AdminPassword", ScramblePassword(gstrAdminPassword));
        if (const int saveErr = ini.save(); saveErr != 0)
            throw RuntimeError(errorNumberFromErrno(saveErr, false), GetSystemErrorMessage(saveErr), saveErr);
    });
}

} // namespace kestrow
