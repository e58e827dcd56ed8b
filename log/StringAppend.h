#pragma once
// clsStringAppend: the string builder the log and the differences report collect
// their text in. Appends are amortised constant time, so building a large text
// line by line stays linear.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrow {

class clsStringAppend
{
public:
    clsStringAppend() = default;

    // Adds `pstrString` at the end. An allocation failure is reported as
    // "clsStringAppender.Append" and the text is not added.
    void Append(std::string_view pstrString);

    // The collected text.
    const std::string& CurrentString() const { return m_text; }

    // Length of the collected text in characters. Text is kept as UTF-8 bytes and
    // never re-encoded, so a character here is a byte.
    int64_t Length() const { return static_cast<int64_t>(m_text.size()); }

    // Size of the collected text in bytes: the bytes that writing it out produces
    // (the same as Length(), since nothing is widened to two bytes per character).
    int64_t StringByteSize() const { return static_cast<int64_t>(m_text.size()); }

    // Empties the builder. The storage is kept for the next round of appends.
    void Reset() { m_text.clear(); }

private:
    std::string m_text;
};

} // namespace kestrow
