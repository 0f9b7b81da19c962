#pragma once

#include "StoreError.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// Core text as QString, so that a failed comparison prints readably.
inline QString ToQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar *>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16(const QString &text)
{
    return text.toStdU16String();
}

// The number of the StoreError the call raises, or 0 when it raises none.
template <typename Call> std::int32_t RaisedErrorNumber(Call call)
{
    try {
        call();
    } catch (const StoreError &error) {
        return error.Number();
    }
    return 0;
}
