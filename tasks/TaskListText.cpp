// The value texts of a task list file and the fields of the older format: pure
// conversions, nothing read or written here.

#include "tasks/TaskListFile.h"

#include "base/ErrorReporter.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kestrow {

namespace {

constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kOverflow = 6;

// Blanks around a value text: the white space of the C locale.
bool isBlank(char c)
{
    return util::kCWhiteSpace.find(c) != std::string_view::npos;
}

std::string_view trimmed(std::string_view s)
{
    return util::trimmed(s, util::kCWhiteSpace);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

[[noreturn]] void typeMismatch()
{
    throw RuntimeError(kTypeMismatch, "Type mismatch");
}

// Length of the number at the start of `s` (sign, digits with one decimal
// separator, exponent), 0 when there is none. `separators` lists the characters
// accepted as the decimal separator.
std::size_t numberPrefix(std::string_view s, std::string_view separators)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && separators.find(s[i]) != std::string_view::npos) {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        const std::size_t expStart = j;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

// Converts a number text (already checked) whatever its decimal separator.
double parseNumber(std::string_view s)
{
    std::string text(s);
    for (char& c : text) {
        if (c == ',')
            c = '.';
    }
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        throw RuntimeError(kOverflow, "Overflow");
    if (ec != std::errc() || ptr != last)
        typeMismatch();
    return value;
}

template <typename T> T integerFromText(std::string_view text)
{
    const double v = std::nearbyint(NumberFromText(text)); // the default rounding: halves to even
    if (!(v >= static_cast<double>(std::numeric_limits<T>::min()) &&
          v <= static_cast<double>(std::numeric_limits<T>::max())))
        throw RuntimeError(kOverflow, "Overflow");
    return static_cast<T>(v);
}

// A number field of the older format: its leading number to the nearest integer.
template <typename T> T olderFormatInteger(std::string_view field)
{
    const double v = std::nearbyint(LeadingNumber(field));
    if (!(v >= static_cast<double>(std::numeric_limits<T>::min()) &&
          v <= static_cast<double>(std::numeric_limits<T>::max())))
        throw RuntimeError(kOverflow, "Overflow");
    return static_cast<T>(v);
}

// Reads one unsigned number from `s` at `i`; false when there are no digits.
bool readUnsigned(std::string_view s, std::size_t& i, int& out)
{
    const std::size_t start = i;
    long v = 0;
    while (i < s.size() && isDigit(s[i]) && i - start < 9)
        v = v * 10 + (s[i++] - '0');
    if (i == start)
        return false;
    out = static_cast<int>(v);
    return true;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return kDays[month - 1];
}

} // namespace

const char* BooleanText(bool value)
{
    return value ? "True" : "False";
}

std::string DayNumberText(DateValue value)
{
    if (!std::isfinite(value) || value == 0)
        return "0";
    // Fifteen significant digits in fixed notation, trailing zeros dropped.
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    int decimals = 14 - exponent;
    if (decimals < 0)
        decimals = 0;
    if (decimals > 60)
        decimals = 60;
    // Room for the largest double written out in full (309 digits) and for the
    // decimals of the smallest.
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return "0";
    std::string text(buf, end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

bool IsNumericText(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (t.empty() || numberPrefix(t, ".,") != t.size())
        return false;
    // A number beyond the range of a double cannot be converted, so it is no number.
    try {
        parseNumber(t);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

double NumberFromText(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (t.empty() || numberPrefix(t, ".,") != t.size())
        typeMismatch();
    return parseNumber(t);
}

bool BooleanFromText(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (util::equalsIgnoringCase(t, "True"))
        return true;
    if (util::equalsIgnoringCase(t, "False"))
        return false;
    return NumberFromText(t) != 0;
}

int16_t Integer16FromText(std::string_view text)
{
    return integerFromText<int16_t>(text);
}

int32_t Integer32FromText(std::string_view text)
{
    return integerFromText<int32_t>(text);
}

double LeadingNumber(std::string_view text)
{
    std::string_view t = text;
    while (!t.empty() && isBlank(t.front()))
        t.remove_prefix(1);
    const std::size_t n = numberPrefix(t, ".");
    if (n == 0)
        return 0;
    try {
        return parseNumber(t.substr(0, n));
    } catch (const RuntimeError&) {
        return 0;
    }
}

DateValue DateFromText(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (t.empty())
        typeMismatch();
    if (IsNumericText(t))
        return NumberFromText(t);

    bool haveDate = false, haveTime = false, haveMeridiem = false, pm = false;
    DateParts parts;
    std::size_t pos = 0;
    while (pos < t.size()) {
        while (pos < t.size() && isBlank(t[pos]))
            ++pos;
        std::size_t end = pos;
        while (end < t.size() && !isBlank(t[end]))
            ++end;
        const std::string_view token = t.substr(pos, end - pos);
        pos = end;
        if (token.empty())
            break;
        if (util::equalsIgnoringCase(token, "AM") || util::equalsIgnoringCase(token, "PM")) {
            if (haveMeridiem || !haveTime)
                typeMismatch();
            haveMeridiem = true;
            pm = util::equalsIgnoringCase(token, "PM");
        } else if (token.find(':') != std::string_view::npos) {
            if (haveTime)
                typeMismatch();
            std::size_t i = 0;
            int h = 0, m = 0, s = 0;
            if (!readUnsigned(token, i, h) || i >= token.size() || token[i++] != ':' ||
                !readUnsigned(token, i, m))
                typeMismatch();
            if (i < token.size()) {
                if (token[i++] != ':' || !readUnsigned(token, i, s))
                    typeMismatch();
            }
            if (i != token.size() || h > 23 || m > 59 || s > 59)
                typeMismatch();
            parts.hour = h;
            parts.minute = m;
            parts.second = s;
            haveTime = true;
        } else if (token.find('/') != std::string_view::npos || token.find('-') != std::string_view::npos) {
            if (haveDate)
                typeMismatch();
            const char sep = token.find('/') != std::string_view::npos ? '/' : '-';
            std::size_t i = 0;
            int a = 0, b = 0, c = 0;
            if (!readUnsigned(token, i, a) || i >= token.size() || token[i++] != sep ||
                !readUnsigned(token, i, b) || i >= token.size() || token[i++] != sep ||
                !readUnsigned(token, i, c) || i != token.size())
                typeMismatch();
            // month/day/year as the general date format writes it; year-month-day
            // as ISO dates do.
            int year = sep == '/' ? c : a, month = sep == '/' ? a : b, day = sep == '/' ? b : c;
            if (year < 100)
                year += year < 30 ? 2000 : 1900;
            if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
                typeMismatch();
            parts.year = year;
            parts.month = month;
            parts.day = day;
            haveDate = true;
        } else {
            typeMismatch();
        }
    }
    if (haveMeridiem) {
        if (parts.hour < 1 || parts.hour > 12)
            typeMismatch();
        parts.hour = parts.hour % 12 + (pm ? 12 : 0);
    }
    if (!haveDate && !haveTime)
        typeMismatch();
    return dateFromParts(parts);
}

std::vector<std::string> SplitOlderFormatLine(std::string_view line)
{
    std::vector<std::string> fields;
    for (;;) {
        const std::size_t at = line.find(OlderFormatSeparator);
        fields.emplace_back(line.substr(0, at));
        if (at == std::string_view::npos)
            return fields;
        line.remove_prefix(at + OlderFormatSeparator.size());
    }
}

int16_t OlderFormatInteger16(std::string_view field)
{
    return olderFormatInteger<int16_t>(field);
}

int32_t OlderFormatInteger32(std::string_view field)
{
    return olderFormatInteger<int32_t>(field);
}

OlderFormatTask ParseOlderFormatFields(const std::vector<std::string>& f)
{
    if (f.size() < 10)
        throw RuntimeError(9, "Subscript out of range");
    OlderFormatTask t;
    t.TaskName = f[0];
    t.SourceFolderSpec = f[1];
    t.TargetFolderSpec = f[2];
    t.IncludeSubFolders = BooleanFromText(f[3]);
    t.StartTime = DateFromText(f[4]);
    t.IntervalType = OlderFormatInteger16(f[5]);
    t.IntervalIncrement = OlderFormatInteger32(f[6]);
    t.LastCloneDateTime = DateFromText(f[7]);
    t.NextCloneDateTime = DateFromText(f[8]);
    t.ErrorOnLastClone = BooleanFromText(f[9]);
    if (f.size() > 10)
        t.AllFilesAndFolders = BooleanFromText(f[10]);
    if (f.size() > 11)
        t.DaysOfWeek = OlderFormatInteger32(f[11]);
    if (f.size() > 12)
        t.IncludeFileMasks = f[12];
    if (f.size() > 13)
        t.ExcludeFileMasks = f[13];
    if (f.size() > 14)
        t.Category = f[14];
    return t;
}

} // namespace kestrow
