#include "tasks/TaskListFile.h"

#include "app/services/ErrorReporter.h"
#include "settings/IniDocument.h"
#include "tasks/cCloneTask.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace kestrow {

namespace {

constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kOverflow = 6;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
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
    char buf[128];
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
    return !t.empty() && numberPrefix(t, ".,") == t.size();
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
    if (equalsNoCase(t, "True"))
        return true;
    if (equalsNoCase(t, "False"))
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
        if (equalsNoCase(token, "AM") || equalsNoCase(token, "PM")) {
            if (haveMeridiem || !haveTime)
                typeMismatch();
            haveMeridiem = true;
            pm = equalsNoCase(token, "PM");
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

void WriteTaskSection(IniDocument& ini, const cCloneTask& task)
{
    const std::string& s = task.TaskName();
    const std::array<std::string, 16> values = {
        task.SourceFolderSpec(),
        task.TargetFolderSpec(),
        BooleanText(task.IncludeSubFolders()),
        DayNumberText(task.StartTime()),
        std::to_string(task.IntervalType()),
        std::to_string(task.IntervalIncrement()),
        DayNumberText(task.LastCloneDateTime()),
        DayNumberText(task.NextCloneDateTime()),
        BooleanText(task.ErrorOnLastClone()),
        BooleanText(task.AllFilesAndFolders()),
        std::to_string(task.DaysOfWeek()),
        task.IncludeFileSpecs(),
        task.ExcludeFileSpecs(),
        task.IncludeFileMasks(),
        task.ExcludeFileMasks(),
        task.Category(),
    };
    for (std::size_t i = 0; i < TaskListKeys.size(); ++i)
        ini.setString(s, TaskListKeys[i], values[i]);
}

std::shared_ptr<cCloneTask> ReadTaskSection(const IniDocument& ini, const std::string& sectionName)
{
    auto task = std::make_shared<cCloneTask>();
    task->setTaskName(sectionName);
    // The value uncut (a long include list must not lose its tail), or the default
    // when it is missing or empty.
    auto text = [&](const char* key, const char* defaultValue) {
        std::optional<std::string> v = ini.value(sectionName, key);
        return v && !v->empty() ? std::move(*v) : std::string(defaultValue);
    };
    // Converts one value; a failure names where it is.
    auto convert = [&](const char* key, const char* defaultValue, auto&& fn) {
        const std::string v = text(key, defaultValue);
        try {
            return fn(v);
        } catch (const RuntimeError& e) {
            throw RuntimeError(e.number(), std::string(e.what()) + ": " + key + "=" + v + " in task \"" +
                                               sectionName + "\"");
        }
    };

    task->setSourceFolderSpec(text("SourceFolderSpec", ""));
    task->setTargetFolderSpec(text("TargetFolderSpec", ""));
    task->setIncludeSubFolders(convert("IncludeSubFolders", "True", BooleanFromText));
    task->setStartTime(convert("StartTime", "0.5", NumberFromText));
    task->setIntervalType(convert("IntervalType", "0", Integer16FromText));
    task->setIntervalIncrement(convert("IntervalIncrement", "1", Integer32FromText));
    if (const std::string v = text("LastCloneDateTime", ""); IsNumericText(v))
        task->setLastCloneDateTime(convert("LastCloneDateTime", "", NumberFromText));
    if (const std::string v = text("NextCloneDateTime", ""); IsNumericText(v))
        task->setNextCloneDateTime(convert("NextCloneDateTime", "", NumberFromText));
    task->setErrorOnLastClone(convert("ErrorOnLastClone", "False", BooleanFromText));
    task->setAllFilesAndFolders(convert("AllFilesAndFolders", "True", BooleanFromText));
    task->setDaysOfWeek(convert("DaysOfWeek", "127", Integer32FromText));
    task->setIncludeFileSpecs(text("IncludeFileSpecs", ""));
    task->setExcludeFileSpecs(text("ExcludeFileSpecs", ""));
    task->setIncludeFileMasks(text("IncludeFileMasks", ""));
    task->setExcludeFileMasks(text("ExcludeFileMasks", ""));
    task->setCategory(text("Category", "Unfiled"));
    return task;
}

} // namespace kestrow
