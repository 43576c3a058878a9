// Motorola S-records: S1, S2 and S3 data records, S9 ends the data.
#pragma once

#include "image/format_family.h"

namespace zylisp {

TLineCheck CheckMotorolaLine(const std::string& line);
void ReadMotorolaS(const TLineRange& lines, THexList& image, int32_t format);
void WriteMotorolaS(TLines& lines, const THexList& image, int32_t format);

TFormatFamily MotorolaFamily();

}  // namespace zylisp
