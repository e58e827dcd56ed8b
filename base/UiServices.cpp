#include "base/UiServices.h"

#include "platform/SystemInfo.h"
#include <cstdio>
#include <iostream>

namespace kestrow {

namespace {
ConsoleUiServices& consoleServices()
{
    static ConsoleUiServices services;
    return services;
}
UiServices* g_current = nullptr;
} // namespace

const char* toString(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::None:
        return "none";
    case MsgIcon::Information:
        return "information";
    case MsgIcon::Exclamation:
        return "exclamation";
    case MsgIcon::Critical:
        return "critical";
    case MsgIcon::Question:
        return "question";
    }
    return "?";
}

const char* toString(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok:
        return "OK";
    case MsgButtons::OkCancel:
        return "OK/Cancel";
    case MsgButtons::RetryCancel:
        return "Retry/Cancel";
    case MsgButtons::YesNo:
        return "Yes/No";
    case MsgButtons::YesNoCancel:
        return "Yes/No/Cancel";
    }
    return "?";
}

const char* toString(MsgResult result)
{
    switch (result) {
    case MsgResult::Ok:
        return "OK";
    case MsgResult::Cancel:
        return "Cancel";
    case MsgResult::Retry:
        return "Retry";
    case MsgResult::Yes:
        return "Yes";
    case MsgResult::No:
        return "No";
    }
    return "?";
}

UiServices& ui()
{
    return g_current ? *g_current : consoleServices();
}

ScopedUiServices::ScopedUiServices(UiServices& services) : m_installed(g_current, &services) {}

MsgResult safeAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgResult::Ok;
    case MsgButtons::OkCancel:
    case MsgButtons::RetryCancel:
        return MsgResult::Cancel;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgResult::No;
    }
    return MsgResult::Cancel;
}

MsgResult ConsoleUiServices::messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                                        MsgButtons buttons)
{
    const MsgResult answer = safeAnswer(buttons);
    std::cerr << "kestrow: " << title << " [" << toString(icon) << "]\n" << text << '\n';
    if (buttons != MsgButtons::Ok)
        std::cerr << "(answered " << toString(answer) << ")\n";
    return answer;
}

std::optional<std::string> ConsoleUiServices::inputBox(const std::string& title, const std::string& prompt,
                                                       const std::string&)
{
    std::cerr << "kestrow: " << title << "\n" << prompt << "\n(cancelled: no one to answer)\n";
    return std::nullopt;
}

void ConsoleUiServices::beep()
{
    if (platform::stderrIsTerminal())
        std::cerr << '\a' << std::flush;
}

} // namespace kestrow
