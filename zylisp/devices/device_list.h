// The catalogue of supported devices: an ordered list of TDevice entries.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devices/device.h"

namespace zylisp {

class TDeviceList {
 public:
  int Add(std::unique_ptr<TDevice> device);
  int Count() const { return static_cast<int>(items_.size()); }
  TDevice& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }

  // Case-insensitive name match among entries sharing a family bit with the
  // mask; the last match wins. nullptr when none matches.
  TDevice* FindDevice(const std::string& name, uint8_t familyMask) const;

  // Names in catalogue order of the entries of that bus type sharing a family
  // bit with the mask.
  std::vector<std::string> DeviceNames(uint8_t familyMask, uint8_t busType) const;

  // Appends the built-in entries in table order.
  void BuildCatalogue();

 private:
  std::vector<std::unique_ptr<TDevice>> items_;
};

// The single catalogue, built when the library loads.
TDeviceList& DeviceCatalogue();

// Longest name the built-in table holds (without the terminating NUL).
constexpr std::size_t kLongestDeviceName = 10;

}  // namespace zylisp
