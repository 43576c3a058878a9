// Extended Tektronix hex: '%', block length, block type ('6' data, '8'
// termination, '3' symbols, passed over), checksum, address length digit,
// address, data.
#pragma once

#include "image/format_family.h"

namespace zylisp {

TLineCheck CheckExtendedTektronixLine(const std::string& line);
void ReadExtendedTektronix(const TLineRange& lines, THexList& image, int32_t format);
// Writes 5-digit addresses; raises EISPException when the image uses an
// address above FFFFF.
void WriteExtendedTektronix(TLines& lines, const THexList& image, int32_t format);

TFormatFamily ExtendedTektronixFamily();

}  // namespace zylisp
