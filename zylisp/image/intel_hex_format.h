// Intel HEX: data (00), end (01), extended segment (02) and extended linear
// (04) address records; 03 and 05 are recognised and passed over.
#pragma once

#include "image/format_family.h"

namespace zylisp {

TLineCheck CheckIntelHexLine(const std::string& line);
void ReadIntelHex(const TLineRange& lines, THexList& image, int32_t format);
void WriteIntelHex(TLines& lines, const THexList& image, int32_t format);

TFormatFamily IntelHexFamily();

}  // namespace zylisp
