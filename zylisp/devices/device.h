// One entry of the device catalogue and the option records it carries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zylisp {

// Bus kinds of TDevice::BusType.
enum : uint8_t { kBusI2C = 0, kBusSPI = 1, kBusMicrowire = 2, kBusDataFlash = 3 };

// Programmer family of this library's two programmer kinds.
constexpr uint8_t FamilyIsp = 4;

struct TTimings {
  uint8_t Reserved1 = 0;
  uint8_t Reserved2 = 0;
  uint8_t WriteTime = 0;      // write-cycle time handed to the programmer
  uint8_t MicrowireBits = 0;  // command length in bits (Microwire, 8-bit org.)
};

struct TDeviceOptions {
  uint8_t Families = 0;
  std::unique_ptr<TTimings> Timings;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
  int32_t Reserved3 = 0;
};

class TDevice {
 public:
  TDevice(std::string name, uint8_t busType, uint8_t families, int32_t size, int32_t variant,
          int32_t pageSize, std::vector<TDeviceOptions> options);

  uint8_t BusType() const { return busType_; }
  int32_t Size() const { return size_; }
  int32_t Variant() const { return variant_; }
  const std::string& Name() const { return name_; }
  uint8_t Families() const { return families_; }
  int32_t PageSize() const { return pageSize_; }
  int32_t WriteTime() const { return writeTime_; }
  const std::vector<TDeviceOptions>& Options() const { return options_; }

  void SetName(std::string name) { name_ = std::move(name); }
  void SetBusType(uint8_t v) { busType_ = v; }
  void SetFamilies(uint8_t v) { families_ = v; }
  void SetSize(int32_t v) { size_ = v; }
  void SetVariant(int32_t v) { variant_ = v; }
  void SetPageSize(int32_t v) { pageSize_ = v; }
  void SetWriteTime(int32_t v) { writeTime_ = v; }

 private:
  uint8_t busType_;
  int32_t size_;
  int32_t variant_;
  std::string name_;
  uint8_t families_;
  int32_t pageSize_;
  int32_t writeTime_ = 0;
  std::vector<TDeviceOptions> options_;
};

}  // namespace zylisp
