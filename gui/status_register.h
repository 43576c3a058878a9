// The bits of an SPI EEPROM's status register, in words.
#pragma once

#include <QString>

namespace zylgui {

constexpr int kStatusBusy = 0x01;  // a write cycle runs
constexpr int kStatusWel = 0x02;   // write enable latch
constexpr int kStatusBp0 = 0x04;
constexpr int kStatusBp1 = 0x08;
constexpr int kStatusWpen = 0x80;  // the WP pin guards the register

// Which part of a chip of deviceSize bytes BP1 and BP0 protect, with its
// address range.
QString protectionText(int status, int deviceSize);
// WPEN, WEL and busy in words.
QString statusFlagsText(int status);

}  // namespace zylgui
