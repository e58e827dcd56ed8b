#pragma once
// The texts of a task list file (".kwt"): one INI section per task, named after
// the task, with sixteen keys in a fixed order, and the conversions between those
// texts and a task's values.
//
// Encodings:
// - Booleans are written "True" / "False"; read in any letter case, or as a number
//   (0 false, any other number true).
// - Day numbers (date-times) are written as plain decimal text with at most 15
//   significant digits, "." as the decimal separator, no exponent; read with "." or
//   ",".
// - Integers are written as plain decimal text; a fractional value read is taken to
//   the nearest integer, halves to the even neighbour.
// A text that cannot be converted raises RuntimeError 13 ("Type mismatch"); an
// integer out of range raises RuntimeError 6 ("Overflow"). The message names the
// key, the value and the task, so a person can find it in the file.

#include "base/DateTime.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

class cCloneTask;
class IniDocument;

// The keys of a task's section in the order they are written.
inline constexpr std::array<const char*, 16> TaskListKeys = {
    "SourceFolderSpec", "TargetFolderSpec",   "IncludeSubFolders", "StartTime",
    "IntervalType",     "IntervalIncrement",  "LastCloneDateTime", "NextCloneDateTime",
    "ErrorOnLastClone", "AllFilesAndFolders", "DaysOfWeek",        "IncludeFileSpecs",
    "ExcludeFileSpecs", "IncludeFileMasks",   "ExcludeFileMasks",  "Category",
};

// The field separator of the older one-line-per-task format.
inline constexpr std::string_view OlderFormatSeparator = "~!@#";

// "True" or "False".
const char* BooleanText(bool value);

// A day number as written to a task list file, e.g. "39058.6458333333", "0.5", "0".
std::string DayNumberText(DateValue value);

// Whether `text` (blanks around it allowed) is a decimal number: an optional sign,
// digits with at most one "." or ",", an optional exponent. Empty text is not, nor
// is a number that NumberFromText refuses as out of range.
bool IsNumericText(std::string_view text);

// The number of a numeric text; RuntimeError 13 when it is not numeric.
double NumberFromText(std::string_view text);

// A Boolean text: "True"/"False" in any letter case, or a number. RuntimeError 13
// otherwise.
bool BooleanFromText(std::string_view text);

// An integer text taken to the nearest integer (halves to even). RuntimeError 13
// when not numeric, 6 when outside the type's range.
int16_t Integer16FromText(std::string_view text);
int32_t Integer32FromText(std::string_view text);

// The leading numeric part of a text ("." as decimal point; "12abc" is 12, "abc" is
// 0), as the older format's number fields are read.
double LeadingNumber(std::string_view text);

// A date-time text: the general date format ("12/7/2026 6:37:02 AM", a date alone,
// a time alone, 24-hour "18:30" too) or a day number. RuntimeError 13 otherwise.
DateValue DateFromText(std::string_view text);

// The fields of one line of the older format: the texts between the separators,
// so that joining them with the separator gives the line back.
std::vector<std::string> SplitOlderFormatLine(std::string_view line);

// A number field of the older format: its leading number taken to the nearest
// integer (halves to even). RuntimeError 6 when outside the type's range.
int16_t OlderFormatInteger16(std::string_view field);
int32_t OlderFormatInteger32(std::string_view field);

// What the fields of one older-format line say of their task. Fields 10 to 14 are
// set only when the line has them. The name is as written, illegal characters and
// all.
struct OlderFormatTask
{
    std::string TaskName;
    std::string SourceFolderSpec;
    std::string TargetFolderSpec;
    bool IncludeSubFolders = true;
    DateValue StartTime = 0;
    int16_t IntervalType = 0;
    int32_t IntervalIncrement = 0;
    DateValue LastCloneDateTime = 0;
    DateValue NextCloneDateTime = 0;
    bool ErrorOnLastClone = false;
    std::optional<bool> AllFilesAndFolders;
    std::optional<int32_t> DaysOfWeek;
    std::optional<std::string> IncludeFileMasks;
    std::optional<std::string> ExcludeFileMasks;
    std::optional<std::string> Category;
};

// Converts the fields in field order. RuntimeError 9 with fewer than 10 fields;
// otherwise the error of the first field that cannot be converted (13 or 6).
OlderFormatTask ParseOlderFormatFields(const std::vector<std::string>& fields);

// Writes the task's sixteen keys into its section (named TaskName), replacing
// existing keys in place and appending missing ones, in the key order.
void WriteTaskSection(IniDocument& ini, const cCloneTask& task);

// Writes only what a run changes (LastCloneDateTime, NextCloneDateTime,
// ErrorOnLastClone) into the task's section, which must exist.
void WriteRunFields(IniDocument& ini, const cCloneTask& task);

// A task read from section `sectionName`: TaskName is the section name, then each
// key in the key order with its default when missing or empty (filters after
// AllFilesAndFolders, so a non-empty filter clears it whatever the file says).
// LastCloneDateTime and NextCloneDateTime are applied only when numeric. Raises
// RuntimeError on the first value that cannot be converted.
std::shared_ptr<cCloneTask> ReadTaskSection(const IniDocument& ini, const std::string& sectionName);

} // namespace kestrow
