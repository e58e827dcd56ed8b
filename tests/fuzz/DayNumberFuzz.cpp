// libFuzzer target for the day numbers and the other value texts of a task list
// file (tasks/TaskListText.cpp). Checked on every input:
// - the input as a value text: IsNumericText, NumberFromText, BooleanFromText, the
//   integer readers and LeadingNumber agree with plain reference readings (strtod
//   on the same grammar, "." or "," as the decimal separator); IsNumericText is
//   true exactly when NumberFromText gives a number; DateFromText fails only with
//   "Type mismatch" or "Overflow", and a date it reads comes back through the
//   general date text;
// - the first bytes as a double: DayNumberText writes plain decimal text (no
//   exponent, at most 15 significant digits below 1e15) that reads back within
//   that precision, with "." or ",", and is written again unchanged;
// - the first bytes as a date of years 100 to 9999 in whole seconds: its day number
//   reads back to the same second, and its general, 24-hour and ISO texts read back
//   to the same value.

#include "FuzzSupport.h"
#include "NumberReference.h"

#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "tasks/TaskListFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace kestrow;
using fuzz::printable;
using fuzz::require;

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

void checkValueText(std::string_view text)
{
    const std::string shown = printable(text);
    const bool refNumeric = fuzz::refIsNumeric(text);
    std::optional<double> number;
    const int numberError = errorOf([&] { number = NumberFromText(text); });

    if (!refNumeric) {
        require(numberError == 13, "a text that is no number is a type mismatch", shown);
    } else {
        const fuzz::RefNumber ref = fuzz::refNumber(fuzz::refTrim(text));
        if (!ref.outOfRange) {
            require(numberError == 0, "a number in range converts", shown);
            require(*number == ref.value, "the number read is the nearest double", shown);
        } else {
            // Too large, or below the normal range: refused as an overflow, or read as
            // the same (subnormal or zero) value strtod gives.
            require(numberError == 6 || (numberError == 0 && *number == ref.value),
                    "a number out of range is an overflow", shown);
        }
    }
    require(IsNumericText(text) == (numberError == 0), "numeric exactly when it converts", shown);

    // Booleans: the two words in any letter case, else any number.
    std::optional<bool> flag;
    const int flagError = errorOf([&] { flag = BooleanFromText(text); });
    const std::string_view t = fuzz::refTrim(text);
    if (fuzz::refEqualsNoCase(t, "True") || fuzz::refEqualsNoCase(t, "False")) {
        require(flagError == 0 && *flag == fuzz::refEqualsNoCase(t, "True"), "Boolean words", shown);
    } else {
        require(flagError == numberError, "a Boolean fails as its number does", shown);
        if (numberError == 0)
            require(*flag == (*number != 0), "a numeric Boolean is true when not 0", shown);
    }

    // Integers: the number to the nearest integer, halves to even; overflow outside.
    auto checkInteger = [&](auto read, double low, double high, const char* what) {
        std::optional<double> got;
        const int error = errorOf([&] { got = static_cast<double>(read(text)); });
        if (numberError != 0) {
            require(error == numberError, what, shown);
            return;
        }
        const double rounded = fuzz::refRoundHalfEven(*number);
        if (rounded >= low && rounded <= high)
            require(error == 0 && *got == rounded, what, shown);
        else
            require(error == 6, what, shown);
    };
    checkInteger(Integer16FromText, -32768.0, 32767.0, "16-bit integer text");
    checkInteger(Integer32FromText, -2147483648.0, 2147483647.0, "32-bit integer text");

    // The older format's leading number: "." only, never an error.
    {
        std::string_view s = text;
        while (!s.empty() && fuzz::refBlank(s.front()))
            s.remove_prefix(1);
        const std::size_t n = fuzz::refNumberLength(s, false);
        double lead = 0;
        require(errorOf([&] { lead = LeadingNumber(text); }) == 0, "LeadingNumber never fails", shown);
        if (n == 0) {
            require(lead == 0, "no leading number is 0", shown);
        } else {
            const fuzz::RefNumber ref = fuzz::refNumber(s.substr(0, n));
            require(lead == ref.value || (ref.outOfRange && lead == 0), "the leading number", shown);
        }
    }

    // Dates.
    std::optional<DateValue> date;
    const int dateError = errorOf([&] { date = DateFromText(text); });
    if (refNumeric) {
        // A number out of range is no number, and no date text either.
        require(numberError == 0 ? dateError == 0 && *date == *number : dateError == 13,
                "a numeric date is its day number", shown);
    } else if (dateError != 0) {
        require(dateError == 13, "a date text that cannot be read is a type mismatch", shown);
    } else {
        require(std::isfinite(*date), "a date read is finite", shown);
        // Years up to nine digits can be typed; the day count keeps whole seconds only
        // up to some ten million days.
        if (std::fabs(*date) < 1e7) {
            const std::string general = GeneralDateText(*date);
            std::optional<DateValue> again;
            require(errorOf([&] { again = DateFromText(general); }) == 0, "a general date text reads",
                    shown + " -> " + general);
            require(*again == *date, "a date read comes back through its general text",
                    shown + " -> " + general);
        }
    }
}

bool plainDecimal(const std::string& t)
{
    std::size_t i = t[0] == '-' ? 1 : 0;
    const std::size_t intStart = i;
    while (i < t.size() && fuzz::refDigit(t[i]))
        ++i;
    if (i == intStart || (t[intStart] == '0' && i - intStart > 1))
        return false;
    if (i == t.size())
        return t != "-0";
    if (t[i] != '.')
        return false;
    const std::size_t fracStart = ++i;
    while (i < t.size() && fuzz::refDigit(t[i]))
        ++i;
    return i == t.size() && i > fracStart && t.back() != '0';
}

std::size_t significantDigits(const std::string& t)
{
    std::string digits;
    for (const char c : t) {
        if (fuzz::refDigit(c))
            digits += c;
    }
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0;
    // Zeros closing the integer part of a whole number hold its place, not precision.
    std::size_t last = digits.size();
    if (t.find('.') == std::string::npos) {
        while (last > first + 1 && digits[last - 1] == '0')
            --last;
    }
    return last - first;
}

void checkDayNumber(double v)
{
    char shownBuf[64];
    std::snprintf(shownBuf, sizeof shownBuf, "%.17g", v);
    const std::string t = DayNumberText(v);
    const std::string shown = std::string(shownBuf) + " -> " + t;
    require(!t.empty() && plainDecimal(t), "a day number is plain decimal text", shown);
    if (std::fabs(v) < 1e15)
        require(significantDigits(t) <= 15, "at most 15 significant digits", shown);

    std::optional<double> w;
    require(errorOf([&] { w = NumberFromText(t); }) == 0, "a day number written reads back", shown);
    require(std::fabs(*w - v) <= 1e-14 * std::fabs(v) + 1e-60, "a day number reads back within its digits",
            shown);

    std::string comma = t;
    for (char& c : comma) {
        if (c == '.')
            c = ',';
    }
    std::optional<double> wc;
    require(errorOf([&] { wc = NumberFromText(comma); }) == 0 && *wc == *w, "a decimal comma reads the same",
            shown);
    require(DayNumberText(*w) == t, "a day number read is written again unchanged", shown);
}

void checkDate(int32_t days, int32_t seconds)
{
    const DateValue v = static_cast<double>(days) + seconds / 86400.0;
    const DateParts p = partsFromDate(v);
    const std::string dayText = DayNumberText(v);
    const std::string shown = dayText + " = " + GeneralDateText(v);

    const DateParts back = partsFromDate(NumberFromText(dayText));
    require(back.year == p.year && back.month == p.month && back.day == p.day && back.hour == p.hour &&
                back.minute == p.minute && back.second == p.second,
            "a date's day number reads back to the same second", shown);

    char iso[64], clock24[64];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    std::snprintf(clock24, sizeof clock24, "%d/%d/%d %d:%02d:%02d", p.month, p.day, p.year, p.hour, p.minute,
                  p.second);
    for (const std::string& text : {GeneralDateText(v), std::string(iso), std::string(clock24)}) {
        std::optional<DateValue> read;
        require(errorOf([&] { read = DateFromText(text); }) == 0, "a date text reads", shown + " / " + text);
        require(*read == v, "a date text reads back to the same value", shown + " / " + text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    checkValueText(std::string_view(reinterpret_cast<const char*>(data), size));

    FuzzedDataProvider in(data, size);
    double v = 0;
    if (size >= sizeof v) {
        std::memcpy(&v, data, sizeof v);
        if (std::isfinite(v))
            checkDayNumber(v);
    }
    // 1 January 100 and 31 December 9999 as day numbers.
    const int32_t days = in.ConsumeIntegralInRange<int32_t>(-657434, 2958465);
    const int32_t seconds = in.ConsumeIntegralInRange<int32_t>(0, 86399);
    checkDate(days, seconds);
    checkDayNumber(in.ConsumeFloatingPoint<double>());
    return 0;
}
