#pragma once

#include "QtText.h"
#include "StoreError.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

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
