#include "settings/IniDocument.h"

#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <algorithm>
#include <utility>

namespace kestrow {

namespace {

// The characters the profile functions trim around names and values (a line feed
// ends the line first). ^Z is the old DOS end-of-file mark that still turns up in
// files copied from old media.
constexpr std::string_view kProfileBlanks = " \t\r\v\f\x1a";

bool isBlank(char c)
{
    return kProfileBlanks.find(c) != std::string_view::npos;
}

std::string_view trimmed(std::string_view s)
{
    return util::trimmed(s, kProfileBlanks);
}

std::string_view cutAtLineBreak(std::string_view s)
{
    return s.substr(0, s.find_first_of("\r\n"));
}

// ASCII folding only: names are bytes, and other bytes must not change meaning with
// the locale.
std::string folded(std::string_view s)
{
    return util::asciiLower(s);
}

// The name as a lookup or a write uses it: cut at a line break and trimmed.
std::string_view cleanName(std::string_view s)
{
    return trimmed(cutAtLineBreak(s));
}

std::string_view withoutEnclosingQuotes(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// GetPrivateProfileInt reads into a buffer of 30 characters.
constexpr std::size_t IntReadChars = 29;

} // namespace

IniDocument::IniDocument(std::string_view text)
{
    appendSection({}, false);
    uint32_t current = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        std::string_view t;
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            t = text.substr(pos);
            line.eol = Eol::None;
            pos = text.size();
        } else {
            t = text.substr(pos, nl - pos);
            pos = nl + 1;
            if (!t.empty() && t.back() == '\r') {
                t.remove_suffix(1);
                line.eol = Eol::CrLf;
            } else {
                line.eol = Eol::Lf;
            }
        }

        std::size_t lead = 0;
        while (lead < t.size() && isBlank(t[lead]))
            ++lead;
        if (lead < t.size() && t[lead] == '[') {
            const std::size_t close = t.rfind(']');
            if (close != std::string_view::npos && close > lead) {
                current = appendSection(trimmed(t.substr(lead + 1, close - lead - 1)), true, line.eol, t);
                continue;
            }
        }

        line.text.assign(t);
        Section& section = m_sections[current];
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos || current == 0) {
            section.tail.push_back(std::move(line));
            continue;
        }
        // A key line: whatever came between the previous key line and this one now
        // lies inside the keys, not after them.
        for (Line& passed : section.tail)
            section.body.push_back(std::move(passed));
        section.tail.clear();
        line.equals = eq;
        const std::string_view name = trimmed(t.substr(0, eq));
        if (!name.empty())
            section.keys[folded(name)].push_back(static_cast<uint32_t>(section.body.size()));
        section.body.push_back(std::move(line));
    }
}

uint32_t IniDocument::appendSection(std::string_view name, bool withHeader, Eol headerEol,
                                    std::string_view headerText)
{
    const auto index = static_cast<uint32_t>(m_sections.size());
    Section& section = m_sections.emplace_back();
    section.name.assign(name);
    if (withHeader) {
        Line header;
        header.text = headerText.empty() ? "[" + section.name + "]" : std::string(headerText);
        header.eol = headerEol;
        section.body.push_back(std::move(header));
        if (!name.empty())
            m_sectionIndex[folded(name)].push_back(index);
    }
    return index;
}

const IniDocument::Section* IniDocument::findSection(std::string_view section) const
{
    const std::string_view name = cleanName(section);
    if (name.empty())
        return nullptr;
    const auto it = m_sectionIndex.find(folded(name));
    if (it == m_sectionIndex.end() || it->second.empty())
        return nullptr;
    return &m_sections[it->second.front()];
}

IniDocument::Section* IniDocument::findSection(std::string_view section)
{
    return const_cast<Section*>(std::as_const(*this).findSection(section));
}

const IniDocument::Line* IniDocument::findKey(std::string_view section, std::string_view key) const
{
    const Section* s = findSection(section);
    const std::string_view name = cleanName(key);
    if (!s || name.empty())
        return nullptr;
    const auto it = s->keys.find(folded(name));
    if (it == s->keys.end() || it->second.empty())
        return nullptr;
    return &s->body[it->second.front()];
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const
{
    const Line* line = findKey(section, key);
    if (!line)
        return std::nullopt;
    const std::string_view raw = trimmed(std::string_view(line->text).substr(line->equals + 1));
    return std::string(withoutEnclosingQuotes(raw));
}

std::string IniDocument::getString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const
{
    std::optional<std::string> v = value(section, key);
    if (!v || v->empty())
        return std::string(defaultValue);
    if (v->size() > IniMaxValueChars)
        v->resize(IniMaxValueChars);
    return std::move(*v);
}

int32_t IniDocument::getInt(std::string_view section, std::string_view key, int32_t defaultValue) const
{
    const std::optional<std::string> v = value(section, key);
    if (!v || v->empty())
        return defaultValue;
    const std::string_view s = std::string_view(*v).substr(0, IntReadChars);
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    // Unsigned arithmetic: an overlong number wraps instead of overflowing.
    uint32_t total = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        total = total * 10u + static_cast<uint32_t>(s[i] - '0');
    return static_cast<int32_t>(negative ? 0u - total : total);
}

bool IniDocument::hasSection(std::string_view section) const
{
    return findSection(section) != nullptr;
}

std::vector<std::string> IniDocument::foldedKeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    const Section* s = findSection(section);
    if (!s)
        return names;
    for (const auto& [name, lines] : s->keys) {
        if (std::ranges::any_of(lines, [&](uint32_t i) { return !s->body[i].deleted; }))
            names.push_back(name);
    }
    return names;
}

std::vector<std::string> IniDocument::sectionNames() const
{
    std::vector<std::string> names;
    for (std::size_t i = 1; i < m_sections.size(); ++i) {
        if (!m_sections[i].deleted)
            names.push_back(m_sections[i].name);
    }
    return names;
}

void IniDocument::setString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string_view sectionName = cleanName(section);
    const std::string_view keyName = cleanName(key);
    if (sectionName.empty() || keyName.empty())
        return;
    value = cutAtLineBreak(value);

    Section* s = findSection(sectionName);
    if (!s)
        s = &m_sections[appendSection(sectionName, true)];

    std::string foldedKey = folded(keyName);
    const auto it = s->keys.find(foldedKey);
    if (it != s->keys.end() && !it->second.empty()) {
        Line& line = s->body[it->second.front()];
        // Keep the key's own spelling and the blanks after "="; replace only the value.
        std::size_t start = line.equals + 1;
        while (start < line.text.size() && isBlank(line.text[start]))
            ++start;
        if (std::string_view(line.text).substr(start) == value)
            return;
        line.text.resize(start);
        line.text.append(value);
        m_modified = true;
        return;
    }

    Line line;
    line.text.reserve(keyName.size() + 1 + value.size());
    line.text.append(keyName).append("=").append(value);
    line.equals = keyName.size();
    s->keys[std::move(foldedKey)].push_back(static_cast<uint32_t>(s->body.size()));
    s->body.push_back(std::move(line));
    m_modified = true;
}

bool IniDocument::deleteKey(std::string_view section, std::string_view key)
{
    Section* s = findSection(section);
    const std::string_view keyName = cleanName(key);
    if (!s || keyName.empty())
        return false;
    const auto it = s->keys.find(folded(keyName));
    if (it == s->keys.end() || it->second.empty())
        return false;
    Line& line = s->body[it->second.front()];
    line.deleted = true;
    std::string().swap(line.text);
    it->second.erase(it->second.begin());
    if (it->second.empty())
        s->keys.erase(it);
    m_modified = true;
    return true;
}

bool IniDocument::deleteSection(std::string_view section)
{
    const std::string_view name = cleanName(section);
    if (name.empty())
        return false;
    const auto it = m_sectionIndex.find(folded(name));
    if (it == m_sectionIndex.end() || it->second.empty())
        return false;
    Section& s = m_sections[it->second.front()];
    s.deleted = true;
    std::vector<Line>().swap(s.body);
    std::vector<Line>().swap(s.tail);
    s.keys.clear();
    it->second.erase(it->second.begin());
    if (it->second.empty())
        m_sectionIndex.erase(it);
    m_modified = true;
    return true;
}

std::string IniDocument::text() const
{
    std::size_t size = 0;
    for (const Section& s : m_sections) {
        for (const Line& l : s.body)
            size += l.text.size() + 2;
        for (const Line& l : s.tail)
            size += l.text.size() + 2;
    }
    std::string out;
    out.reserve(size);

    // Only the last line of the parsed text can lack its line break; once anything
    // follows it (a new key or section), it needs one.
    bool needsBreak = false;
    const auto emit = [&](const Line& l) {
        if (l.deleted)
            return;
        if (needsBreak) {
            out += '\n';
            needsBreak = false;
        }
        out += l.text;
        switch (l.eol) {
        case Eol::Lf:
            out += '\n';
            break;
        case Eol::CrLf:
            out += "\r\n";
            break;
        case Eol::None:
            needsBreak = true;
            break;
        }
    };
    for (const Section& s : m_sections) {
        if (s.deleted)
            continue;
        for (const Line& l : s.body)
            emit(l);
        for (const Line& l : s.tail)
            emit(l);
    }
    return out;
}

} // namespace kestrow
