// How the values typed after the options are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkoisp {

// A one-character value gets a leading "0" ("5" is 05).
std::string PadByteValue(const std::string& value);

// The byte of one or two hexadecimal digits (either case) and nothing else;
// "0x" is not a prefix.
std::optional<uint8_t> ByteValue(const std::string& value);

// A whole number: decimal, or hexadecimal after "$", "x", "X", "0x" or
// "0X"; leading blanks and a sign allowed; no trailing characters. Values
// beyond 32 bits are refused.
std::optional<int64_t> WholeNumber(const std::string& text);

}  // namespace velkoisp
