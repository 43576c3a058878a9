// The catalogue of supported devices, in table order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "devices/device.h"

namespace zylisp {

// The built-in table; its rows never change.
const std::vector<TDevice>& DeviceCatalogue();

// The row of that name, matched ignoring case; nullptr when none matches.
const TDevice* FindDevice(const std::string& name);

// Names of the rows of that bus kind, in table order.
std::vector<std::string> DeviceNames(uint8_t busType);

// Longest name the built-in table holds (without the terminating NUL).
constexpr std::size_t kLongestDeviceName = 10;

}  // namespace zylisp
