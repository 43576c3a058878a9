// Tektronix hex: '/', 4-digit address, count, header checksum, data, data
// checksum; a record of count 0 ends the data.
#pragma once

#include "image/format_family.h"

namespace zylisp {

TLineCheck CheckTektronixLine(const std::string& line);
void ReadTektronix(const TLineRange& lines, THexList& image, int32_t format);
// Raises EISPException when the image uses an address above FFFF.
void WriteTektronix(TLines& lines, const THexList& image, int32_t format);

TFormatFamily TektronixFamily();

}  // namespace zylisp
