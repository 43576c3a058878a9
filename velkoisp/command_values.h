// How the values typed after the options become the numbers the commands
// send.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkoisp {

// A one-character value gets a leading "0" ("5" is 05).
std::string PadByteValue(const std::string& value);

// True when the first two characters of the padded value are hexadecimal
// digits (either case); later characters are ignored.
bool IsByteValue(const std::string& value);

// The byte of the first two hexadecimal digits of the padded value; 0 when
// they are not both hexadecimal digits. "0x" is not a prefix ("0xA0" is 0).
uint8_t HexByte(const std::string& value);

// A whole number: decimal, or hexadecimal after "$", "x", "X", "0x" or
// "0X"; leading blanks and a sign allowed; no trailing characters. Values
// beyond 32 bits are refused.
std::optional<int64_t> WholeNumber(const std::string& text);

}  // namespace velkoisp
