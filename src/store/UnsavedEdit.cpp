#include "UnsavedEdit.h"

#include <charconv>
#include <vector>

namespace {

constexpr std::string_view Header = "tarnwick-unsaved-edit 1";
constexpr std::string_view Digits = "0123456789abcdef";

// Each 16-bit unit as four hexadecimal digits, low byte first: lone surrogates, NULs and line breaks kept.
std::string Hex(std::u16string_view text)
{
    std::string hex;
    hex.reserve(text.size() * 4);
    for (const char16_t unit : text) {
        for (const unsigned byte : {unit & 0xFFu, unsigned(unit) >> 8}) {
            hex += Digits[byte >> 4];
            hex += Digits[byte & 0xF];
        }
    }
    return hex;
}

std::optional<std::u16string> FromHex(std::string_view hex)
{
    if (hex.size() % 4 != 0)
        return std::nullopt;
    std::u16string text;
    text.reserve(hex.size() / 4);
    for (std::size_t at = 0; at < hex.size(); at += 4) {
        unsigned low = 0, high = 0;
        if (std::from_chars(hex.data() + at, hex.data() + at + 2, low, 16).ptr != hex.data() + at + 2 ||
            std::from_chars(hex.data() + at + 2, hex.data() + at + 4, high, 16).ptr != hex.data() + at + 4)
            return std::nullopt;
        text += static_cast<char16_t>(low | high << 8);
    }
    return text;
}

std::optional<std::int32_t> Number(std::string_view digits)
{
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc() && end == digits.data() + digits.size() ? std::optional(number) : std::nullopt;
}

std::vector<std::string_view> Lines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        lines.push_back(bytes.substr(0, end));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    }
    return lines;
}

} // namespace

std::string Serialize(const UnsavedEdit &edit)
{
    std::string bytes = std::string(Header) + '\n' + Hex(edit.database) + '\n' + Hex(edit.userName) + '\n' +
                        std::to_string(edit.userID) + '\n' + std::to_string(edit.accountID) + '\n';
    for (const std::u16string &field : edit.stored)
        bytes += Hex(field) + '\n';
    return bytes;
}

std::optional<UnsavedEdit> ParseUnsavedEdit(std::string_view bytes)
{
    const std::vector<std::string_view> lines = Lines(bytes);
    if (lines.size() != 5 + AccountFieldCount || lines[0] != Header)
        return std::nullopt;
    const std::optional<std::u16string> database = FromHex(lines[1]), userName = FromHex(lines[2]);
    const std::optional<std::int32_t> userID = Number(lines[3]), accountID = Number(lines[4]);
    if (!database || !userName || !userID || !accountID)
        return std::nullopt;
    UnsavedEdit edit{*database, *userName, *userID, *accountID, {}};
    for (std::size_t i = 0; i < AccountFieldCount; ++i) {
        std::optional<std::u16string> field = FromHex(lines[5 + i]);
        if (!field)
            return std::nullopt;
        edit.stored[i] = std::move(*field);
    }
    return edit;
}
