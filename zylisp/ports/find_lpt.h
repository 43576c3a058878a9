// Finds the parallel ports the system knows and their I/O ranges.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

class TFindLpt {
 public:
  TFindLpt();
  // Searches for "LPT" + slot; true when the system knows such a port.
  bool FindPort(uint8_t slot);
  // Start of range index (1-based), or 0xFFFF when there is no such range.
  uint16_t PortBase(uint8_t index) const;

  std::string PortName;
  uint16_t DeviceCount = 0;
  uint8_t IrqCount = 0;
  uint8_t Irq = 0;
  uint8_t DmaCount = 0;
  uint8_t Dma = 0;
  uint8_t RangeCount = 0;
  uint16_t RangeStart[2] = {0, 0};
  uint16_t RangeEnd[2] = {0, 0};
};

}  // namespace zylisp
