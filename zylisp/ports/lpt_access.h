// A PC parallel port's connector pins, as the parallel driver drives them:
// the table of ports (slots LPT1..LPT7), whether the selected slot's port
// answers and is an ECP port, and the registers behind the pins with
// shadows of what was written to them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ports/io_space.h"

namespace zylisp {

// The modes of an ECP port (lpt_none: none).
enum : uint8_t { lpt_none = 0, lpt_spp = 1, lpt_ps2 = 2, lpt_epp = 3, lpt_fifo = 4, lpt_ecp = 5 };

// Where slot 1 is taken to be when the parport folder names no port.
inline constexpr uint16_t kFallbackLptBase = 0x378;

// The register and pin calls do nothing (GetPin gives false) while the port
// driver is closed or the current slot has no port.
class TLptAccess {
 public:
  // The backend opens the I/O space; TLptAccess owns it. Discovery reads
  // parportDir (see FindLptBase); an empty name finds no port.
  TLptAccess(std::unique_ptr<TIoBackend> backend, std::string parportDir);
  ~TLptAccess();
  TLptAccess(const TLptAccess&) = delete;
  TLptAccess& operator=(const TLptAccess&) = delete;

  // Non-zero opens the port driver with that value and selects slot 1; 0
  // closes it.
  void SetActive(uint8_t value);
  // The open value while open, else 0.
  uint8_t Active() const;
  // The highest slot with a port.
  uint8_t PortCount() const;
  // Makes slot 1..7 current and examines its port: whether it answers and
  // is an ECP port; its registers are read into the shadows. A slot without
  // a port is never touched.
  void SelectPort(uint8_t slot);
  // Open, and a port answered in the current slot.
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
  // Waits at the port (real time on hardware, none on a simulated port).
  void Delay(unsigned milliseconds);

  // The slots LPT1 .. LPT7.
  static constexpr uint8_t kSlots = 7;

 private:

  // Open, and the current slot has a port.
  bool Reachable() const { return active_ && bases_[current_] != 0; }
  uint16_t Address(int reg) const;
  uint8_t ReadRegister(int reg);
  void WriteRegister(int reg, uint8_t value);

  void Open(uint8_t value);
  bool DetectSPP();
  bool DetectECP();

  std::unique_ptr<TIoBackend> backend_;
  std::string parportDir_;
  bool active_ = false;
  uint8_t openValue_ = 0;
  uint8_t portCount_ = 1;
  std::array<uint16_t, kSlots + 1> bases_{};  // by slot 1..7; 0: no port
  uint8_t current_ = 1;
  // The current slot's port, as last examined.
  bool answers_ = false;
  bool ecp_ = false;
  std::array<uint8_t, 3> shadow_{};  // data, status, control
};

}  // namespace zylisp
