#pragma once
// The program options: the options file kestrow.ini in the data folder, and the
// options model that stands for the main window's side of it (the check marks of
// the Options and Log menus, the window size and the task list's column widths).
//
// The option values themselves live on the objects that use them (gCompare, gClone,
// gCloneLog, gCloneTasks, gPriorityRules, gCategories) and in the shell's module
// state below. The model holds what the window holds. A front end binds its menu
// items to the model: it listens for check-mark changes (the reader sets them at
// start-up, its own handlers set them afterwards) and the writer reads them back at
// shutdown. The model knows nothing of Qt; a front end without menus (the daemon,
// the CLI) simply keeps one that nobody looks at.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrow {

// Module state of the shell that the options file holds (read and written on the
// window thread only).
extern bool gblnShowSysTrayReminder;     // show the tray reminder when the window is closed
extern bool gblnShowScheduledSyncsMsg;   // show "Scheduled Task Not Run" once
extern bool gblnShowSendToRecycleBinMsg; // warn once when the recycle-bin delete method is chosen
extern bool gblnPasswordSet;             // password protection is on
extern std::string gstrAdminPassword;    // the password in clear text, in memory only
extern bool gblnPasswordOK;              // the last password prompt was answered correctly

// The menu items whose check marks are options, named as the controls are. The
// control arrays mnuOptionsCopyMethod (0 to 2) and mnuOptionsDeleteMethod (0 to 3)
// are one enumerator per index.
enum class OptionsMenuItem : int
{
    mnuLogSize100,
    mnuLogSize200,
    mnuLogSize500,
    mnuLogSize1Meg,
    mnuLogSizeNever,
    mnuLogOnlyErrors,
    mnuOptionsCompMethodDateTime,
    mnuOptionsCompMethodSize,
    mnuOptionsCompMethodContents,
    mnuOptionsCompMethodCRC32,
    mnuOptionsFATIgnore2SecDiff,
    mnuOptionsFATIgnoreDST,
    mnuOptionsIgnoreSystemFolders,
    mnuOptionsIgnoreHiddenFolders,
    mnuOptionsIgnoreSystemFiles,
    mnuOptionsIgnoreHiddenFiles,
    mnuOptionsRunOnWindowsStartupCurrentUser,
    mnuOptionsRunOnWindowsStartupAnyUser,
    mnuOptionsRunOnWindowsStartupNoRun,
    mnuOptionsToolbarShow,
    mnuOptionsToolbarHide,
    mnuOptionsCopyMethod0,
    mnuOptionsCopyMethod1,
    mnuOptionsCopyMethod2,
    mnuOptionsDeleteMethod0,
    mnuOptionsDeleteMethod1,
    mnuOptionsDeleteMethod2,
    mnuOptionsDeleteMethod3,
    mnuOptionsPromptToInsertRemovableDrive,
    mnuOptionsCopyOnlyIfNewer,
    mnuOptionsConfirmSyncActions,
    mnuOptionsCreateTargetFolder,
    mnuOptionsNotifications,          // desktop notifications of scheduled tasks (app/Notifications.h)
    mnuOptionsProtectFromEmptySource, // gClone->ProtectFromEmptySource
    mnuOptionsKeepHardLinks,          // gClone->KeepHardLinks
    mnuOptionsKeepVersions,           // gClone->KeepVersions
};
inline constexpr int OptionsMenuItemCount = static_cast<int>(OptionsMenuItem::mnuOptionsKeepVersions) + 1;

// The control name of an item ("mnuLogSize100", "mnuOptionsCopyMethod(1)" for an
// element of a control array).
const char* controlName(OptionsMenuItem item);

// The element `index` of a control array. Throws RuntimeError 9 ("Subscript out of
// range") for an index the array does not have.
OptionsMenuItem mnuOptionsCopyMethod(int32_t index);
OptionsMenuItem mnuOptionsDeleteMethod(int32_t index);

// The items of the group of alternatives `item` belongs to (log sizes, comparison
// methods, start at login, toolbar, copy methods, delete methods), in menu order; a
// toggle item is a group of its own.
std::vector<OptionsMenuItem> optionsMenuGroup(OptionsMenuItem item);

class ProgramOptions
{
public:
    // Window size in twips (1/1440 inch), as the options file keeps it.
    static constexpr int32_t MinFormHeight = 5055;
    static constexpr int32_t MinFormWidth = 8565;
    // The size of a first start: room for the default columns (the minimum cuts the
    // Source and Target columns).
    static constexpr int32_t DefaultFormHeight = 7200;
    static constexpr int32_t DefaultFormWidth = 10800;
    // The screen resolution twips are mapped with (96 dots per inch).
    static constexpr int32_t TwipsPerPixel = 15;
    static constexpr int ColumnCount = 5;
    static constexpr std::array<int16_t, ColumnCount> DefaultColumnWidths{150, 100, 100, 125, 125};

    // Every item unchecked, the window at its default size, the default column widths.
    ProgramOptions() = default;
    ProgramOptions(const ProgramOptions&) = delete;
    ProgramOptions& operator=(const ProgramOptions&) = delete;

    bool checked(OptionsMenuItem item) const { return m_checked[index(item)]; }
    // Sets one check mark; listeners hear of it only when it changes.
    void setChecked(OptionsMenuItem item, bool value);
    // Checks `item` and unchecks the rest of its group.
    void checkOnly(OptionsMenuItem item);
    // Unchecks every item of `item`'s group.
    void uncheckGroup(OptionsMenuItem item);
    // The first checked item of `item`'s group in menu order, or -1 when none is
    // checked; as the position in the group (0 for the first item).
    int checkedInGroup(OptionsMenuItem item) const;

    // The main window's last size in twips (FormHeight, FormWidth). Setters keep
    // what they are given; the reader applies the minimums.
    int32_t FormHeight() const { return m_FormHeight; }
    int32_t FormWidth() const { return m_FormWidth; }
    void setFormHeight(int32_t twips);
    void setFormWidth(int32_t twips);
    // The same in pixels (rounded to the nearest pixel), for a front end.
    int heightPixels() const { return twipsToPixels(m_FormHeight); }
    int widthPixels() const { return twipsToPixels(m_FormWidth); }
    void setSizePixels(int width, int height);
    static int twipsToPixels(int32_t twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }
    static int32_t pixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

    // Width in pixels of the task list's column 0 to 4; other columns read 0 and are
    // not stored.
    int16_t columnWidth(int column) const;
    void setColumnWidth(int column, int16_t pixels);

    // Change notification. A listener is called after the change, on the thread that
    // made it. Returns an id for removeListener.
    using CheckListener = std::function<void(OptionsMenuItem item, bool checked)>;
    using GeometryListener = std::function<void()>;
    int addCheckListener(CheckListener listener);
    int addGeometryListener(GeometryListener listener);
    void removeListener(int id);

private:
    static int index(OptionsMenuItem item) { return static_cast<int>(item); }
    void notifyGeometry();

    std::array<bool, OptionsMenuItemCount> m_checked{};
    int32_t m_FormHeight = DefaultFormHeight;
    int32_t m_FormWidth = DefaultFormWidth;
    std::array<int16_t, ColumnCount> m_columnWidths = DefaultColumnWidths;
    int m_nextListenerId = 1;
    std::vector<std::pair<int, CheckListener>> m_checkListeners;
    std::vector<std::pair<int, GeometryListener>> m_geometryListeners;
};

// Until the password module installs its scramble, the stored AdminPassword text is
// taken and written back as it stands.
using PasswordTransform = std::function<std::string(const std::string&)>;
void setPasswordCodec(PasswordTransform scramble, PasswordTransform unscramble);

// The options file: gstrAppPath + OptionsFileName().
std::string OptionsFileSpec();

// Reads kestrow.ini once, key by key in the file's order, into the program-wide
// objects (which must exist), the module state and `W`:
// - Log: RestrictLogSize (on only for "True"), MaxSize (a number N: MaxLogFileSize =
//   N KB; any other text leaves MaxLogFileSize alone; the size item for 100, 200, 500,
//   1000 or a non-number is checked, any other number checks none), LogOnlyErrors
//   (off only for "False");
// - Comparison, Priority Rules (none: one low-priority rule 00:00 to 23:59), Reminders,
//   TaskList (default gstrAppPath + "Default Task List.kwt"), Form Dimensions (at least
//   5055 x 8565 twips; 7200 x 10800 when missing), ColumnWidths (16-bit pixels), Miscellaneous (start at
//   login "AllUsers" or "True", "CurrentUser", "False", anything else none; the toolbar; copy and delete
//   method; the prompt for removable drives; DelayBeforeFirstTask when numeric; the engine's three switches;
//   Categories, the seven default names when empty; AdminPassword; Notifications into gblnNotifications,
//   default "True"; ProtectFromEmptySource, default "True", and MaxDeletePercent, a whole number from 0 to
//   100, default 0 (anything else leaves it alone), into gClone; KeepHardLinks, default "False", into
//   gClone; KeepVersions, default "False", VersionsFolder (empty: each Target's own), VersionsKeepDays
//   (default 30) and VersionsKeepMoments (default 0), whole numbers of 0 or more (anything else leaves
//   them alone), into gClone).
// A missing file reads as all defaults. Booleans are "True"/"False" exactly, case
// counting. An unexpected error (a method outside its menu array, a non-numeric size
// or width, an unreadable file) stops reading at that key: it is reported as
// "modIniFile.ReadProgramOptionsFromIniFile", what was applied stays, the later
// options keep their holders' values, and false is returned. The start-at-login entry
// itself is not touched.
bool ReadProgramOptionsFromIniFile(ProgramOptions& W);

// Writes every key in the file's order from the objects, the module state and `W`,
// in one atomic write of the whole file (other sections and keys stay as they were).
// MaxSize follows the first checked size item, and is left as it was when none is
// checked; sizes and widths are written zero-padded to 10 characters; AdminPassword
// only while a password is set; Categories empty when there are none. An error is
// reported as "modIniFile.SaveProgramOptionsToIniFile": the keys set before it are
// still written, the later ones keep their old values; false is returned.
bool SaveProgramOptionsToIniFile(const ProgramOptions& W);

// Pads `text` on the left with `padChar` until it has at least `length` characters.
std::string PadLeft(const std::string& text, char padChar, std::size_t length);

} // namespace kestrow
