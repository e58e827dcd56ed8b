#pragma once
// The task properties dialog, in a first form: the Source folder, the Target
// folders, subfolders, the schedule and the category of the current task. The
// selection of single files and folders, folder-path checks, autocompletion and
// drops come with the full dialog.
//
// The main window puts the task to edit into gCurrentTask, shows the dialog
// modally and then reads gblnTaskPropertiesCancelled and gblnTaskPropertiesChanged.

#include "tasks/cCloneTasks.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimeEdit;

namespace kestrow {

// The task the properties dialog edits (set by the main window).
extern CloneTaskPtr gCurrentTask;
// The dialog closed by Cancel.
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

    // Writes the controls into gCurrentTask: the Source with a trailing "/", the
    // Target lines joined by "<:>", subfolders, schedule (an increment that is not a
    // number becomes 5; a start time of 00:00:00 is stored as 00:00:01), the days of
    // the week, a first LastCloneDateTime of now, the next run of a scheduled task,
    // and the category. Returns true.
    bool SaveTaskProperties();

    // The checks of the OK button, in order; each shows its message and returns false
    // when the input cannot be saved.
    bool ValidateFolders();
    bool ValidateFrequency();
    bool ValidateDaysOfWeek();

    // Cancel, Escape and the title-bar close button: gblnTaskPropertiesCancelled set.
    void reject() override;

private:
    void LoadCategories();
    void LoadTaskProperties();
    void cboFrequency_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void markChanged();

    bool m_loading = true;
    QLineEdit* m_source;
    QListWidget* m_targets;
    QCheckBox* m_subFolders;
    QComboBox* m_frequency;
    QLabel* m_frequencyType;
    QLineEdit* m_increment;
    QTimeEdit* m_startTime;
    QCheckBox* m_days[7];
    QComboBox* m_categories;
};

} // namespace gui
} // namespace kestrow
