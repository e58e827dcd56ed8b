#include "settings/modEncryption.h"

#include "zelcommon/ZelCommon.h"

#include <array>
#include <optional>
#include <string_view>

namespace kestrow {

namespace {

// Every character a scrambled password may hold, in the order T2 counts in.
constexpr std::string_view kAlphabet =
    "kWRQbOGCT8SgraYm~2&%i$?fvy0HzjAKwMp1xnBL3Jq9Uc!sF>tIeN@D<XZ*7l64hd5Pou^EV#";
static_assert(kAlphabet.size() == 74);

// T1 writes each byte as two characters: its high half through kHigh, its low half
// through kLow.
constexpr std::string_view kHigh = "25?yzm*N<caX$7K3";
constexpr std::string_view kLow = "s?bevMt56>4A%GQ0";

constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kDigitsTo = "7941802356";
constexpr std::string_view kSymbols = "~!@#$%^&*<>?";
constexpr std::string_view kSymbolsTo = "<%#@>!$?~&^*";

constexpr std::string_view kFrontFiller = "k~";
constexpr std::string_view kBackFiller = "#Q";

// T2 shifts each character along the alphabet by an amount that depends on its
// position and on the character written before it, so one changed byte changes
// everything after it.
constexpr char kT2Seed = 'j';
constexpr std::size_t kT2Step = 5;
constexpr std::size_t kT2Offset = 11;

constexpr int kNone = -1;

// Position of each byte in `chars`, kNone for bytes it does not hold.
constexpr std::array<int, 256> indexOf(std::string_view chars)
{
    std::array<int, 256> index{};
    index.fill(kNone);
    for (std::size_t i = 0; i < chars.size(); ++i)
        index[static_cast<unsigned char>(chars[i])] = static_cast<int>(i);
    return index;
}

constexpr auto kAlphabetIndex = indexOf(kAlphabet);
constexpr auto kHighIndex = indexOf(kHigh);
constexpr auto kLowIndex = indexOf(kLow);

int alphabetIndex(char c)
{
    return kAlphabetIndex[static_cast<unsigned char>(c)];
}

std::string T1(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += kHigh[byte >> 4];
        out += kLow[byte & 0x0F];
    }
    return out;
}

std::optional<std::string> InverseT1(const std::string& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = kHighIndex[static_cast<unsigned char>(text[i])];
        const int low = kLowIndex[static_cast<unsigned char>(text[i + 1])];
        if (high == kNone || low == kNone)
            return std::nullopt;
        out += static_cast<char>((high << 4) | low);
    }
    return out;
}

std::size_t T2Shift(std::size_t position, char previous)
{
    return static_cast<std::size_t>(alphabetIndex(previous)) + kT2Step * position + kT2Offset;
}

// Only called on alphabet text.
std::string T2(const std::string& text)
{
    const std::size_t n = kAlphabet.size();
    std::string out(text.size(), '\0');
    char previous = kT2Seed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[i] = kAlphabet[(static_cast<std::size_t>(alphabetIndex(text[i])) + T2Shift(i, previous)) % n];
        previous = out[i];
    }
    return out;
}

std::optional<std::string> InverseT2(const std::string& text)
{
    const std::size_t n = kAlphabet.size();
    std::string out(text.size(), '\0');
    char previous = kT2Seed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int index = alphabetIndex(text[i]);
        if (index == kNone)
            return std::nullopt;
        out[i] = kAlphabet[(static_cast<std::size_t>(index) + n - T2Shift(i, previous) % n) % n];
        previous = text[i];
    }
    return out;
}

// Replaces every character found in `from` by the one at the same place in `to`.
std::string Translate(std::string text, std::string_view from, std::string_view to)
{
    for (char& c : text)
        if (const std::size_t at = from.find(c); at != std::string_view::npos)
            c = to[at];
    return text;
}

} // namespace

std::string ScramblePassword(const std::string& text)
{
    if (text.empty())
        return {};
    std::string s = std::string(kFrontFiller) + text + std::string(kBackFiller);
    s.assign(s.rbegin(), s.rend());
    s = T1(s);
    for (int round = 0; round < 3; ++round)
        s = T2(s);
    // The text holds no blank, so ToggleCase never takes it for blank.
    s = zc::ToggleCase(s);
    s = Translate(std::move(s), kDigits, kDigitsTo);
    return Translate(std::move(s), kSymbols, kSymbolsTo);
}

std::string UnscramblePassword(const std::string& text)
{
    if (text.empty())
        return {};
    std::string s = Translate(text, kSymbolsTo, kSymbols);
    s = Translate(std::move(s), kDigitsTo, kDigits);
    s = zc::ToggleCase(s);
    for (int round = 0; round < 3; ++round) {
        std::optional<std::string> undone = InverseT2(s);
        if (!undone)
            return text;
        s = std::move(*undone);
    }
    std::optional<std::string> bytes = InverseT1(s);
    if (!bytes)
        return text;
    s.assign(bytes->rbegin(), bytes->rend());
    const std::size_t fillers = kFrontFiller.size() + kBackFiller.size();
    if (s.size() < fillers || !s.starts_with(kFrontFiller) || !s.ends_with(kBackFiller))
        return text;
    return s.substr(kFrontFiller.size(), s.size() - fillers);
}

} // namespace kestrow
