#pragma once

#include <QString>

#include <string>
#include <string_view>

// The core's 16-bit text as a QString, unit by unit. QString::fromStdU16String would take a
// leading U+FEFF or U+FFFE for a byte-order mark and drop it or swap the rest.
inline QString ToQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar *>(text.data()), static_cast<qsizetype>(text.size()));
}

// The QString's own units, without a copy: a typed password is read in place, where it will be wiped.
inline std::u16string_view View(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())};
}

inline std::u16string ToU16(const QString &text)
{
    return text.toStdU16String();
}
