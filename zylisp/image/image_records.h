// Moving record data between the image and the text formats: the 16-address
// line walk of the writers and the byte store of the readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/hex_list.h"

namespace zylisp {

class THexList;
class TImageStore;

// The records for the image: one per 16-address line, from line 0 up to
// the line of LastUsedAddress, for each line holding a non-blank byte: the
// bytes from the line's first address up to its last non-blank one (blank
// bytes before that are kept, trailing ones left out), handed to
// record(address, bytes, count) one at a time.
template <typename TRecord>
void ForEachDataRecord(const THexList& image, TRecord record);

// Highest address of a non-blank byte, or -1 for an all-blank image.
int64_t HighestUsedAddress(const THexList& image);

// Stores count bytes, read as hex pairs from the upper-cased text at pos, at
// address, address + 1, ... through the store, which raises for the first
// one it refuses. Pairs beyond the end of the text are not stored.
void StoreHexBytes(TImageStore& image, uint64_t address, const std::string& text,
                   std::size_t pos, std::size_t count);

template <typename TRecord>
void ForEachDataRecord(const THexList& image, TRecord record) {
  const int32_t last = image.LastUsedAddress();
  const uint8_t* data = image.Data();
  for (int32_t line = 0; line <= last; line += 16) {
    std::size_t n = static_cast<std::size_t>(last - line + 1 < 16 ? last - line + 1 : 16);
    while (n > 0 && data[line + static_cast<int32_t>(n) - 1] == 0xFF) --n;
    if (n > 0) record(static_cast<uint32_t>(line), data + line, n);
  }
}

}  // namespace zylisp
