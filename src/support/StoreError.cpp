#include "StoreError.h"

#include "Text.h"

std::int32_t ErrorCode(StoreErrorKind kind)
{
    switch (kind) {
    case StoreErrorKind::InvalidArgument:
        return 5;
    case StoreErrorKind::Overflow:
        return 6;
    case StoreErrorKind::NotANumber:
        return 13;
    case StoreErrorKind::Unbound:
        return 91;
    case StoreErrorKind::NullValue:
        return 94;
    case StoreErrorKind::EngineFailed:
        return 3000;
    case StoreErrorKind::FileNotFound:
        return 3024;
    case StoreErrorKind::ReadOnly:
        return 3027;
    case StoreErrorKind::ForeignObjects:
        return 3049;
    case StoreErrorKind::FileRefused:
        return 3051;
    case StoreErrorKind::TableNotFound:
        return 3078;
    case StoreErrorKind::InvalidName:
        return 3125;
    case StoreErrorKind::Locked:
        return 3260;
    case StoreErrorKind::UnrecognizedFormat:
        return 3343;
    case StoreErrorKind::SessionClosed:
        return 3420;
    }
    return 0;
}

StoreError::StoreError(StoreErrorKind kind, std::u16string description)
    : std::runtime_error(ToUtf8(description)), kind_(kind), description_(std::move(description))
{
}

void RaiseInvalidArgument()
{
    throw StoreError(StoreErrorKind::InvalidArgument, u"Invalid procedure call or argument");
}
