#include "image/hex_list.h"

#include "core/errors.h"
#include "core/hex_text.h"

namespace zylisp {

void THexList::SetSize(int32_t newSize) {
  const std::size_t n = newSize > 0 ? static_cast<std::size_t>(newSize) : 0;
  data_.assign(n, 0xFF);
  status_.assign(n, ps_normal);
  Clear();
}

void THexList::Clear() {
  for (std::size_t i = 0; i < data_.size(); ++i) {
    status_[i] = ps_normal;
    data_[i] = 0xFF;
  }
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
  if (address >= status_.size())
    throw EISPException("Set Status of Address: " + HexDigits(address, 8) + " out of range");
  status_[address] = status;
}

void THexList::Fill(int32_t first, int32_t last, uint8_t value) {
  for (int64_t a = first; a <= last; ++a) SetValue(static_cast<uint32_t>(a), value);
}

int32_t THexList::LastUsedAddress() const {
  for (std::size_t i = data_.size(); i-- > 0;) {
    if (data_[i] != 0xFF) {
      const std::size_t lineEnd = i | 0xF;
      return static_cast<int32_t>(lineEnd < data_.size() ? lineEnd : data_.size() - 1);
    }
  }
  return -1;
}

}  // namespace zylisp
