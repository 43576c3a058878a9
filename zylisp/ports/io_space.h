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
  virtual bool Open(uint8_t openValue) = 0;
  virtual void Close() = 0;
  // Tells the open backend that the port of slot 1..7 has its registers at
  // base; called for every found slot before any grant. Backends that reach
  // ports per slot rather than per address (ppdev) need it.
  virtual void AssignSlot(uint8_t slot, uint16_t base) {
    (void)slot;
    (void)base;
  }
  // Opens first..last (inclusive) to the process; false when refused.
  virtual bool Grant(uint16_t first, uint16_t last) = 0;
  virtual uint8_t Read(uint16_t address) = 0;
  virtual void Write(uint16_t address, uint8_t value) = 0;
  // Holds or releases the slot's system device exclusively.
  virtual bool Acquire(uint8_t slot, bool on) = 0;
  // Lets time pass at the port, as the adapter's power-up and the chips'
  // write cycles need. Real hardware waits in real time; a simulated port
  // has nothing to wait for.
  virtual void Delay(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace zylisp
