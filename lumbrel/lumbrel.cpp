// The exports of liblumbrel.so.

#include "lumbrel/lumbrel.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::string_view arg(const LbString* s)
{
    if (!s || !s->data || s->length <= 0)
        return {};
    return {s->data, static_cast<size_t>(s->length)};
}

} // namespace

extern "C" {

void LbFreeString(LbString s)
{
    std::free(s.data);
}

LbString ReplaceMultipleChars(const LbString* text, const LbString* chars, const LbString* replacements)
{
    const std::string_view t = arg(text), listed = arg(chars), by = arg(replacements);

    std::array<unsigned char, 256> map{};
    for (size_t c = 0; c < map.size(); ++c)
        map[c] = static_cast<unsigned char>(c);
    std::array<bool, 256> seen{};
    for (size_t i = 0; i < listed.size(); ++i) {
        const auto c = static_cast<unsigned char>(listed[i]);
        if (seen[c])
            continue;
        seen[c] = true;
        if (i < by.size())
            map[c] = static_cast<unsigned char>(by[i]);
    }

    auto* data = static_cast<char*>(std::malloc(t.size() + 1));
    if (!data)
        return {nullptr, 0};
    for (size_t i = 0; i < t.size(); ++i)
        data[i] = static_cast<char>(map[static_cast<unsigned char>(t[i])]);
    data[t.size()] = '\0';
    return {data, static_cast<int32_t>(t.size())};
}

} // extern "C"
