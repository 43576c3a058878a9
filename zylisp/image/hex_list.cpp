#include "image/hex_list.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/errors.h"
#include "core/hex_text.h"

namespace zylisp {

void THexList::SetSize(int32_t newSize) {
  const std::size_t n = newSize > 0 ? static_cast<std::size_t>(newSize) : 0;
  data_.assign(n, 0xFF);
  blockStatus_.assign((n + kStatusBlock - 1) / kStatusBlock, ps_normal);
  mixed_.clear();
  differences_.clear();
}

void THexList::Clear() {
  // Whole-array fills: a byte loop through the vectors reloads their ends
  // at every step, as a byte store may alias them.
  std::fill(blockStatus_.begin(), blockStatus_.end(), uint16_t{ps_normal});
  mixed_.clear();
  std::fill(data_.begin(), data_.end(), uint8_t{0xFF});
  differences_.clear();
}

uint8_t THexList::GetValue(uint32_t address) const {
  if (address >= data_.size())
    throw EISPException("THexList:GetValue:" + HexDigits(address, 8) + " out of range");
  return data_[address];
}

void THexList::SetValue(uint32_t address, uint8_t value) {
  if (address >= data_.size())
    throw EISPException("Set Value of Address: " + HexDigits(address, 8) + " out of range");
  data_[address] = value;
}

void THexList::SetStatus(uint32_t address, TProgStatus status) {
  if (address >= data_.size())
    throw EISPException("Set Status of Address: " + HexDigits(address, 8) + " out of range");
  const uint32_t block = address / kStatusBlock;
  uint16_t& shared = blockStatus_[block];
  if (shared == status) return;
  std::vector<TProgStatus>& own = mixed_[block];
  if (shared != kMixed) own.assign(kStatusBlock, static_cast<TProgStatus>(shared));
  shared = kMixed;
  own[address % kStatusBlock] = status;
  // A verify sets the addresses in order: at a block's last address the
  // block is folded back when all its addresses agree again.
  if (address % kStatusBlock == kStatusBlock - 1 &&
      std::all_of(own.begin(), own.end(), [&](TProgStatus s) { return s == own[0]; })) {
    shared = own[0];
    mixed_.erase(block);
  }
}

TProgStatus THexList::StatusAt(uint32_t address) const {
  if (address >= data_.size()) throw std::out_of_range("THexList::StatusAt");
  const uint16_t shared = blockStatus_[address / kStatusBlock];
  if (shared != kMixed) return static_cast<TProgStatus>(shared);
  return mixed_.at(address / kStatusBlock)[address % kStatusBlock];
}

void THexList::Fill(int32_t first, int32_t last, uint8_t value) {
  for (int64_t a = first; a <= last; ++a) SetValue(static_cast<uint32_t>(a), value);
}

int32_t THexList::LastUsedAddress() const {
  // Blank stretches are passed over a block at a time, compared whole.
  static const std::vector<uint8_t> blank(4096, 0xFF);
  for (std::size_t end = data_.size(); end > 0;) {
    const std::size_t start = end > blank.size() ? end - blank.size() : 0;
    if (std::memcmp(data_.data() + start, blank.data(), end - start) != 0) {
      std::size_t i = end - 1;
      while (data_[i] == 0xFF) --i;
      const std::size_t lineEnd = i | 0xF;
      return static_cast<int32_t>(lineEnd < data_.size() ? lineEnd : data_.size() - 1);
    }
    end = start;
  }
  return -1;
}

}  // namespace zylisp
