#include "log/StringAppend.h"

#include "base/ErrorReporter.h"

namespace kestrow {

namespace {
// First allocation large enough for a typical run's log lines, so small
// builders do not go through many tiny regrowths.
constexpr size_t kInitialCapacity = 4096;
} // namespace

void clsStringAppend::Append(std::string_view pstrString)
{
    Guarded("clsStringAppender.Append", [&] {
        if (m_text.capacity() < kInitialCapacity)
            m_text.reserve(kInitialCapacity);
        // std::string grows geometrically; no per-append reallocation of the whole text.
        m_text.append(pstrString);
    });
}

} // namespace kestrow
