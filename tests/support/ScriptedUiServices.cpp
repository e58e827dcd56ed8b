#include "tests/support/ScriptedUiServices.h"

#include <gtest/gtest.h>

namespace kestrow::test {

std::vector<RecordedPrompt> ScriptedUiServices::messages() const
{
    std::vector<RecordedPrompt> out;
    for (const auto& p : m_prompts)
        if (p.kind == RecordedPrompt::Kind::Message)
            out.push_back(p);
    return out;
}

int ScriptedUiServices::beeps() const
{
    int n = 0;
    for (const auto& p : m_prompts)
        n += p.kind == RecordedPrompt::Kind::Beep;
    return n;
}

MsgResult ScriptedUiServices::messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                                         MsgButtons buttons)
{
    m_prompts.push_back({RecordedPrompt::Kind::Message, title, text, icon, buttons, {}});
    if (buttons == MsgButtons::Ok && (m_answers.empty() || m_answers.front() != MsgResult::Ok))
        return MsgResult::Ok;
    if (m_answers.empty()) {
        ADD_FAILURE() << "unscripted message box: " << title << "\n" << text;
        return safeAnswer(buttons);
    }
    MsgResult r = m_answers.front();
    m_answers.pop_front();
    return r;
}

std::optional<std::string> ScriptedUiServices::inputBox(const std::string& title, const std::string& prompt,
                                                        const std::string& defaultText)
{
    m_prompts.push_back(
        {RecordedPrompt::Kind::Input, title, prompt, MsgIcon::None, MsgButtons::OkCancel, defaultText});
    if (m_inputs.empty()) {
        ADD_FAILURE() << "unscripted input box: " << title << "\n" << prompt;
        return std::nullopt;
    }
    auto r = m_inputs.front();
    m_inputs.pop_front();
    return r;
}

void ScriptedUiServices::beep()
{
    m_prompts.push_back({RecordedPrompt::Kind::Beep, {}, {}, MsgIcon::None, MsgButtons::Ok, {}});
}

} // namespace kestrow::test
