#include "ui/dialogs/run/frmOrderTasks.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "tasks/cCloneTasks.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/qt/QtText.h"
#include "util/AsciiCase.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrow::gui {

frmOrderTasks::frmOrderTasks(const std::vector<OrderTaskRow>& rows, int32_t OrderWhat,
                             const std::string& SelectedCategoryName, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOrderTasks"));
    setWindowTitle(QStringLiteral("Order Tasks"));

    auto* layout = new QVBoxLayout(this);
    auto* instruct =
        new QLabel(QStringLiteral("Specify the order that the tasks should be executed in."), this);
    instruct->setObjectName(QStringLiteral("lblInstruct"));
    instruct->setWordWrap(true);
    layout->addWidget(instruct);

    auto* middle = new QHBoxLayout;
    m_lstTasks = new QListWidget(this);
    m_lstTasks->setObjectName(QStringLiteral("lstTasks"));
    m_lstTasks->setSelectionMode(QAbstractItemView::SingleSelection);
    middle->addWidget(m_lstTasks, 1);
    auto* side = new QVBoxLayout;
    auto* up = dialogButton("cmdMoveUp", "Move &Up", this);
    auto* down = dialogButton("cmdMoveDown", "Move &Down", this);
    auto* remove = dialogButton("cmdRemove", "R&emove", this);
    side->addWidget(up);
    side->addWidget(down);
    side->addWidget(remove);
    side->addStretch();
    middle->addLayout(side);
    layout->addLayout(middle, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    auto* run = new QPushButton(QStringLiteral("&Run Tasks"), this);
    run->setObjectName(QStringLiteral("OKButton"));
    run->setDefault(true);
    bottom->addWidget(run);
    layout->addLayout(bottom);

    connect(up, &QPushButton::clicked, this, &frmOrderTasks::cmdMoveUp_Click);
    connect(down, &QPushButton::clicked, this, &frmOrderTasks::cmdMoveDown_Click);
    connect(remove, &QPushButton::clicked, this, &frmOrderTasks::cmdRemove_Click);
    connect(run, &QPushButton::clicked, this, &frmOrderTasks::OKButton_Click);

    resize(400, 320);
    Form_Load(rows, OrderWhat, SelectedCategoryName);
}

void frmOrderTasks::Form_Load(const std::vector<OrderTaskRow>& rows, int32_t OrderWhat,
                              const std::string& SelectedCategoryName)
{
    Guarded("frmOrderTasks.Form_Load", [&] {
        const std::string& wanted = SelectedCategoryName;
        for (const OrderTaskRow& row : rows) {
            bool offered = false;
            switch (OrderWhat) {
            case orderWhat::CheckedTasks:
                offered = row.checked;
                break;
            case orderWhat::AllTasks:
                offered = true;
                break;
            case orderWhat::TasksInCategory: {
                const CloneTaskPtr task = gCloneTasks ? gCloneTasks->Item(row.name) : nullptr;
                offered = task && util::equalsIgnoringCase(task->Category(), wanted);
                break;
            }
            default:
                break;
            }
            if (offered)
                m_lstTasks->addItem(q(row.name));
        }
        if (m_lstTasks->count() > 0)
            m_lstTasks->setCurrentRow(0);
    });
}

bool frmOrderTasks::HasTasks() const
{
    return m_lstTasks->count() > 0;
}

std::vector<std::string> frmOrderTasks::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(m_lstTasks->count()));
    for (int i = 0; i < m_lstTasks->count(); ++i)
        lines.push_back(s(m_lstTasks->item(i)->text()));
    return lines;
}

std::optional<std::vector<std::string>> frmOrderTasks::ChooseOrder(const std::vector<OrderTaskRow>& rows,
                                                                   int32_t OrderWhat,
                                                                   const std::string& SelectedCategoryName,
                                                                   QWidget* parent)
{
    frmOrderTasks dialog(rows, OrderWhat, SelectedCategoryName, parent);
    if (!dialog.HasTasks())
        return std::nullopt;
    dialog.exec();
    return dialog.OrderOfTasks();
}

void frmOrderTasks::move(int by)
{
    const QList<QListWidgetItem*> selected = m_lstTasks->selectedItems();
    if (selected.isEmpty()) {
        ui().messageBox("No Task Selected", "Please select a task first.", MsgIcon::Information,
                        MsgButtons::Ok);
        return;
    }
    const int from = m_lstTasks->row(selected.front());
    const int to = from + by;
    if (to < 0 || to >= m_lstTasks->count()) {
        ui().beep();
        return;
    }
    QListWidgetItem* line = m_lstTasks->takeItem(from);
    m_lstTasks->insertItem(to, line);
    m_lstTasks->setCurrentItem(line);
}

void frmOrderTasks::cmdMoveUp_Click()
{
    move(-1);
}

void frmOrderTasks::cmdMoveDown_Click()
{
    move(+1);
}

void frmOrderTasks::cmdRemove_Click()
{
    Guarded("frmOrderTasks.cmdRemove_Click", [&] {
        const QList<QListWidgetItem*> selected = m_lstTasks->selectedItems();
        if (selected.isEmpty()) {
            ui().messageBox("Remove Task", "No task is selected", MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        delete m_lstTasks->takeItem(m_lstTasks->row(selected.front()));
        // As after any removal, nothing is selected until the user picks a line.
        m_lstTasks->setCurrentItem(nullptr);
        m_lstTasks->clearSelection();
    });
}

void frmOrderTasks::OKButton_Click()
{
    Guarded("frmOrderTasks.OKButton_Click", [&] { m_OrderOfTasks = Lines(); });
    QDialog::accept();
}

void frmOrderTasks::reject()
{
    m_OrderOfTasks.reset();
    QDialog::reject();
}

} // namespace kestrow::gui
