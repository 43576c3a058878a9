// The two plain address lists: "WWWWWW:HHLL" (16-bit words by word number,
// high byte first in the text) and "AAAA:BB" (bytes).
#pragma once

#include "image/format_family.h"

namespace zylisp {

// 10 for the byte form, 9 for the word form, 0 when there is no line at all
// (a file of empty lines holds no list).
int32_t DetectAddressList(const TLineRange& lines);
// format 9 reads the word form, any other the byte form.
void ReadAddressList(const TLineRange& lines, THexList& image, int32_t format);
// Raises EISPException when an address does not fit the form's width.
void WriteAddressList(TLines& lines, const THexList& image, int32_t format);

TFormatFamily AddressListFamily();

}  // namespace zylisp
