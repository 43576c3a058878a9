#include "image/format_registry.h"

#include "image/address_list_format.h"
#include "image/extended_tektronix_format.h"
#include "image/intel_hex_format.h"
#include "image/motorola_format.h"
#include "image/tektronix_format.h"

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
