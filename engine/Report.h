#pragma once
// The folder differences report: compares a Source folder with a Target folder
// without changing anything, and writes what was added to, deleted from or
// changed in the Source (all seen from the Source's side) as an HTML page in the
// system temporary folder, then shows it in the browser.
//
// Folder specs end with "/". Each folder is listed once per side and entries
// pair by name, case-sensitively. Symbolic links are never followed: a link is
// an entry like a file, and a pair of links is the same when their target texts
// are equal. The trash folders at the top of a mount are left out. No hidden or
// system skip rules and no filters apply.
//
// The roots are opened by their text and held to the end; every other folder
// is opened from its parent's handle by name and must still be the folder the
// parent's listing saw, so no path length limit applies and a folder swapped
// for a link or another folder meanwhile counts as one that cannot be listed.
// Links and file contents are read through the held folders.

#include "platform/Desktop.h"
#include "util/ScopeExit.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrow {

// Entries of the result lists are Source-side paths: for a file the source
// folder spec and the name (for a deleted file, where it would be in the
// Source); for a folder the source folder spec (ending with "/") and "..", as
// "/src/Old/..", which marks the entry as a folder.

// Compares one folder pair and, with `includeSubfolders`, every pair below it,
// appending to the three lists. The comparison method and the two time
// allowances are read from gCompare for each pair. A Target subfolder without a
// Source counterpart goes to `deleted` with everything in it, a Source
// subfolder without a Target counterpart to `added` likewise; without
// `includeSubfolders` subfolders take no part at all. A name that is a folder on
// one side and a file on the other is both deleted and added. Contents and CRC32
// comparison errors are logged (kinds 12, 13) and count as changed; a folder
// that cannot be listed is logged (kind 20) and nothing in its pair is judged
// (no entry is claimed added or deleted on the strength of an unreadable side).
// Returns false when any such error happened, or on an unexpected error
// ("modCompare.CompareFoldersAndFillResultTypeArrays").
bool CompareFoldersAndFillResultTypeArrays(const std::string& sourceFolderSpec,
                                           const std::string& targetFolderSpec, bool includeSubfolders,
                                           std::vector<std::string>& added, std::vector<std::string>& deleted,
                                           std::vector<std::string>& changed);

// Appends sourceFolderSpec + ".." and then, for everything in the Target folder
// at any depth (whatever the include-subfolders choice), its Source-side path;
// subfolders as they are met, each followed by its own contents. False when a
// folder could not be listed (logged, kind 20) or on an unexpected error
// ("modCompare.AddFolderAndContentsToDeletedItemsArray").
bool AddFolderAndContentsToDeletedItemsArray(const std::string& sourceFolderSpec,
                                             const std::string& targetFolderSpec,
                                             std::vector<std::string>& list);

// The same over a Source folder alone ("modCompare.AddFolderAndContentsToAddedItemsArray").
bool AddFolderAndContentsToAddedItemsArray(const std::string& sourceFolderSpec,
                                           std::vector<std::string>& list);

// The markup of one entry: "<dd><img SRC=", then for a folder entry (ending in
// "/..") the quoted folder image and " HSPACE=5 height=16 width=16>", else the
// quoted file image and " HSPACE=8 height=12 width=10>", then the entry escaped
// for HTML (folder entries keep their ".."), then "</dd>". The image specs go
// in as given. Unexpected errors: "modCompare.HTMLReportGraphicCode", "".
std::string HTMLReportGraphicCode(const std::string& entry, const std::string& fileImageSpec,
                                  const std::string& folderImageSpec);

// `text` between two double-quote characters.
std::string EncloseInQuotes(const std::string& text);

// `text` safe as HTML text and inside a double-quoted attribute: "&", "<", ">"
// and '"' as character references, every other character outside ASCII as a
// numeric character reference (so the page reads the same whatever encoding the
// browser assumes). A byte that does not begin a valid UTF-8 sequence is taken
// as the Latin-1 character of that value.
std::string HtmlEscaped(const std::string& text);

// The spec of a report image: gstrProgramPath + `imageName`, with bytes that
// would not survive as a URL path (blanks, "%", "#", "?", quotes, non-ASCII)
// written as %XX.
std::string ReportImageSpec(const std::string& imageName);

// Compares the two folders and writes the report to `reportFileSpec` (created,
// or emptied when it exists), in one piece without line breaks: header with the
// date and both folders, the summary table, the added, deleted and changed
// sections (each only when not empty) and the footer. The text is collected in
// a string builder and written out whenever, at the end of a hundredth entry of
// a section, it holds more than 100000 bytes. `comparisonOk` (when given) is
// set as CompareFoldersAndFillResultTypeArrays returned. Returns false on a
// failure to write, reported as "modFolderCompare.CreateHTMLReportOfFolderDiffs";
// when `writeError` is given, a failure to write the report file is not reported
// but its errno is set there (for a caller that says so itself). Names are written
// in their one-line form (log/OneLine.h), then as HtmlEscaped.
bool WriteHTMLReportOfFolderDiffs(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                                  bool includeSubfolders, const std::string& reportFileSpec,
                                  bool* comparisonOk = nullptr, int* writeError = nullptr);

// The report command: writes the report to a new "rpt" file with extension
// "html" in the system temporary folder and shows it (ShowHTMLFileInBrowser).
// Both folders have been validated by the caller. Returns the report's spec,
// or "" when it could not be made (reported as
// "modFolderCompare.CreateHTMLReportOfFolderDiffs").
std::string CreateHTMLReportOfFolderDiffs(const std::string& sourceFolderSpec,
                                          const std::string& targetFolderSpec, bool includeSubfolders);

// Opens the file with the desktop's handler for HTML files. When there is none,
// or it cannot be started, the person gets an "HTML Report Problem" message
// naming the report file (and the handler) and false is returned; the file
// stays where it is. Unexpected errors: "modKestrow.ShowHTMLFileInBrowser", false.
bool ShowHTMLFileInBrowser(const std::string& fileSpec);

// How ShowHTMLFileInBrowser opens a file: platform::openWithDefaultHandler for
// "text/html" unless replaced (tests never start a browser).
using HtmlFileOpener = std::function<platform::OpenOutcome(const std::string& fileSpec)>;

// Installs `opener` for the lifetime of the guard and puts the previous one back.
class ScopedHtmlFileOpener
{
public:
    explicit ScopedHtmlFileOpener(HtmlFileOpener opener);

private:
    util::ScopedValue<HtmlFileOpener> m_installed;
};

} // namespace kestrow
