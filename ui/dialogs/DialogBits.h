#pragma once

// Small pieces the dialogs share: the wait cursor, a re-entry flag, and plain buttons.

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <utility>

namespace kestrow::gui {

// Shows the wait cursor for its lifetime.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Runs `fn` with the flag set, putting the old value back however `fn` ends.
template <typename Fn> void withFlag(bool& flag, Fn&& fn)
{
    const bool previous = std::exchange(flag, true);
    try {
        fn();
    } catch (...) {
        flag = previous;
        throw;
    }
    flag = previous;
}

// A push button named `name` that Enter elsewhere in the dialog does not press.
inline QPushButton* dialogButton(const char* name, const char* caption, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

enum class OkIsDefault
{
    yes,
    no
};

struct OkCancelHelpRow
{
    QHBoxLayout* layout; // not yet in any layout: the caller places it
    QPushButton* ok;
    QPushButton* cancel;
    QPushButton* help;
};

// The "OK", "Cancel", "&Help" buttons (cmdOK, cmdCancel, cmdHelp), right-aligned in a row;
// without `withHelp` only the first two (help is then null). Cancel and Help are never
// pressed by Enter; OK is the default button with OkIsDefault::yes, and with
// OkIsDefault::no it is not pressed by Enter either.
inline OkCancelHelpRow okCancelHelpRow(QWidget* parent, OkIsDefault okIsDefault, bool withHelp = true)
{
    OkCancelHelpRow row{};
    if (okIsDefault == OkIsDefault::yes) {
        row.ok = new QPushButton(QStringLiteral("OK"), parent);
        row.ok->setObjectName(QStringLiteral("cmdOK"));
        row.ok->setDefault(true);
    } else {
        row.ok = dialogButton("cmdOK", "OK", parent);
    }
    row.cancel = dialogButton("cmdCancel", "Cancel", parent);
    row.layout = new QHBoxLayout;
    row.layout->addStretch();
    row.layout->addWidget(row.ok);
    row.layout->addWidget(row.cancel);
    if (withHelp) {
        row.help = dialogButton("cmdHelp", "&Help", parent);
        row.layout->addWidget(row.help);
    }
    return row;
}

} // namespace kestrow::gui
