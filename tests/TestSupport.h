#pragma once

#include "QtText.h"
#include "StoreError.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The kind of the StoreError the call raises, or nothing when it raises none.
template <typename Call> std::optional<StoreErrorKind> RaisedError(Call call)
{
    try {
        call();
    } catch (const StoreError &error) {
        return error.Kind();
    }
    return std::nullopt;
}
