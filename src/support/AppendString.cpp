#include "AppendString.h"

#include "StoreError.h"
#include "Text.h"

#include <algorithm>
#include <cwctype>
#include <limits>
#include <locale.h>
#include <span>
#include <string.h>
#include <wctype.h>

namespace {

constexpr std::int64_t MaxLength = std::numeric_limits<std::int32_t>::max();

std::int32_t CheckedLength(std::int64_t length)
{
    if (length > MaxLength) {
        throw StoreError(StoreErrorKind::Overflow, u"Overflow");
    }
    return static_cast<std::int32_t>(length);
}

// Fixed to a Unicode locale so that searches fold case alike whatever locale the process runs in
// (plain "C" folds only ASCII).
char16_t FoldCase(char16_t c)
{
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    const wint_t folded = unicode ? towlower_l(c, unicode) : std::towlower(c);
    return folded <= 0xFFFF ? static_cast<char16_t>(folded) : c;
}

bool SameUnit(char16_t a, char16_t b)
{
    return a == b;
}

bool SameUnitIgnoringCase(char16_t a, char16_t b)
{
    return a == b || FoldCase(a) == FoldCase(b);
}

unsigned char FoldAsciiCase(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool SameByte(unsigned char a, unsigned char b)
{
    return a == b;
}

bool SameByteIgnoringAsciiCase(unsigned char a, unsigned char b)
{
    return FoldAsciiCase(a) == FoldAsciiCase(b);
}

std::span<const unsigned char> AsBytes(std::u16string_view text)
{
    return {reinterpret_cast<const unsigned char *>(text.data()), text.size() * sizeof(char16_t)};
}

} // namespace

AppendString::~AppendString()
{
    Release();
}

void AppendString::Clear()
{
    length_ = 0;
}

std::int32_t AppendString::Length() const
{
    return length_;
}

void AppendString::Length(std::int32_t NewLength)
{
    if (NewLength < 0) {
        RaiseInvalidArgument();
    }
    Grow(NewLength);
    length_ = NewLength;
}

void AppendString::AddToString(std::u16string_view strAdd)
{
    const std::int64_t newLength = length_ + static_cast<std::int64_t>(strAdd.size());
    Grow(newLength);
    std::copy(strAdd.begin(), strAdd.end(), buffer_.get() + length_);
    length_ = static_cast<std::int32_t>(newLength);
}

std::u16string AppendString::Value() const
{
    return std::u16string(Text());
}

void AppendString::Value(std::u16string_view vNewValue)
{
    const std::int32_t newLength = CheckedLength(static_cast<std::int64_t>(vNewValue.size()));
    if (newLength > storageLength_) {
        ExtendStorage(static_cast<std::int64_t>(chunkSize_) + newLength);
    }
    // Overwritten in place, padding included, so that the previous value is gone from the storage.
    const auto end = std::copy(vNewValue.begin(), vNewValue.end(), buffer_.get());
    std::fill(end, buffer_.get() + storageLength_, u' ');
    length_ = newLength;
}

std::int32_t AppendString::ChunkSize() const
{
    return chunkSize_;
}

void AppendString::ChunkSize(std::int32_t vNewValue)
{
    if (vNewValue < 1) {
        RaiseInvalidArgument();
    }
    chunkSize_ = vNewValue;
}

void AppendString::Purge()
{
    length_ = 0;
    Release();
    ExtendStorage(chunkSize_);
}

std::u16string AppendString::Mid(std::int32_t Start, std::int32_t Length) const
{
    if (Start < 1) {
        RaiseInvalidArgument();
    }
    if (Start > length_) {
        return {};
    }
    if (Length <= 0) {
        return std::u16string(Text().substr(Start - 1));
    }
    return std::u16string(Storage().substr(Start - 1, Length));
}

void AppendString::Mid(std::int32_t Start, std::int32_t Length, std::u16string_view vNewValue)
{
    if (Start < 1) {
        RaiseInvalidArgument();
    }
    if (Start > length_) {
        return;
    }
    const std::int64_t count = Length > 0 ? Length : length_ - Start + 1;
    const std::int64_t room = storageLength_ - Start + 1;
    const auto replaced = std::min({count, room, static_cast<std::int64_t>(vNewValue.size())});
    std::copy_n(vNewValue.begin(), replaced, buffer_.get() + (Start - 1));
}

std::u16string AppendString::Left(std::int32_t Length) const
{
    if (Length <= 0) {
        return {};
    }
    return std::u16string(Storage().substr(0, Length));
}

std::u16string AppendString::Right(std::int32_t Length) const
{
    if (Length <= 0) {
        return {};
    }
    return std::u16string(Text().substr(length_ - std::min(Length, length_)));
}

std::u16string AppendString::InStr(std::u16string_view StrToFind, std::int32_t Start, std::int32_t Compare,
                                   std::int32_t Direction) const
{
    if (Direction == 0) {
        Start = std::max(Start, 1);
        return ToDecimal(Start > length_ ? 0 : FindForward(StrToFind, Start, Compare));
    }
    if (length_ <= 0) {
        return u"0";
    }
    if (Start < 1 || Start > length_) {
        Start = length_;
    }
    return ToDecimal(FindBackward(StrToFind, Start, Compare));
}

std::u16string AppendString::InStrB(std::u16string_view StrToFind, std::int32_t Start, std::int32_t Compare) const
{
    const auto bytes = AsBytes(Text());
    Start = std::max(Start, 1);
    if (static_cast<std::size_t>(Start) > bytes.size()) {
        return u"0";
    }
    const auto needle = AsBytes(StrToFind);
    const auto same = Compare == 0 ? SameByte : SameByteIgnoringAsciiCase;
    const auto found = std::search(bytes.begin() + (Start - 1), bytes.end(), needle.begin(), needle.end(), same);
    return found == bytes.end() ? u"0" : ToDecimal(found - bytes.begin() + 1);
}

void AppendString::InitToken(std::u16string_view Delimeters, std::int32_t TokenDirection)
{
    tokenBackPos_ = length_;
    tokenPos_ = 1;
    tokenDirection_ = TokenDirection;
    delimeters_ = Delimeters;
}

std::u16string AppendString::Token()
{
    if (length_ == 0) {
        return {};
    }
    switch (tokenDirection_) {
    case 0:
        return NextToken();
    case 1:
        return PreviousToken();
    default:
        return {};
    }
}

std::u16string AppendString::Token(std::u16string_view NewDelimeters)
{
    if (length_ == 0) {
        return {};
    }
    delimeters_ = NewDelimeters;
    return Token();
}

std::u16string AppendString::Delimeters() const
{
    return delimeters_;
}

void AppendString::Delimeters(std::u16string_view vNewValue)
{
    delimeters_ = vNewValue;
}

bool AppendString::EOS() const
{
    return tokenPos_ > length_;
}

bool AppendString::BOS() const
{
    return tokenBackPos_ < 1;
}

std::u16string_view AppendString::Text() const
{
    return {buffer_.get(), static_cast<std::size_t>(length_)};
}

std::u16string_view AppendString::Storage() const
{
    return {buffer_.get(), static_cast<std::size_t>(storageLength_)};
}

std::int32_t AppendString::FindForward(std::u16string_view StrToFind, std::int32_t Start, std::int32_t Compare) const
{
    const auto text = Text();
    const auto same = Compare == 0 ? SameUnit : SameUnitIgnoringCase;
    const auto found = std::search(text.begin() + (Start - 1), text.end(), StrToFind.begin(), StrToFind.end(), same);
    return found == text.end() ? 0 : static_cast<std::int32_t>(found - text.begin()) + 1;
}

std::int32_t AppendString::FindBackward(std::u16string_view StrToFind, std::int32_t Start, std::int32_t Compare) const
{
    // An empty text is found where the search starts, as it is forward.
    if (StrToFind.empty()) {
        return Start;
    }
    const auto text = Text().substr(0, Start);
    const auto same = Compare == 0 ? SameUnit : SameUnitIgnoringCase;
    const auto found = std::find_end(text.begin(), text.end(), StrToFind.begin(), StrToFind.end(), same);
    return found == text.end() ? 0 : static_cast<std::int32_t>(found - text.begin()) + 1;
}

std::u16string AppendString::NextToken()
{
    // Before InitToken the position is 0, which no read accepts.
    if (tokenPos_ < 1) {
        RaiseInvalidArgument();
    }
    if (delimeters_.empty()) {
        auto token = Mid(tokenPos_);
        tokenPos_ = length_ + 1;
        return token;
    }
    if (tokenPos_ > length_) {
        return {};
    }
    const auto found = Text().find_first_of(delimeters_, tokenPos_ - 1);
    const auto delimiter = found == std::u16string_view::npos ? length_ + 1 : static_cast<std::int32_t>(found) + 1;
    auto token = delimiter == tokenPos_ ? std::u16string() : Mid(tokenPos_, delimiter - tokenPos_);
    tokenPos_ = delimiter + 1;
    return token;
}

std::u16string AppendString::PreviousToken()
{
    if (delimeters_.empty()) {
        auto token = Left(tokenBackPos_);
        tokenBackPos_ = 0;
        return token;
    }
    if (tokenBackPos_ < 1) {
        return {};
    }
    const auto found = Text().substr(0, std::min(tokenBackPos_, length_)).find_last_of(delimeters_);
    const auto delimiter = found == std::u16string_view::npos ? 0 : static_cast<std::int32_t>(found) + 1;
    auto token = delimiter == tokenBackPos_ ? std::u16string() : Mid(delimiter + 1, tokenBackPos_ - delimiter);
    tokenBackPos_ = delimiter - 1;
    return token;
}

// The observable storage grows by whole chunks of spaces.
void AppendString::Grow(std::int64_t needed)
{
    if (needed <= storageLength_) {
        return;
    }
    const std::int64_t chunks = (needed - storageLength_ + chunkSize_ - 1) / chunkSize_;
    ExtendStorage(storageLength_ + chunks * chunkSize_);
}

// Memory is at least doubled when it must move, so that growing chunk by chunk stays linear overall.
void AppendString::ExtendStorage(std::int64_t newLength)
{
    const std::int32_t extended = CheckedLength(newLength);
    if (extended > capacity_) {
        const std::int64_t doubled = std::min(2 * static_cast<std::int64_t>(capacity_), MaxLength);
        Reallocate(static_cast<std::int32_t>(std::max<std::int64_t>(extended, doubled)));
    }
    std::fill(buffer_.get() + storageLength_, buffer_.get() + extended, u' ');
    storageLength_ = extended;
}

void AppendString::Reallocate(std::int32_t capacity)
{
    auto memory = std::make_unique_for_overwrite<char16_t[]>(capacity);
    std::copy_n(buffer_.get(), storageLength_, memory.get());
    Wipe();
    buffer_ = std::move(memory);
    capacity_ = capacity;
}

// Freed memory is reused by anyone; the text it held must not be left there.
void AppendString::Wipe()
{
    if (capacity_ > 0) {
        explicit_bzero(buffer_.get(), static_cast<std::size_t>(capacity_) * sizeof(char16_t));
    }
}

void AppendString::Release()
{
    Wipe();
    buffer_.reset();
    capacity_ = 0;
    storageLength_ = 0;
}
