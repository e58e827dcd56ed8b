// The log viewer offscreen, on clone.log files written by the real log.

#include "base/AppState.h"
#include "tests/support/ProgramWindowTest.h"
#include "ui/dialogs/log/frmLog.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <memory>

using namespace kestrow;
using namespace kestrow::test;
using kestrow::gui::ColorCodeSpans;
using kestrow::gui::frmLog;
using kestrow::gui::LogColorSpan;
using kestrow::gui::LogSizeText;

namespace kestrow::gui {
void PrintTo(const LogColorSpan& span, std::ostream* out)
{
    *out << "{" << span.start << ", " << span.length << ", " << span.color.name().toStdString() << "}";
}
} // namespace kestrow::gui

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// ---------------------------------------------------------------------------
// The colouring rule on known texts

struct SpanRow
{
    const char* name;
    const char* text;
    std::vector<LogColorSpan> spans;
};

class ColorSpanTest : public ::testing::TestWithParam<SpanRow>
{
};

TEST_P(ColorSpanTest, ColoursTheExpectedStretches)
{
    EXPECT_EQ(ColorCodeSpans(QString::fromUtf8(GetParam().text)), GetParam().spans);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ColorSpanTest,
    ::testing::Values(
        SpanRow{"BeginLineBlueWithBothBrackets", "3/2/2026 10:00:00 AM<Begin: Backup>\n", {{20, 15, kBlue}}},
        SpanRow{"CopyErrorRedFromAsteriskThroughColon",
                "3/2/2026 10:00:00 AM *Copy Error: 2 No such file a from /s/ to /t/\n",
                {{21, 12, kRed}}},
        SpanRow{"BothKindsInOrder", "<End: T>\n *Delete Error: 7 x\n", {{0, 8, kBlue}, {10, 14, kRed}}},
        SpanRow{"AsteriskWithoutColonStopsEverything", "x *no colon here\n<Begin T>\n", {}},
        SpanRow{"AColonOnALaterLineStillEndsTheLabel", "x *a\n<Begin: T>", {{2, 10, kRed}}},
        SpanRow{"WhatCameBeforeAStopStaysColoured", "<a> then * and no colon <b>", {{0, 3, kBlue}}},
        SpanRow{"UnclosedBracketStopsEvenBeforeAnError", "<unclosed *Err: x", {}},
        SpanRow{"ScanGoesOnAfterTheClosingCharacter", "*a:*b:", {{0, 3, kRed}, {3, 3, kRed}}},
        SpanRow{"ABracketInsideARedStretchIsPartOfIt", "*a<b>:c<d>", {{0, 6, kRed}, {7, 3, kBlue}}},
        SpanRow{"PositionsCountDisplayedCharacters", "\xc3\xa9t\xc3\xa9 *x:", {{4, 3, kRed}}},
        SpanRow{"Empty", "", {}}),
    [](const ::testing::TestParamInfo<SpanRow>& info) { return std::string(info.param.name); });

TEST(LogSizeTextTest, ThousandsSeparatedWithAtLeastOneDigit)
{
    EXPECT_EQ(LogSizeText(0), QStringLiteral("Current log size = 0 bytes"));
    EXPECT_EQ(LogSizeText(999), QStringLiteral("Current log size = 999 bytes"));
    EXPECT_EQ(LogSizeText(1000), QStringLiteral("Current log size = 1,000 bytes"));
    EXPECT_EQ(LogSizeText(1234567), QStringLiteral("Current log size = 1,234,567 bytes"));
    EXPECT_EQ(LogSizeText(1024000), QStringLiteral("Current log size = 1,024,000 bytes"));
}

// ---------------------------------------------------------------------------
// The window

class LogViewerTest : public ProgramWindowTest
{
protected:
    ~LogViewerTest() override { window.reset(); }

    void open()
    {
        window = std::make_unique<frmLog>();
        window->show();
    }

    // A run's worth of entries, written to clone.log the way a run writes them.
    void writeRunToLog()
    {
        log.Add(LogEntryType::Begin, "Backup");
        log.Add(LogEntryType::Copied, {}, "f.txt", "/s/", "/t/");
        log.Add(LogEntryType::CopyError, {}, "g.txt", "/s/", "/t/", 2, "No such file or directory");
        log.Add(LogEntryType::DeleteError, {}, "h.txt", {}, "/t/", 13, "Permission denied");
        log.Add(LogEntryType::End, "Backup");
        log.AppendInMemoryStringToLogFile();
        log.ResetInMemoryLog();
    }

    QTextDocument* document() const { return window->logView()->document(); }
    QString shownText() const { return document()->toPlainText(); }

    // The colour of the character at `position`, or an invalid colour when it has none of its own.
    QColor colourAt(int position) const
    {
        QTextCursor cursor(document());
        cursor.setPosition(position + 1);
        const QTextCharFormat format = cursor.charFormat();
        return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : QColor();
    }

    template <typename T> T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QString selection() const { return window->logView()->textCursor().selectedText(); }
    int selectionStart() const { return window->logView()->textCursor().selectionStart(); }

    std::unique_ptr<frmLog> window;
};

TEST_F(LogViewerTest, ShowsTheLogWithErrorsRedAndTaskLinesBlue)
{
    writeRunToLog();
    open();

    const std::string file = content(log.LogFileSpec());
    EXPECT_EQ(s(shownText()), file);
    EXPECT_EQ(s(window->windowTitle()), "Clone Log");
    EXPECT_EQ(window->panelText(1), LogSizeText(static_cast<qint64>(file.size())));
    EXPECT_EQ(window->panelText(2), QStringLiteral("Log All Activity"));
    EXPECT_TRUE(scripted.prompts().empty());

    const QString text = shownText();
    const int begin = static_cast<int>(text.indexOf(u'<'));
    const int beginEnd = static_cast<int>(text.indexOf(u'>', begin));
    EXPECT_EQ(colourAt(begin), kBlue);
    EXPECT_EQ(colourAt(beginEnd), kBlue);
    EXPECT_FALSE(colourAt(beginEnd + 1).isValid()) << "nothing after the bracket";
    EXPECT_FALSE(colourAt(begin - 1).isValid()) << "nor the date before it";

    const int copyError = static_cast<int>(text.indexOf(QStringLiteral("*Copy Error:")));
    const int colon = copyError + 11;
    EXPECT_EQ(colourAt(copyError), kRed);
    EXPECT_EQ(colourAt(colon), kRed);
    EXPECT_FALSE(colourAt(colon + 2).isValid());
    EXPECT_EQ(colourAt(static_cast<int>(text.indexOf(QStringLiteral("*Delete Error:")))), kRed);
    EXPECT_EQ(colourAt(static_cast<int>(text.lastIndexOf(QStringLiteral("<End:")))), kBlue);
    EXPECT_FALSE(colourAt(static_cast<int>(text.indexOf(QStringLiteral("Copied")))).isValid());

    // The caret waits after the last character, nothing selected.
    EXPECT_EQ(window->logView()->textCursor().position(), document()->characterCount() - 1);
    EXPECT_FALSE(window->logView()->textCursor().hasSelection());
}

TEST_F(LogViewerTest, ALogWithWindowsLineEndsIsShownAndColouredAlike)
{
    tmp.writeFile("data/clone.log", "1/1/2026 1:00:00 AM<Begin: T>\r\n *Copy Error: 2 x\r\n");
    open();
    EXPECT_EQ(shownText(), QStringLiteral("1/1/2026 1:00:00 AM<Begin: T>\n *Copy Error: 2 x\n"));
    EXPECT_EQ(window->panelText(1), LogSizeText(50));
    const int close = static_cast<int>(shownText().indexOf(u'>'));
    EXPECT_EQ(colourAt(close), kBlue);
    EXPECT_FALSE(colourAt(close + 2).isValid());
    EXPECT_EQ(colourAt(static_cast<int>(shownText().indexOf(u':', shownText().indexOf(u'*')))), kRed);
}

TEST_F(LogViewerTest, TheSecondPanelNamesTheLoggingMode)
{
    log.setLogOnlyErrors(true);
    open();
    EXPECT_EQ(window->panelText(2), QStringLiteral("Log Only Errors"));
}

struct SizeRow
{
    const char* name;
    qint64 size;
    bool restrict;
    int32_t limit;
    bool coloured;
    bool warned;
};

class LogSizeLimitTest : public LogViewerTest, public ::testing::WithParamInterface<SizeRow>
{
};

TEST_P(LogSizeLimitTest, ColoursOnlyALogBelowItsLimit)
{
    const SizeRow& row = GetParam();
    const std::string line = " *Copy Error: 2 x\n";
    std::string text;
    while (static_cast<qint64>(text.size()) < row.size)
        text += line;
    text.resize(static_cast<size_t>(row.size));
    if (!text.empty())
        tmp.writeFile("data/clone.log", text);
    log.setRestrictLogSize(row.restrict);
    log.setMaxLogFileSize(row.limit);

    open();

    EXPECT_EQ(window->panelText(1), LogSizeText(row.size));
    if (row.warned) {
        ASSERT_EQ(scripted.messages().size(), 1u);
        EXPECT_EQ(messageTexts()[0],
                  "Log Performance Enhancement|The Log is larger than the specified Reset "
                  "Size.  Therefore,\ncolor coding has been disabled to speed up the display.");
        EXPECT_EQ(scripted.messages()[0].icon, MsgIcon::Information);
    } else {
        EXPECT_TRUE(scripted.prompts().empty());
    }
    if (row.size > 0) {
        EXPECT_EQ(colourAt(1), row.coloured ? kRed : QColor());
        // The last complete error label of the text is coloured as well as the first.
        const int last = static_cast<int>(shownText().lastIndexOf(QStringLiteral("*Copy Error:")));
        EXPECT_EQ(colourAt(last + 11), row.coloured ? kRed : QColor());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LogSizeLimitTest,
    ::testing::Values(SizeRow{"Empty", 0, true, 512000, false, false},
                      SizeRow{"BelowTheLimit", 4000, true, 102400, true, false},
                      SizeRow{"OneByteBelowTheLimit", 102399, true, 102400, true, false},
                      SizeRow{"AtTheLimit", 102400, true, 102400, false, true},
                      SizeRow{"WellOverTheLimit", 1234567, true, 1024000, false, true},
                      SizeRow{"JustBelowTheLargestLimit", 1023999, true, 1024000, true, false},
                      SizeRow{"NoLimitIsNeverColoured", 4000, false, 102400, false, false}),
    [](const ::testing::TestParamInfo<SizeRow>& info) { return std::string(info.param.name); });

TEST_F(LogViewerTest, FindMovesFromMatchToMatchAndOffersToWrapAround)
{
    writeRunToLog();
    open();
    const QString text = shownText();
    const int first = static_cast<int>(text.indexOf(QStringLiteral("Error:")));
    const int second = static_cast<int>(text.indexOf(QStringLiteral("Error:"), first + 1));

    // The caret starts at the end, so the first search wraps with the person's consent.
    scripted.queueAnswer(MsgResult::Yes);
    window->cmdFind_Click();
    EXPECT_EQ(messageTexts(),
              std::vector<std::string>{"Find|No match found.  Search from the beginning of the log?"});
    EXPECT_EQ(scripted.messages()[0].icon, MsgIcon::Question);
    EXPECT_EQ(scripted.messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(selectionStart(), first);
    EXPECT_EQ(selection(), QStringLiteral("Error:"));

    scripted.clear();
    window->cmdFind_Click();
    EXPECT_TRUE(scripted.prompts().empty());
    EXPECT_EQ(selectionStart(), second);

    // Past the last match: No leaves the selection where it was.
    scripted.queueAnswer(MsgResult::No);
    window->cmdFind_Click();
    EXPECT_EQ(scripted.messages().size(), 1u);
    EXPECT_EQ(selectionStart(), second);
}

struct FindRow
{
    const char* name;
    const char* find;
    bool wholeWord;
    bool matchCase;
    bool found;
};

class LogFindTest : public LogViewerTest, public ::testing::WithParamInterface<FindRow>
{
};

TEST_P(LogFindTest, FindOptions)
{
    const FindRow& row = GetParam();
    writeRunToLog();
    open();
    child<QLineEdit>("txtFind")->setText(QString::fromUtf8(row.find));
    child<QCheckBox>("chkWholeWord")->setChecked(row.wholeWord);
    child<QCheckBox>("chkMatchCase")->setChecked(row.matchCase);
    window->logView()->moveCursor(QTextCursor::Start);

    if (!row.found)
        scripted.queueAnswer(MsgResult::Yes);
    window->cmdFind_Click();

    if (row.found) {
        EXPECT_TRUE(scripted.prompts().empty());
        EXPECT_EQ(selection().compare(QString::fromUtf8(row.find), Qt::CaseInsensitive), 0);
    } else {
        EXPECT_EQ(messageTexts(),
                  (std::vector<std::string>{"Find|No match found.  Search from the beginning of "
                                            "the log?",
                                            "Find|No match found."}));
        EXPECT_EQ(scripted.messages()[1].icon, MsgIcon::Information);
        EXPECT_FALSE(window->logView()->textCursor().hasSelection());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LogFindTest,
                         ::testing::Values(FindRow{"AnyCaseFindsLowerCase", "error:", false, false, true},
                                           FindRow{"MatchCaseRefusesLowerCase", "error:", false, true, false},
                                           FindRow{"MatchCaseFindsExactCase", "Error:", false, true, true},
                                           FindRow{"PartOfAWordWithoutWholeWord", "Err", false, false, true},
                                           FindRow{"WholeWordRefusesPartOfAWord", "Err", true, false, false},
                                           FindRow{"WholeWordFindsAWord", "Backup", true, false, true}),
                         [](const ::testing::TestParamInfo<FindRow>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(LogViewerTest, FindWithNothingToFindAsksForText)
{
    open();
    child<QLineEdit>("txtFind")->clear();
    window->cmdFind_Click();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Find|Please enter some text to Find"});
    EXPECT_EQ(scripted.messages()[0].icon, MsgIcon::Exclamation);
}

TEST_F(LogViewerTest, ClearDeletesTheLogWithoutAsking)
{
    writeRunToLog();
    open();
    window->cmdClear_Click();
    EXPECT_TRUE(scripted.prompts().empty());
    EXPECT_FALSE(exists(log.LogFileSpec()));
    EXPECT_TRUE(shownText().isEmpty());
    EXPECT_EQ(window->panelText(1), QStringLiteral("Current log size = 0 bytes"));
}

TEST_F(LogViewerTest, DuringARunClearAndSaveOnlyBeep)
{
    writeRunToLog();
    open();
    const std::string before = content(log.LogFileSpec());
    gblnCloneRunning = true;
    window->cmdClear_Click();
    window->cmdSaveAs_Click(); // a file dialog here would never be answered
    gblnCloneRunning = false;
    EXPECT_EQ(scripted.beeps(), 2);
    EXPECT_EQ(scripted.messages().size(), 0u);
    EXPECT_EQ(content(log.LogFileSpec()), before);
    EXPECT_EQ(s(shownText()), before);
}

TEST_F(LogViewerTest, SaveLogToCopiesTheFileWithWhatIsStillInMemory)
{
    writeRunToLog();
    log.Add(LogEntryType::Begin, "Pending");
    const std::string saved = tmp / "saved.log";
    EXPECT_TRUE(gui::SaveLogTo(saved));
    const std::string text = content(saved);
    EXPECT_EQ(text, content(log.LogFileSpec()));
    EXPECT_NE(text.find("<Begin: Pending>"), std::string::npos);
    EXPECT_EQ(log.CurrInMemoryLogSize(), 0) << "written once, not again at the next save";
}

TEST_F(LogViewerTest, SaveLogToReplacesAFileOnlyWhenAskedTo)
{
    writeRunToLog();
    const std::string saved = tmp.writeFile("existing.log", "somebody else's file");
    EXPECT_FALSE(gui::SaveLogTo(saved));
    EXPECT_EQ(content(saved), "somebody else's file");
    EXPECT_TRUE(scripted.prompts().empty());

    // The save dialog asked, and the answer was yes: the file is the log now, and a
    // link in its place is replaced itself, never written through.
    EXPECT_TRUE(gui::SaveLogTo(saved, true));
    EXPECT_EQ(content(saved), content(log.LogFileSpec()));
    const std::string elsewhere = tmp.writeFile("elsewhere.txt", "not to be touched");
    const std::string link = tmp / "link.log";
    std::filesystem::create_symlink(elsewhere, link);
    EXPECT_TRUE(gui::SaveLogTo(link, true));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(content(elsewhere), "not to be touched");
    EXPECT_EQ(content(link), content(log.LogFileSpec()));
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(LogViewerTest, CtrlFGoesToTheTextToFindReadyToBeTypedOver)
{
    writeRunToLog();
    open();
    QApplication::setActiveWindow(window.get());
    auto* text = window->findChild<QTextEdit*>(QStringLiteral("rtfLogEntries"));
    auto* find = window->findChild<QLineEdit*>(QStringLiteral("txtFind"));
    ASSERT_NE(text, nullptr);
    ASSERT_NE(find, nullptr);
    text->setFocus();
    QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(find->hasFocus());
    EXPECT_EQ(find->selectedText(), find->text());
}

TEST_F(LogViewerTest, SaveButtonAsksForAFileInTheDataFolder)
{
    writeRunToLog();
    open();
    const std::string saved = tmp / "data/copy.log";
    QString title;
    QString folder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        folder = dialog->directory().absolutePath();
        dialog->selectFile(q(saved));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own override is not public
    });
    window->cmdSaveAs_Click();
    EXPECT_EQ(title, QStringLiteral("Save Clone Log As..."));
    EXPECT_EQ(s(folder) + "/", tmp.dataFolder());
    EXPECT_EQ(content(saved), content(log.LogFileSpec()));
}

TEST_F(LogViewerTest, CopyPutsTheSelectionOnTheClipboard)
{
    writeRunToLog();
    open();
    window->mnuPopupCopy_Click();
    EXPECT_EQ(messageTexts(),
              std::vector<std::string>{"No Selected Text|Please select some text to copy to the clipboard."});
    EXPECT_EQ(scripted.messages()[0].icon, MsgIcon::Exclamation);

    scripted.clear();
    // Two whole lines: the clipboard gets real line breaks.
    QTextCursor cursor(document());
    cursor.setPosition(document()->findBlockByNumber(1).position());
    cursor.setPosition(document()->findBlockByNumber(3).position(), QTextCursor::KeepAnchor);
    window->logView()->setTextCursor(cursor);
    window->mnuPopupCopy_Click();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Kestrow|Copy was Successful"});
    EXPECT_EQ(scripted.messages()[0].icon, MsgIcon::Information);
    const QString expected =
        document()->findBlockByNumber(1).text() + u'\n' + document()->findBlockByNumber(2).text() + u'\n';
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
}

TEST_F(LogViewerTest, SelectAllSelectsTheWholeLog)
{
    writeRunToLog();
    open();
    window->mnuPopupSelectAll_Click();
    const QTextCursor cursor = window->logView()->textCursor();
    EXPECT_EQ(cursor.selectionStart(), 0);
    EXPECT_EQ(cursor.selectionEnd(), document()->characterCount() - 1);
}

TEST_F(LogViewerTest, RightButtonReleaseOpensTheContextMenuWithCopyFirst)
{
    writeRunToLog();
    open();
    QWidget* viewport = window->logView()->viewport();
    QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(10, 10));
    auto* menu = child<QMenu>("mnuPopup");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    ASSERT_NE(menu->defaultAction(), nullptr);
    EXPECT_EQ(menu->defaultAction()->text(), QStringLiteral("Copy Selected Text to Clipboard"));
    menu->hide();
}

TEST_F(LogViewerTest, PrintsTheLogOrTheSelection)
{
    writeRunToLog();
    open();
    const auto print = [&](const std::string& file) {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(q(file));
        window->PrintLog(printer);
        return content(file);
    };
    EXPECT_TRUE(print(tmp / "all.pdf").starts_with("%PDF"));
    window->mnuPopupSelectAll_Click();
    EXPECT_TRUE(print(tmp / "selection.pdf").starts_with("%PDF"));
}

TEST_F(LogViewerTest, ExitLogClosesTheWindow)
{
    open();
    auto* exitLog = child<QAction>("mnuFileExit");
    ASSERT_NE(exitLog, nullptr);
    exitLog->trigger();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(LogViewerTest, TheFileMenuCallsTheButtons)
{
    writeRunToLog();
    open();
    child<QAction>("mnuFileClear")->trigger();
    EXPECT_FALSE(exists(log.LogFileSpec()));
    child<QLineEdit>("txtFind")->clear();
    child<QAction>("mnuFileFind")->trigger();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Find|Please enter some text to Find"});
}

} // namespace
