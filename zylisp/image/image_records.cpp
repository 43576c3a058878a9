#include "image/image_records.h"

#include <algorithm>

#include "image/hex_list.h"
#include "image/image_store.h"
#include "image/text_lines.h"

namespace zylisp {

int64_t HighestUsedAddress(const THexList& image) {
  // The highest non-blank byte lies in the last used 16-byte line.
  for (int64_t a = image.LastUsedAddress(); a >= 0; --a) {
    if (image.GetValue(static_cast<uint32_t>(a)) != 0xFF) return a;
  }
  return -1;
}

void StoreHexBytes(TImageStore& image, uint64_t address, const std::string& text,
                   std::size_t pos, std::size_t count) {
  for (std::size_t i = 0; i < count && pos + 2 * i + 1 < text.size(); ++i)
    image.Store(address + i, HexPairAt(text, pos + 2 * i));
}

}  // namespace zylisp
