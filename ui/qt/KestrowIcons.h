#pragma once
// The program's pictures, drawn in code so they look the same on every desktop
// whether or not an icon theme is installed: the tray icon in its four states,
// the task list's four row icons, the six toolbar images (normal, disabled and
// hot), the stop sign of the status bar and the paused background of the task list.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace kestrow::gui {

// The tray (and window) icon pictures.
enum class AppIconKind
{
    Normal,  // imgAppIcon
    Error,   // imgAppIconError: some task's last run had an error
    Paused,  // imgAppIconPaused: the scheduler is paused
    Animate, // imgAppAnimate: the second frame of the run animation
};
QIcon appIcon(AppIconKind kind);

// The row icons of the task list, numbered as the image list numbers them.
enum class RowIcon
{
    LVWTask = 1,
    LVWErrorTask = 2,
    LVWNextTask = 3,
    LVWErrorNextTask = 4,
};
QIcon rowIcon(RowIcon icon);

// A toolbar image by its item key ("NEWTASK", "DELETETASK", "RUNTASK",
// "TASKPROPERTIES", "VIEWLOG", "HELP"): the normal picture, the disabled one
// (QIcon::Disabled) and the hot one (QIcon::Active). An unknown key gives a null icon.
QIcon toolbarIcon(const QString& key);

// The status bar's "stopsign" picture.
QIcon stopSignIcon();

// imgPaused: the task list's background while the scheduler is paused, drawn for a
// viewport of `width` x `height` pixels: the picture centred on a transparent
// ground, in a shade that shows on `base` (the list's background colour).
QPixmap pausedBackground(int width, int height, const QColor& base);

// The picture of a file selection tree's folder that holds checked items somewhere
// below it: `folder` (the tree's own folder picture) with a tick on it.
QIcon selectionFolderIcon(const QIcon& folder);

} // namespace kestrow::gui
