#pragma once
// Real dialogs for the UI services.

#include "base/UiServices.h"

#include <QString>

class QWidget;

namespace kestrow::gui {

// A message's text as a box shows it: a line break in the middle of a sentence (the
// line before it ends in neither ".", "!", "?" nor ":", and the next line is no list
// item) becomes a blank, so the box wraps by its width, at any scale; empty lines,
// list items and the breaks after a sentence stay.
QString ReflowedMessageText(const std::string& text);

class QtUiServices : public UiServices
{
public:
    // Message boxes are parented to `parent` when it is shown and not minimised
    // (else they are free-standing, as when the program lives only in the tray).
    explicit QtUiServices(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    MsgResult messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override;
    void beep() override;

private:
    QWidget* dialogParent() const;
    QWidget* m_parent;
};

} // namespace kestrow::gui
