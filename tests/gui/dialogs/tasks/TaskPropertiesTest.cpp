// The task properties dialog, driven through its widgets on real folders.

#include "base/DateTime.h"
#include "engine/FolderRoutines.h"
#include "engine/cClone.h"
#include "tasks/cCategories.h"
#include "tests/gui/dialogs/tasks/TaskDialogTest.h"
#include "ui/dialogs/tasks/frmEditCategories.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTimeEdit>
#include <QUrl>

#include <cmath>
#include <filesystem>

namespace kestrow::test {
namespace {

using gui::frmTaskProperties;

constexpr const char* kTail = "\n\nPress OK to disregard this error or Cancel to correct the problem.";

class TaskPropertiesTest : public TaskDialogTest
{
protected:
    TaskPropertiesTest()
    {
        source = dir.makeDir("src") + "/";
        target = dir.makeDir("dst") + "/";
    }

    // A task whose folders pass the checks.
    void useFolders()
    {
        gCurrentTask->setSourceFolderSpec(source);
        gCurrentTask->setTargetFolderSpec(target);
    }

    static QListWidget* targets(QWidget* d) { return child<QListWidget>(d, "lstTargetFolders"); }
    static QComboBox* frequency(QWidget* d) { return child<QComboBox>(d, "cboFrequency"); }
    static QLineEdit* increment(QWidget* d) { return child<QLineEdit>(d, "txtIntervalIncrement"); }

    std::string source;
    std::string target;
};

TEST_F(TaskPropertiesTest, ShowsTheTaskAndClearsBothFlags)
{
    useFolders();
    gCurrentTask->setTargetFolderSpec(target + "<:>" + dir.path() + "/second/");
    gCurrentTask->setIncludeSubFolders(false);
    gCurrentTask->setIntervalType(3);
    gCurrentTask->setIntervalIncrement(2);
    gCurrentTask->setStartTime(0);
    gCurrentTask->setDaysOfWeek(1 | 64);
    gblnTaskPropertiesChanged = true;
    gblnTaskPropertiesCancelled = true;

    frmTaskProperties dialog;
    EXPECT_EQ(s(dialog.windowTitle()), "Task Properties - Photos");
    EXPECT_EQ(s(child<QLineEdit>(&dialog, "txtSourceFolderPath")->text()), source);
    EXPECT_EQ(listLines(targets(&dialog)), (std::vector<std::string>{target, dir.path() + "/second/"}));
    EXPECT_FALSE(child<QCheckBox>(&dialog, "chkIncludeSubFolders")->isChecked());
    EXPECT_EQ(frequency(&dialog)->currentIndex(), 3);
    EXPECT_EQ(s(increment(&dialog)->text()), "2");
    EXPECT_EQ(child<QTimeEdit>(&dialog, "dtpStartTime")->time(), QTime(12, 0, 0)) << "midnight shows as noon";
    EXPECT_TRUE(child<QCheckBox>(&dialog, "chkDaysOfWeek0")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(&dialog, "chkDaysOfWeek6")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(&dialog, "chkDaysOfWeek3")->isChecked());
    EXPECT_FALSE(gblnTaskPropertiesChanged);
    EXPECT_FALSE(gblnTaskPropertiesCancelled);

    child<QCheckBox>(&dialog, "chkDaysOfWeek3")->setChecked(true);
    EXPECT_TRUE(gblnTaskPropertiesChanged);
    click(&dialog, "cmdCancel");
    EXPECT_TRUE(gblnTaskPropertiesCancelled);
    EXPECT_EQ(gCurrentTask->DaysOfWeek(), 1 | 64) << "Cancel saves nothing";
}

// Each schedule choice enables its own controls and labels the increment.
TEST_F(TaskPropertiesTest, ScheduleChoiceSetsUpItsControls)
{
    gCurrentTask->setIntervalIncrement(0);
    frmTaskProperties dialog;
    struct Row
    {
        int choice;
        const char* unit;
        bool incrementOn, startOn, daysOn;
        const char* shown; // the increment shown for a task whose increment is 0
    };
    const Row rows[] = {
        {1, "Minutes:", true, false, false, "10"}, {2, "Hours:", true, false, false, "1"},
        {3, "Days:", true, true, false, "1"},      {4, "Days:", false, true, true, "1"},
        {5, "Days:", false, true, false, "1"},     {0, "Days:", false, false, false, "1"},
    };
    for (const Row& row : rows) {
        frequency(&dialog)->setCurrentIndex(row.choice);
        SCOPED_TRACE(row.choice);
        EXPECT_EQ(s(child<QLabel>(&dialog, "lblFrequencyType")->text()), row.unit);
        EXPECT_EQ(increment(&dialog)->isEnabled(), row.incrementOn);
        EXPECT_EQ(child<QTimeEdit>(&dialog, "dtpStartTime")->isEnabled(), row.startOn);
        EXPECT_EQ(child<QCheckBox>(&dialog, "chkDaysOfWeek2")->isEnabled(), row.daysOn);
        EXPECT_EQ(s(increment(&dialog)->text()), row.shown);
    }
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

struct IncrementRow
{
    const char* name;
    int choice;
    const char* text;
    const char* message; // "" when accepted
};

class IncrementTest : public TaskPropertiesTest, public ::testing::WithParamInterface<IncrementRow>
{
};

TEST_P(IncrementTest, IsCheckedOnOK)
{
    const IncrementRow& row = GetParam();
    useFolders();
    frmTaskProperties dialog;
    dialog.show();
    frequency(&dialog)->setCurrentIndex(row.choice);
    increment(&dialog)->setText(QString::fromLatin1(row.text));
    click(&dialog, "cmdOK");
    if (*row.message == '\0') {
        EXPECT_TRUE(ui.messages().empty()) << lastMessage();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(gCurrentTask->IntervalIncrement(), std::lround(std::nearbyint(std::stod(row.text))));
        return;
    }
    EXPECT_EQ(lastMessage(), row.message);
    EXPECT_EQ(ui.messages().back().icon, MsgIcon::Information);
    EXPECT_TRUE(dialog.isVisible()) << "stays open";
    EXPECT_EQ(increment(&dialog)->selectedText(), increment(&dialog)->text()) << "whole text selected";
    EXPECT_EQ(gCurrentTask->IntervalType(), 0) << "nothing saved";
}

const std::string kMinutes = "Invalid Minutes|Minutes value is invalid.  Please check the following:\n\n"
                             "1) The value must be a positive number\n2) The value cannot be less than 5\n";
const std::string kHours = "Invalid Hours|Hours value is invalid.  Please check the following:\n\nThe value "
                           "must be a positive number\n";
const std::string kDays = "Invalid Days|Days value is invalid.  Please check the following:\n\nThe value "
                          "must be a positive number\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, IncrementTest,
    ::testing::Values(IncrementRow{"MinutesBelowFive", 1, "4", kMinutes.c_str()},
                      IncrementRow{"FiveMinutes", 1, "5", ""},
                      IncrementRow{"MinutesRoundedToFour", 1, "4.4", kMinutes.c_str()},
                      IncrementRow{"EmptyMinutes", 1, " ", kMinutes.c_str()},
                      IncrementRow{"OneHour", 2, "1", ""}, IncrementRow{"ZeroHours", 2, "0", kHours.c_str()},
                      IncrementRow{"HoursNotANumber", 2, "two", kHours.c_str()},
                      IncrementRow{"HoursTooLargeForInt32", 2, "3000000000", kHours.c_str()},
                      IncrementRow{"HoursPastTheLastDate", 2, "2147483647", kHours.c_str()},
                      IncrementRow{"MostHours", 2, "50000000", ""},
                      IncrementRow{"DaysPastTheLastDate", 3, "2000001", kDays.c_str()},
                      IncrementRow{"EveryCountOfMinutes", 1, "2147483647", ""},
                      IncrementRow{"NegativeDays", 3, "-1", kDays.c_str()},
                      IncrementRow{"OneDay", 3, "1", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TaskPropertiesTest, ChecksRunInOrderAndStopAtTheFirstFailure)
{
    frmTaskProperties dialog;
    dialog.show();
    frequency(&dialog)->setCurrentIndex(1);
    increment(&dialog)->setText(QStringLiteral("1"));
    click(&dialog, "cmdOK");
    EXPECT_EQ(messageTexts(),
              std::vector<std::string>{"Validate Folders|No target folder has been entered."});

    targets(&dialog)->addItem(q(target));
    click(&dialog, "cmdOK");
    EXPECT_EQ(lastMessage(), "Validate Folders|No source folder has been entered.");
    EXPECT_EQ(ui.messages().back().icon, MsgIcon::Exclamation);

    child<QLineEdit>(&dialog, "txtSourceFolderPath")->setText(q(source));
    click(&dialog, "cmdOK");
    EXPECT_EQ(lastMessage(), kMinutes);

    frequency(&dialog)->setCurrentIndex(4);
    for (int day = 0; day < 7; ++day)
        child<QCheckBox>(&dialog, ("chkDaysOfWeek" + std::to_string(day)).c_str())->setChecked(false);
    click(&dialog, "cmdOK");
    EXPECT_EQ(lastMessage(), "Invalid Days|No days of the week are selected.");
    EXPECT_EQ(ui.messages().size(), 4u);
    EXPECT_TRUE(dialog.isVisible());

    child<QCheckBox>(&dialog, "chkDaysOfWeek0")->setChecked(true);
    child<QCheckBox>(&dialog, "chkDaysOfWeek6")->setChecked(true);
    click(&dialog, "cmdOK");
    EXPECT_EQ(ui.messages().size(), 4u) << lastMessage();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(gCurrentTask->DaysOfWeek(), 65);
    EXPECT_EQ(gCurrentTask->IntervalType(), 4);
    EXPECT_GT(gCurrentTask->LastCloneDateTime(), 0);
    EXPECT_GT(gCurrentTask->NextCloneDateTime(), 0);
}

TEST_F(TaskPropertiesTest, OverlappingFoldersAreRefusedWithTheRunsOwnReason)
{
    const std::string inside = dir.makeDir("src/backup") + "/";
    std::filesystem::create_directory_symlink(dir / "src", dir / "link-to-src");
    struct Row
    {
        std::string source;
        std::string target;
        const char* message;
    };
    const Row rows[] = {
        {source, inside, "Problems with Target Folder|The Target folder lies inside the Source folder."},
        {inside, source, "Problems with Target Folder|The Source folder lies inside the Target folder."},
        {source, dir / "link-to-src/",
         "Problems with Target Folder|The Source and Target folders are the same folder."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        ui.clear();
        gCurrentTask->setSourceFolderSpec(row.source);
        gCurrentTask->setTargetFolderSpec(row.target);
        frmTaskProperties dialog;
        dialog.show();
        click(&dialog, "cmdOK");
        EXPECT_EQ(lastMessage(), row.message);
        EXPECT_TRUE(dialog.isVisible()) << "stays open to be corrected";
    }
}

TEST_F(TaskPropertiesTest, MissingTargetIsCreatedWhenTheOptionIsOn)
{
    useFolders();
    const std::string missing = dir.path() + "/new/deeper/";
    gCurrentTask->setTargetFolderSpec(missing);
    gClone->setCreateTargetFolder(true);
    frmTaskProperties dialog;
    dialog.show();
    click(&dialog, "cmdOK");
    EXPECT_TRUE(ui.messages().empty()) << lastMessage();
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(TaskPropertiesTest, MissingTargetAsksWhenTheOptionIsOff)
{
    useFolders();
    const std::string missing = dir.path() + "/new/";
    gCurrentTask->setTargetFolderSpec(missing);
    gCurrentTask->setSourceFolderSpec(dir.path() + "/no-such-source/");
    gClone->setCreateTargetFolder(false);
    int32_t errorNumber = 0;
    const int32_t status = ValidateFolderPath(missing, errorNumber);
    ASSERT_EQ(status, FolderStatusNoFolder);
    const std::string expected =
        "Problems with Target Folder|" + GetInvalidPathErrorMsg(status, missing, errorNumber) + kTail;

    frmTaskProperties dialog;
    dialog.show();
    ui.queueAnswer(MsgResult::Cancel);
    click(&dialog, "cmdOK");
    EXPECT_EQ(messageTexts(), std::vector<std::string>{expected});
    EXPECT_EQ(ui.messages().back().buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(dialog.isVisible());

    // OK disregards the problem; the missing Source is not looked at then.
    ui.queueAnswer(MsgResult::Ok);
    click(&dialog, "cmdOK");
    EXPECT_EQ(ui.messages().size(), 2u) << lastMessage();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(gCurrentTask->TargetFolderSpec(), missing);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_TRUE(ui.allAnswersUsed());
}

TEST_F(TaskPropertiesTest, MissingSourceAsks)
{
    useFolders();
    const std::string missing = dir.path() + "/gone";
    gCurrentTask->setSourceFolderSpec(missing);
    frmTaskProperties dialog;
    dialog.show();
    ui.queueAnswer(MsgResult::Cancel);
    click(&dialog, "cmdOK");
    int32_t errorNumber = 0;
    const int32_t status = ValidateFolderPath(missing, errorNumber);
    EXPECT_EQ(lastMessage(),
              "Problems with Source Folder|" + GetInvalidPathErrorMsg(status, missing, errorNumber) + kTail);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(TaskPropertiesTest, TwoTargetsAreSavedShownAndReducedToOne)
{
    const std::string second = dir.makeDir("dst2") + "/";
    useFolders();
    gCurrentTask->setTargetFolderSpec(target + "<:>" + second);
    {
        frmTaskProperties dialog;
        dialog.show();
        ASSERT_EQ(listLines(targets(&dialog)), (std::vector<std::string>{target, second}));
        click(&dialog, "cmdOK");
        EXPECT_EQ(gCurrentTask->TargetFolderSpec(), target + "<:>" + second);
    }
    frmTaskProperties dialog;
    dialog.show();
    QListWidget* list = targets(&dialog);

    click(&dialog, "cmdRemoveFolder");
    EXPECT_EQ(lastMessage(), "Remove Folder from List|Select one of the folders from the list.");
    EXPECT_EQ(list->count(), 2);

    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(listLines(list), std::vector<std::string>{second});
    EXPECT_TRUE(gblnTaskPropertiesChanged);
    click(&dialog, "cmdOK");
    EXPECT_EQ(gCurrentTask->TargetFolderSpec(), second);
}

TEST_F(TaskPropertiesTest, SavesTheControlsIntoTheTask)
{
    useFolders();
    gCurrentTask->setSourceFolderSpec(dir.path() + "/src");
    gCurrentTask->setIntervalType(2);
    gCurrentTask->setLastCloneDateTime(0);
    frmTaskProperties dialog;
    dialog.show();
    child<QTimeEdit>(&dialog, "dtpStartTime")->setTime(QTime(0, 0, 0));
    child<QCheckBox>(&dialog, "chkIncludeSubFolders")->setChecked(false);
    click(&dialog, "cmdOK");
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << lastMessage();
    EXPECT_EQ(gCurrentTask->SourceFolderSpec(), source) << "a trailing / is added";
    EXPECT_FALSE(gCurrentTask->IncludeSubFolders());
    EXPECT_NEAR(gCurrentTask->StartTime(), 1.0 / 86400.0, 1e-9) << "midnight is stored as 00:00:01";
    EXPECT_NEAR(gCurrentTask->LastCloneDateTime(), currentClock().now(), 2.0 / 86400.0);
    EXPECT_GE(gCurrentTask->NextCloneDateTime(), gCurrentTask->LastCloneDateTime());
    EXPECT_EQ(gCurrentTask->Category(), "Unfiled");
}

TEST_F(TaskPropertiesTest, AllFilesEmptiesTheSelection)
{
    useFolders();
    gCurrentTask->setAllFilesAndFolders(false);
    gCurrentTask->setIncludeFileSpecs(source + "a.txt");
    gCurrentTask->setExcludeFileMasks("*.tmp");
    frmTaskProperties dialog;
    dialog.show();
    EXPECT_TRUE(child<QRadioButton>(&dialog, "optWhichFiles1")->isChecked());
    EXPECT_EQ(dialog.IncludeFileSpecs(), source + "a.txt");

    click(&dialog, "optWhichFiles0");
    EXPECT_TRUE(dialog.AllFilesAndFolders());
    EXPECT_EQ(dialog.IncludeFileSpecs(), "");
    EXPECT_EQ(dialog.ExcludeFileMasks(), "");
    click(&dialog, "optWhichFiles1");
    EXPECT_FALSE(dialog.AllFilesAndFolders());
    EXPECT_EQ(dialog.IncludeFileSpecs(), "") << "the old selection does not come back";
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

TEST_F(TaskPropertiesTest, TargetLineIsEditedByDoubleClick)
{
    useFolders();
    frmTaskProperties dialog;
    dialog.show();
    QListWidget* list = targets(&dialog);
    list->doItemsLayout();
    const QPoint centre = list->visualItemRect(list->item(0)).center();

    ui.queueInput(std::string("  "));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(listLines(list), std::vector<std::string>{target}) << "a blank answer changes nothing";
    ASSERT_FALSE(ui.prompts().empty());
    EXPECT_EQ(ui.prompts().back().title, "Edit Target Folder");
    EXPECT_EQ(ui.prompts().back().text,
              "Make the desired edits to the target folder path then press the OK button.");
    EXPECT_EQ(ui.prompts().back().defaultText, target);
    EXPECT_FALSE(gblnTaskPropertiesChanged);

    ui.queueInput(dir.path() + "/other ");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(listLines(list), std::vector<std::string>{dir.path() + "/other/"});
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

TEST_F(TaskPropertiesTest, DropsFillTheSourceAndAddTargets)
{
    frmTaskProperties dialog;
    dialog.show();
    // A drag that enters the widget and is dropped there.
    auto drop = [](QWidget* on, QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &event);
        return event.isAccepted();
    };
    auto* sourceBox = child<QLineEdit>(&dialog, "txtSourceFolderPath");
    sourceBox->setText(QStringLiteral("old"));
    QMimeData text;
    text.setText(q(source));
    EXPECT_TRUE(drop(sourceBox, text));
    EXPECT_EQ(s(sourceBox->text()), source) << "the dropped text replaces the old";

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(q(dir.path() + "/dst")), QUrl::fromLocalFile(q(dir.path() + "/src"))});
    EXPECT_TRUE(drop(targets(&dialog)->viewport(), files));
    EXPECT_EQ(listLines(targets(&dialog)), std::vector<std::string>{dir.path() + "/dst/"})
        << "the first file, with a trailing /";
    drop(sourceBox, files);
    EXPECT_EQ(s(sourceBox->text()), dir.path() + "/dst") << "no / added in the Source box";

    QMimeData empty;
    empty.setText(QString());
    drop(targets(&dialog)->viewport(), empty);
    EXPECT_EQ(targets(&dialog)->count(), 1) << "an empty drop adds nothing";
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

TEST_F(TaskPropertiesTest, BrowseAppendsTheChosenTarget)
{
    frmTaskProperties dialog;
    dialog.show();
    onModal<QFileDialog>([&](QFileDialog* browse) {
        EXPECT_EQ(s(browse->windowTitle()), "Browse For Folder");
        EXPECT_EQ(s(browse->labelText(QFileDialog::LookIn)), "Specify the Target folder.");
        browse->setDirectory(q(dir.path()));
        browse->selectFile(q(dir.path() + "/dst"));
        static_cast<QDialog*>(browse)->accept();
    });
    click(&dialog, "cmdSelectTargetFolder");
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(listLines(targets(&dialog)), std::vector<std::string>{target});

    onModal<QFileDialog>([&](QFileDialog* browse) {
        EXPECT_EQ(s(browse->labelText(QFileDialog::LookIn)), "Specify the Source folder.");
        EXPECT_EQ(s(browse->directory().absolutePath()), dir.path() + "/dst") << "starts at the typed folder";
        browse->reject();
    });
    child<QLineEdit>(&dialog, "txtSourceFolderPath")->setText(q(target));
    click(&dialog, "cmdSelectSourceFolder");
    EXPECT_EQ(modalsHandled, 2);
    EXPECT_EQ(s(child<QLineEdit>(&dialog, "txtSourceFolderPath")->text()), target)
        << "Cancel changes nothing";
}

TEST_F(TaskPropertiesTest, CategoriesListOffersEditingAndKeepsTheSavedCategory)
{
    gCategories->Add("work");
    gCategories->Add("Archive");
    gCurrentTask->setCategory("WORK");
    frmTaskProperties dialog;
    dialog.show();
    auto* list = child<QComboBox>(&dialog, "cboCategories");
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(s(list->itemText(i)));
    EXPECT_EQ(entries, (std::vector<std::string>{"Unfiled", "Archive", "work", "Edit Categories..."}));
    EXPECT_EQ(s(list->currentText()), "work") << "found without regard to case";
    EXPECT_FALSE(gblnTaskPropertiesChanged);

    onModal<gui::frmEditCategories>([&](gui::frmEditCategories* edit) {
        gCategories->Add("Music");
        edit->accept();
    });
    list->setCurrentIndex(list->count() - 1);
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(list->count(), 5) << "the list is filled again";
    EXPECT_EQ(s(list->currentText()), "work");
    EXPECT_FALSE(gblnTaskPropertiesChanged);

    list->setCurrentIndex(list->findText(QStringLiteral("Music")));
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

TEST_F(TaskPropertiesTest, CategoriesThatDifferBeyondAsciiLettersStayApart)
{
    // The task list folds only A-Z, so "Ärger" and "ärger" are two categories.
    gCategories->Add("Ärger");
    gCategories->Add("ärger");
    gCurrentTask->setCategory("ärger");
    frmTaskProperties dialog;
    dialog.show();
    auto* list = child<QComboBox>(&dialog, "cboCategories");
    EXPECT_EQ(s(list->currentText()), "ärger");
    list->setCurrentIndex(list->findText(q("Ärger")));
    EXPECT_TRUE(gblnTaskPropertiesChanged) << "another category was chosen";
}

TEST_F(TaskPropertiesTest, SelectButtonNeedsAUsableSource)
{
    frmTaskProperties dialog;
    dialog.show();
    click(&dialog, "cmdSelect");
    EXPECT_EQ(lastMessage(), "Select Files/Folders|Please specify the Source Folder");
    EXPECT_TRUE(child<QRadioButton>(&dialog, "optWhichFiles1")->isChecked()) << "chosen first";

    child<QLineEdit>(&dialog, "txtSourceFolderPath")->setText(q(dir.path() + "/gone"));
    click(&dialog, "cmdSelect");
    EXPECT_EQ(lastMessage(), "Select Files/Folders|Make sure that the Source folder exists and that you have "
                             "permission to access it.");
    EXPECT_EQ(ui.messages().back().icon, MsgIcon::Exclamation);
}

} // namespace
} // namespace kestrow::test
