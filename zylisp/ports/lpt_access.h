// Bit-level access to a PC parallel port: port table, mode detection,
// registers with shadows, connector pins.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ports/find_lpt.h"
#include "ports/io_space.h"

namespace zylisp {

// Port kinds, used as capability and as current mode.
enum : uint8_t { lpt_none = 0, lpt_spp = 1, lpt_ps2 = 2, lpt_epp = 3, lpt_fifo = 4, lpt_ecp = 5 };

using TOnHwInterrupt = std::function<void(uint8_t dataPort, uint8_t statusPort,
                                          uint32_t timeStampLo, uint32_t timeStampHi)>;

class TLptAccess {
 public:
  // The backend opens the I/O space; TLptAccess owns it. Discovery reads
  // the parport folder of the environment (see TFindLpt).
  explicit TLptAccess(std::unique_ptr<TIoBackend> backend);
  // Discovery reads parportDir instead; an empty name finds no port.
  TLptAccess(std::unique_ptr<TIoBackend> backend, std::string parportDir);
  ~TLptAccess();
  TLptAccess(const TLptAccess&) = delete;
  TLptAccess& operator=(const TLptAccess&) = delete;

  // Non-zero opens the port driver with that value, 0 closes it.
  void SetActive(uint8_t value);
  // OpenValue while open, else 0.
  uint8_t Active() const;
  uint8_t PortCount() const;
  // Makes slot 1..7 current. A slot is examined (its kind detected, its
  // registers read into the shadows) the first time it is selected in an
  // open session and whenever it is reselected while current; otherwise its
  // saved state comes back. A slot without a base is never touched.
  void SelectPort(uint8_t slot);
  // Open, the current slot was found, and a port answered there.
  bool PortAvailable() const;

  uint8_t ReadPort(uint16_t address);
  void WritePort(uint16_t address, uint8_t value);
  uint8_t ReadDataPort();
  uint8_t ReadStatusPort();
  uint8_t ReadControlPort();
  uint8_t ReadEPPAddressPort();
  uint8_t ReadECR();
  void WriteDataPort(uint8_t value);
  void WriteStatusPort(uint8_t value);
  void WriteControlPort(uint8_t value);
  void WriteEPPAddressPort(uint8_t value);
  void WriteECR(uint8_t value);

  // Logical level of connector pin 1..17; false when closed or out of range.
  bool GetPin(int pin);
  // Drives connector pin 1..17 through the register shadow.
  void SetPin(int pin, bool level);
  void SetECPMode(uint8_t mode);
  void AcquirePort(bool on);
  // Waits at the port (real time on hardware, none on a simulated port).
  void Delay(unsigned milliseconds);

  uint8_t CurrentPort() const;
  uint16_t CurrentBase() const;
  uint8_t Capability() const;
  uint8_t Mode() const;

  TOnHwInterrupt OnLptInterrupt;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The port access object for this process: the simulated port when
// ZYLISP_LPT_SIM is set, else the ppdev backend.
std::unique_ptr<TLptAccess> CreateLptAccess();

}  // namespace zylisp
