// libFuzzer target for the older one-line-per-task format ("~!@#" between fields),
// as tasks/TaskListText.cpp splits and converts a line. Checked on every input:
// - the input as a file: each line splits into fields that join back into the
//   line, none holding the separator; converting the fields fails exactly where a
//   field by field reading says (9 for fewer than 10 fields, else the first field
//   that cannot be converted), and otherwise gives each field's value;
// - a task made from the input bytes and written as a line (values in the texts the
//   format allows: Boolean words in any case or numbers, dates in the general, ISO,
//   24-hour or day-number form, numbers with fractions or trailing text) reads back
//   with every value it was written with.

#include "FuzzSupport.h"
#include "NumberReference.h"

#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "tasks/TaskListFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace kestrow;
using fuzz::printable;
using fuzz::require;

constexpr std::string_view kSep = OlderFormatSeparator;

std::string join(const std::vector<std::string>& fields)
{
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += kSep;
        out += fields[i];
    }
    return out;
}

// The RuntimeError number a call raised, or 0 when it returned.
template <typename Fn> int errorOf(Fn&& fn)
{
    try {
        fn();
        return 0;
    } catch (const RuntimeError& e) {
        return e.number();
    }
}

// What a Boolean field reads as, or the error it raises.
int refBoolean(std::string_view field, bool& value)
{
    const std::string_view t = fuzz::refTrim(field);
    if (fuzz::refEqualsNoCase(t, "True") || fuzz::refEqualsNoCase(t, "False")) {
        value = fuzz::refEqualsNoCase(t, "True");
        return 0;
    }
    if (!fuzz::refIsNumeric(t))
        return 13;
    const fuzz::RefNumber n = fuzz::refNumber(t);
    if (n.outOfRange) // refused, or read as a tiny value that is not 0
        return errorOf([&] { value = BooleanFromText(field); }) == 6 ? 6 : (value = true, 0);
    value = n.value != 0;
    return 0;
}

// What a number field reads as: its leading number ("." only) to the nearest
// integer, halves to even; 6 outside [low, high].
int refInteger(std::string_view field, double low, double high, double& value)
{
    std::string_view s = field;
    while (!s.empty() && fuzz::refBlank(s.front()))
        s.remove_prefix(1);
    const std::size_t n = fuzz::refNumberLength(s, false);
    double lead = 0;
    if (n > 0) {
        const fuzz::RefNumber r = fuzz::refNumber(s.substr(0, n));
        lead = r.outOfRange && !(std::isfinite(r.value) && r.value != 0) ? 0 : r.value;
    }
    value = fuzz::refRoundHalfEven(lead);
    return value >= low && value <= high ? 0 : 6;
}

void checkRawLine(std::string_view line)
{
    const std::string shown = printable(line);
    const std::vector<std::string> f = SplitOlderFormatLine(line);
    require(join(f) == line, "fields join back into the line", shown);
    for (const std::string& field : f)
        require(field.find(kSep) == std::string::npos, "no field holds the separator", shown);

    std::optional<OlderFormatTask> t;
    const int error = errorOf([&] { t = ParseOlderFormatFields(f); });
    if (f.size() < 10) {
        require(error == 9, "fewer than 10 fields is error 9", shown);
        return;
    }

    // The fields read one by one in field order; the first failure is the error.
    OlderFormatTask want;
    int expected = 0;
    auto step = [&](int e) {
        if (expected == 0)
            expected = e;
    };
    auto boolean = [&](std::size_t i, bool& out) {
        if (expected == 0)
            step(refBoolean(f[i], out));
    };
    auto date = [&](std::size_t i, DateValue& out) {
        if (expected == 0)
            step(errorOf([&] { out = DateFromText(f[i]); }));
    };
    auto integer = [&](std::size_t i, double low, double high, double& out) {
        if (expected == 0)
            step(refInteger(f[i], low, high, out));
    };
    double intervalType = 0, increment = 0, days = 0;
    bool all = true;
    boolean(3, want.IncludeSubFolders);
    date(4, want.StartTime);
    integer(5, -32768.0, 32767.0, intervalType);
    integer(6, -2147483648.0, 2147483647.0, increment);
    date(7, want.LastCloneDateTime);
    date(8, want.NextCloneDateTime);
    boolean(9, want.ErrorOnLastClone);
    if (f.size() > 10)
        boolean(10, all);
    if (f.size() > 11)
        integer(11, -2147483648.0, 2147483647.0, days);

    require(error == expected, "a line fails at its first bad field", shown);
    if (error != 0)
        return;
    require(t->TaskName == f[0] && t->SourceFolderSpec == f[1] && t->TargetFolderSpec == f[2],
            "name, Source and Target are the fields as written", shown);
    require(t->IncludeSubFolders == want.IncludeSubFolders && t->ErrorOnLastClone == want.ErrorOnLastClone,
            "Boolean fields", shown);
    require(t->StartTime == want.StartTime && t->LastCloneDateTime == want.LastCloneDateTime &&
                t->NextCloneDateTime == want.NextCloneDateTime,
            "date fields", shown);
    require(t->IntervalType == intervalType && t->IntervalIncrement == increment, "number fields", shown);
    require(t->AllFilesAndFolders.has_value() == (f.size() > 10) &&
                t->DaysOfWeek.has_value() == (f.size() > 11) &&
                t->IncludeFileMasks.has_value() == (f.size() > 12) &&
                t->ExcludeFileMasks.has_value() == (f.size() > 13) &&
                t->Category.has_value() == (f.size() > 14),
            "the optional fields are there when the line has them", shown);
    if (t->AllFilesAndFolders)
        require(*t->AllFilesAndFolders == all, "AllFilesAndFolders", shown);
    if (t->DaysOfWeek)
        require(*t->DaysOfWeek == days, "DaysOfWeek", shown);
    if (t->IncludeFileMasks)
        require(*t->IncludeFileMasks == f[12], "include masks as written", shown);
    if (t->ExcludeFileMasks)
        require(*t->ExcludeFileMasks == f[13], "exclude masks as written", shown);
    if (t->Category)
        require(*t->Category == f[14], "category as written", shown);
}

// A free text field: anything but the separator (which is cut short of its "#").
std::string textField(FuzzedDataProvider& in)
{
    std::string s = in.ConsumeRandomLengthString(48);
    for (std::size_t at = s.find(kSep); at != std::string::npos; at = s.find(kSep))
        s.erase(at + kSep.size() - 1, 1);
    return s;
}

std::string randomCase(FuzzedDataProvider& in, std::string word)
{
    for (char& c : word) {
        if (in.ConsumeBool())
            c = static_cast<char>(c >= 'a' ? c - 32 : c + 32);
    }
    return word;
}

std::string blanks(FuzzedDataProvider& in)
{
    static constexpr const char* kBlanks[] = {"", " ", "  ", "\t"};
    return kBlanks[in.ConsumeIntegralInRange<int>(0, 3)];
}

std::string booleanText(FuzzedDataProvider& in, bool value)
{
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return value ? "True" : "False";
    case 1:
        return blanks(in) + randomCase(in, value ? "true" : "false") + blanks(in);
    case 2:
        return value ? "-1" : "0";
    default:
        return value ? (in.ConsumeBool() ? "2.5" : "1e3") : (in.ConsumeBool() ? "0.0" : "-0");
    }
}

struct WrittenDate
{
    std::string text;
    DateValue value;
    bool exact; // false: a day number, which keeps the second but not every bit
};

WrittenDate dateText(FuzzedDataProvider& in)
{
    // 1 January 100 to 31 December 9999; a time of day alone now and then.
    const int32_t days = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<int32_t>(-657434, 2958465);
    const int32_t seconds = in.ConsumeIntegralInRange<int32_t>(0, 86399);
    const DateValue v = static_cast<double>(days) + seconds / 86400.0;
    const DateParts p = partsFromDate(v);
    char buf[64];
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return {blanks(in) + GeneralDateText(v), v, true};
    case 1:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                      p.minute, p.second);
        return {buf, v, true};
    case 2:
        std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d", p.month, p.day, p.year, p.hour, p.minute,
                      p.second);
        return {buf, v, true};
    default:
        return {DayNumberText(v), v, false};
    }
}

struct WrittenNumber
{
    std::string text;
    double value;
};

// An integer field: the value with a fraction or trailing text the reader drops.
WrittenNumber numberText(FuzzedDataProvider& in, int64_t low, int64_t high)
{
    const int64_t k = in.ConsumeIntegralInRange<int64_t>(low + 1, high - 1);
    std::string text = std::to_string(k);
    double value = static_cast<double>(k);
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
        break;
    case 1: // toward zero
        text += ".4";
        break;
    case 2: // away from zero
        text += ".6";
        value += k < 0 || text[0] == '-' ? -1 : 1;
        break;
    case 3: // a half: to the even neighbour
        text += ".5";
        if (k % 2 != 0)
            value += k < 0 ? -1 : 1;
        break;
    case 4:
        text += in.ConsumeBool() ? " days" : "abc";
        break;
    default:
        text = " " + text;
        break;
    }
    return {text, value};
}

void checkWrittenTask(FuzzedDataProvider& in)
{
    const int fieldCount = in.ConsumeIntegralInRange<int>(8, 16);
    std::vector<std::string> f;
    const std::string name = textField(in), source = textField(in), target = textField(in);
    const bool sub = in.ConsumeBool(), error = in.ConsumeBool(), all = in.ConsumeBool();
    const WrittenDate start = dateText(in), last = dateText(in), next = dateText(in);
    const WrittenNumber type = numberText(in, -32768, 32767);
    const WrittenNumber increment = numberText(in, -2147483648LL, 2147483647LL);
    const WrittenNumber days = numberText(in, -2147483648LL, 2147483647LL);
    const std::string include = textField(in), exclude = textField(in), category = textField(in);
    f = {name,           source,    target,    booleanText(in, sub),   start.text,           type.text,
         increment.text, last.text, next.text, booleanText(in, error), booleanText(in, all), days.text,
         include,        exclude,   category};
    while (static_cast<int>(f.size()) < fieldCount)
        f.push_back(textField(in));
    f.resize(static_cast<std::size_t>(fieldCount));

    const std::string line = join(f);
    const std::string shown = printable(line);
    require(SplitOlderFormatLine(line) == f, "a line written from fields splits into those fields", shown);

    std::optional<OlderFormatTask> t;
    const int failure = errorOf([&] { t = ParseOlderFormatFields(f); });
    if (fieldCount < 10) {
        require(failure == 9, "a short line is error 9", shown);
        return;
    }
    require(failure == 0, "a line written from a task reads", shown);
    auto sameDate = [](const WrittenDate& d, DateValue read) {
        if (d.exact)
            return read == d.value;
        const DateParts a = partsFromDate(d.value), b = partsFromDate(read);
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
               a.minute == b.minute && a.second == b.second;
    };
    require(t->TaskName == name && t->SourceFolderSpec == source && t->TargetFolderSpec == target,
            "text fields read back", shown);
    require(t->IncludeSubFolders == sub && t->ErrorOnLastClone == error, "Booleans read back", shown);
    require(sameDate(start, t->StartTime) && sameDate(last, t->LastCloneDateTime) &&
                sameDate(next, t->NextCloneDateTime),
            "dates read back", shown);
    require(t->IntervalType == type.value && t->IntervalIncrement == increment.value, "numbers read back",
            shown);
    if (fieldCount > 10)
        require(t->AllFilesAndFolders == all, "AllFilesAndFolders reads back", shown);
    if (fieldCount > 11)
        require(t->DaysOfWeek == days.value, "DaysOfWeek reads back", shown);
    if (fieldCount > 12)
        require(t->IncludeFileMasks == include, "include masks read back", shown);
    if (fieldCount > 13)
        require(t->ExcludeFileMasks == exclude, "exclude masks read back", shown);
    if (fieldCount > 14)
        require(t->Category == category, "category reads back", shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The input as a file of lines (LF or CR LF).
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        checkRawLine(line);
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }

    FuzzedDataProvider in(data, size);
    checkWrittenTask(in);
    return 0;
}
