#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

// A field value as the database layer hands it out: Empty (no value yet), Null (the database's
// Null, distinct from the empty text), a whole number or a text.
class Variant
{
public:
    enum class Kind
    {
        Empty,
        Null,
        Integer,
        Text
    };

    Variant() = default;
    Variant(std::int64_t number) : value_(number) {}
    Variant(std::int32_t number) : value_(std::int64_t{number}) {}
    Variant(std::u16string text) : value_(std::move(text)) {}
    Variant(std::u16string_view text) : value_(std::u16string(text)) {}
    Variant(const char16_t *text) : value_(std::u16string(text)) {}
    static Variant Null();

    Kind kind() const;
    bool IsNull() const { return kind() == Kind::Null; }
    bool IsEmpty() const { return kind() == Kind::Empty; }

    // Empty reads as "" and 0. Null raises StoreError 94 (invalid use of Null); a text that is not
    // a whole number raises 13 (type mismatch) from ToLong, and a number out of its range 6 (overflow).
    std::u16string ToText() const &;
    std::u16string ToText() &&;
    std::int32_t ToLong() const;
    std::int64_t ToInteger() const;

    // Values compare equal as the engine would: Empty equals "" and 0; Null equals only Null;
    // numbers and texts compare as the number's decimal text.
    friend bool operator==(const Variant &a, const Variant &b);

private:
    struct NullTag
    {
        bool operator==(const NullTag &) const = default;
    };
    explicit Variant(NullTag tag) : value_(tag) {}

    std::variant<std::monostate, NullTag, std::int64_t, std::u16string> value_;
};

// The empty value for a Null, otherwise the value unchanged.
Variant NullToEmpty(Variant value);
