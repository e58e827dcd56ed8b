// libFuzzer target for the INI reader and writer. The input is taken as the text of
// an INI file. Checked on every input:
// - an unchanged document gives back exactly its bytes;
// - reads never crash and never return more than the read limit;
// - after writes and deletes, the text re-parses to the same text, the same sections
//   and the same values, so the in-memory index never disagrees with the text.

#include "settings/IniDocument.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kestrow::IniDocument;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "INI fuzz check failed: %s\n", what);
        std::abort();
    }
}

struct Pair
{
    std::string section;
    std::string key;
};

// Section and key names as a person would pick them out of the text. They need not
// match the reader's rules: they only steer which names the operations use.
std::vector<Pair> candidateNames(std::string_view text)
{
    std::vector<Pair> pairs;
    std::string section;
    std::size_t pos = 0;
    while (pos < text.size() && pairs.size() < 64) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        const std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        const std::size_t open = line.find('[');
        const std::size_t close = line.rfind(']');
        if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
            section.assign(line.substr(open + 1, close - open - 1));
            pairs.push_back({section, "Key"});
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            pairs.push_back({section, std::string(line.substr(0, eq))});
        }
    }
    return pairs;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1a';
}

// A key the writer can store so that a re-read finds it again: once cut at a line
// break and trimmed, it must be non-empty, hold no "=" and not start a section header.
bool storableKey(std::string_view key)
{
    key = key.substr(0, key.find_first_of("\r\n"));
    while (!key.empty() && isBlank(key.front()))
        key.remove_prefix(1);
    while (!key.empty() && isBlank(key.back()))
        key.remove_suffix(1);
    return !key.empty() && key.find('=') == std::string_view::npos && key.front() != '[';
}

bool storableSection(std::string_view section)
{
    section = section.substr(0, section.find_first_of("\r\n"));
    for (char c : section)
        if (!isBlank(c))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    IniDocument doc(input);
    require(doc.text() == input, "an unchanged document gives back its bytes");
    require(!doc.modified(), "parsing is no change");

    const std::vector<Pair> pairs = candidateNames(input);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const Pair& p = pairs[i];
        const std::string read = doc.getString(p.section, p.key, "default");
        require(read.size() <= kestrow::IniMaxValueChars, "reads respect the limit");
        (void)doc.getInt(p.section, p.key, 7);
        (void)doc.hasSection(p.section);

        const bool storable = storableSection(p.section) && storableKey(p.key);
        const std::string value = "v" + std::to_string(i);
        switch (i % 5) {
        case 0:
        case 3:
            doc.setString(p.section, p.key, value);
            if (storable)
                require(doc.value(p.section, p.key) == value, "a written value reads back");
            break;
        case 1:
            doc.deleteKey(p.section, p.key);
            break;
        case 2:
            doc.setString(p.section, "New" + std::to_string(i), " \"quoted\" ");
            if (storableSection(p.section))
                require(doc.getString(p.section, "new" + std::to_string(i), "") == "quoted",
                        "a new key reads back without blanks and quotes");
            break;
        case 4:
            if (i % 10 == 4)
                doc.deleteSection(p.section);
            break;
        }
    }

    const std::string out = doc.text();
    const IniDocument again(out);
    require(again.text() == out, "written text re-parses to itself");
    require(again.sectionNames() == doc.sectionNames(), "sections survive a re-parse");
    for (const Pair& p : pairs) {
        if (storableSection(p.section) && storableKey(p.key))
            require(again.value(p.section, p.key) == doc.value(p.section, p.key),
                    "values survive a re-parse");
    }
    return 0;
}
