#include "ui/dialogs/run/frmConfirmChanges.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "ui/qt/QtText.h"
#include "util/AsciiCase.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <utility>

namespace kestrow::gui {

// The visible lines: the index of each listed entry, in order. Lines are made from
// the list when the view asks, and the icons are shared by every line of a kind.
class SyncActionModel : public QAbstractListModel
{
public:
    explicit SyncActionModel(QObject* parent) : QAbstractListModel(parent)
    {
        QStyle* style = QApplication::style();
        m_icons[kCopy] = style->standardIcon(QStyle::SP_FileIcon);
        m_icons[kDelete] = style->standardIcon(QStyle::SP_TrashIcon);
        m_icons[kCreateFolder] = style->standardIcon(QStyle::SP_FileDialogNewFolder);
        m_icons[kOther] = style->standardIcon(QStyle::SP_DirIcon);
    }

    void load(const SyncActionList& actions)
    {
        beginResetModel();
        m_actions = &actions;
        std::vector<std::size_t> rows;
        const std::size_t count = actions.count();
        rows.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            if (!actions.withdrawn(i))
                rows.push_back(i);
        rows.shrink_to_fit();
        m_rows = std::move(rows);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(m_rows.size(), INT_MAX));
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!m_actions || !index.isValid() || index.row() >= rowCount())
            return {};
        const std::size_t entry = m_rows[static_cast<std::size_t>(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            return q(m_actions->line(entry));
        case Qt::DecorationRole:
            return m_icons[kindOf(m_actions->line(entry))];
        case Qt::UserRole:
            return QString::number(entry + 1) + QLatin1Char('K');
        default:
            return {};
        }
    }

    std::size_t entryAt(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    // Takes out the rows of `ranges` (first and last row, sorted, not overlapping);
    // true when the model was reset (the view's place is lost).
    bool removeRanges(const std::vector<std::pair<int, int>>& ranges)
    {
        // A few blocks go one by one, keeping the view's place; many go in one pass
        // over the rows, so removing is never quadratic in the selection.
        if (ranges.size() <= kRangesRemovedOneByOne) {
            for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
                beginRemoveRows(QModelIndex(), range->first, range->second);
                m_rows.erase(m_rows.begin() + range->first, m_rows.begin() + range->second + 1);
                endRemoveRows();
            }
            return false;
        }
        beginResetModel();
        std::size_t kept = 0;
        std::size_t next = 0;
        for (std::size_t row = 0; row < m_rows.size(); ++row) {
            while (next < ranges.size() && static_cast<std::size_t>(ranges[next].second) < row)
                ++next;
            if (next < ranges.size() && static_cast<std::size_t>(ranges[next].first) <= row)
                continue;
            m_rows[kept++] = m_rows[row];
        }
        m_rows.resize(kept);
        m_rows.shrink_to_fit();
        endResetModel();
        return true;
    }

private:
    enum Kind
    {
        kCopy,
        kDelete,
        kCreateFolder,
        kOther,
        kKinds
    };
    static constexpr std::size_t kRangesRemovedOneByOne = 16;

    // A line's kind: the first operation marker it holds.
    static Kind kindOf(const std::string& line)
    {
        if (util::findIgnoringCase(line, "   copy file  ") != std::string::npos)
            return kCopy;
        if (util::findIgnoringCase(line, "   delete file  ") != std::string::npos)
            return kDelete;
        if (util::findIgnoringCase(line, "   create folder  ") != std::string::npos)
            return kCreateFolder;
        return kOther;
    }

    const SyncActionList* m_actions = nullptr;
    std::vector<std::size_t> m_rows;
    QIcon m_icons[kKinds];
};

frmConfirmChanges::frmConfirmChanges(bool confirmSyncActions, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConfirmChanges"));
    setWindowTitle(QStringLiteral("Kestrow - Confirm Synchronization Actions"));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());

    m_lblTaskName = new QLabel(q(gstrCurrentTaskName), this);
    m_lblTaskName->setObjectName(QStringLiteral("lblTaskName"));
    m_model = new SyncActionModel(this);
    m_lvwSyncOperations = new QListView(this);
    m_lvwSyncOperations->setObjectName(QStringLiteral("lvwSyncOperations"));
    m_lvwSyncOperations->setUniformItemSizes(true);
    m_lvwSyncOperations->setModel(m_model);
    m_lvwSyncOperations->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvwSyncOperations->installEventFilter(this);
    m_chkConfirmSyncActions =
        new QCheckBox(QStringLiteral("Show this window before performing any file operation."), this);
    m_chkConfirmSyncActions->setObjectName(QStringLiteral("chkConfirmSyncActions"));
    m_chkConfirmSyncActions->setChecked(confirmSyncActions);
    m_cmdRemove = new QPushButton(QStringLiteral("Remove Selected"), this);
    m_cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    m_cmdRemove->setAutoDefault(false);
    m_cmdPerform = new QPushButton(QStringLiteral("Perform Actions"), this);
    m_cmdPerform->setObjectName(QStringLiteral("cmdPerform"));
    m_cmdPerform->setDefault(true);

    // The list takes every change of size; the buttons stay along the bottom.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_chkConfirmSyncActions);
    buttons->addStretch();
    buttons->addWidget(m_cmdRemove);
    buttons->addWidget(m_cmdPerform);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTaskName);
    layout->addWidget(m_lvwSyncOperations, 1);
    layout->addLayout(buttons);
    resize(720, 420);

    connect(m_cmdRemove, &QPushButton::clicked, this, &frmConfirmChanges::cmdRemove_Click);
    connect(m_cmdPerform, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_chkConfirmSyncActions, &QCheckBox::toggled, this, [this](bool on) {
        Guarded("frmConfirmChanges.chkConfirmSyncActions_Click", [&] {
            if (gClone)
                gClone->setConfirmSyncActions(on);
            Q_EMIT confirmSyncActionsToggled(on);
        });
    });
}

bool frmConfirmChanges::confirmSyncActions() const
{
    return m_chkConfirmSyncActions->isChecked();
}

void frmConfirmChanges::LoadSyncActionsIntoList(const SyncActionList& actions)
{
    Guarded("frmConfirmChanges.LoadSyncActionsIntoList", [&] {
        m_removed.assign(actions.count(), false);
        m_model->load(actions);
    });
}

void frmConfirmChanges::cmdRemove_Click()
{
    Guarded("frmConfirmChanges.cmdRemove_Click", [&] {
        // The selection as blocks of rows, in order and merged.
        std::vector<std::pair<int, int>> ranges;
        for (const QItemSelectionRange& range : m_lvwSyncOperations->selectionModel()->selection())
            ranges.emplace_back(range.top(), range.bottom());
        if (ranges.empty()) {
            ui().messageBox("Kestrow", "Please select a file operation to remove from the list.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        std::sort(ranges.begin(), ranges.end());
        std::size_t merged = 0;
        for (std::size_t i = 1; i < ranges.size(); ++i) {
            if (ranges[i].first <= ranges[merged].second + 1)
                ranges[merged].second = std::max(ranges[merged].second, ranges[i].second);
            else
                ranges[++merged] = ranges[i];
        }
        ranges.resize(merged + 1);
        int removedAbove = 0;
        const int top = m_lvwSyncOperations->indexAt(QPoint(0, 0)).row();
        for (const auto& [first, last] : ranges) {
            for (int row = first; row <= last; ++row)
                m_removed[m_model->entryAt(row)] = true;
            if (top >= 0 && first < top)
                removedAbove += std::min(last + 1, top) - first;
        }
        // After a reset, the lines that were at the top stay there.
        if (m_model->removeRanges(ranges) && top >= 0 && m_model->rowCount() > 0)
            m_lvwSyncOperations->scrollTo(
                m_model->index(std::min(top - removedAbove, m_model->rowCount() - 1)),
                QAbstractItemView::PositionAtTop);
    });
}

void frmConfirmChanges::reject()
{
    // Any close that is not Perform Actions stops the run and performs nothing.
    m_cancelled = true;
    std::fill(m_removed.begin(), m_removed.end(), true);
    CancelRequested = true;
    QDialog::reject();
}

bool frmConfirmChanges::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lvwSyncOperations && event->type() == QEvent::KeyRelease &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        cmdRemove_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool ShowConfirmSyncActions(QWidget* parent, const SyncActionList& actions, std::vector<bool>& skipped,
                            bool& keepConfirming)
{
    const bool startState = gClone ? gClone->ConfirmSyncActions() : true;
    frmConfirmChanges dialog(startState, parent);
    dialog.LoadSyncActionsIntoList(actions);
    const int result = dialog.exec();
    keepConfirming = dialog.confirmSyncActions();
    skipped = dialog.removedFlags();
    skipped.resize(actions.count(), false);
    return result == QDialog::Accepted && !dialog.cancelled();
}

} // namespace kestrow::gui
