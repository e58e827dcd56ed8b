#pragma once
// Folder-name completion for a path text box. While the user types, the text is
// completed to the next "/" of the first matching folder, and the added characters
// are selected so that typing on replaces them.
//
// The rules:
// - only a change that follows a printable key (character codes 32 to 122) completes;
//   a change made by the program, a paste, a drop or a Backspace does not;
// - nothing is completed for an empty text, a text ending in "/" or "\", or one
//   beginning with "\";
// - a text naming an existing folder (a link to one counts) is completed with "/";
// - otherwise the entries of the parent folder are looked at in name order (without
//   regard to case) and the first whose name begins with the typed last item decides:
//   a folder completes, a file (or anything else) ends the search with nothing. Names
//   are compared with regard to case, as the file system compares them.

#include <QObject>

#include <functional>
#include <string>

class QLineEdit;

namespace kestrow {

// Set while a completion looks through a folder; clearing it makes that search stop.
extern bool gblnAutoCompleteInProgress;

namespace gui {

// The full completion of `text` ("" when there is none). `keepGoing` is asked before
// each entry of the parent folder is looked at; when it returns false the search ends
// with no completion.
std::string FindPathCompletion(const std::string& text, const std::function<bool()>& keepGoing);

// The characters of `completion` that follow `text`, up to and including the next "/"
// or "\" (or to the end without one); "" when the completion is not longer than the text.
std::string CompletionSuffix(const std::string& text, const std::string& completion);

// Completes the text of `edit` as it is typed. Owned by the text box.
class modAutoCompletePath : public QObject
{
    Q_OBJECT
public:
    explicit modAutoCompletePath(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void textChanged();

    QLineEdit* m_edit;
    bool m_lastKeyPrintable = false;
};

} // namespace gui
} // namespace kestrow
