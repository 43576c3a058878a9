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

// Byte of two characters without validation: a digit counts as its value,
// any other character as its code minus 55 ('A'..'F' give 10..15).
uint8_t HexPairToByte(char high, char low);

// 16-bit value of the first four hex digits (either case) of the text.
uint16_t HexWord(const std::string& text);

// 32-bit value: the text is left-padded with '0' to eight characters and its
// first eight digits are read as two 16-bit halves.
uint32_t HexLong(const std::string& text);

// Prepends fill until the text is at least width characters long.
std::string PadLeft(std::string text, char fill, std::size_t width);

// Upper-case hexadecimal of value with exactly the given number of digits.
std::string HexDigits(uint32_t value, int digits);

}  // namespace zylisp
