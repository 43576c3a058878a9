// Finds the parallel ports the system knows and their I/O ranges.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

inline constexpr char kDefaultParportDir[] = "/proc/sys/dev/parport";

// Reads the kernel's parport folder: slot n is parport<n-1>, with the files
// base-addr (base and ECP base), irq and dma.
class TFindLpt {
 public:
  // Searches $ZYLISP_PARPORT_DIR, or /proc/sys/dev/parport when unset.
  TFindLpt();
  // Searches the given folder; an empty name finds nothing.
  explicit TFindLpt(std::string parportDir);

  // Searches for "LPT" + slot; true when the system knows such a port.
  bool FindPort(uint8_t slot);
  // Start of range index (1-based), or 0xFFFF when there is no such range.
  uint16_t PortBase(uint8_t index) const;
  const std::string& Directory() const { return dir_; }

  std::string PortName;
  uint16_t DeviceCount = 0;
  uint8_t IrqCount = 0;
  uint8_t Irq = 0;
  uint8_t DmaCount = 0;
  uint8_t Dma = 0;
  uint8_t RangeCount = 0;
  uint16_t RangeStart[2] = {0, 0};
  uint16_t RangeEnd[2] = {0, 0};

 private:
  std::string dir_;
};

// The parport folder named by ZYLISP_PARPORT_DIR; fallback when unset or empty.
std::string ParportDirFromEnvironment(const std::string& fallback);

}  // namespace zylisp
