// Test doubles for the parallel-port tests: a backend wrapper that records
// every call, a connector device that remembers what the host drove, and a
// helper that writes a parport folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "ports/io_space.h"
#include "support/test_files.h"
#include "zylsim/connector_device.h"

namespace lpt_test {

struct TAccess {
  bool write;
  uint16_t address;
  uint8_t value;
};

// Passes everything to the wrapped backend and keeps a log of it.
class TRecordingBackend : public zylisp::TIoBackend {
 public:
  explicit TRecordingBackend(std::unique_ptr<zylisp::TIoBackend> inner) : inner_(std::move(inner)) {}

  bool Open() override {
    ++opens;
    return inner_->Open();
  }
  void Close() override {
    ++closes;
    inner_->Close();
  }
  void Grant(uint8_t slot, uint16_t base) override {
    grants.emplace_back(slot, base);
    if (!refuseGrants) inner_->Grant(slot, base);
  }
  uint8_t Read(uint16_t address) override {
    const uint8_t value = inner_->Read(address);
    log.push_back({false, address, value});
    return value;
  }
  void Write(uint16_t address, uint8_t value) override {
    log.push_back({true, address, value});
    inner_->Write(address, value);
  }
  // Accesses that fall in first..last.
  std::size_t CountIn(uint16_t first, uint16_t last) const {
    std::size_t n = 0;
    for (const TAccess& a : log) n += a.address >= first && a.address <= last;
    return n;
  }
  // Accesses to a port's registers (base..base+7 and its ECP block).
  std::size_t CountPort(uint16_t base) const {
    return CountIn(base, static_cast<uint16_t>(base + 7)) +
           CountIn(static_cast<uint16_t>(base + 0x400), static_cast<uint16_t>(base + 0x402));
  }
  std::size_t Writes() const {
    std::size_t n = 0;
    for (const TAccess& a : log) n += a.write;
    return n;
  }

  bool refuseGrants = false;
  int opens = 0;
  int closes = 0;
  std::vector<std::pair<uint8_t, uint16_t>> grants;  // slot, base
  std::vector<TAccess> log;

 private:
  std::unique_ptr<zylisp::TIoBackend> inner_;
};

// Remembers the host's pin levels and drives the device pins it is told to.
class TFakeConnector : public zylsim::TConnectorDevice {
 public:
  void HostPins(uint32_t levels) override {
    hostLevels = levels;
    ++hostCalls;
  }
  uint32_t DevicePins() override {
    ++deviceCalls;
    return deviceLevels;
  }
  bool HostPin(int pin) const { return (hostLevels >> pin) & 1u; }
  void DrivePin(int pin, bool level) {
    if (level) {
      deviceLevels |= 1u << pin;
    } else {
      deviceLevels &= ~(1u << pin);
    }
  }

  uint32_t hostLevels = 0;
  uint32_t deviceLevels = 0;
  int hostCalls = 0;
  int deviceCalls = 0;
};

// Writes parport<slot-1>/base-addr under dir.
inline void MakeParport(const std::string& dir, int slot, const std::string& baseAddr) {
  const std::string folder = dir + "/parport" + std::to_string(slot - 1);
  mkdir(folder.c_str(), 0755);
  testing_support::WriteFile(folder + "/base-addr", baseAddr);
}

}  // namespace lpt_test
