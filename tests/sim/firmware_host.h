// A raw-byte host for the emulated firmware: sends command bytes straight to
// the firmware and collects what it answers. No library code involved.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zylsim/emulator.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const Bytes kAck = {0x0D};
inline Bytes Err(char code) { return {'?', static_cast<uint8_t>(code)}; }

class FirmwareHost {
 public:
  explicit FirmwareHost(const std::string& config) : emulator_(zylsim::MakeEmulator(config)) {
    emulator_->PowerOn(false);
  }

  // Sends the bytes and returns everything the firmware queued meanwhile.
  Bytes Send(const Bytes& bytes) {
    for (uint8_t b : bytes) emulator_->Adapter().Receive(b);
    Bytes reply;
    while (emulator_->Adapter().HasOutput()) reply.push_back(emulator_->Adapter().TakeOutput());
    return reply;
  }
  Bytes Send(const std::string& text) { return Send(B(text)); }

  // Hex argument commands as the host formats them.
  Bytes Hex(char command, unsigned value) {
    const char* digits = "0123456789ABCDEF";
    return Send(Bytes{static_cast<uint8_t>(command), static_cast<uint8_t>(digits[(value >> 4) & 15]),
                      static_cast<uint8_t>(digits[value & 15])});
  }
  Bytes W(const Bytes& data) {
    Bytes cmd = {'W', static_cast<uint8_t>(data.size())};
    return Send(Cat(cmd, data));
  }
  Bytes w(uint8_t b) { return Send(Bytes{'w', b}); }
  Bytes R(uint8_t count) { return Send(Bytes{'R', count}); }

  zylsim::Emulator& Emu() { return *emulator_; }
  zylsim::Chip& Chip() { return emulator_->TargetChip(); }
  std::vector<uint8_t>& Memory() { return emulator_->TargetChip().Memory(); }

 private:
  std::unique_ptr<zylsim::Emulator> emulator_;
};

}  // namespace simtest
