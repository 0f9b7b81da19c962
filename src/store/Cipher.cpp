#include "Cipher.h"

#include "AppendString.h"
#include "StoreError.h"

#include <cstdint>
#include <numeric>

namespace {

std::uint64_t Lo(char16_t unit)
{
    return unit & 0xFFu;
}

char16_t Hi(char16_t unit)
{
    return static_cast<char16_t>(unit & 0xFF00u);
}

// Appends a unit made of the given high byte and the low byte of low.
void AddUnit(AppendString &builder, char16_t high, std::uint64_t low)
{
    const auto unit = static_cast<char16_t>(high | (low & 0xFFu));
    builder.AddToString(std::u16string_view(&unit, 1));
}

// Takes the result out and overwrites the builder's storage in place, so that no copy of it is
// left behind when the builder goes.
std::u16string TakeScrubbed(AppendString &builder)
{
    auto result = builder.Value();
    builder.Value(std::u16string(static_cast<std::size_t>(builder.Length()), u' '));
    return result;
}

void HashOne(AppendString &builder, char16_t a)
{
    AddUnit(builder, Hi(a), Lo(a) * Lo(a) + Lo(a));
}

void HashTwo(AppendString &builder, char16_t a, char16_t b)
{
    AddUnit(builder, Hi(a), Lo(a) + Lo(b));
    AddUnit(builder, Hi(b), Lo(a) * Lo(b));
}

// Every result unit mixes its own input unit, the next two (wrapping round to the start) and its position.
void HashLong(AppendString &builder, std::u16string_view password)
{
    const std::size_t n = password.size();
    const auto unit = [password](std::size_t position) { return password[position - 1]; };
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t j = i + 1 > n ? 1 : i + 1;
        const std::size_t k = j + 1 > n ? 1 : j + 1;
        AddUnit(builder, Hi(unit(i)), Lo(unit(i)) + i + (Lo(unit(j)) + i) * Lo(unit(k)) + 1);
    }
}

std::uint8_t Seed(std::u16string_view key)
{
    return static_cast<std::uint8_t>(std::accumulate(key.begin(), key.end(), std::uint64_t{0},
                                                     [](std::uint64_t sum, char16_t c) { return sum + Lo(c); }));
}

} // namespace

std::u16string HashPassword(std::u16string_view password)
{
    if (password.empty()) {
        return {};
    }
    AppendString builder;
    if (password.size() == 1) {
        HashOne(builder, password[0]);
    } else if (password.size() == 2) {
        HashTwo(builder, password[0], password[1]);
    } else {
        HashLong(builder, password);
    }
    return TakeScrubbed(builder);
}

std::u16string CryptString(std::u16string_view key, std::u16string_view data)
{
    if (data.empty()) {
        return {};
    }
    if (key.empty()) {
        RaiseInvalidArgument();
    }
    // The stream depends on the key alone, which makes enciphering and deciphering one operation.
    std::uint8_t stream = Seed(key);
    std::size_t keyIndex = 0;
    AppendString builder;
    for (const char16_t unit : data) {
        stream = static_cast<std::uint8_t>(stream + Lo(key[keyIndex]));
        AddUnit(builder, Hi(unit), stream ^ Lo(unit));
        keyIndex = keyIndex + 1 == key.size() ? 0 : keyIndex + 1;
    }
    return TakeScrubbed(builder);
}
