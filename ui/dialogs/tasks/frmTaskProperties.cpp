#include "ui/dialogs/tasks/frmTaskProperties.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "tasks/TaskProperties.h"
#include "tasks/cCategories.h"
#include "ui/dialogs/DialogBits.h"
#include "ui/dialogs/tasks/frmEditCategories.h"
#include "ui/dialogs/tasks/frmSelectFiles.h"
#include "ui/dialogs/tasks/modAutoCompletePath.h"
#include "ui/qt/HelpLink.h"
#include "ui/qt/QtText.h"
#include "util/AsciiCase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTimeEdit>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <optional>
#include <utility>

namespace kestrow {

CloneTaskPtr gCurrentTask;
bool gblnTaskPropertiesCancelled = false;
bool gblnTaskPropertiesChanged = false;

namespace gui {

namespace {

std::string withSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

const char* const kFrequencies[] = {"Manual Clone",
                                    "Run Every Few Minutes",
                                    "Run Every Few Hours",
                                    "Run Every Few Days",
                                    "Run Only on Selected Days of Week",
                                    "Run on First Day of Month",
                                    "Run on Last Day of Month"};
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kEditCategories = "Edit Categories...";

QToolButton* pictureButton(QWidget* parent, const char* name, const char* tip, QStyle::StandardPixmap pixmap)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromLatin1(tip));
    button->setIcon(parent->style()->standardIcon(pixmap));
    button->setAutoRaise(false);
    return button;
}

QString desktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir(desktop).exists() ? desktop : QDir::homePath();
}

} // namespace

frmTaskProperties::frmTaskProperties(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTaskProperties"));
    setWindowTitle(QStringLiteral("Task Properties"));
    setModal(true);

    auto* lblSourceFolder = new QLabel(QStringLiteral("Source Folder:"), this);
    lblSourceFolder->setObjectName(QStringLiteral("lblSourceFolder"));
    m_txtSourceFolderPath = new QLineEdit(this);
    m_txtSourceFolderPath->setObjectName(QStringLiteral("txtSourceFolderPath"));
    m_txtSourceFolderPath->installEventFilter(this);
    new modAutoCompletePath(m_txtSourceFolderPath);
    m_cmdSelectSourceFolder =
        pictureButton(this, "cmdSelectSourceFolder", "Add a Source Folder", QStyle::SP_DirOpenIcon);

    auto* lblTargetFolder = new QLabel(QStringLiteral("Target Folder(s):"), this);
    lblTargetFolder->setObjectName(QStringLiteral("lblTargetFolder"));
    m_lstTargetFolders = new QListWidget(this);
    m_lstTargetFolders->setObjectName(QStringLiteral("lstTargetFolders"));
    m_lstTargetFolders->setAcceptDrops(true);
    m_lstTargetFolders->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_lstTargetFolders->setMinimumHeight(72);
    m_lstTargetFolders->installEventFilter(this);
    m_lstTargetFolders->viewport()->installEventFilter(this);
    m_cmdSelectTargetFolder =
        pictureButton(this, "cmdSelectTargetFolder", "Add a Target Folder", QStyle::SP_DirOpenIcon);
    m_cmdRemoveFolder = pictureButton(this, "cmdRemoveFolder", "Remove Selected Folder from List",
                                      QStyle::SP_DialogDiscardButton);

    auto* folders = new QGridLayout;
    folders->addWidget(lblSourceFolder, 0, 0);
    folders->addWidget(m_txtSourceFolderPath, 0, 1);
    folders->addWidget(m_cmdSelectSourceFolder, 0, 2);
    folders->addWidget(lblTargetFolder, 1, 0, Qt::AlignTop);
    folders->addWidget(m_lstTargetFolders, 1, 1);
    auto* targetButtons = new QVBoxLayout;
    targetButtons->addWidget(m_cmdSelectTargetFolder);
    targetButtons->addWidget(m_cmdRemoveFolder);
    targetButtons->addStretch();
    folders->addLayout(targetButtons, 1, 2);

    auto* files = new QGroupBox(this);
    m_optWhichFiles[0] = new QRadioButton(QStringLiteral("All Files"), files);
    m_optWhichFiles[1] = new QRadioButton(QStringLiteral("Only Selected Files"), files);
    for (int i = 0; i < 2; ++i)
        m_optWhichFiles[i]->setObjectName(QStringLiteral("optWhichFiles%1").arg(i));
    auto* cmdSelect = new QPushButton(QStringLiteral("Select ..."), files);
    cmdSelect->setObjectName(QStringLiteral("cmdSelect"));
    cmdSelect->setToolTip(QStringLiteral("Specify the Files and Folders to be Cloned"));
    cmdSelect->setAutoDefault(false);
    m_chkIncludeSubFolders = new QCheckBox(QStringLiteral("Include Sub Folders"), files);
    m_chkIncludeSubFolders->setObjectName(QStringLiteral("chkIncludeSubFolders"));
    auto* filesLayout = new QHBoxLayout(files);
    filesLayout->addWidget(m_optWhichFiles[0]);
    filesLayout->addWidget(m_optWhichFiles[1]);
    filesLayout->addWidget(cmdSelect);
    filesLayout->addStretch();
    filesLayout->addWidget(m_chkIncludeSubFolders);

    auto* schedule = new QGroupBox(QStringLiteral("Schedule:"), this);
    schedule->setObjectName(QStringLiteral("lblFrequency"));
    m_cboFrequency = new QComboBox(schedule);
    m_cboFrequency->setObjectName(QStringLiteral("cboFrequency"));
    m_lblFrequencyType = new QLabel(QStringLiteral("Minutes:"), schedule);
    m_lblFrequencyType->setObjectName(QStringLiteral("lblFrequencyType"));
    m_txtIntervalIncrement = new QLineEdit(schedule);
    m_txtIntervalIncrement->setObjectName(QStringLiteral("txtIntervalIncrement"));
    m_txtIntervalIncrement->setMaximumWidth(80);
    m_lblStartTime = new QLabel(QStringLiteral("Start Time:"), schedule);
    m_lblStartTime->setObjectName(QStringLiteral("lblStartTime"));
    m_dtpStartTime = new QTimeEdit(schedule);
    m_dtpStartTime->setObjectName(QStringLiteral("dtpStartTime"));
    m_dtpStartTime->setDisplayFormat(QStringLiteral("h:mm:ss AP"));
    auto* scheduleLayout = new QGridLayout(schedule);
    scheduleLayout->addWidget(m_cboFrequency, 0, 0, 1, 4);
    scheduleLayout->addWidget(m_lblFrequencyType, 1, 0);
    scheduleLayout->addWidget(m_txtIntervalIncrement, 1, 1);
    scheduleLayout->addWidget(m_lblStartTime, 1, 2, Qt::AlignRight);
    scheduleLayout->addWidget(m_dtpStartTime, 1, 3);
    auto* daysRow = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        m_chkDaysOfWeek[i] = new QCheckBox(QString::fromLatin1(kDays[i]), schedule);
        m_chkDaysOfWeek[i]->setObjectName(QStringLiteral("chkDaysOfWeek%1").arg(i));
        daysRow->addWidget(m_chkDaysOfWeek[i]);
    }
    scheduleLayout->addLayout(daysRow, 2, 0, 1, 4);

    auto* lblCategory = new QLabel(QStringLiteral("Category:"), this);
    lblCategory->setObjectName(QStringLiteral("lblCategory"));
    m_cboCategories = new QComboBox(this);
    m_cboCategories->setObjectName(QStringLiteral("cboCategories"));
    auto* categoryRow = new QHBoxLayout;
    categoryRow->addWidget(lblCategory);
    categoryRow->addWidget(m_cboCategories, 1);

    const OkCancelHelpRow buttons = okCancelHelpRow(this, OkIsDefault::yes);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folders);
    layout->addWidget(files);
    layout->addWidget(schedule);
    layout->addLayout(categoryRow);
    layout->addLayout(buttons.layout);
    resize(620, 400);

    connect(buttons.ok, &QPushButton::clicked, this, &frmTaskProperties::cmdOK_Click);
    connect(buttons.cancel, &QPushButton::clicked, this, &frmTaskProperties::cmdCancel_Click);
    connect(buttons.help, &QPushButton::clicked, this, &frmTaskProperties::cmdHelp_Click);
    connect(cmdSelect, &QPushButton::clicked, this, &frmTaskProperties::cmdSelect_Click);
    connect(m_cmdSelectSourceFolder, &QToolButton::clicked, this,
            &frmTaskProperties::cmdSelectSourceFolder_Click);
    connect(m_cmdSelectTargetFolder, &QToolButton::clicked, this,
            &frmTaskProperties::cmdSelectTargetFolder_Click);
    connect(m_cmdRemoveFolder, &QToolButton::clicked, this, &frmTaskProperties::cmdRemoveFolder_Click);
    connect(m_lstTargetFolders, &QListWidget::itemDoubleClicked, this,
            &frmTaskProperties::lstTargetFolders_DblClick);
    for (int i = 0; i < 2; ++i)
        connect(m_optWhichFiles[i], &QRadioButton::clicked, this, [this, i] { optWhichFiles_Click(i); });
    connect(m_cboFrequency, &QComboBox::currentIndexChanged, this, &frmTaskProperties::cboFrequency_Click);
    connect(m_cboCategories, &QComboBox::currentIndexChanged, this, &frmTaskProperties::cboCategories_Click);
    connect(m_txtSourceFolderPath, &QLineEdit::textChanged, this, &frmTaskProperties::markChanged);
    connect(m_txtIntervalIncrement, &QLineEdit::textChanged, this, &frmTaskProperties::markChanged);
    connect(m_chkIncludeSubFolders, &QCheckBox::toggled, this, &frmTaskProperties::markChanged);
    connect(m_dtpStartTime, &QTimeEdit::timeChanged, this, &frmTaskProperties::markChanged);
    for (QCheckBox* day : m_chkDaysOfWeek)
        connect(day, &QCheckBox::toggled, this, &frmTaskProperties::markChanged);

    Guarded("frmTaskProperties.Form_Load", [&] {
        for (const char* f : kFrequencies)
            m_cboFrequency->addItem(QString::fromLatin1(f));
        LoadCategories();
        LoadTaskProperties();
    });
    gblnTaskPropertiesChanged = false;
    gblnTaskPropertiesCancelled = false;
    m_loading = false;
}

frmTaskProperties::~frmTaskProperties() = default;

void frmTaskProperties::markChanged()
{
    if (!m_loading)
        gblnTaskPropertiesChanged = true;
}

void frmTaskProperties::setAllFilesAndFolders(bool value)
{
    m_selection.AllFilesAndFolders = value;
    if (value) {
        m_selection.IncludeFileSpecs.clear();
        m_selection.IncludeFileMasks.clear();
        m_selection.ExcludeFileSpecs.clear();
        m_selection.ExcludeFileMasks.clear();
    }
    m_optWhichFiles[value ? 0 : 1]->setChecked(true);
}

void frmTaskProperties::LoadCategories()
{
    Guarded("frmTaskProperties.LoadCategories", [&] {
        const bool wasLoading = std::exchange(m_loading, true);
        m_cboCategories->clear();
        m_cboCategories->addItem(QString::fromLatin1(UnfiledCategoryName));
        std::vector<std::string> names;
        if (gCategories)
            gCategories->GetSortedCategoryListArray(names);
        for (const std::string& name : names)
            if (!name.empty())
                m_cboCategories->addItem(q(name));
        m_cboCategories->addItem(QString::fromLatin1(kEditCategories));
        const std::string category = gCurrentTask ? gCurrentTask->Category() : std::string();
        int found = 0;
        for (int i = 0; i + 1 < m_cboCategories->count(); ++i)
            if (util::equalsIgnoringCase(s(m_cboCategories->itemText(i)), category)) {
                found = i;
                break;
            }
        m_cboCategories->setCurrentIndex(found);
        m_loading = wasLoading;
    });
}

void frmTaskProperties::cboCategories_Click()
{
    if (m_loading)
        return;
    Guarded("frmTaskProperties.cboCategories_Click", [&] {
        const QString chosen = m_cboCategories->currentText();
        if (chosen == QString::fromLatin1(kEditCategories) &&
            m_cboCategories->currentIndex() == m_cboCategories->count() - 1) {
            if (gCategories) {
                frmEditCategories dlg(*gCategories, gCloneTasks, this);
                dlg.exec();
            }
            LoadCategories();
            return;
        }
        const std::string saved = gCurrentTask ? gCurrentTask->Category() : std::string();
        if (!util::equalsIgnoringCase(s(chosen), saved))
            markChanged();
    });
}

void frmTaskProperties::LoadTaskProperties()
{
    if (!gCurrentTask)
        return;
    Guarded("frmTaskProperties.LoadTaskProperties", [&] {
        const cCloneTask& task = *gCurrentTask;
        setWindowTitle(QStringLiteral("Task Properties - ") + q(task.TaskName()));
        const TaskProperties p = TaskPropertiesOf(task);
        m_txtSourceFolderPath->setText(q(p.SourceFolder));
        m_lstTargetFolders->clear();
        for (const std::string& target : p.TargetFolders)
            m_lstTargetFolders->addItem(q(target));
        m_chkIncludeSubFolders->setChecked(p.IncludeSubFolders);
        setAllFilesAndFolders(p.AllFilesAndFolders);
        m_selection.IncludeFileSpecs = p.IncludeFileSpecs;
        m_selection.IncludeFileMasks = p.IncludeFileMasks;
        m_selection.ExcludeFileSpecs = p.ExcludeFileSpecs;
        m_selection.ExcludeFileMasks = p.ExcludeFileMasks;

        m_cboFrequency->setCurrentIndex(p.IntervalType);
        cboFrequency_Click();
        m_txtIntervalIncrement->setText(q(p.IntervalIncrement));
        m_dtpStartTime->setTime(QTime(0, 0).addSecs(p.StartSeconds));
        for (int i = 0; i < 7; ++i)
            m_chkDaysOfWeek[i]->setChecked((p.DaysOfWeek & (1 << i)) != 0);
    });
}

TaskProperties frmTaskProperties::controlProperties() const
{
    TaskProperties p;
    p.SourceFolder = s(m_txtSourceFolderPath->text().trimmed());
    for (int i = 0; i < m_lstTargetFolders->count(); ++i)
        p.TargetFolders.push_back(s(m_lstTargetFolders->item(i)->text().trimmed()));
    p.IncludeSubFolders = m_chkIncludeSubFolders->isChecked();
    p.AllFilesAndFolders = m_optWhichFiles[0]->isChecked();
    p.IncludeFileSpecs = m_selection.IncludeFileSpecs;
    p.IncludeFileMasks = m_selection.IncludeFileMasks;
    p.ExcludeFileSpecs = m_selection.ExcludeFileSpecs;
    p.ExcludeFileMasks = m_selection.ExcludeFileMasks;
    p.IntervalType = m_cboFrequency->currentIndex();
    p.IntervalIncrement = s(m_txtIntervalIncrement->text());
    const QTime t = m_dtpStartTime->time();
    p.StartTimeValid = t.isValid();
    p.StartSeconds = p.StartTimeValid ? t.hour() * 3600 + t.minute() * 60 + t.second() : 0;
    p.DaysOfWeek = 0;
    for (int i = 0; i < 7; ++i)
        if (m_chkDaysOfWeek[i]->isChecked())
            p.DaysOfWeek |= 1 << i;
    p.Category = s(m_cboCategories->currentText());
    return p;
}

void frmTaskProperties::cboFrequency_Click()
{
    Guarded("frmTaskProperties.cboFrequency_Click", [&] {
        const int choice = m_cboFrequency->currentIndex();
        if (choice < 0 || choice > 6)
            return;
        static const char* const units[] = {
            nullptr, "Minutes:", "Hours:", "Days:", "Days:", nullptr, nullptr};
        if (units[choice])
            m_lblFrequencyType->setText(QString::fromLatin1(units[choice]));
        const bool increment = choice >= 1 && choice <= 3;
        m_lblFrequencyType->setEnabled(increment);
        m_txtIntervalIncrement->setEnabled(increment);
        const bool startTime = choice >= 3;
        m_lblStartTime->setEnabled(startTime);
        m_dtpStartTime->setEnabled(startTime);
        for (QCheckBox* day : m_chkDaysOfWeek)
            day->setEnabled(choice == 4);
        if (gCurrentTask && gCurrentTask->IntervalIncrement() == 0 && choice >= 1 && choice <= 4)
            m_txtIntervalIncrement->setText(choice == 1 ? QStringLiteral("10") : QStringLiteral("1"));
        markChanged();
    });
}

void frmTaskProperties::optWhichFiles_Click(int index)
{
    Guarded("frmTaskProperties.optWhichFiles_Click", [&] {
        if (index == 0)
            setAllFilesAndFolders(true);
        else
            m_selection.AllFilesAndFolders = false;
        markChanged();
    });
}

bool frmTaskProperties::ValidateFolders()
{
    return Guarded("frmTaskProperties.ValidateFolders", false,
                   [&] { return kestrow::ValidateFolders(controlProperties()); });
}

bool frmTaskProperties::ValidateFrequency()
{
    return Guarded("frmTaskProperties.ValidateFrequency", false, [&] {
        if (kestrow::ValidateFrequency(controlProperties()))
            return true;
        m_txtIntervalIncrement->setFocus();
        m_txtIntervalIncrement->selectAll();
        return false;
    });
}

bool frmTaskProperties::ValidateDaysOfWeek()
{
    return Guarded("frmTaskProperties.ValidateDaysOfWeek", false,
                   [&] { return kestrow::ValidateDaysOfWeek(controlProperties()); });
}

bool frmTaskProperties::ValidateStartTime()
{
    return Guarded("frmTaskProperties.ValidateStartTime", false,
                   [&] { return kestrow::ValidateStartTime(controlProperties()); });
}

bool frmTaskProperties::SaveTaskProperties()
{
    return Guarded("frmTaskProperties.SaveTaskProperties", false, [&] {
        const TaskProperties p = controlProperties();
        if (p.AllFilesAndFolders)
            setAllFilesAndFolders(true);
        kestrow::SaveTaskProperties(p, *gCurrentTask);
        return true;
    });
}

void frmTaskProperties::cmdOK_Click()
{
    std::optional<WaitCursor> wait(std::in_place);
    if (!ValidateFolders() || !ValidateFrequency() || !ValidateDaysOfWeek() || !ValidateStartTime())
        return;
    const bool saved = SaveTaskProperties();
    QCoreApplication::processEvents();
    if (!saved)
        return;
    wait.reset();
    accept();
}

void frmTaskProperties::cmdCancel_Click()
{
    reject();
}

void frmTaskProperties::reject()
{
    // The title-bar close button and Escape count as Cancel: nothing is saved.
    gblnTaskPropertiesCancelled = true;
    QDialog::reject();
}

void frmTaskProperties::cmdHelp_Click()
{
    ShowHelp(HelpUrl(helpcontext::TaskProperties), "frmTaskProperties.cmdHelp_Click");
}

void frmTaskProperties::cmdSelect_Click()
{
    Guarded("frmTaskProperties.cmdSelect_Click", [&] {
        m_optWhichFiles[1]->setChecked(true);
        optWhichFiles_Click(1);
        const std::string source = s(m_txtSourceFolderPath->text().trimmed());
        if (source.empty()) {
            ui().messageBox("Select Files/Folders", "Please specify the Source Folder", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        int32_t errorNumber = 0;
        if (ValidateFolderPath(source, errorNumber) != FolderStatusOk) {
            ui().messageBox(
                "Select Files/Folders",
                "Make sure that the Source folder exists and that you have permission to access it.",
                MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        m_selection.SourceFolder = source;
        m_selection.IncludeSubFolders = m_chkIncludeSubFolders->isChecked();
        frmSelectFiles dialog(*this);
        dialog.exec();
        markChanged();
    });
}

std::string frmTaskProperties::browseForFolder(const char* prompt, const QString& initial)
{
    QFileDialog dialog(this, QStringLiteral("Browse For Folder"), initial);
    dialog.setObjectName(QStringLiteral("mobjBrowseDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::LookIn, QString::fromLatin1(prompt));
    // The folder the user moves to shows in the file name line as the status.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return withSlash(s(dialog.selectedFiles().front()));
}

void frmTaskProperties::cmdSelectSourceFolder_Click()
{
    Guarded("cmdSelectSourceFolder_Click", [&] {
        const std::string current = s(m_txtSourceFolderPath->text());
        const QString initial = !current.empty() && FolderExists(current, platform::FollowLinks::yes)
                                    ? q(current)
                                    : desktopFolder();
        const std::string folder = browseForFolder("Specify the Source folder.", initial);
        if (folder.empty())
            return;
        m_txtSourceFolderPath->setText(q(folder));
        markChanged();
    });
}

void frmTaskProperties::cmdSelectTargetFolder_Click()
{
    Guarded("cmdSelectTargetFolder_Click", [&] {
        const std::string folder = browseForFolder("Specify the Target folder.", desktopFolder());
        if (!folder.empty())
            appendTargetFolder(folder);
    });
}

void frmTaskProperties::appendTargetFolder(const std::string& path)
{
    m_lstTargetFolders->addItem(q(withSlash(path)));
    markChanged();
}

void frmTaskProperties::cmdRemoveFolder_Click()
{
    Guarded("frmTaskProperties.cmdRemoveFolder_Click", [&] {
        const QList<QListWidgetItem*> selected = m_lstTargetFolders->selectedItems();
        QListWidgetItem* item = selected.isEmpty() ? nullptr : selected.front();
        if (!item) {
            ui().messageBox("Remove Folder from List", "Select one of the folders from the list.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        delete item;
        markChanged();
    });
}

void frmTaskProperties::lstTargetFolders_DblClick(QListWidgetItem* item)
{
    if (!item)
        return;
    Guarded("frmTaskProperties.lstTargetFolders_DblClick", [&] {
        const std::optional<std::string> answer = ui().inputBox(
            "Edit Target Folder",
            "Make the desired edits to the target folder path then press the OK button.", s(item->text()));
        const std::string edited = s(q(answer.value_or(std::string())).trimmed());
        if (edited.empty())
            return;
        item->setText(q(withSlash(edited)));
        markChanged();
    });
}

std::string frmTaskProperties::droppedText(const QMimeData* data)
{
    if (!data)
        return {};
    if (data->hasUrls()) {
        const QList<QUrl> urls = data->urls();
        if (!urls.isEmpty() && urls.front().isLocalFile())
            return s(urls.front().toLocalFile());
    }
    if (data->hasText())
        return s(data->text());
    return {};
}

bool frmTaskProperties::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_lstTargetFolders)
        return QDialog::eventFilter(watched, event); // still being built
    const bool onSource = watched == m_txtSourceFolderPath;
    const bool onTargets = watched == m_lstTargetFolders->viewport() || watched == m_lstTargetFolders;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (onSource || onTargets) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->mimeData()->hasText() || drag->mimeData()->hasUrls()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        break;
    case QEvent::Drop:
        if (onSource || onTargets) {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::string text = droppedText(drop->mimeData());
            Guarded(onSource ? "frmTaskProperties.txtSourceFolderPath_OLEDragDrop"
                             : "frmTaskProperties.lstTargetFolders_OLEDragDrop",
                    [&] {
                        if (onSource)
                            m_txtSourceFolderPath->setText(q(text));
                        else if (!text.empty())
                            appendTargetFolder(text);
                    });
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        break;
    case QEvent::KeyRelease:
        if (watched == m_lstTargetFolders && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            cmdRemoveFolder_Click();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace gui
} // namespace kestrow
