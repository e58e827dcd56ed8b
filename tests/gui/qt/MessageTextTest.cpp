// Message boxes wrap by their width: the program's texts, written with line breaks
// for a fixed box, lose only the breaks that fall inside a sentence.

#include "ui/qt/QtUiServices.h"

#include <QString>

#include <gtest/gtest.h>

namespace kestrow::gui {
namespace {

TEST(MessageText, BreaksInsideASentenceBecomeBlanksAndTheOthersStay)
{
    struct Row
    {
        const char* name;
        const char* text;
        const char* shown;
    };
    const Row rows[] = {
        {"mid-sentence lines join",
         "Kestrow's purpose is to make a Target folder\nidentical to a Source folder. In order to do this, "
         "all "
         "orphan\nfiles and folders in the Target folder will be DELETED.\n\nIf you do not want orphans to "
         "be "
         "deleted, select\n'Do Not Delete' from the Delete Methods menu.",
         "Kestrow's purpose is to make a Target folder identical to a Source folder. In order to do this, "
         "all "
         "orphan files and folders in the Target folder will be DELETED.\n\nIf you do not want orphans to be "
         "deleted, select 'Do Not Delete' from the Delete Methods menu."},
        {"a blank before the break is not doubled",
         "check the system's regional settings, \nselect the Time tab",
         "check the system's regional settings, select the Time tab"},
        {"list items and what ends in a colon keep their lines",
         "Please check the following:\n\n1) The value must be a positive number\n2) The value cannot be less "
         "than 5\n",
         "Please check the following:\n\n1) The value must be a positive number\n2) The value cannot be less "
         "than 5\n"},
        {"a name after a colon keeps its line",
         "The following scheduled task was not run:\nNightly\n\nScheduled",
         "The following scheduled task was not run:\nNightly\n\nScheduled"},
        {"sentences keep their breaks", "Done.\nNext one!\nReally?\nYes", "Done.\nNext one!\nReally?\nYes"},
        {"no breaks at all", "One line", "One line"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ReflowedMessageText(row.text), QString::fromUtf8(row.shown)) << row.name;
}

} // namespace
} // namespace kestrow::gui
