#pragma once
// Plain reference readings of the task list's number and Boolean texts, written
// apart from the program's code so that the two can be held against each other.
// strtod runs in the "C" locale here (a fuzz target never calls setlocale).

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace kestrow::fuzz {

inline bool refBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

inline std::string_view refTrim(std::string_view s)
{
    std::size_t a = 0, b = s.size();
    while (a < b && refBlank(s[a]))
        ++a;
    while (b > a && refBlank(s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

inline bool refDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the longest number at the start of `s`: sign, digits around at most one
// decimal separator (one digit at least), then an exponent when it has digits.
inline std::size_t refNumberLength(std::string_view s, bool commaToo)
{
    std::size_t i = 0;
    auto digitsFrom = [&](std::size_t& at) {
        const std::size_t start = at;
        while (at < s.size() && refDigit(s[at]))
            ++at;
        return at - start;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t mantissa = digitsFrom(i);
    if (i < s.size() && (s[i] == '.' || (commaToo && s[i] == ','))) {
        ++i;
        mantissa += digitsFrom(i);
    }
    if (mantissa == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (digitsFrom(j) > 0)
            i = j;
    }
    return i;
}

inline bool refIsNumeric(std::string_view text)
{
    const std::string_view t = refTrim(text);
    return !t.empty() && refNumberLength(t, true) == t.size();
}

struct RefNumber
{
    double value = 0;
    bool outOfRange = false; // too large, or too small to be a normal double
};

// The value of a text that refNumberLength accepted in full.
inline RefNumber refNumber(std::string_view numeric)
{
    std::string text(numeric);
    for (char& c : text) {
        if (c == ',')
            c = '.';
    }
    errno = 0;
    RefNumber r;
    r.value = std::strtod(text.c_str(), nullptr);
    r.outOfRange = errno == ERANGE || std::isinf(r.value) || (r.value != 0 && std::fabs(r.value) < DBL_MIN);
    return r;
}

// Halves to the even neighbour, without the rounding-mode functions.
inline double refRoundHalfEven(double v)
{
    const double f = std::floor(v);
    const double d = v - f;
    if (d > 0.5)
        return f + 1;
    if (d < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

inline bool refEqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

} // namespace kestrow::fuzz
