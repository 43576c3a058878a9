// Port registers through the kernel's ppdev devices (/dev/parport<n>):
// no root needed, only membership of the device's group.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ports/io_space.h"

namespace zylisp {

// Slot n is the device devicePrefix + (n - 1). Only the data, status and
// control registers are reachable; the EPP and ECP registers read 0 and
// ignore writes.
class TPpdevBackend : public TIoBackend {
 public:
  explicit TPpdevBackend(std::string devicePrefix = "/dev/parport");
  ~TPpdevBackend() override;
  TPpdevBackend(const TPpdevBackend&) = delete;
  TPpdevBackend& operator=(const TPpdevBackend&) = delete;

  // False when not one of the slots' devices can be opened.
  bool Open() override;
  void Close() override;
  // Opens and claims the slot's device.
  void Grant(uint8_t slot, uint16_t base) override;
  uint8_t Read(uint16_t address) override;
  void Write(uint16_t address, uint8_t value) override;

 private:
  struct TDevice {
    uint16_t base = 0;
    int fd = -1;
    bool reverse = false;  // data lines switched to input
  };

  // The claimed device whose registers hold address, with the register
  // number (8..10 for the ECP block); nullptr when none does.
  TDevice* Locate(uint16_t address, int& reg);

  std::string prefix_;
  bool open_ = false;
  std::array<TDevice, 8> devices_{};  // by slot 1..7
};

}  // namespace zylisp
