// The memory image of the selected device's data area: one data byte per
// address, and a status per address kept by blocks of addresses: a block
// whose addresses share one status holds just that status.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zylisp {

// One-byte set over the status values; bit n is the value of ordinal n.
using TProgStatus = uint8_t;
constexpr TProgStatus ps_normal = 1 << 0;
constexpr TProgStatus ps_programmed = 1 << 1;
constexpr TProgStatus ps_verified = 1 << 2;
constexpr TProgStatus ps_failed = 1 << 3;
constexpr TProgStatus ps_read = 1 << 4;

// An address where a verify found the chip holding another byte than the
// image.
struct TByteDifference {
  uint32_t Address = 0;
  uint8_t Chip = 0;
  uint8_t Image = 0;
};

class THexList {
 public:
  int32_t Size() const { return static_cast<int32_t>(data_.size()); }
  // Resizes both arrays and blanks the image.
  void SetSize(int32_t newSize);
  // Every address: status [ps_normal], data 0xFF.
  void Clear();

  // Range-checked accessors; raise EISPException for an address >= Size().
  uint8_t GetValue(uint32_t address) const;
  void SetValue(uint32_t address, uint8_t value);
  void SetStatus(uint32_t address, TProgStatus status);

  // SetValue for first..last inclusive; nothing when last < first.
  void Fill(int32_t first, int32_t last, uint8_t value);

  // Last address of the 16-byte line holding the highest non-blank byte,
  // capped at Size() - 1; -1 when every byte is blank.
  int32_t LastUsedAddress() const;

  void SetFileName(const std::string& name) { fileName_ = name; }
  const std::string& FileName() const { return fileName_; }

  // Direct access for the drivers, which read chips straight into the data.
  uint8_t* Data() { return data_.data(); }
  const uint8_t* Data() const { return data_.data(); }
  // Statuses are only written by the system; tests and diagnostics read them.
  // Raises std::out_of_range for an address >= Size().
  TProgStatus StatusAt(uint32_t address) const;

  // The differences the last verify found, in address order; cleared with
  // the image.
  const std::vector<TByteDifference>& Differences() const { return differences_; }
  void SetDifferences(std::vector<TByteDifference> differences) {
    differences_ = std::move(differences);
  }

 private:
  std::string fileName_;
  static constexpr uint32_t kStatusBlock = 256;
  // A block's status when all its addresses share it, or kMixed: then its
  // addresses' statuses are in mixed_.
  static constexpr uint16_t kMixed = 0x100;
  std::vector<uint16_t> blockStatus_;
  std::unordered_map<uint32_t, std::vector<TProgStatus>> mixed_;
  std::vector<uint8_t> data_;
  std::vector<TByteDifference> differences_;
};

}  // namespace zylisp
