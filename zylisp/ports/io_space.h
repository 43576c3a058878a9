// The I/O space a parallel port's registers live in: the kernel's ppdev
// device or a simulated one.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace zylisp {

class TIoBackend {
 public:
  virtual ~TIoBackend() = default;
  // Opens the backend (the port driver); false when it cannot be used.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // Opens the registers of slot 1..7's port to the process: base..base+7
  // and the ECP block base+0x400..base+0x402. Backends that reach ports per
  // slot rather than per address (ppdev) learn the slot's base here.
  virtual void Grant(uint8_t slot, uint16_t base) = 0;
  virtual uint8_t Read(uint16_t address) = 0;
  virtual void Write(uint16_t address, uint8_t value) = 0;
  // Lets time pass at the port, as the adapter's power-up and the chips'
  // write cycles need. Real hardware waits in real time; a simulated port
  // has nothing to wait for.
  virtual void Delay(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace zylisp
