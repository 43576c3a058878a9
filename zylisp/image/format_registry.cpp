#include "image/format_registry.h"

namespace zylisp {

const std::vector<TFormatFamily>& FormatFamilies() {
  // The address lists come last: their lines, hex digits and a colon, say
  // the least about a file.
  static const std::vector<TFormatFamily> families = {
      IntelHexFamily(), MotorolaFamily(), ExtendedTektronixFamily(), TektronixFamily(),
      WordListFamily(), ByteListFamily(),
  };
  return families;
}

const TFormatFamily* FamilyOfFormat(int32_t format) {
  for (const TFormatFamily& family : FormatFamilies()) {
    if (format >= family.FirstFormat && format <= family.LastFormat) return &family;
  }
  return nullptr;
}

}  // namespace zylisp
