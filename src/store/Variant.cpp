#include "Variant.h"

#include "StoreError.h"
#include "Text.h"

#include <charconv>
#include <limits>
#include <utility>

Variant Variant::Null()
{
    return Variant(NullTag{});
}

Variant::Kind Variant::kind() const
{
    return static_cast<Kind>(value_.index());
}

std::u16string Variant::ToText() &&
{
    if (kind() == Kind::Text)
        return std::move(std::get<std::u16string>(value_));
    return std::as_const(*this).ToText();
}

std::u16string Variant::ToText() const &
{
    switch (kind()) {
    case Kind::Empty:
        return {};
    case Kind::Null:
        throw StoreError(StoreErrorKind::NullValue, u"Invalid use of Null");
    case Kind::Integer:
        return ToDecimal(std::get<std::int64_t>(value_));
    case Kind::Text:
        break;
    }
    return std::get<std::u16string>(value_);
}

std::int64_t Variant::ToInteger() const
{
    switch (kind()) {
    case Kind::Empty:
        return 0;
    case Kind::Null:
        throw StoreError(StoreErrorKind::NullValue, u"Invalid use of Null");
    case Kind::Integer:
        return std::get<std::int64_t>(value_);
    case Kind::Text:
        break;
    }
    const std::string digits = ToUtf8(std::get<std::u16string>(value_));
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error == std::errc::result_out_of_range)
        throw StoreError(StoreErrorKind::Overflow, u"Overflow");
    if (error != std::errc() || end != digits.data() + digits.size())
        throw StoreError(StoreErrorKind::NotANumber, u"Type mismatch");
    return number;
}

std::int32_t Variant::ToLong() const
{
    const std::int64_t number = ToInteger();
    if (number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max())
        throw StoreError(StoreErrorKind::Overflow, u"Overflow");
    return static_cast<std::int32_t>(number);
}

bool operator==(const Variant &a, const Variant &b)
{
    if (a.IsNull() || b.IsNull())
        return a.IsNull() && b.IsNull();
    if (a.kind() == Variant::Kind::Text || b.kind() == Variant::Kind::Text)
        return a.ToText() == b.ToText();
    return a.ToInteger() == b.ToInteger();
}

Variant NullToEmpty(Variant value)
{
    if (value.IsNull())
        return Variant();
    return value;
}
