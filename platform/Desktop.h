#pragma once
// Opening a file with the desktop's default handler for its type, as a file
// manager would. The handler is looked up in the freedesktop.org associations
// (mimeapps.list in the config and data folders, the applications' desktop
// entries, mimeinfo.cache), then in $BROWSER and Debian's x-www-browser. It is
// started through gio (or xdg-open) when it came from a desktop entry, else
// directly; always with posix_spawn, never through a shell.

#include <string>
#include <vector>

namespace kestrow::platform {

// Where a handler was found.
enum class HandlerSource
{
    None,
    DesktopEntry,
    BrowserVariable,
    Alternative
};

struct DefaultHandler
{
    HandlerSource source = HandlerSource::None;
    // Absolute path of the handler's executable; "" when there is none.
    std::string program;
    // The command to run, before the file is put in: a desktop entry's Exec
    // (field codes kept) or a $BROWSER entry (with its "%s"), split into words.
    std::vector<std::string> command;
    // The desktop entry's file (DesktopEntry only).
    std::string desktopEntry;
};

// The handler of `mimeType` (for example "text/html"). Desktop entries are
// taken from [Default Applications], then [Added Associations] of every
// mimeapps.list (the desktop-specific "<desktop>-mimeapps.list" first in each
// folder), then mimeinfo.cache, skipping entries listed under [Removed
// Associations], entries marked Hidden, and entries whose program (or TryExec)
// cannot be found. Failing those, for "text/html" only: the first runnable
// program of $BROWSER (entries separated by ":"), then x-www-browser on the
// PATH. Source None and an empty program when there is no handler.
DefaultHandler findDefaultHandler(const std::string& mimeType);

// The command that opens `path` with `handler`: the desktop entry's Exec with
// its field codes filled in (%f %F the path, %u %U its file:// URL, %% a "%",
// %i %c %k and unknown codes dropped; the path appended when there was no file
// code), or the $BROWSER entry with "%s" replaced (the path appended when it
// has none), or the program followed by the path.
std::vector<std::string> handlerCommandFor(const DefaultHandler& handler, const std::string& path);

// "file://" and `path` with every byte outside A-Z a-z 0-9 - . _ ~ / written as %XX.
std::string fileUrl(const std::string& path);

enum class OpenStatus
{
    Started,
    NoHandler,
    FailedToStart
};

struct OpenOutcome
{
    OpenStatus status = OpenStatus::NoHandler;
    // The handler's program (empty for NoHandler).
    std::string handler;
    // FailedToStart: the errno of the failed start.
    int error = 0;
};

// Opens `path` (absolute) with the handler of `mimeType` and returns at once;
// the started program runs on in its own session, with its standard streams on
// /dev/null, and is reaped in the background. A handler from a desktop entry is
// started through "gio open" (waited for: it returns as soon as the handler is
// launched), or where there is no gio through "xdg-open"; when that launcher
// fails, or for any other handler, the handler's command is run directly.
// NoHandler when findDefaultHandler finds none; FailedToStart, with the errno,
// when the handler's command cannot be started.
OpenOutcome openWithDefaultHandler(const std::string& path, const std::string& mimeType);

} // namespace kestrow::platform
