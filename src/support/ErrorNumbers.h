#pragma once

// The numbers of the errors the core raises (StoreError::Number), as a caller may show them.

#include <cstdint>

namespace ErrorNumber {
constexpr std::int32_t InvalidArgument = 5;
constexpr std::int32_t Overflow = 6;
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t ObjectNotSet = 91;
constexpr std::int32_t InvalidUseOfNull = 94;
constexpr std::int32_t EngineError = 3000;
constexpr std::int32_t NoCurrentRecord = 3021;
constexpr std::int32_t ForeignObjects = 3049;
constexpr std::int32_t FileRefused = 3051;
constexpr std::int32_t FileNotFound = 3024;
constexpr std::int32_t ReadOnly = 3027;
constexpr std::int32_t SyntaxError = 3075;
constexpr std::int32_t TableNotFound = 3078;
constexpr std::int32_t InvalidName = 3125;
constexpr std::int32_t NotSupported = 3251;
constexpr std::int32_t Locked = 3260;
constexpr std::int32_t ItemNotFound = 3265;
constexpr std::int32_t UnrecognizedFormat = 3343;
constexpr std::int32_t ObjectClosed = 3420;
} // namespace ErrorNumber
