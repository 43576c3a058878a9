// Hexadecimal text helpers shared by the file readers and the drivers.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

// 0..15 for '0'..'9' and 'A'..'F' (upper case only); 0 for anything else.
uint8_t HexDigitValue(char c);

// True for '0'..'9', 'A'..'F' and 'a'..'f'.
bool IsHexDigit(char c);

// Byte of a two-character text, or 0 when either character is not a hex
// digit (either case) or the text is shorter than two characters.
uint8_t HexByte(const std::string& text);

// Upper-case hexadecimal of value with exactly the given number of digits.
std::string HexDigits(uint32_t value, int digits);

}  // namespace zylisp
