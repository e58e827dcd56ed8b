#include "ui/frmTaskProperties.h"

#include "app/services/ErrorReporter.h"
#include "app/services/LocalTime.h"
#include "app/services/UiServices.h"
#include "tasks/Schedule.h"
#include "tasks/cCategories.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>

namespace kestrow {

CloneTaskPtr gCurrentTask;
bool gblnTaskPropertiesCancelled = false;
bool gblnTaskPropertiesChanged = false;

namespace gui {

namespace {

QString q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string s(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string withSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

// The whole-number value of a numeric text (halves to even), or nothing.
std::optional<double> numericValue(const QString& text)
{
    const std::string t = s(text.trimmed());
    if (t.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return std::nearbyint(v);
}

const char* const kFrequencies[] = {"Manual Clone",
                                    "Run Every Few Minutes",
                                    "Run Every Few Hours",
                                    "Run Every Few Days",
                                    "Run Only on Selected Days of Week",
                                    "Run on First Day of Month",
                                    "Run on Last Day of Month"};
const char* const kDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

} // namespace

frmTaskProperties::frmTaskProperties(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTaskProperties"));
    setWindowTitle(QStringLiteral("Task Properties"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* sourceRow = new QHBoxLayout;
    m_source = new QLineEdit(this);
    m_source->setObjectName(QStringLiteral("txtSourceFolderPath"));
    auto* browseSource = new QPushButton(QStringLiteral("..."), this);
    browseSource->setObjectName(QStringLiteral("cmdSelectSourceFolder"));
    browseSource->setToolTip(QStringLiteral("Add a Source Folder"));
    sourceRow->addWidget(m_source);
    sourceRow->addWidget(browseSource);
    form->addRow(QStringLiteral("Source Folder:"), sourceRow);

    auto* targetRow = new QHBoxLayout;
    m_targets = new QListWidget(this);
    m_targets->setObjectName(QStringLiteral("lstTargetFolders"));
    m_targets->setMaximumHeight(90);
    auto* targetButtons = new QVBoxLayout;
    auto* addTarget = new QPushButton(QStringLiteral("..."), this);
    addTarget->setObjectName(QStringLiteral("cmdSelectTargetFolder"));
    addTarget->setToolTip(QStringLiteral("Add a Target Folder"));
    auto* removeTarget = new QPushButton(QStringLiteral("-"), this);
    removeTarget->setObjectName(QStringLiteral("cmdRemoveFolder"));
    removeTarget->setToolTip(QStringLiteral("Remove Selected Folder from List"));
    targetButtons->addWidget(addTarget);
    targetButtons->addWidget(removeTarget);
    targetButtons->addStretch();
    targetRow->addWidget(m_targets);
    targetRow->addLayout(targetButtons);
    form->addRow(QStringLiteral("Target Folder(s):"), targetRow);

    m_subFolders = new QCheckBox(QStringLiteral("Include Sub Folders"), this);
    m_subFolders->setObjectName(QStringLiteral("chkIncludeSubFolders"));
    form->addRow(QString(), m_subFolders);

    auto* schedule = new QGroupBox(QStringLiteral("Schedule:"), this);
    auto* scheduleForm = new QFormLayout(schedule);
    m_frequency = new QComboBox(schedule);
    m_frequency->setObjectName(QStringLiteral("cboFrequency"));
    for (const char* f : kFrequencies)
        m_frequency->addItem(QString::fromLatin1(f));
    scheduleForm->addRow(m_frequency);
    m_frequencyType = new QLabel(QStringLiteral("Minutes:"), schedule);
    m_frequencyType->setObjectName(QStringLiteral("lblFrequencyType"));
    m_increment = new QLineEdit(schedule);
    m_increment->setObjectName(QStringLiteral("txtIntervalIncrement"));
    scheduleForm->addRow(m_frequencyType, m_increment);
    m_startTime = new QTimeEdit(schedule);
    m_startTime->setObjectName(QStringLiteral("dtpStartTime"));
    m_startTime->setDisplayFormat(QStringLiteral("h:mm:ss AP"));
    scheduleForm->addRow(QStringLiteral("Start Time:"), m_startTime);
    auto* daysRow = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        m_days[i] = new QCheckBox(QString::fromLatin1(kDays[i]).left(3), schedule);
        m_days[i]->setObjectName(QStringLiteral("chkDaysOfWeek%1").arg(i));
        daysRow->addWidget(m_days[i]);
        connect(m_days[i], &QCheckBox::toggled, this, &frmTaskProperties::markChanged);
    }
    scheduleForm->addRow(daysRow);
    layout->addWidget(schedule);

    auto* categoryForm = new QFormLayout;
    m_categories = new QComboBox(this);
    m_categories->setObjectName(QStringLiteral("cboCategories"));
    categoryForm->addRow(QStringLiteral("Category:"), m_categories);
    layout->addLayout(categoryForm);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &frmTaskProperties::cmdOK_Click);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmTaskProperties::cmdCancel_Click);
    connect(m_frequency, &QComboBox::currentIndexChanged, this, &frmTaskProperties::cboFrequency_Click);
    connect(m_source, &QLineEdit::textChanged, this, &frmTaskProperties::markChanged);
    connect(m_increment, &QLineEdit::textChanged, this, &frmTaskProperties::markChanged);
    connect(m_subFolders, &QCheckBox::toggled, this, &frmTaskProperties::markChanged);
    connect(m_startTime, &QTimeEdit::timeChanged, this, &frmTaskProperties::markChanged);
    connect(m_categories, &QComboBox::currentIndexChanged, this, &frmTaskProperties::markChanged);
    connect(browseSource, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Browse For Folder"),
                                                                 m_source->text().trimmed());
        if (!folder.isEmpty()) {
            m_source->setText(q(withSlash(s(folder))));
            markChanged();
        }
    });
    connect(addTarget, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Browse For Folder"));
        if (!folder.isEmpty()) {
            m_targets->addItem(q(withSlash(s(folder))));
            markChanged();
        }
    });
    connect(removeTarget, &QPushButton::clicked, this, [this] {
        QListWidgetItem* item = m_targets->currentItem();
        if (!item) {
            ui().messageBox("Remove Folder from List", "Select one of the folders from the list.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        delete item;
        markChanged();
    });

    Guarded("frmTaskProperties.Form_Load", [&] {
        LoadCategories();
        LoadTaskProperties();
    });
    gblnTaskPropertiesChanged = false;
    gblnTaskPropertiesCancelled = false;
    m_loading = false;
}

void frmTaskProperties::markChanged()
{
    if (!m_loading)
        gblnTaskPropertiesChanged = true;
}

void frmTaskProperties::LoadCategories()
{
    m_categories->clear();
    m_categories->addItem(QString::fromLatin1(UnfiledCategoryName));
    std::vector<std::string> names;
    if (gCategories)
        gCategories->GetSortedCategoryListArray(names);
    for (const std::string& name : names)
        if (!name.empty())
            m_categories->addItem(q(name));
    const QString category = gCurrentTask ? q(gCurrentTask->Category()) : QString();
    const int found = m_categories->findText(category, Qt::MatchFixedString);
    m_categories->setCurrentIndex(found >= 0 ? found : 0);
}

void frmTaskProperties::LoadTaskProperties()
{
    if (!gCurrentTask)
        return;
    const cCloneTask& task = *gCurrentTask;
    setWindowTitle(QStringLiteral("Task Properties - ") + q(task.TaskName()));
    m_source->setText(q(task.SourceFolderSpec()));
    m_targets->clear();
    std::string targets = task.TargetFolderSpec();
    while (!targets.empty()) {
        const std::size_t at = targets.find("<:>");
        m_targets->addItem(q(targets.substr(0, at)));
        targets = at == std::string::npos ? std::string() : targets.substr(at + 3);
    }
    m_subFolders->setChecked(task.IncludeSubFolders());
    const int type = task.IntervalType();
    m_frequency->setCurrentIndex(type >= 0 && type < 7 ? type : 0);
    cboFrequency_Click();
    m_increment->setText(QString::number(task.IntervalIncrement()));
    // A start time of midnight shows as noon.
    DateValue start = task.StartTime();
    if (start == 0)
        start = 0.5;
    const DateParts parts = partsFromDate(start);
    m_startTime->setTime(QTime(parts.hour, parts.minute, parts.second));
    for (int i = 0; i < 7; ++i)
        m_days[i]->setChecked(task.RunOnThisDayOfWeek(i));
}

void frmTaskProperties::cboFrequency_Click()
{
    const int choice = m_frequency->currentIndex();
    static const char* const units[] = {nullptr, "Minutes:", "Hours:", "Days:", "Days:", nullptr, nullptr};
    if (units[choice])
        m_frequencyType->setText(QString::fromLatin1(units[choice]));
    const bool increment = choice >= 1 && choice <= 3;
    m_frequencyType->setEnabled(increment);
    m_increment->setEnabled(increment);
    m_startTime->setEnabled(choice >= 3);
    for (QCheckBox* day : m_days)
        day->setEnabled(choice == 4);
    if (gCurrentTask && gCurrentTask->IntervalIncrement() == 0 && choice >= 1 && choice <= 4)
        m_increment->setText(choice == 1 ? QStringLiteral("10") : QStringLiteral("1"));
    markChanged();
}

bool frmTaskProperties::ValidateFolders()
{
    return Guarded("frmTaskProperties.ValidateFolders", false, [&] {
        if (m_targets->count() == 0) {
            ui().messageBox("Validate Folders", "No target folder has been entered.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return false;
        }
        if (m_source->text().trimmed().isEmpty()) {
            ui().messageBox("Validate Folders", "No source folder has been entered.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return false;
        }
        return true;
    });
}

bool frmTaskProperties::ValidateFrequency()
{
    return Guarded("frmTaskProperties.ValidateFrequency", false, [&] {
        if (!m_increment->isEnabled())
            return true;
        const std::optional<double> value = numericValue(m_increment->text());
        const bool minutes = m_frequency->currentIndex() == 1;
        if (value && *value > 0 && *value <= 2147483647.0 && (!minutes || *value >= 5))
            return true;
        QString unit = m_frequencyType->text();
        if (unit.endsWith(QLatin1Char(':')))
            unit.chop(1);
        const std::string word = s(unit);
        if (unit.compare(QStringLiteral("Minutes"), Qt::CaseInsensitive) == 0)
            ui().messageBox("Invalid " + word,
                            "Minutes value is invalid.  Please check the following:\n\n"
                            "1) The value must be a positive number\n2) The value cannot be less than 5\n",
                            MsgIcon::Information, MsgButtons::Ok);
        else
            ui().messageBox("Invalid " + word,
                            word + " value is invalid.  Please check the following:\n\n"
                                   "The value must be a positive number\n",
                            MsgIcon::Information, MsgButtons::Ok);
        m_increment->setFocus();
        m_increment->selectAll();
        return false;
    });
}

bool frmTaskProperties::ValidateDaysOfWeek()
{
    if (m_frequency->currentIndex() != 4)
        return true;
    for (QCheckBox* day : m_days)
        if (day->isChecked())
            return true;
    ui().messageBox("Invalid Days", "No days of the week are selected.", MsgIcon::Information, MsgButtons::Ok);
    return false;
}

bool frmTaskProperties::SaveTaskProperties()
{
    return Guarded("frmTaskProperties.SaveTaskProperties", false, [&] {
        cCloneTask& task = *gCurrentTask;
        task.setSourceFolderSpec(withSlash(s(m_source->text().trimmed())));
        std::string targets;
        for (int i = 0; i < m_targets->count(); ++i) {
            const std::string line = s(m_targets->item(i)->text().trimmed());
            targets += (i == 0 ? "" : "<:>") + line;
        }
        task.setTargetFolderSpec(targets);
        task.setIncludeSubFolders(m_subFolders->isChecked());
        task.setIntervalType(m_frequency->currentIndex());
        const std::optional<double> increment = numericValue(m_increment->text());
        task.setIntervalIncrement(increment && std::fabs(*increment) <= 2147483647.0 ? static_cast<int32_t>(*increment)
                                                                                       : 5);
        const QTime t = m_startTime->time();
        DateValue start = (t.hour() * 3600 + t.minute() * 60 + t.second()) / 86400.0;
        if (start == 0)
            start = 1.0 / 86400.0;
        task.setStartTime(start);
        int32_t days = 0;
        for (int i = 0; i < 7; ++i)
            if (m_days[i]->isChecked())
                days |= 1 << i;
        task.setDaysOfWeek(days);
        if (task.LastCloneDateTime() == 0)
            task.setLastCloneDateTime(TruncateToSeconds(currentClock().now()));
        if (task.IntervalType() != 0) {
            int32_t dow = task.DaysOfWeek();
            task.setNextCloneDateTime(DetermineNextCloneDateTime(task.LastCloneDateTime(), task.IntervalType(),
                                                                 task.IntervalIncrement(), task.StartTime(), dow));
            task.setDaysOfWeek(dow);
        }
        task.setCategory(s(m_categories->currentText()));
        return true;
    });
}

void frmTaskProperties::cmdOK_Click()
{
    if (!ValidateFolders() || !ValidateFrequency() || !ValidateDaysOfWeek())
        return;
    if (SaveTaskProperties())
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

} // namespace gui
} // namespace kestrow
