// Moving record data between the image and the text formats: the 16-address
// line walk of the writers and the byte store of the readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zylisp {

class THexList;
class TImageStore;

struct TDataRecord {
  uint32_t Address = 0;  // a multiple of 16
  std::vector<uint8_t> Bytes;  // 1 to 16 bytes
};

// One record per 16-address line, from line 0 up to the line of
// LastUsedAddress, for each line holding a non-blank byte: the bytes from the
// line's first address up to its last non-blank one (blank bytes before that
// are kept, trailing ones left out).
std::vector<TDataRecord> DataRecords(const THexList& image);

// Highest address of a non-blank byte, or -1 for an all-blank image.
int64_t HighestUsedAddress(const THexList& image);

// Stores count bytes, read as hex pairs from the upper-cased text at pos, at
// address, address + 1, ... through the store, which raises for the first
// one it refuses. Pairs beyond the end of the text are not stored.
void StoreHexBytes(TImageStore& image, uint64_t address, const std::string& text,
                   std::size_t pos, std::size_t count);

}  // namespace zylisp
