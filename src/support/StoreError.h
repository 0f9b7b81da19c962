#pragma once

#include "ErrorNumbers.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// The one error type raised by the support and store code: a number and a description, as the
// logon shows them ("Password validation error: " + number + " - " + description).
class StoreError : public std::runtime_error
{
public:
    StoreError(std::int32_t number, std::u16string description);

    std::int32_t Number() const { return number_; }
    const std::u16string &Description() const { return description_; }

private:
    std::int32_t number_;
    std::u16string description_;
};

// Raises error 5, "Invalid procedure call or argument".
[[noreturn]] void RaiseInvalidArgument();
