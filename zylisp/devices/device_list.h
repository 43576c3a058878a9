// The catalogue of supported devices, in table order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "devices/device.h"

namespace zylisp {

// The classic catalogue: the 51 parts the device enumeration and the
// tool's help list, in their order; its rows never change.
const std::vector<TDevice>& DeviceCatalogue();

// Every part of the part table, the classic catalogue's first (the same
// objects), each with its row.
const std::vector<const TDevice*>& AllDevices();

// The part of that name or alias, matched ignoring case and surrounding
// blanks; nullptr when none matches.
const TDevice* FindDevice(const std::string& name);

// Keeps a part found on the bus that the table does not know (its row made
// from what the chip says about itself) for the life of the process, so that
// FindDevice finds it by its name; a name given again returns the part kept
// first.
const TDevice& KeepDetectedPart(const TPartRow& row);

// Names of the classic catalogue's rows of that bus kind, in table order.
std::vector<std::string> DeviceNames(uint8_t busType);

// The classic catalogue's rows as written, without their part rows (the
// table DeviceCatalogue completes).
std::vector<TDevice> ClassicCatalogueRows();

// Longest name the built-in table holds (without the terminating NUL).
constexpr std::size_t kLongestDeviceName = 10;

}  // namespace zylisp
