// A simulated I/O space with parallel-port models in it, for running the
// library's port code (and the programmer driver) without hardware: it is a
// backend behind the port layer's I/O-space seam.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <vector>

#include "zylisp/ports/io_space.h"
#include "zylsim/connector_device.h"

namespace zylsim {

// What the model at a base behaves like:
// - spp: data latch, status, control; the data lines always drive.
// - ecp: as spp, plus the ECR at base + 0x402 (reset 0x15: mode 000, FIFO
//   empty; the FIFO drains at once). In modes 001 (PS/2) and 100 (EPP)
//   control bit 0x20 turns the data lines to input, so the data register
//   reads the lines (pulled high) instead of the latch.
enum class TSimPortKind : uint8_t { spp, ecp };

class TSimIoSpace : public zylisp::TIoBackend {
 public:
  TSimIoSpace();
  ~TSimIoSpace() override;
  TSimIoSpace(const TSimIoSpace&) = delete;
  TSimIoSpace& operator=(const TSimIoSpace&) = delete;

  // Places a port model at base. device (may be nullptr, not owned) is
  // plugged into its connector: it hears every data and control write and
  // drives the status pins; pins nobody drives read high.
  void AddPort(uint16_t base, TSimPortKind kind, TConnectorDevice* device = nullptr);

  // Accesses made while closed or outside every granted range. Real port
  // I/O would fault there; here they read 0xFF and write nothing.
  uint64_t UngrantedAccesses() const { return ungranted_; }

  bool Open() override;
  void Close() override;
  void Grant(uint8_t slot, uint16_t base) override;
  // Addresses no model decodes float high.
  uint8_t Read(uint16_t address) override;
  void Write(uint16_t address, uint8_t value) override;
  // No real time passes: the devices plugged into the ports are told that
  // the time went by, so that their own timing goes on as it would.
  void Delay(unsigned milliseconds) override;

 private:
  class TPortModel;
  TPortModel* Locate(uint16_t address, unsigned& offset);

  std::vector<std::unique_ptr<TPortModel>> ports_;
  TPortModel* lastHit_ = nullptr;
  std::bitset<0x10000> granted_;
  bool open_ = false;
  uint64_t ungranted_ = 0;
};

}  // namespace zylsim
