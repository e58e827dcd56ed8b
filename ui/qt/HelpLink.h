#pragma once
// The HTML help. It lives in the program folder's "help/" folder: kestrow.html
// carries one anchor per help context number ("context-N"), quickstart.html is the
// quick start shown on the first start.

#include <QUrl>

class QWidget;

namespace kestrow::gui {

// The help contexts the windows ask for.
namespace helpcontext {
constexpr int Contents = 1;
constexpr int SelectFiles = 3;
constexpr int Troubleshooting = 32;
constexpr int TaskProperties = 37;
constexpr int IconLegend = 52;
constexpr int PriorityRules = 59;
constexpr int Restore = 64;
} // namespace helpcontext

// gstrProgramPath + "help/kestrow.html" with the fragment "context-" + `context`.
QUrl HelpUrl(int context);

// gstrProgramPath + "help/quickstart.html".
QUrl QuickStartUrl();

// Opens `url` in the desktop's browser. A help file that is not there shows "Kestrow
// Help" (exclamation icon) naming it instead. Unexpected errors are reported under
// `location`.
void ShowHelp(const QUrl& url, const char* location);

} // namespace kestrow::gui
