#pragma once
// The seam through which the core talks to a person. Every message box, input
// box and beep of the program goes through the current UiServices, so the Qt
// front end shows real dialogs, the CLI answers safely on its own, and tests
// script the answers and read back every text.

#include "util/ScopeExit.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrow {

enum class MsgIcon
{
    None,
    Information,
    Exclamation,
    Critical,
    Question
};
enum class MsgButtons
{
    Ok,
    OkCancel,
    RetryCancel,
    YesNo,
    YesNoCancel
};
enum class MsgResult
{
    Ok,
    Cancel,
    Retry,
    Yes,
    No
};

const char* toString(MsgIcon icon);
const char* toString(MsgButtons buttons);
const char* toString(MsgResult result);

class UiServices
{
public:
    virtual ~UiServices() = default;

    // Shows a modal message box and returns the button pressed. Lines of `text`
    // are joined with "\n".
    virtual MsgResult messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                                 MsgButtons buttons) = 0;

    // Single-line input. Returns the text entered, or nullopt when cancelled
    // (the callers treat a cancel like an empty answer where the program always did).
    virtual std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                                const std::string& defaultText) = 0;

    // The system beep that refuses a command during a run.
    virtual void beep() = 0;
};

// The services in force. Never null: until a front end installs its own, a
// console implementation that writes to stderr and takes the safe answer is used.
UiServices& ui();

// Installs `services` for the lifetime of the guard and puts the previous ones back.
class ScopedUiServices
{
public:
    explicit ScopedUiServices(UiServices& services);

private:
    util::ScopedValue<UiServices*> m_installed;
};

// Messages to stderr; questions take their safe answer (No, or Cancel when
// there is no No), input boxes are cancelled. Used by the CLI and as the default.
class ConsoleUiServices : public UiServices
{
public:
    MsgResult messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override;
    void beep() override;
};

// The answer an unattended run takes for a button set.
MsgResult safeAnswer(MsgButtons buttons);

} // namespace kestrow
