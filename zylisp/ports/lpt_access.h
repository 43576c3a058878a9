// A PC parallel port's connector pins, as the parallel driver drives them:
// the table of ports (slots LPT1..LPT7), the kind of port in a slot, and
// the registers behind the pins with shadows of what was written to them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ports/io_space.h"

namespace zylisp {

// Port kinds: what a slot's port can do, and the modes of an ECP port.
enum : uint8_t { lpt_none = 0, lpt_spp = 1, lpt_ps2 = 2, lpt_epp = 3, lpt_fifo = 4, lpt_ecp = 5 };

// Where slot 1 is taken to be when the parport folder names no port.
inline constexpr uint16_t kFallbackLptBase = 0x378;

// The register and pin calls do nothing (GetPin gives false) while the port
// driver is closed or the current slot has no base.
class TLptAccess {
 public:
  // The backend opens the I/O space; TLptAccess owns it. Discovery reads
  // parportDir (see TFindLpt); an empty name finds no port.
  TLptAccess(std::unique_ptr<TIoBackend> backend, std::string parportDir);
  ~TLptAccess();
  TLptAccess(const TLptAccess&) = delete;
  TLptAccess& operator=(const TLptAccess&) = delete;

  // Non-zero opens the port driver with that value and selects slot 1; 0
  // closes it, letting go of every device acquired.
  void SetActive(uint8_t value);
  // The open value while open, else 0.
  uint8_t Active() const;
  uint8_t PortCount() const;
  // Makes slot 1..7 current. A slot is examined (its kind detected, its
  // registers read into the shadows) the first time it is selected in an
  // open session and whenever it is reselected while current; otherwise it
  // comes back as it was left. A slot without a base is never touched.
  void SelectPort(uint8_t slot);
  // Open, the current slot was found, and a port answered there.
  bool PortAvailable() const;

  // The extended control register (base + 0x402) of an ECP port.
  void WriteECR(uint8_t value);
  // Switches an ECP port to mode (lpt_spp .. lpt_ecp); other ports stay.
  void SetECPMode(uint8_t mode);

  // Logical level of connector pin 1..17; false out of range.
  bool GetPin(int pin);
  // Drives connector pin 1..17 with one register write, built from the
  // register's shadow.
  void SetPin(int pin, bool level);
  // Holds (or lets go of) the current slot's system device exclusively.
  void AcquirePort(bool on);
  // Waits at the port (real time on hardware, none on a simulated port).
  void Delay(unsigned milliseconds);

 private:
  static constexpr uint8_t kSlots = 7;
  static constexpr int kRegisters = 11;  // base + 0..7, ECP block 8..10

  struct TSlot {
    uint16_t base = 0;
    bool found = false;
    bool examined = false;  // in this open session
    bool acquired = false;
    uint8_t capability = lpt_none;
    std::array<uint8_t, kRegisters> shadow{};
  };

  TSlot& Current() { return slots_[current_]; }
  // Open, and the current slot has a base.
  bool Reachable() const { return active_ && slots_[current_].base != 0; }
  bool RegisterPresent(int reg) const;
  uint8_t ReadRegister(int reg);
  void WriteRegister(int reg, uint8_t value);

  void Open(uint8_t value);
  void Close();
  void GrantAccess();
  void Examine();
  bool DetectSPP();
  bool DetectPS2();
  void ClearEPPTimeout();
  bool DetectEPP();
  bool DetectECP();

  std::unique_ptr<TIoBackend> backend_;
  std::string parportDir_;
  bool active_ = false;
  uint8_t openValue_ = 0;
  uint8_t portCount_ = 1;
  uint8_t current_ = 1;
  std::array<TSlot, kSlots + 1> slots_{};  // by slot 1..7
};

}  // namespace zylisp
