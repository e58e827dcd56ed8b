#include "app/ProgramOptions.h"

#include "app/Notifications.h"
#include "app/ProgramObjects.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "platform/InstanceLock.h"
#include "settings/IniDocument.h"
#include "settings/cPriorityRules.h"
#include "tasks/TaskListFile.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <string_view>

namespace kestrow {

bool gblnShowSysTrayReminder = true;
bool gblnShowScheduledSyncsMsg = true;
bool gblnShowSendToRecycleBinMsg = true;
bool gblnPasswordSet = false;
std::string gstrAdminPassword;
bool gblnPasswordOK = false;

using M = OptionsMenuItem;

namespace {

constexpr int32_t kSubscriptOutOfRange = 9;
constexpr int32_t kOverflow = 6;

struct ItemInfo
{
    M item;
    const char* name;
    int group; // items of one group of alternatives share a number; 0: a toggle
};

constexpr ItemInfo kItems[] = {
    {M::mnuLogSize100, "mnuLogSize100", 1},
    {M::mnuLogSize200, "mnuLogSize200", 1},
    {M::mnuLogSize500, "mnuLogSize500", 1},
    {M::mnuLogSize1Meg, "mnuLogSize1Meg", 1},
    {M::mnuLogSizeNever, "mnuLogSizeNever", 1},
    {M::mnuLogOnlyErrors, "mnuLogOnlyErrors", 0},
    {M::mnuOptionsCompMethodDateTime, "mnuOptionsCompMethodDateTime", 2},
    {M::mnuOptionsCompMethodSize, "mnuOptionsCompMethodSize", 2},
    {M::mnuOptionsCompMethodContents, "mnuOptionsCompMethodContents", 2},
    {M::mnuOptionsCompMethodCRC32, "mnuOptionsCompMethodCRC32", 2},
    {M::mnuOptionsFATIgnore2SecDiff, "mnuOptionsFATIgnore2SecDiff", 0},
    {M::mnuOptionsFATIgnoreDST, "mnuOptionsFATIgnoreDST", 0},
    {M::mnuOptionsIgnoreSystemFolders, "mnuOptionsIgnoreSystemFolders", 0},
    {M::mnuOptionsIgnoreHiddenFolders, "mnuOptionsIgnoreHiddenFolders", 0},
    {M::mnuOptionsIgnoreSystemFiles, "mnuOptionsIgnoreSystemFiles", 0},
    {M::mnuOptionsIgnoreHiddenFiles, "mnuOptionsIgnoreHiddenFiles", 0},
    {M::mnuOptionsRunOnWindowsStartupCurrentUser, "mnuOptionsRunOnWindowsStartupCurrentUser", 3},
    {M::mnuOptionsRunOnWindowsStartupAnyUser, "mnuOptionsRunOnWindowsStartupAnyUser", 3},
    {M::mnuOptionsRunOnWindowsStartupNoRun, "mnuOptionsRunOnWindowsStartupNoRun", 3},
    {M::mnuOptionsToolbarShow, "mnuOptionsToolbarShow", 4},
    {M::mnuOptionsToolbarHide, "mnuOptionsToolbarHide", 4},
    {M::mnuOptionsCopyMethod0, "mnuOptionsCopyMethod(0)", 5},
    {M::mnuOptionsCopyMethod1, "mnuOptionsCopyMethod(1)", 5},
    {M::mnuOptionsCopyMethod2, "mnuOptionsCopyMethod(2)", 5},
    {M::mnuOptionsDeleteMethod0, "mnuOptionsDeleteMethod(0)", 6},
    {M::mnuOptionsDeleteMethod1, "mnuOptionsDeleteMethod(1)", 6},
    {M::mnuOptionsDeleteMethod2, "mnuOptionsDeleteMethod(2)", 6},
    {M::mnuOptionsDeleteMethod3, "mnuOptionsDeleteMethod(3)", 6},
    {M::mnuOptionsPromptToInsertRemovableDrive, "mnuOptionsPromptToInsertRemovableDrive", 0},
    {M::mnuOptionsCopyOnlyIfNewer, "mnuOptionsCopyOnlyIfNewer", 0},
    {M::mnuOptionsConfirmSyncActions, "mnuOptionsConfirmSyncActions", 0},
    {M::mnuOptionsCreateTargetFolder, "mnuOptionsCreateTargetFolder", 0},
    {M::mnuOptionsNotifications, "mnuOptionsNotifications", 0},
    {M::mnuOptionsProtectFromEmptySource, "mnuOptionsProtectFromEmptySource", 0},
    {M::mnuOptionsKeepHardLinks, "mnuOptionsKeepHardLinks", 0},
    {M::mnuOptionsKeepVersions, "mnuOptionsKeepVersions", 0},
};
static_assert(std::size(kItems) == static_cast<std::size_t>(OptionsMenuItemCount));

constexpr const ItemInfo& info(M item)
{
    return kItems[static_cast<int>(item)];
}

PasswordTransform& scrambleFn()
{
    static PasswordTransform fn;
    return fn;
}

PasswordTransform& unscrambleFn()
{
    static PasswordTransform fn;
    return fn;
}

} // namespace

const char* controlName(OptionsMenuItem item)
{
    return info(item).name;
}

OptionsMenuItem mnuOptionsCopyMethod(int32_t index)
{
    if (index < 0 || index > 2)
        throw RuntimeError(kSubscriptOutOfRange, "Subscript out of range");
    return static_cast<M>(static_cast<int>(M::mnuOptionsCopyMethod0) + index);
}

OptionsMenuItem mnuOptionsDeleteMethod(int32_t index)
{
    if (index < 0 || index > 3)
        throw RuntimeError(kSubscriptOutOfRange, "Subscript out of range");
    return static_cast<M>(static_cast<int>(M::mnuOptionsDeleteMethod0) + index);
}

std::vector<OptionsMenuItem> optionsMenuGroup(OptionsMenuItem item)
{
    const int group = info(item).group;
    if (group == 0)
        return {item};
    std::vector<OptionsMenuItem> items;
    for (const ItemInfo& i : kItems) {
        if (i.group == group)
            items.push_back(i.item);
    }
    return items;
}

void ProgramOptions::setChecked(OptionsMenuItem item, bool value)
{
    if (m_checked[index(item)] == value)
        return;
    m_checked[index(item)] = value;
    // A listener may add or remove listeners: walk a copy.
    const auto listeners = m_checkListeners;
    for (const auto& [id, listener] : listeners)
        listener(item, value);
}

void ProgramOptions::checkOnly(OptionsMenuItem item)
{
    for (OptionsMenuItem other : optionsMenuGroup(item)) {
        if (other != item)
            setChecked(other, false);
    }
    setChecked(item, true);
}

void ProgramOptions::uncheckGroup(OptionsMenuItem item)
{
    for (OptionsMenuItem other : optionsMenuGroup(item))
        setChecked(other, false);
}

int ProgramOptions::checkedInGroup(OptionsMenuItem item) const
{
    const auto group = optionsMenuGroup(item);
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (checked(group[i]))
            return static_cast<int>(i);
    }
    return -1;
}

void ProgramOptions::setFormHeight(int32_t twips)
{
    if (m_FormHeight == twips)
        return;
    m_FormHeight = twips;
    notifyGeometry();
}

void ProgramOptions::setFormWidth(int32_t twips)
{
    if (m_FormWidth == twips)
        return;
    m_FormWidth = twips;
    notifyGeometry();
}

void ProgramOptions::setSizePixels(int width, int height)
{
    const int32_t w = pixelsToTwips(width);
    const int32_t h = pixelsToTwips(height);
    if (w == m_FormWidth && h == m_FormHeight)
        return;
    m_FormWidth = w;
    m_FormHeight = h;
    notifyGeometry();
}

int16_t ProgramOptions::columnWidth(int column) const
{
    if (column < 0 || column >= ColumnCount)
        return 0;
    return m_columnWidths[static_cast<std::size_t>(column)];
}

void ProgramOptions::setColumnWidth(int column, int16_t pixels)
{
    if (column < 0 || column >= ColumnCount || m_columnWidths[static_cast<std::size_t>(column)] == pixels)
        return;
    m_columnWidths[static_cast<std::size_t>(column)] = pixels;
    notifyGeometry();
}

int ProgramOptions::addCheckListener(CheckListener listener)
{
    const int id = m_nextListenerId++;
    m_checkListeners.emplace_back(id, std::move(listener));
    return id;
}

int ProgramOptions::addGeometryListener(GeometryListener listener)
{
    const int id = m_nextListenerId++;
    m_geometryListeners.emplace_back(id, std::move(listener));
    return id;
}

void ProgramOptions::removeListener(int id)
{
    std::erase_if(m_checkListeners, [id](const auto& l) { return l.first == id; });
    std::erase_if(m_geometryListeners, [id](const auto& l) { return l.first == id; });
}

void ProgramOptions::notifyGeometry()
{
    const auto listeners = m_geometryListeners;
    for (const auto& [id, listener] : listeners)
        listener();
}

void setPasswordCodec(PasswordTransform scramble, PasswordTransform unscramble)
{
    scrambleFn() = std::move(scramble);
    unscrambleFn() = std::move(unscramble);
}

std::string OptionsFileSpec()
{
    return gstrAppPath + OptionsFileName();
}

std::string PadLeft(const std::string& text, char padChar, std::size_t length)
{
    if (text.size() >= length)
        return text;
    return std::string(length - text.size(), padChar) + text;
}

namespace {

constexpr const char* kDefaultCategories = "Personal,Work,Pictures,E-mail,Financial,Documents,Settings";
constexpr const char* kColumnKeys[ProgramOptions::ColumnCount] = {"ColumnOne", "ColumnTwo", "ColumnThree",
                                                                  "ColumnFour", "ColumnFive"};

const char* boolText(bool value)
{
    return value ? "True" : "False";
}

bool isTrue(const IniDocument& ini, const char* section, const char* key, const char* def)
{
    return ini.getString(section, key, def) == "True";
}

// The text of a number as a person would write it: "500", "100.5", "-999".
std::string numberText(double v)
{
    if (v == std::nearbyint(v) && std::fabs(v) < 1e15)
        return std::to_string(static_cast<long long>(v));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// A whole number of a 32-bit range from `v`, halves to even; RuntimeError 6 beyond it.
int32_t toInt32(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        throw RuntimeError(kOverflow, "Overflow");
    return static_cast<int32_t>(r);
}

IniDocument loadOptions()
{
    int err = 0;
    IniDocument ini = IniDocument::load(OptionsFileSpec(), err);
    if (err != 0)
        ThrowDataFileError(err, false, OptionsFileSpec(), GetSystemErrorMessage(err));
    return ini;
}

void readLog(const IniDocument& ini, ProgramOptions& W)
{
    gCloneLog->setRestrictLogSize(isTrue(ini, "Log", "RestrictLogSize", "True"));

    const std::string maxSize = ini.getString("Log", "MaxSize", "500");
    std::string n = "-999";
    if (IsNumericText(maxSize)) {
        const double kb = NumberFromText(maxSize);
        n = numberText(kb);
        gCloneLog->setMaxLogFileSize(toInt32(kb * 1024));
    }
    W.uncheckGroup(M::mnuLogSize100);
    if (n == "100")
        W.setChecked(M::mnuLogSize100, true);
    else if (n == "200")
        W.setChecked(M::mnuLogSize200, true);
    else if (n == "500")
        W.setChecked(M::mnuLogSize500, true);
    else if (n == "1000")
        W.setChecked(M::mnuLogSize1Meg, true);
    else if (n == "-999")
        W.setChecked(M::mnuLogSizeNever, true);

    const bool onlyErrors = ini.getString("Log", "LogOnlyErrors", "False") != "False";
    gCloneLog->setLogOnlyErrors(onlyErrors);
    W.setChecked(M::mnuLogOnlyErrors, onlyErrors);
}

void readComparison(const IniDocument& ini, ProgramOptions& W)
{
    const std::string type = ini.getString("Comparison", "CompareType", "DateTime");
    const int32_t method = type == "Size" ? 1 : type == "Contents" ? 2 : type == "CRC32" ? 3 : 0;
    gCompare->setCompareMethod(method);
    static constexpr M kMethods[] = {M::mnuOptionsCompMethodDateTime, M::mnuOptionsCompMethodSize,
                                     M::mnuOptionsCompMethodContents, M::mnuOptionsCompMethodCRC32};
    W.checkOnly(kMethods[method]);

    const bool twoSec = isTrue(ini, "Comparison", "Ignore2SecDiff", "True");
    gCompare->setIgnoreFAT_NTFS_TwoSecDiff(twoSec);
    W.setChecked(M::mnuOptionsFATIgnore2SecDiff, twoSec);
    const bool dst = isTrue(ini, "Comparison", "IgnoreDaylightSavings", "False");
    gCompare->setIgnoreFAT_NTFS_DaylightSavings(dst);
    W.setChecked(M::mnuOptionsFATIgnoreDST, dst);
    const bool sysFolders = isTrue(ini, "Comparison", "IgnoreSystemFolders", "False");
    gCompare->setIgnoreSystemFolders(sysFolders);
    W.setChecked(M::mnuOptionsIgnoreSystemFolders, sysFolders);
    const bool hiddenFolders = isTrue(ini, "Comparison", "IgnoreHiddenFolders", "True");
    gCompare->setIgnoreHiddenFolders(hiddenFolders);
    W.setChecked(M::mnuOptionsIgnoreHiddenFolders, hiddenFolders);
    const bool sysFiles = isTrue(ini, "Comparison", "IgnoreSystemFiles", "True");
    gCompare->setIgnoreSystemFiles(sysFiles);
    W.setChecked(M::mnuOptionsIgnoreSystemFiles, sysFiles);
    const bool hiddenFiles = isTrue(ini, "Comparison", "IgnoreHiddenFiles", "True");
    gCompare->setIgnoreHiddenFiles(hiddenFiles);
    W.setChecked(M::mnuOptionsIgnoreHiddenFiles, hiddenFiles);
}

void readPriorityRules(const IniDocument& ini)
{
    const int32_t numRules = Integer32FromText(ini.getString("Priority Rules", "NumRules", "0"));
    if (numRules == 0) {
        cPriorityRule all;
        all.StartTime = 0;
        all.EndTime = 1439.0 / 1440.0;
        all.Priority = priority::Low;
        gPriorityRules->Add(all);
        return;
    }
    // Only the rules that are there, in their numbers' order: NumRules may be anything.
    std::vector<int32_t> present;
    constexpr std::string_view prefix = "priorityrule";
    for (const std::string& name : ini.foldedKeyNames("Priority Rules")) {
        if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 10 ||
            !std::ranges::all_of(name.substr(prefix.size()), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const int64_t n = std::stoll(name.substr(prefix.size()));
        if (n >= 1 && n <= numRules && std::to_string(n) == name.substr(prefix.size()))
            present.push_back(static_cast<int32_t>(n));
    }
    std::ranges::sort(present);
    for (const int32_t i : present) {
        const std::string key = "PriorityRule" + std::to_string(i);
        const std::string value = ini.getString("Priority Rules", key, "");
        if (value.empty())
            continue;
        const std::size_t c1 = value.find(',');
        const std::size_t c2 = c1 == std::string::npos ? c1 : value.find(',', c1 + 1);
        if (c2 == std::string::npos)
            throw RuntimeError(kSubscriptOutOfRange, "Subscript out of range: " + key + "=" + value);
        cPriorityRule rule;
        rule.StartTime = DateFromText(value.substr(0, c1));
        rule.EndTime = DateFromText(value.substr(c1 + 1, c2 - c1 - 1));
        rule.Priority = Integer32FromText(value.substr(c2 + 1));
        gPriorityRules->Add(rule);
    }
}

void readMiscellaneous(const IniDocument& ini, ProgramOptions& W)
{
    const std::string run = ini.getString("Miscellaneous", "RunOnWindowsStartup", "AllUsers");
    W.uncheckGroup(M::mnuOptionsRunOnWindowsStartupAnyUser);
    if (run == "AllUsers" || run == "True")
        W.setChecked(M::mnuOptionsRunOnWindowsStartupAnyUser, true);
    else if (run == "CurrentUser")
        W.setChecked(M::mnuOptionsRunOnWindowsStartupCurrentUser, true);
    else if (run == "False")
        W.setChecked(M::mnuOptionsRunOnWindowsStartupNoRun, true);

    W.checkOnly(ini.getString("Miscellaneous", "ShowToolbar", "Show") == "Hide" ? M::mnuOptionsToolbarHide
                                                                                : M::mnuOptionsToolbarShow);

    const int32_t copy = toInt32(LeadingNumber(ini.getString("Miscellaneous", "CopyMethod", "0")));
    const OptionsMenuItem copyItem = mnuOptionsCopyMethod(copy);
    gClone->setCopyMethod(copy);
    W.checkOnly(copyItem);
    const int32_t del = toInt32(LeadingNumber(ini.getString("Miscellaneous", "DeleteMethod", "1")));
    const OptionsMenuItem deleteItem = mnuOptionsDeleteMethod(del);
    gClone->setDeleteMethod(del);
    W.checkOnly(deleteItem);

    const bool prompt = isTrue(ini, "Miscellaneous", "PromptToInsertRemovableDrive", "False");
    gblnPromptToInsertRemovableDrive = prompt;
    W.setChecked(M::mnuOptionsPromptToInsertRemovableDrive, prompt);

    const std::string delay = ini.getString("Miscellaneous", "DelayBeforeFirstTask", "0");
    if (IsNumericText(delay))
        glngDelayBeforeFirstTask = Integer32FromText(delay);

    const bool newer = isTrue(ini, "Miscellaneous", "CopyOnlyIfNewer", "False");
    gClone->setCopyOnlyIfNewer(newer);
    W.setChecked(M::mnuOptionsCopyOnlyIfNewer, newer);
    const bool confirm = isTrue(ini, "Miscellaneous", "ConfirmSyncActions", "True");
    gClone->setConfirmSyncActions(confirm);
    W.setChecked(M::mnuOptionsConfirmSyncActions, confirm);
    const bool create = isTrue(ini, "Miscellaneous", "CreateTargetFolder", "False");
    gClone->setCreateTargetFolder(create);
    W.setChecked(M::mnuOptionsCreateTargetFolder, create);

    const std::string categories = ini.getString("Miscellaneous", "Categories", kDefaultCategories);
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = categories.find(',', pos);
        const std::string name = categories.substr(pos, comma == std::string::npos ? comma : comma - pos);
        if (!name.empty())
            gCategories->Add(name);
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }

    const std::string password = ini.getString("Miscellaneous", "AdminPassword", "");
    if (!password.empty()) {
        gblnPasswordSet = true;
        gstrAdminPassword = unscrambleFn() ? unscrambleFn()(password) : password;
    } else {
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
    }

    // Kestrow's own addition, after the keys of the original file.
    gblnNotifications = isTrue(ini, "Miscellaneous", "Notifications", "True");
    W.setChecked(M::mnuOptionsNotifications, gblnNotifications);

    // The guards of the Target, also Kestrow's own.
    const bool protect = isTrue(ini, "Miscellaneous", "ProtectFromEmptySource", "True");
    gClone->setProtectFromEmptySource(protect);
    W.setChecked(M::mnuOptionsProtectFromEmptySource, protect);
    const std::string percent = ini.getString("Miscellaneous", "MaxDeletePercent", "0");
    if (IsNumericText(percent)) {
        const double value = NumberFromText(percent);
        if (value >= 0 && value <= 100 && value == static_cast<int32_t>(value))
            gClone->setMaxDeletePercent(static_cast<int32_t>(value));
    }
    const bool links = isTrue(ini, "Miscellaneous", "KeepHardLinks", "False");
    gClone->setKeepHardLinks(links);
    W.setChecked(M::mnuOptionsKeepHardLinks, links);

    const bool versions = isTrue(ini, "Miscellaneous", "KeepVersions", "False");
    gClone->setKeepVersions(versions);
    W.setChecked(M::mnuOptionsKeepVersions, versions);
    gClone->setVersionsFolder(ini.getString("Miscellaneous", "VersionsFolder", ""));
    auto count = [&](const char* key, int32_t def, void (cClone::*set)(int32_t)) {
        const std::string text = ini.getString("Miscellaneous", key, std::to_string(def));
        if (!IsNumericText(text))
            return;
        const double value = NumberFromText(text);
        if (value >= 0 && value <= 1000000 && value == static_cast<int32_t>(value))
            (gClone->*set)(static_cast<int32_t>(value));
    };
    count("VersionsKeepDays", cClone::kDefaultVersionsKeepDays, &cClone::setVersionsKeepDays);
    count("VersionsKeepMoments", 0, &cClone::setVersionsKeepMoments);
}

void requireObjects()
{
    if (!gCompare || !gClone || !gCloneLog || !gCloneTasks || !gPriorityRules || !gCategories)
        throw RuntimeError(91, "Object variable or With block variable not set");
}

} // namespace

bool ReadProgramOptionsFromIniFile(ProgramOptions& W)
{
    return Guarded("modIniFile.ReadProgramOptionsFromIniFile", false, [&W] {
        requireObjects();
        const IniDocument ini = loadOptions();
        readLog(ini, W);
        readComparison(ini, W);
        readPriorityRules(ini);

        gblnShowSysTrayReminder = isTrue(ini, "Reminders", "SysTray", "True");
        gblnShowScheduledSyncsMsg = isTrue(ini, "Reminders", "ScheduledSyncsMsg", "True");
        gblnShowSendToRecycleBinMsg = isTrue(ini, "Reminders", "SendToRecycleBinMsg", "True");

        gCloneTasks->setTaskListFileSpec(
            ini.getString("TaskList", "TaskListFileSpec", DefaultTaskListFileSpec()));

        const int32_t height = Integer32FromText(
            ini.getString("Form Dimensions", "Height", std::to_string(ProgramOptions::DefaultFormHeight)));
        W.setFormHeight(std::max(height, ProgramOptions::MinFormHeight));
        const int32_t width = Integer32FromText(
            ini.getString("Form Dimensions", "Width", std::to_string(ProgramOptions::DefaultFormWidth)));
        W.setFormWidth(std::max(width, ProgramOptions::MinFormWidth));

        for (int c = 0; c < ProgramOptions::ColumnCount; ++c) {
            const std::string def =
                std::to_string(ProgramOptions::DefaultColumnWidths[static_cast<std::size_t>(c)]);
            W.setColumnWidth(c, Integer16FromText(ini.getString("ColumnWidths", kColumnKeys[c], def)));
        }

        readMiscellaneous(ini, W);
        return true;
    });
}

bool SaveProgramOptionsToIniFile(const ProgramOptions& W)
{
    // Held from the read to the write: a key another program saves meanwhile is not lost.
    const platform::UpdateLock lock(OptionsFileSpec());
    IniDocument ini;
    bool loaded = false;
    bool ok = Guarded("modIniFile.SaveProgramOptionsToIniFile", false, [&] {
        requireObjects();
        RefuseSaveAtLinkedUpdateLock(lock);
        ini = loadOptions();
        loaded = true;

        ini.setString("Log", "RestrictLogSize", boolText(gCloneLog->RestrictLogSize()));
        static constexpr std::pair<M, const char*> kSizes[] = {{M::mnuLogSize100, "100"},
                                                               {M::mnuLogSize200, "200"},
                                                               {M::mnuLogSize500, "500"},
                                                               {M::mnuLogSize1Meg, "1000"},
                                                               {M::mnuLogSizeNever, "Never"}};
        for (const auto& [item, text] : kSizes) {
            if (W.checked(item)) {
                ini.setString("Log", "MaxSize", text);
                break;
            }
        }
        ini.setString("Log", "LogOnlyErrors", boolText(gCloneLog->LogOnlyErrors()));

        static constexpr const char* kTypes[] = {"DateTime", "Size", "Contents", "CRC32"};
        const int32_t method = gCompare->CompareMethod();
        ini.setString("Comparison", "CompareType", method >= 0 && method <= 3 ? kTypes[method] : "DateTime");
        ini.setString("Comparison", "Ignore2SecDiff", boolText(gCompare->IgnoreFAT_NTFS_TwoSecDiff()));
        ini.setString("Comparison", "IgnoreDaylightSavings",
                      boolText(gCompare->IgnoreFAT_NTFS_DaylightSavings()));
        ini.setString("Comparison", "IgnoreSystemFolders", boolText(gCompare->IgnoreSystemFolders()));
        ini.setString("Comparison", "IgnoreHiddenFolders", boolText(gCompare->IgnoreHiddenFolders()));
        ini.setString("Comparison", "IgnoreSystemFiles", boolText(gCompare->IgnoreSystemFiles()));
        ini.setString("Comparison", "IgnoreHiddenFiles", boolText(gCompare->IgnoreHiddenFiles()));

        const std::vector<cPriorityRule> rules = gPriorityRules->PriorityRules();
        ini.setString("Priority Rules", "NumRules", std::to_string(rules.size()));
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const cPriorityRule& r = rules[i];
            ini.setString("Priority Rules", "PriorityRule" + std::to_string(i + 1),
                          GeneralDateText(r.StartTime) + "," + GeneralDateText(r.EndTime) + "," +
                              std::to_string(r.Priority));
        }

        ini.setString("Reminders", "SysTray", boolText(gblnShowSysTrayReminder));
        ini.setString("Reminders", "ScheduledSyncsMsg", boolText(gblnShowScheduledSyncsMsg));
        ini.setString("Reminders", "SendToRecycleBinMsg", boolText(gblnShowSendToRecycleBinMsg));

        ini.setString("TaskList", "TaskListFileSpec", gCloneTasks->TaskListFileSpec());

        ini.setString("Form Dimensions", "Height", PadLeft(std::to_string(W.FormHeight()), '0', 10));
        ini.setString("Form Dimensions", "Width", PadLeft(std::to_string(W.FormWidth()), '0', 10));
        for (int c = 0; c < ProgramOptions::ColumnCount; ++c)
            ini.setString("ColumnWidths", kColumnKeys[c], PadLeft(std::to_string(W.columnWidth(c)), '0', 10));

        const char* run = W.checked(M::mnuOptionsRunOnWindowsStartupAnyUser)       ? "AllUsers"
                          : W.checked(M::mnuOptionsRunOnWindowsStartupCurrentUser) ? "CurrentUser"
                                                                                   : "False";
        ini.setString("Miscellaneous", "RunOnWindowsStartup", run);
        ini.setString("Miscellaneous", "PromptToInsertRemovableDrive",
                      boolText(gblnPromptToInsertRemovableDrive));
        ini.setString("Miscellaneous", "ShowToolbar", W.checked(M::mnuOptionsToolbarShow) ? "Show" : "Hide");
        ini.setString("Miscellaneous", "CopyMethod", std::to_string(gClone->CopyMethod()));
        ini.setString("Miscellaneous", "DeleteMethod", std::to_string(gClone->DeleteMethod()));
        ini.setString("Miscellaneous", "DelayBeforeFirstTask",
                      std::to_string(glngDelayBeforeFirstTask.load()));
        ini.setString("Miscellaneous", "CopyOnlyIfNewer", boolText(gClone->CopyOnlyIfNewer()));
        ini.setString("Miscellaneous", "ConfirmSyncActions", boolText(gClone->ConfirmSyncActions()));
        ini.setString("Miscellaneous", "CreateTargetFolder", boolText(gClone->CreateTargetFolder()));

        std::string categories;
        for (const cCategory& c : gCategories->Categories()) {
            if (!categories.empty())
                categories += ',';
            categories += c.Name;
        }
        ini.setString("Miscellaneous", "Categories", categories);

        if (gblnPasswordSet)
            ini.setString("Miscellaneous", "AdminPassword",
                          scrambleFn() ? scrambleFn()(gstrAdminPassword) : gstrAdminPassword);
        ini.setString("Miscellaneous", "Notifications", boolText(gblnNotifications));
        ini.setString("Miscellaneous", "ProtectFromEmptySource", boolText(gClone->ProtectFromEmptySource()));
        ini.setString("Miscellaneous", "MaxDeletePercent", std::to_string(gClone->MaxDeletePercent()));
        ini.setString("Miscellaneous", "KeepHardLinks", boolText(gClone->KeepHardLinks()));
        ini.setString("Miscellaneous", "KeepVersions", boolText(gClone->KeepVersions()));
        ini.setString("Miscellaneous", "VersionsFolder", gClone->VersionsFolder());
        ini.setString("Miscellaneous", "VersionsKeepDays", std::to_string(gClone->VersionsKeepDays()));
        ini.setString("Miscellaneous", "VersionsKeepMoments", std::to_string(gClone->VersionsKeepMoments()));
        return true;
    });
    // One write of everything set, also of the keys set before an error.
    if (loaded) {
        const bool written = Guarded("modIniFile.SaveProgramOptionsToIniFile", false, [&ini] {
            if (const int err = ini.save(); err != 0)
                throw RuntimeError(errorNumberFromErrno(err, false), GetSystemErrorMessage(err), err);
            return true;
        });
        ok = ok && written;
    }
    return ok;
}

} // namespace kestrow
