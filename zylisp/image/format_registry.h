// The text format families the loader knows, in the order identification
// tries them.
#pragma once

#include <vector>

#include "image/format_family.h"

namespace zylisp {

// Each family's entry, made in its own file.
TFormatFamily IntelHexFamily();
TFormatFamily MotorolaFamily();
TFormatFamily ExtendedTektronixFamily();
TFormatFamily TektronixFamily();
TFormatFamily WordListFamily();
TFormatFamily ByteListFamily();

const std::vector<TFormatFamily>& FormatFamilies();

// The family that reads and writes format, or nullptr.
const TFormatFamily* FamilyOfFormat(int32_t format);

}  // namespace zylisp
