#include "ui/dialogs/tasks/frmEditCategories.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/qt/QtText.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>
#include <string_view>

namespace kestrow::gui {

namespace {

bool isBlank(const std::string& text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

// Category names compare with ASCII letters folded, as the category list compares them.
bool isUnfiled(const std::string& name)
{
    const std::string_view unfiled = UnfiledCategoryName;
    if (name.size() != unfiled.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto a = static_cast<unsigned char>(name[i]);
        const auto b = static_cast<unsigned char>(unfiled[i]);
        if (a != b && !(a >= 'A' && a <= 'Z' && a + 32 == b) && !(a >= 'a' && a <= 'z' && a - 32 == b))
            return false;
    }
    return true;
}

} // namespace

frmEditCategories::frmEditCategories(cCategories& categories, cCloneTasks* tasks, QWidget* parent)
    : QDialog(parent), m_categories(categories), m_tasks(tasks)
{
    setObjectName(QStringLiteral("frmEditCategories"));
    setWindowTitle(QStringLiteral("Edit Task Categories"));

    auto* layout = new QHBoxLayout(this);
    m_lstCategories = new QListWidget(this);
    m_lstCategories->setObjectName(QStringLiteral("lstCategories"));
    m_lstCategories->setSelectionMode(QAbstractItemView::SingleSelection);
    // The view sizes its sideways scroll range to its widest line.
    m_lstCategories->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_lstCategories->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    layout->addWidget(m_lstCategories, 1);

    auto* side = new QVBoxLayout;
    auto* cmdNew = dialogButton("cmdNew", "New...", this);
    auto* cmdRename = dialogButton("cmdRename", "Rename...", this);
    auto* cmdDelete = dialogButton("cmdDelete", "Delete", this);
    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    side->addWidget(cmdNew);
    side->addWidget(cmdRename);
    side->addWidget(cmdDelete);
    side->addStretch();
    side->addWidget(cmdOK);
    layout->addLayout(side);

    connect(cmdNew, &QPushButton::clicked, this, &frmEditCategories::cmdNew_Click);
    connect(cmdRename, &QPushButton::clicked, this, &frmEditCategories::cmdRename_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmEditCategories::cmdDelete_Click);
    connect(m_lstCategories, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { cmdRename_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    resize(360, 280);
    LoadCategories();
}

void frmEditCategories::LoadCategories()
{
    Guarded("frmEditCategories.LoadCategories", [&] {
        m_lstCategories->clear();
        std::vector<std::string> names;
        m_categories.GetSortedCategoryListArray(names);
        for (const std::string& name : names)
            if (!name.empty())
                m_lstCategories->addItem(q(name));
    });
}

QListWidgetItem* frmEditCategories::selectedLine(const char* title)
{
    const QList<QListWidgetItem*> selected = m_lstCategories->selectedItems();
    if (selected.isEmpty()) {
        ui().messageBox(title, "No category has been selected.", MsgIcon::Exclamation, MsgButtons::Ok);
        return nullptr;
    }
    return selected.front();
}

void frmEditCategories::cmdNew_Click()
{
    Guarded("frmEditCategories.cmdNew_Click", [&] {
        const std::optional<std::string> answer =
            ui().inputBox("New Category", "Enter new category name:", "");
        if (!answer || isBlank(*answer))
            return;
        if (!m_categories.IsValidName(*answer)) {
            ui().messageBox("New Category", "Category name is not valid.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        if (!m_categories.IsUniqueName(*answer)) {
            ui().messageBox("New Category", "Category name is already in list.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        m_lstCategories->addItem(q(*answer));
        m_categories.Add(*answer);
    });
}

void frmEditCategories::cmdRename_Click()
{
    Guarded("frmEditCategories.cmdRename_Click", [&] {
        QListWidgetItem* line = selectedLine("Rename Category");
        if (!line)
            return;
        const std::string oldName = s(line->text());
        if (isUnfiled(oldName)) {
            ui().messageBox("Rename Category", "The Unfiled category cannot be renamed.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        const std::optional<std::string> answer =
            ui().inputBox("Rename Category", "Enter the new name for this category:", oldName);
        if (!answer || isBlank(*answer))
            return;
        if (!m_categories.IsValidName(*answer)) {
            ui().messageBox("Rename Category", "Category name is not valid.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        if (!m_categories.IsUniqueName(*answer)) {
            ui().messageBox("Rename Category", "Category name is already in list.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        line->setText(q(*answer));
        m_categories.Rename(oldName, *answer);
        if (m_tasks)
            m_tasks->ChangeCategoryName(oldName, *answer);
    });
}

void frmEditCategories::cmdDelete_Click()
{
    Guarded("frmEditCategories.cmdDelete_Click", [&] {
        QListWidgetItem* line = selectedLine("Delete Category");
        if (!line)
            return;
        const std::string name = s(line->text());
        if (isUnfiled(name)) {
            ui().messageBox("Delete Category", "The Unfiled category cannot be deleted.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        delete m_lstCategories->takeItem(m_lstCategories->row(line));
        m_categories.Remove(name);
        if (m_tasks)
            m_tasks->ChangeCategoryName(name, UnfiledCategoryName);
    });
}

} // namespace kestrow::gui
