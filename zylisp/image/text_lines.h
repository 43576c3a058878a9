// Text lines as the file formats read and write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/text_case.h"

namespace zylisp {

using TLines = std::vector<std::string>;

// Every line, the last included, followed by CR LF.
std::string JoinLines(const TLines& lines);

// Every character is a hex digit (either case); true for the empty text.
bool AllHexDigits(const std::string& text, std::size_t from = 0);

// Byte of the two characters at pos of an upper-cased text: 16 times the
// value of the first plus the value of the second, a non-digit counting as 0
// and a position past the end as '0'.
uint8_t HexPairAt(const std::string& text, std::size_t pos);

}  // namespace zylisp
