#pragma once

// Conversions between the core's UTF-8 std::string and Qt's QString.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string>

namespace kestrow::gui {

// `text` read as UTF-8 (invalid sequences become replacement characters).
inline QString q(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// `text` as UTF-8 bytes.
inline std::string s(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace kestrow::gui
