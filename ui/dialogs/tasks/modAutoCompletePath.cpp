#include "ui/dialogs/tasks/modAutoCompletePath.h"

#include "base/ErrorReporter.h"
#include "engine/FolderRoutines.h"
#include "platform/DirList.h"
#include "ui/qt/QtText.h"
#include "zelcommon/ZelCommon.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <vector>

namespace kestrow {

bool gblnAutoCompleteInProgress = false;

namespace gui {

namespace {

std::string foldAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Name order as a person reads a folder: letters without regard to case, then bytes.
bool nameLess(const std::string& a, const std::string& b)
{
    const std::string foldedA = foldAscii(a), foldedB = foldAscii(b);
    return foldedA != foldedB ? foldedA < foldedB : a < b;
}

} // namespace

std::string FindPathCompletion(const std::string& text, const std::function<bool()>& keepGoing)
{
    if (text.empty())
        return {};
    const std::string normalized = zc::NormalizePath(text);
    if (FolderExists(normalized, platform::FollowLinks::yes))
        return normalized;

    const std::string lastItem = zc::GetLastItemInPath(text);
    const std::string parent = lastItem.empty() ? normalized : text.substr(0, text.size() - lastItem.size());
    if (parent.empty() || !FolderExists(parent, platform::FollowLinks::yes))
        return {};

    std::vector<platform::DirEntry> entries;
    platform::listFolder(parent, entries);
    std::sort(entries.begin(), entries.end(), [](const platform::DirEntry& a, const platform::DirEntry& b) {
        return nameLess(a.name, b.name);
    });
    for (const platform::DirEntry& entry : entries) {
        if (keepGoing && !keepGoing())
            return {};
        if (!entry.name.starts_with(lastItem))
            continue;
        const std::string path = parent + entry.name;
        const bool folder = entry.isFolder() || (entry.type == platform::EntryType::Symlink &&
                                                 FolderExists(path, platform::FollowLinks::yes));
        return folder ? path + "/" : std::string();
    }
    return {};
}

std::string CompletionSuffix(const std::string& text, const std::string& completion)
{
    if (completion.size() <= text.size())
        return {};
    const auto start = static_cast<int16_t>(std::min<size_t>(text.size() + 1, 32767));
    const int16_t slash = zc::GetNextSlashPos(completion, start);
    const size_t end = slash > 0 ? static_cast<size_t>(slash) : completion.size();
    return completion.substr(text.size(), end - text.size());
}

modAutoCompletePath::modAutoCompletePath(QLineEdit* edit) : QObject(edit), m_edit(edit)
{
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, &modAutoCompletePath::textChanged);
}

bool modAutoCompletePath::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        const int code = typed.isEmpty() ? 0 : typed.at(0).unicode();
        m_lastKeyPrintable = code >= 32 && code <= 122;
    }
    return QObject::eventFilter(watched, event);
}

void modAutoCompletePath::textChanged()
{
    Guarded("modAutoCompletePath.TextChanged", [&] {
        // A change during a running search (another key typed) stops that search, which
        // then starts over with the text as it is now.
        for (;;) {
            const std::string text = s(m_edit->text());
            if (text.empty() || !m_lastKeyPrintable || gblnAutoCompleteInProgress) {
                gblnAutoCompleteInProgress = false;
                return;
            }
            m_lastKeyPrintable = false;
            if (text.back() == '/' || text.back() == '\\' || text.front() == '\\')
                return;

            gblnAutoCompleteInProgress = true;
            const std::string completion = FindPathCompletion(text, [] {
                QCoreApplication::processEvents();
                return gblnAutoCompleteInProgress;
            });
            if (!gblnAutoCompleteInProgress)
                continue;

            const std::string suffix = CompletionSuffix(text, completion);
            if (!suffix.empty()) {
                const QString typed = q(text);
                const QString added = q(suffix);
                m_edit->setText(typed + added);
                m_edit->setSelection(static_cast<int>(typed.size()), static_cast<int>(added.size()));
            }
            gblnAutoCompleteInProgress = false;
            return;
        }
    });
    gblnAutoCompleteInProgress = false;
}

} // namespace gui
} // namespace kestrow
