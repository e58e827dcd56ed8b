// The file mask dialog and the registered file types from the MIME database.

#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/tasks/frmFileMask.h"
#include "ui/dialogs/tasks/modFileTypes.h"

#include <QLineEdit>
#include <QRadioButton>

namespace kestrow::test {
namespace {

using gui::frmFileMask;

QListWidget* typesOf(QWidget* dialog)
{
    return dialog->findChild<QListWidget*>(QStringLiteral("lstFileTypes"));
}

QListWidgetItem* lineFor(QListWidget* list, const QString& extension)
{
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().section(QLatin1Char('\t'), 0, 0) == extension)
            return list->item(row);
    return nullptr;
}

void chooseCustom(QWidget* dialog, const std::string& text)
{
    dialog->findChild<QRadioButton*>(QStringLiteral("optMaskType1"))->click();
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("txtCustomFileMask"));
    ASSERT_TRUE(edit->isEnabled());
    edit->setText(q(text));
}

using FileMaskTest = ModalDialogTest;

TEST_F(FileMaskTest, FileTypesComeFromTheMimeDatabaseWithDescriptions)
{
    EXPECT_FALSE(gui::GetFileType("*.txt").empty());
    EXPECT_EQ(gui::GetFileType("*.txt"), gui::GetFileType("notes.txt"));
    EXPECT_EQ(gui::GetFileType("*.no-such-type-here"), "");

    frmFileMask dialog;
    QListWidget* list = typesOf(&dialog);
    ASSERT_GT(list->count(), 50);
    for (int row = 0; row < list->count(); ++row) {
        const QString line = list->item(row)->text();
        ASSERT_TRUE(line.startsWith(QLatin1Char('.'))) << s(line);
        ASSERT_FALSE(line.section(QLatin1Char('\t'), 1).isEmpty()) << "no description: " << s(line);
    }
    QListWidgetItem* txt = lineFor(list, QStringLiteral(".txt"));
    ASSERT_NE(txt, nullptr);
    EXPECT_EQ(s(txt->text().section(QLatin1Char('\t'), 1)), gui::GetFileType("*.txt"));
}

struct CustomMaskRow
{
    const char* name;
    std::string typed;
    std::string title; // empty: accepted
    std::string text;  // the message, or the accepted mask
};

class CustomMaskTest : public ModalDialogTest, public ::testing::WithParamInterface<CustomMaskRow>
{
};

TEST_P(CustomMaskTest, IsCheckedInOrder)
{
    const CustomMaskRow& row = GetParam();
    frmFileMask dialog;
    dialog.show();
    chooseCustom(&dialog, row.typed);
    click(&dialog, "OKButton");
    if (row.title.empty()) {
        EXPECT_TRUE(messages().empty()) << lastMessage();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.FileMask(), row.text);
    } else {
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(lastMessage(), row.title + "|" + row.text);
        EXPECT_EQ(messages().front().icon, MsgIcon::Exclamation);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.FileMask(), "");
    }
}

const std::string kNotValid = "The custom file mask you entered is not valid.\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, CustomMaskTest,
    ::testing::Values(
        CustomMaskRow{"BlankIsRefused", "   ", "Invalid File Mask", "No custom file mask entered"},
        CustomMaskRow{
            "NoDotIsRefused", "report", "Invalid Custom File Mask",
            kNotValid + "The file mask should contain a 'dot' character.\n\nSee the Help File for details."},
        CustomMaskRow{
            "OnlyDotLastIsRefused", "report.", "Invalid Custom File Mask",
            kNotValid +
                "The file mask should contain text after the 'dot'.\n\nSee the Help File for details."},
        CustomMaskRow{"DotFirstIsRefused", ".log", "Invalid Custom File Mask",
                      kNotValid + "The file mask should contain text before the 'dot'.\n\n"
                                  "Consider adding an asterisk before the dot character.\n\n"
                                  "See the Help File for details."},
        CustomMaskRow{"StarDotStarIsRefused", "*.*", "Invalid Custom File Mask",
                      "The custom file mask you entered is not allowed.\n"
                      "You cannot include or exclude all folders and files in this manner."},
        CustomMaskRow{"WildcardsAreAcceptedAsTyped", " report?.txt ", "", "report?.txt"},
        CustomMaskRow{"LaterDotsDoNotCount", "a.b.", "", "a.b."},
        CustomMaskRow{"SemicolonsPassThrough", "*.log;*.tmp", "", "*.log;*.tmp"}),
    [](const ::testing::TestParamInfo<CustomMaskRow>& info) { return std::string(info.param.name); });

TEST_F(FileMaskTest, TwoRegisteredTypesGiveTwoMasksInListOrder)
{
    frmFileMask dialog;
    dialog.show();
    QListWidget* list = typesOf(&dialog);
    QListWidgetItem* txt = lineFor(list, QStringLiteral(".txt"));
    QListWidgetItem* html = lineFor(list, QStringLiteral(".html"));
    ASSERT_TRUE(txt && html);
    txt->setSelected(true);
    html->setSelected(true);
    click(&dialog, "OKButton");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.FileMask(), "*.html;*.txt");
}

TEST_F(FileMaskTest, OkWithoutAnySelectedTypeIsRefused)
{
    frmFileMask dialog;
    dialog.show();
    click(&dialog, "OKButton");
    EXPECT_EQ(lastMessage(), "Invalid File Mask|No file type selected");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.FileMask(), "");
}

TEST_F(FileMaskTest, SwitchingToRegisteredTypesEmptiesTheCustomText)
{
    frmFileMask dialog;
    dialog.show();
    chooseCustom(&dialog, "*.abc");
    EXPECT_FALSE(typesOf(&dialog)->isEnabled());
    dialog.findChild<QRadioButton*>(QStringLiteral("optMaskType0"))->click();
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("txtCustomFileMask"));
    EXPECT_EQ(edit->text(), QString());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_TRUE(typesOf(&dialog)->isEnabled());
}

TEST_F(FileMaskTest, TypingSelectsTheFirstExtensionWithThatLetter)
{
    frmFileMask dialog;
    dialog.show();
    QListWidget* list = typesOf(&dialog);
    QString firstT;
    for (int row = 0; row < list->count() && firstT.isEmpty(); ++row)
        if (list->item(row)->text().startsWith(QLatin1String(".t"), Qt::CaseInsensitive))
            firstT = list->item(row)->text();
    ASSERT_FALSE(firstT.isEmpty());

    QTest::keyClick(list, Qt::Key_T, Qt::ShiftModifier, 0);
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().front()->text(), firstT);

    // No extension begins with "~": nothing stays selected.
    QTest::keyClicks(list, QStringLiteral("~"));
    EXPECT_TRUE(list->selectedItems().isEmpty());
}

TEST_F(FileMaskTest, DoubleClickOnALineActsAsOk)
{
    frmFileMask dialog;
    dialog.show();
    QListWidget* list = typesOf(&dialog);
    QListWidgetItem* txt = lineFor(list, QStringLiteral(".txt"));
    ASSERT_NE(txt, nullptr);
    list->scrollToItem(txt);
    const QPoint at = list->visualItemRect(txt).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.FileMask(), "*.txt");
}

} // namespace
} // namespace kestrow::test
