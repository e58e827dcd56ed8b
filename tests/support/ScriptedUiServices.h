#pragma once
// UI services for tests: answers come from a queue, every prompt is recorded.
// A prompt that needs an answer nobody queued fails the test at once.

#include "base/UiServices.h"

#include <deque>
#include <string>
#include <vector>

namespace kestrow::test {

struct RecordedPrompt
{
    enum class Kind
    {
        Message,
        Input,
        Beep
    } kind;
    std::string title;
    std::string text; // message text, or the input box's prompt
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    std::string defaultText;
};

class ScriptedUiServices : public UiServices
{
public:
    ScriptedUiServices() : m_scope(*this) {}

    // Queue the next answers. A message box with only an OK button needs no answer.
    void queueAnswer(MsgResult r) { m_answers.push_back(r); }
    void queueInput(std::optional<std::string> text) { m_inputs.push_back(std::move(text)); }

    const std::vector<RecordedPrompt>& prompts() const { return m_prompts; }
    std::vector<RecordedPrompt> messages() const;
    int beeps() const;
    void clear() { m_prompts.clear(); }
    // True when every queued answer was used.
    bool allAnswersUsed() const { return m_answers.empty() && m_inputs.empty(); }

    MsgResult messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override;
    void beep() override;

private:
    std::deque<MsgResult> m_answers;
    std::deque<std::optional<std::string>> m_inputs;
    std::vector<RecordedPrompt> m_prompts;
    ScopedUiServices m_scope;
};

} // namespace kestrow::test
