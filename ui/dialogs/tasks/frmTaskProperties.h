#pragma once
// "Task Properties": the Source folder, the Target folders, all files or only selected
// ones, subfolders, the schedule and the category of one clone task.
//
// The main window puts the task to edit into gCurrentTask, shows the dialog modally and
// then reads gblnTaskPropertiesCancelled and gblnTaskPropertiesChanged. The dialog
// writes into the task only on an OK whose four checks all pass (folders, increment,
// days of the week, start time, in that order, stopping at the first that fails).
// Cancel, Escape and the title-bar button save nothing and set the cancelled flag.

#include "tasks/TaskProperties.h"
#include "tasks/cCloneTasks.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMimeData;
class QRadioButton;
class QTimeEdit;
class QToolButton;

namespace kestrow {

// The task the properties dialog edits (set by the main window).
extern CloneTaskPtr gCurrentTask;
// The dialog closed without saving.
extern bool gblnTaskPropertiesCancelled;
// The user changed something in the dialog.
extern bool gblnTaskPropertiesChanged;

namespace gui {

class frmTaskProperties : public QDialog
{
    Q_OBJECT
public:
    // Fills the controls from gCurrentTask (which must be set), then clears both flags.
    explicit frmTaskProperties(QWidget* parent = nullptr);
    ~frmTaskProperties() override;

    // The selection state shared with the file selection dialog.
    const std::string& SourceFolderSpec() const { return m_selection.SourceFolder; }
    void setSourceFolderSpec(const std::string& value) { m_selection.SourceFolder = value; }
    bool IncludeSubFolders() const { return m_selection.IncludeSubFolders; }
    void setIncludeSubFolders(bool value) { m_selection.IncludeSubFolders = value; }
    // True selects "All Files" and empties the four strings below; false selects
    // "Only Selected Files".
    bool AllFilesAndFolders() const { return m_selection.AllFilesAndFolders; }
    void setAllFilesAndFolders(bool value);
    const std::string& IncludeFileSpecs() const { return m_selection.IncludeFileSpecs; }
    void setIncludeFileSpecs(const std::string& value) { m_selection.IncludeFileSpecs = value; }
    const std::string& IncludeFileMasks() const { return m_selection.IncludeFileMasks; }
    void setIncludeFileMasks(const std::string& value) { m_selection.IncludeFileMasks = value; }
    const std::string& ExcludeFileSpecs() const { return m_selection.ExcludeFileSpecs; }
    void setExcludeFileSpecs(const std::string& value) { m_selection.ExcludeFileSpecs = value; }
    const std::string& ExcludeFileMasks() const { return m_selection.ExcludeFileMasks; }
    void setExcludeFileMasks(const std::string& value) { m_selection.ExcludeFileMasks = value; }

    // Writes the controls into gCurrentTask: the Source with a trailing "/", the
    // Target lines joined by "<:>", subfolders and the selection, the schedule (an
    // increment that is not a number becomes 5; a start time of 00:00:00 is stored as
    // 00:00:01), the days of the week, a first LastCloneDateTime of now, the next run
    // of a scheduled task, and the category. False after a reported error.
    bool SaveTaskProperties();

    // The checks of OK (tasks/TaskProperties.h, shared with kestrow-cli); each shows
    // its message and returns false when its part of the input cannot be saved. A
    // missing Target folder is created when the clone engine's CreateTargetFolder
    // option is on; another problem with a Target or the Source asks whether to
    // disregard it (OK) or correct it (Cancel). Once a Target folder has failed, the
    // Source folder is not checked.
    bool ValidateFolders();
    bool ValidateFrequency();
    bool ValidateDaysOfWeek();
    bool ValidateStartTime();

    // Fills the categories list: "Unfiled", the sorted names, "Edit Categories...";
    // selects the task's category (without regard to case), else "Unfiled".
    void LoadCategories();

    // The buttons.
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    // Checks the Source folder and opens the file selection dialog.
    void cmdSelect_Click();
    void cmdSelectSourceFolder_Click();
    void cmdSelectTargetFolder_Click();
    void cmdRemoveFolder_Click();

    // Cancel, Escape and the title-bar close button: gblnTaskPropertiesCancelled set.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadTaskProperties();
    // The controls' values as the shared checks and save take them.
    TaskProperties controlProperties() const;
    void cboFrequency_Click();
    void cboCategories_Click();
    void optWhichFiles_Click(int index);
    void lstTargetFolders_DblClick(QListWidgetItem* item);
    // Asks for a folder; "" when cancelled. `initial` is where the chooser starts.
    std::string browseForFolder(const char* prompt, const QString& initial);
    void appendTargetFolder(const std::string& path);
    // The text or, failing that, the first file of a drop (a file list wins when the
    // drop carries local files: file managers add the URLs as text too).
    static std::string droppedText(const QMimeData* data);
    void markChanged();

    bool m_loading = true;
    // The selection state above (only its Source, subfolders and selection fields).
    TaskProperties m_selection;

    QLineEdit* m_txtSourceFolderPath = nullptr;
    QToolButton* m_cmdSelectSourceFolder = nullptr;
    QListWidget* m_lstTargetFolders = nullptr;
    QToolButton* m_cmdSelectTargetFolder = nullptr;
    QToolButton* m_cmdRemoveFolder = nullptr;
    QRadioButton* m_optWhichFiles[2]{};
    QCheckBox* m_chkIncludeSubFolders = nullptr;
    QComboBox* m_cboFrequency = nullptr;
    QLabel* m_lblFrequencyType = nullptr;
    QLineEdit* m_txtIntervalIncrement = nullptr;
    QLabel* m_lblStartTime = nullptr;
    QTimeEdit* m_dtpStartTime = nullptr;
    QCheckBox* m_chkDaysOfWeek[7]{};
    QComboBox* m_cboCategories = nullptr;
};

} // namespace gui
} // namespace kestrow
