// The two plain address lists: "WWWWWW:HHLL" (16-bit words by word number,
// high byte first in the text) and "AAAA:BB" (bytes). They are two
// families, so a file never mixes their lines.
#pragma once

#include "image/format_family.h"

namespace zylisp {

TLineCheck CheckWordListLine(const std::string& line);
TLineCheck CheckByteListLine(const std::string& line);
// format 9 reads the word form, any other the byte form.
void ReadAddressList(const TLineRange& lines, THexList& image, int32_t format);
// Raises EISPException when an address does not fit the form's width.
void WriteAddressList(TLines& lines, const THexList& image, int32_t format);

TFormatFamily WordListFamily();
TFormatFamily ByteListFamily();

}  // namespace zylisp
