#include "ui/dialogs/log/frmLog.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "log/CloneLog.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/qt/QtText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>

namespace kestrow::gui {

namespace {

// The log as the text box shows it: lines end in "\n" whichever way the file ends them.
QString displayText(const std::string& raw)
{
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        text += raw[i];
    }
    return q(text);
}

// The selected text with real line breaks (a text cursor gives paragraph separators).
QString selectedText(const QTextEdit* edit)
{
    const QTextCursor cursor = edit->textCursor();
    return cursor.hasSelection() ? QTextDocumentFragment(cursor).toPlainText() : QString();
}

} // namespace

std::vector<LogColorSpan> ColorCodeSpans(const QString& text)
{
    static const QColor red(255, 0, 0);
    static const QColor blue(0, 0, 255);
    std::vector<LogColorSpan> spans;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c != u'*' && c != u'<') {
            ++i;
            continue;
        }
        const qsizetype j = text.indexOf(c == u'*' ? u':' : u'>', i + 1);
        if (j < 0)
            break;
        spans.push_back({i, j - i + 1, c == u'*' ? red : blue});
        i = j + 1;
    }
    return spans;
}

QString LogSizeText(qint64 bytes)
{
    QString digits = QString::number(bytes < 0 ? -bytes : bytes);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return QStringLiteral("Current log size = ") + (bytes < 0 ? QStringLiteral("-") : QString()) + digits +
           QStringLiteral(" bytes");
}

bool SaveLogTo(const std::string& fileSpec, bool replace)
{
    if (gCloneLog->AppendInMemoryStringToLogFile())
        gCloneLog->ResetInMemoryLog();
    return gCloneLog->SaveAs(fileSpec, replace);
}

void SaveLog(QWidget* parent)
{
    if (gblnCloneRunning) {
        ui().beep();
        return;
    }
    Guarded("frmKestrow.mnuLogSaveAs_Click", [&] {
        QFileDialog dialog(parent, QStringLiteral("Save Clone Log As..."), q(gstrAppPath),
                           QStringLiteral("Kestrow Log (*.log)"));
        dialog.setObjectName(QStringLiteral("dlgSaveLog"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("log"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        // The dialog asked before a file there is replaced; the answer was yes.
        WaitCursor wait;
        SaveLogTo(s(dialog.selectedFiles().constFirst()), true);
    });
}

frmLog::frmLog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Clone Log"));
    if (parent)
        setWindowIcon(parent->windowIcon());

    m_rtfLogEntries = new QTextEdit(this);
    m_rtfLogEntries->setObjectName(QStringLiteral("rtfLogEntries"));
    m_rtfLogEntries->setReadOnly(true);
    m_rtfLogEntries->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_rtfLogEntries->setUndoRedoEnabled(false);
    m_rtfLogEntries->setLineWrapMode(QTextEdit::NoWrap);
    m_rtfLogEntries->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The context menu comes on the right button's release (eventFilter).
    m_rtfLogEntries->setContextMenuPolicy(Qt::PreventContextMenu);
    m_rtfLogEntries->viewport()->installEventFilter(this);

    auto* fraFind = new QGroupBox(this);
    fraFind->setObjectName(QStringLiteral("fraFind"));
    m_txtFind = new QLineEdit(QStringLiteral("Error:"), fraFind);
    m_txtFind->setObjectName(QStringLiteral("txtFind"));
    m_cmdFind = new QPushButton(QStringLiteral("&Find"), fraFind);
    m_cmdFind->setObjectName(QStringLiteral("cmdFind"));
    m_cmdFind->setToolTip(QStringLiteral("Search Log for entered text"));
    m_chkWholeWord = new QCheckBox(QStringLiteral("Whole Word"), fraFind);
    m_chkWholeWord->setObjectName(QStringLiteral("chkWholeWord"));
    m_chkMatchCase = new QCheckBox(QStringLiteral("Match Case"), fraFind);
    m_chkMatchCase->setObjectName(QStringLiteral("chkMatchCase"));
    auto* findLayout = new QGridLayout(fraFind);
    findLayout->addWidget(m_txtFind, 0, 0);
    findLayout->addWidget(m_cmdFind, 0, 1);
    findLayout->addWidget(m_chkWholeWord, 1, 0);
    findLayout->addWidget(m_chkMatchCase, 2, 0);

    m_cmdClear = new QPushButton(QStringLiteral("C&lear Log"), this);
    m_cmdClear->setObjectName(QStringLiteral("cmdClear"));
    m_cmdClear->setToolTip(QStringLiteral("Clear the Log contents"));
    m_cmdSaveAs = new QPushButton(QStringLiteral("&Save Log"), this);
    m_cmdSaveAs->setObjectName(QStringLiteral("cmdSaveAs"));
    m_cmdSaveAs->setToolTip(QStringLiteral("Save Log Contents"));
    m_cmdPrint = new QPushButton(QStringLiteral("&Print Log"), this);
    m_cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    m_cmdPrint->setToolTip(QStringLiteral("Print Log Contents"));
    for (QPushButton* button : {m_cmdFind, m_cmdClear, m_cmdSaveAs, m_cmdPrint})
        button->setAutoDefault(false);
    // Enter in the find box finds.
    m_cmdFind->setDefault(true);

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("StatusBar1"));
    statusBar->setSizeGripEnabled(false);
    m_panel1 = new QLabel(statusBar);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel2 = new QLabel(statusBar);
    m_panel2->setObjectName(QStringLiteral("Panel2"));
    // 80 % and 20 % of the width.
    statusBar->addWidget(m_panel1, 4);
    statusBar->addWidget(m_panel2, 1);

    auto* menuBar = new QMenuBar(this);
    QMenu* mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    const auto addItem = [&](const char* name, const QString& caption, void (frmLog::*handler)(),
                             QKeySequence::StandardKey key) {
        QAction* action = mnuFile->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(key);
        connect(action, &QAction::triggered, this, handler);
    };
    addItem("mnuFileFind", QStringLiteral("Find Text"), &frmLog::cmdFind_Click, QKeySequence::FindNext);
    addItem("mnuFileClear", QStringLiteral("Clear Log"), &frmLog::cmdClear_Click, QKeySequence::UnknownKey);
    addItem("mnuFileSave", QStringLiteral("Save Log"), &frmLog::cmdSaveAs_Click, QKeySequence::Save);
    addItem("mnuFilePrint", QStringLiteral("Print Log"), &frmLog::cmdPrint_Click, QKeySequence::Print);
    // Ctrl+F: to the text to find, ready to be typed over.
    auto* toFind = new QAction(this);
    toFind->setObjectName(QStringLiteral("actFocusFind"));
    toFind->setShortcuts(QKeySequence::Find);
    connect(toFind, &QAction::triggered, this, [this] {
        m_txtFind->setFocus(Qt::ShortcutFocusReason);
        m_txtFind->selectAll();
    });
    QWidget::addAction(toFind);
    mnuFile->addSeparator();
    QAction* exitLog = mnuFile->addAction(QStringLiteral("Exit Log"));
    exitLog->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exitLog, &QAction::triggered, this, &QDialog::close);

    m_mnuPopup = new QMenu(this);
    m_mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    m_mnuPopupCopy = m_mnuPopup->addAction(QStringLiteral("Copy Selected Text to Clipboard"));
    m_mnuPopupCopy->setObjectName(QStringLiteral("mnuPopupCopy"));
    m_mnuPopupSelectAll = m_mnuPopup->addAction(QStringLiteral("Select All"));
    m_mnuPopupSelectAll->setObjectName(QStringLiteral("mnuPopupSelectAll"));
    m_mnuPopup->setDefaultAction(m_mnuPopupCopy);
    connect(m_mnuPopupCopy, &QAction::triggered, this, &frmLog::mnuPopupCopy_Click);
    connect(m_mnuPopupSelectAll, &QAction::triggered, this, &frmLog::mnuPopupSelectAll_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(fraFind);
    buttons->addStretch(1);
    auto* commands = new QVBoxLayout;
    commands->addWidget(m_cmdClear);
    commands->addWidget(m_cmdSaveAs);
    commands->addWidget(m_cmdPrint);
    buttons->addLayout(commands);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addWidget(m_rtfLogEntries, 1);
    layout->addLayout(buttons);
    layout->addWidget(statusBar);
    resize(820, 560);

    connect(m_cmdFind, &QPushButton::clicked, this, &frmLog::cmdFind_Click);
    connect(m_cmdClear, &QPushButton::clicked, this, &frmLog::cmdClear_Click);
    connect(m_cmdSaveAs, &QPushButton::clicked, this, &frmLog::cmdSaveAs_Click);
    connect(m_cmdPrint, &QPushButton::clicked, this, &frmLog::cmdPrint_Click);

    Form_Load();
}

frmLog::~frmLog() = default;

QString frmLog::panelText(int panel) const
{
    return (panel == 1 ? m_panel1 : m_panel2)->text();
}

void frmLog::Form_Load()
{
    WaitCursor wait;
    m_rtfLogEntries->setUpdatesEnabled(false);
    Guarded("frmLog.Form_Load", [&] {
        const std::string raw = gCloneLog->GetLogEntriesFromFile();
        // The size in bytes: what the size limit is measured in.
        const qint64 n = static_cast<qint64>(raw.size());
        m_panel1->setText(LogSizeText(n));
        m_panel2->setText(gCloneLog->LogOnlyErrors() ? QStringLiteral("Log Only Errors")
                                                     : QStringLiteral("Log All Activity"));
        const QString text = displayText(raw);
        m_rtfLogEntries->setPlainText(text);
        if (n > 0 && gCloneLog->RestrictLogSize()) {
            if (n < gCloneLog->MaxLogFileSize()) {
                ColorCodeText(text);
            } else {
                ui().messageBox(
                    "Log Performance Enhancement",
                    "The Log is larger than the specified Reset Size.  Therefore,\ncolor coding has "
                    "been disabled to speed up the display.",
                    MsgIcon::Information, MsgButtons::Ok);
            }
        }
    });
    m_rtfLogEntries->moveCursor(QTextCursor::End);
    m_rtfLogEntries->setUpdatesEnabled(true);
}

void frmLog::ColorCodeText(const QString& text)
{
    Guarded("frmLog.ColorCodeText", [&] {
        // One edit block: the document lays itself out once, not once per span.
        QTextCursor cursor(m_rtfLogEntries->document());
        cursor.beginEditBlock();
        try {
            QTextCharFormat format;
            for (const LogColorSpan& span : ColorCodeSpans(text)) {
                cursor.setPosition(static_cast<int>(span.start));
                cursor.setPosition(static_cast<int>(span.start + span.length), QTextCursor::KeepAnchor);
                format.setForeground(span.color);
                cursor.mergeCharFormat(format);
            }
        } catch (...) {
            cursor.endEditBlock();
            throw;
        }
        cursor.endEditBlock();
    });
}

bool frmLog::FindFrom(int position)
{
    QTextDocument::FindFlags flags;
    if (m_chkWholeWord->isChecked())
        flags |= QTextDocument::FindWholeWords;
    if (m_chkMatchCase->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    QTextDocument* document = m_rtfLogEntries->document();
    if (position >= document->characterCount())
        return false;
    const QTextCursor found = document->find(m_txtFind->text(), position, flags);
    if (found.isNull())
        return false;
    m_rtfLogEntries->setTextCursor(found);
    m_rtfLogEntries->ensureCursorVisible();
    return true;
}

void frmLog::cmdFind_Click()
{
    Guarded("frmLog.cmdFind_Click", [&] {
        if (m_txtFind->text().isEmpty()) {
            ui().messageBox("Find", "Please enter some text to Find", MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        // From just after the start of the current selection (or the caret), so a
        // second Find moves on to the next match.
        if (FindFrom(m_rtfLogEntries->textCursor().selectionStart() + 1))
            return;
        if (ui().messageBox("Find", "No match found.  Search from the beginning of the log?",
                            MsgIcon::Question, MsgButtons::YesNo) != MsgResult::Yes)
            return;
        if (!FindFrom(0))
            ui().messageBox("Find", "No match found.", MsgIcon::Information, MsgButtons::Ok);
    });
}

void frmLog::cmdClear_Click()
{
    if (gblnCloneRunning) {
        ui().beep();
        return;
    }
    Guarded("frmLog.cmdClear_Click", [&] {
        gCloneLog->DeleteLogFile();
        m_rtfLogEntries->setUpdatesEnabled(false);
        m_rtfLogEntries->clear();
        m_rtfLogEntries->setUpdatesEnabled(true);
        m_panel1->setText(LogSizeText(0));
    });
}

void frmLog::cmdSaveAs_Click()
{
    SaveLog(this);
}

void frmLog::cmdPrint_Click()
{
    Guarded("frmLog.cmdPrint_Click", [&] {
        QPrinter printer;
        QPrintDialog dialog(&printer, this);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        // Printing to a file stays offered: on a desktop without a print server it is
        // the only printer there is.
        if (dialog.exec() != QDialog::Accepted)
            return;
        PrintLog(printer);
    });
}

void frmLog::PrintLog(QPrinter& printer)
{
    const QTextCursor cursor = m_rtfLogEntries->textCursor();
    if (!cursor.hasSelection()) {
        m_rtfLogEntries->document()->print(&printer);
        return;
    }
    QTextDocument selection;
    selection.setDefaultFont(m_rtfLogEntries->document()->defaultFont());
    QTextCursor(&selection).insertFragment(QTextDocumentFragment(cursor));
    selection.print(&printer);
}

void frmLog::mnuPopupCopy_Click()
{
    Guarded("frmLog.mnuPopupCopy_Click", [&] {
        const QString text = selectedText(m_rtfLogEntries);
        if (text.isEmpty()) {
            ui().messageBox("No Selected Text", "Please select some text to copy to the clipboard.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
        if (clipboard->text() == text)
            ui().messageBox("Kestrow", "Copy was Successful", MsgIcon::Information, MsgButtons::Ok);
        else
            ui().messageBox("Kestrow", "Copy was NOT Successful", MsgIcon::Exclamation, MsgButtons::Ok);
    });
}

void frmLog::mnuPopupSelectAll_Click()
{
    m_rtfLogEntries->selectAll();
}

bool frmLog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_rtfLogEntries->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            QCoreApplication::processEvents();
            m_mnuPopup->popup(mouse->globalPosition().toPoint(), m_mnuPopupCopy);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kestrow::gui
