#include "StoreError.h"

#include "Text.h"

StoreError::StoreError(std::int32_t number, std::u16string description)
    : std::runtime_error(ToUtf8(description)), number_(number), description_(std::move(description))
{
}

void RaiseInvalidArgument()
{
    throw StoreError(ErrorNumber::InvalidArgument, u"Invalid procedure call or argument");
}
