// Something plugged into the simulated parallel port's 25-pin connector.
#pragma once

#include <cstdint>

namespace zylsim {

// Bit p (1..17) of a pin word is the electrical level of connector pin p
// (1 = high). Host-driven pins: 1..9, 14, 16, 17. Device-driven: 10, 11, 12,
// 13, 15.
class TConnectorDevice {
 public:
  virtual ~TConnectorDevice() = default;
  // The host changed (or rewrote) its pins; called on every data or control
  // register write, synchronously.
  virtual void HostPins(uint32_t levels) = 0;
  // Levels of the device-driven pins; called on every status register read.
  virtual uint32_t DevicePins() = 0;
  // The host lets time pass at the port.
  virtual void Elapse(unsigned milliseconds) { (void)milliseconds; }
};

}  // namespace zylsim
