#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The program's string builder: a value kept at the front of a storage that grows in steps of
// ChunkSize characters, with substring access, searches that report positions as decimal text,
// and a single-character-delimiter tokenizer that walks the value forward or backward.
//
// The storage a caller can observe (characters past Length are spaces where the storage was grown
// or padded) grows one chunk at a time; the memory beneath it grows geometrically so that many
// small appends stay linear. Memory that held the text is wiped before it is given back, so no
// copy of a value survives in freed memory.
//
// Positions are 1-based. Raises StoreError 5 (invalid argument) for a Start below 1 given to Mid,
// a negative Length, a ChunkSize below 1, and a forward Token on a non-empty value before InitToken;
// StoreError 6 (overflow) when the storage would pass 2^31 - 1 characters.
class AppendString
{
public:
    AppendString() = default;
    ~AppendString();
    AppendString(const AppendString &) = delete;
    AppendString &operator=(const AppendString &) = delete;

    void Clear();
    std::int32_t Length() const;
    void Length(std::int32_t NewLength);
    void AddToString(std::u16string_view strAdd);
    std::u16string Value() const;
    void Value(std::u16string_view vNewValue);
    std::int32_t ChunkSize() const;
    void ChunkSize(std::int32_t vNewValue);
    void Purge();

    std::u16string Mid(std::int32_t Start, std::int32_t Length = 0) const;
    void Mid(std::int32_t Start, std::int32_t Length, std::u16string_view vNewValue);
    std::u16string Left(std::int32_t Length) const;
    std::u16string Right(std::int32_t Length) const;

    // Compare: 0 exact, 1 without regard to letter case. Direction: 0 forward, otherwise backward.
    std::u16string InStr(std::u16string_view StrToFind, std::int32_t Start = 0, std::int32_t Compare = 0,
                         std::int32_t Direction = 0) const;
    // Searches the value's bytes (two per character, in memory order); the result is a byte position.
    std::u16string InStrB(std::u16string_view StrToFind, std::int32_t Start = 0, std::int32_t Compare = 0) const;

    void InitToken(std::u16string_view Delimeters = {}, std::int32_t TokenDirection = 0);
    std::u16string Token();
    std::u16string Token(std::u16string_view NewDelimeters);
    std::u16string Delimeters() const;
    void Delimeters(std::u16string_view vNewValue);
    bool EOS() const;
    bool BOS() const;

private:
    std::u16string_view Text() const;
    std::u16string_view Storage() const;
    std::int32_t FindForward(std::u16string_view StrToFind, std::int32_t Start, std::int32_t Compare) const;
    std::int32_t FindBackward(std::u16string_view StrToFind, std::int32_t Start, std::int32_t Compare) const;
    std::u16string NextToken();
    std::u16string PreviousToken();
    void Grow(std::int64_t needed);
    void ExtendStorage(std::int64_t newLength);
    void Reallocate(std::int32_t capacity);
    void Wipe();
    void Release();

    std::int32_t chunkSize_ = 1024;
    std::int32_t length_ = 0;
    // The storage the value lives in: storageLength_ characters of it are observable, capacity_ are held.
    std::unique_ptr<char16_t[]> buffer_;
    std::int32_t storageLength_ = 0;
    std::int32_t capacity_ = 0;
    std::int32_t tokenPos_ = 0;
    std::int32_t tokenBackPos_ = 0;
    std::int32_t tokenDirection_ = 0;
    std::u16string delimeters_;
};
