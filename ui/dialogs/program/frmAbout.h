#pragma once
// The about box of the Help menu ("About Kestrow"): the program's name, version and
// purpose, OK, and "&System Info..." which opens frmSystemInfo over it.
//
// frmSystemInfo ("System Information") lists what a support question needs: the
// program's version and folders, the options, task list and log files, the
// operating system, kernel, processor architecture, desktop session, Qt, the tray,
// the start-at-login entry and the free space of the data folder. Its "&Copy"
// button puts the whole list on the clipboard.

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QPlainTextEdit;

namespace kestrow::gui {

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // "Version " and the program's version.
    static QString VersionText();

    // Opens the system information window modally.
    void cmdSysInfo_Click();
};

class frmSystemInfo : public QDialog
{
    Q_OBJECT
public:
    explicit frmSystemInfo(QWidget* parent = nullptr);

    // The facts shown, as (name, value) in display order, read at the time of the
    // call. A value the system does not give is "(unknown)".
    static std::vector<std::pair<std::string, std::string>> SystemInformation();

    // The shown text: one "name: value" line per fact.
    QString text() const;

    // Puts text() on the clipboard.
    void cmdCopy_Click();

private:
    QPlainTextEdit* m_txtSystemInfo;
};

} // namespace kestrow::gui
