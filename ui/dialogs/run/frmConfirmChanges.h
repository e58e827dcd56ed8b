#pragma once
// The confirmation list of a run ("Kestrow - Confirm Synchronization Actions"): the
// planned operations, one line each, of which the user may remove some before the
// run performs the rest. Closing by the title bar marks every operation removed and
// sets CancelRequested. The check box switches the engine's ConfirmSyncActions at
// once (when gClone exists) and reports the change through confirmSyncActionsToggled.
// The list is a view over the operations list itself: a line's text is made only
// when it is painted, so a list of a million lines opens at once.

#include "base/RunHost.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QListView;
class QPushButton;

namespace kestrow::gui {

class SyncActionModel;

class frmConfirmChanges : public QDialog
{
    Q_OBJECT
public:
    // `confirmSyncActions` is the check box's starting state.
    explicit frmConfirmChanges(bool confirmSyncActions, QWidget* parent = nullptr);

    // Fills the list: one line per action in order, its key (Qt::UserRole) the 1-based
    // index + "K"; a withdrawn action is not listed. Sizes the removed flags, all false.
    // `actions` must outlive the dialog's use of the list.
    void LoadSyncActionsIntoList(const SyncActionList& actions);

    // Takes the selected lines out and marks their operations removed; with nothing
    // selected shows "Please select a file operation to remove from the list.".
    void cmdRemove_Click();

    // One flag per action (0-based), true for an action the user removed.
    const std::vector<bool>& removedFlags() const { return m_removed; }
    // The user closed the window instead of pressing Perform Actions.
    bool cancelled() const { return m_cancelled; }
    bool confirmSyncActions() const;

    // Closing: the title-bar button and Escape both end up here.
    void reject() override;

Q_SIGNALS:
    void confirmSyncActionsToggled(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_lblTaskName;
    SyncActionModel* m_model;
    QListView* m_lvwSyncOperations;
    QCheckBox* m_chkConfirmSyncActions;
    QPushButton* m_cmdRemove;
    QPushButton* m_cmdPerform;
    std::vector<bool> m_removed;
    bool m_cancelled = false;
};

// Shows the list modally for a run and hands back what the run host needs: false when
// the user closed the window (every entry skipped, CancelRequested set); otherwise
// `skipped` says which entries were removed. `keepConfirming` is the check box's final
// state either way.
bool ShowConfirmSyncActions(QWidget* parent, const SyncActionList& actions, std::vector<bool>& skipped,
                            bool& keepConfirming);

} // namespace kestrow::gui
