#pragma once
// frmLog: the log viewer ("Clone Log"). Shows the whole clone.log, colours error
// labels red and the begin and end lines of tasks blue, and offers find, clear,
// save and print. The main window shows it modally and never during a run.
//
// Also here: SaveLog, the save-as of the log that both the log viewer and the
// main window's "&Save Log As..." use.

#include <QColor>
#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QTextEdit;

namespace kestrow::gui {

// One coloured stretch of the log text: `length` characters from `start` (0-based,
// in the text's own units).
struct LogColorSpan
{
    qsizetype start = 0;
    qsizetype length = 0;
    QColor color;
    bool operator==(const LogColorSpan&) const = default;
};

// The colouring of a log text, in one pass: from a "*" through the first ":" after it
// red (255, 0, 0), from a "<" through the first ">" after it blue (0, 0, 255), the scan
// going on after the closing character. A "*" without a ":" after it, or a "<"
// without a ">", ends the scan; what came before stays coloured.
std::vector<LogColorSpan> ColorCodeSpans(const QString& text);

// "Current log size = " + `bytes` with thousands separators ("1,234,567") + " bytes".
QString LogSizeText(qint64 bytes);

// The file part of SaveLog: appends the in-memory log to clone.log (and empties the
// buffer once it is written), then copies clone.log to `fileSpec`. An existing file
// there is replaced whole only with `replace` (the user agreed); else it stays and
// false is returned, silently. False also when there is no log to copy.
bool SaveLogTo(const std::string& fileSpec, bool replace = false);

// "Save Log As...": a save dialog "Save Clone Log As..." in the data folder with the
// filter "Kestrow Log (*.log)"; on OK, SaveLogTo the chosen file with the wait cursor.
// Cancel ends silently. Refused with a beep while a run is active. Errors are reported
// as "frmKestrow.mnuLogSaveAs_Click".
void SaveLog(QWidget* parent);

class frmLog : public QDialog
{
    Q_OBJECT
public:
    // Loads the log (Form_Load) at once.
    explicit frmLog(QWidget* parent = nullptr);
    ~frmLog() override;

    // The handlers of the buttons, the File menu and the context menu.
    void cmdFind_Click();
    void cmdClear_Click();
    void cmdSaveAs_Click();
    void cmdPrint_Click();
    void mnuPopupCopy_Click();
    void mnuPopupSelectAll_Click();

    // Prints the selection, or the whole log when nothing is selected, on `printer`.
    void PrintLog(QPrinter& printer);

    QTextEdit* logView() const { return m_rtfLogEntries; }
    // Text of status panel 1 or 2.
    QString panelText(int panel) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void ColorCodeText(const QString& text);
    // Searches from `position` with the window's find options; selects a match.
    bool FindFrom(int position);

    QTextEdit* m_rtfLogEntries;
    QLineEdit* m_txtFind;
    QPushButton* m_cmdFind;
    QCheckBox* m_chkWholeWord;
    QCheckBox* m_chkMatchCase;
    QPushButton* m_cmdClear;
    QPushButton* m_cmdSaveAs;
    QPushButton* m_cmdPrint;
    QLabel* m_panel1;
    QLabel* m_panel2;
    QMenu* m_mnuPopup;
    QAction* m_mnuPopupCopy;
    QAction* m_mnuPopupSelectAll;
};

} // namespace kestrow::gui
