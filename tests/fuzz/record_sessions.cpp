// Makes seed inputs for the driver and emulator harnesses: runs each
// session of a list against the emulated adapter, over the simulated
// parallel port or a serial port of our own, and writes what went over the
// link: the adapter's replies as a reply script (adapter_replies corpus)
// and the host's bytes (emulator_commands corpus).
//   record_sessions OUTPUT-FOLDER
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "devices/device.h"
#include "drivers/smart_parallel.h"
#include "drivers/smart_serial.h"
#include "fuzz/driver_session.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/reply_script.h"
#include "fuzz/script_connector.h"
#include "fuzz/script_serial_port.h"
#include "ports/serial_error.h"
#include "ports/serial_port.h"
#include "zylsim/chip.h"
#include "zylsim/emulator.h"
#include "zylsim/simulated_adapter.h"

namespace {

// Bytes in the order they crossed the link; reply bytes are marked.
struct TTraffic {
  std::vector<std::pair<bool, uint8_t>> bytes;
  void Host(uint8_t b) { bytes.push_back({false, b}); }
  void Reply(uint8_t b) { bytes.push_back({true, b}); }
};

class TRecordingParallel : public zylisp::TSmartParallel {
 public:
  TRecordingParallel(const zylisp::TConnectionParams& params, TTraffic& traffic)
      : TSmartParallel(params), traffic_(traffic) {}
  void SendByte(uint8_t value) override {
    traffic_.Host(value);
    TSmartParallel::SendByte(value);
  }
  uint8_t ReceiveByte(bool showProgress) override {
    const uint8_t b = TSmartParallel::ReceiveByte(showProgress);
    traffic_.Reply(b);
    return b;
  }

 private:
  TTraffic& traffic_;
};

class TEmulatorPort : public zylisp::TSerialPort {
 public:
  TEmulatorPort(zylsim::Emulator& emulator, TTraffic& traffic)
      : firmware_(emulator.Adapter()), traffic_(traffic) {}
  void Open(const std::string&, uint32_t) override {}
  void Close() override {}
  void SetModemLines(bool, bool) override {}
  std::size_t Write(const void* data, std::size_t count, Milliseconds) override {
    for (std::size_t i = 0; i < count; ++i) {
      const uint8_t c = static_cast<const uint8_t*>(data)[i];
      traffic_.Host(c);
      firmware_.Receive(c);
    }
    return count;
  }
  std::size_t Read(void* buffer, std::size_t max, Milliseconds limit) override {
    if (!firmware_.HasOutput() && limit.count() > 0)
      throw zylisp::ESerialError(EIO, "the adapter says nothing");
    std::size_t n = 0;
    while (n < max && firmware_.HasOutput()) {
      const uint8_t b = firmware_.TakeOutput();
      traffic_.Reply(b);
      static_cast<uint8_t*>(buffer)[n++] = b;
    }
    return n;
  }
  bool Drain(Milliseconds) override { return true; }
  void PurgeInput() override {
    while (firmware_.HasOutput()) firmware_.TakeOutput();
  }

 private:
  zylsim::Firmware& firmware_;
  TTraffic& traffic_;
};

// Host byte runs and reply runs as exchanges of the reply script.
std::string Script(const TTraffic& traffic) {
  std::string script;
  std::size_t i = 0;
  while (i < traffic.bytes.size()) {
    std::size_t host = 0;
    for (; i < traffic.bytes.size() && !traffic.bytes[i].first; ++i) ++host;
    std::string reply;
    for (; i < traffic.bytes.size() && traffic.bytes[i].first; ++i)
      reply.push_back(static_cast<char>(traffic.bytes[i].second));
    for (; host > 253; host -= 253) script += std::string("\xFD\x00", 2);
    script.push_back(static_cast<char>(host));
    for (;;) {
      const std::size_t n = std::min<std::size_t>(reply.size(), 255);
      script.push_back(static_cast<char>(n));
      script += reply.substr(0, n);
      reply.erase(0, n);
      if (reply.empty()) break;
      script.push_back('\0');
    }
  }
  return script;
}

std::string HostBytes(const TTraffic& traffic) {
  std::string bytes;
  for (const auto& b : traffic.bytes)
    if (!b.first) bytes.push_back(static_cast<char>(b.second));
  return bytes;
}

// Runs the session again against the script alone: the driver must send
// what it sent to the emulator, or the script does not say what it heard.
std::string Replayed(const fuzz::TSessionHeader& header, const std::string& script) {
  fuzz::TReplyScript replies(reinterpret_cast<const uint8_t*>(script.data()), script.size());
  if (header.Serial) {
    std::string written;
    fuzz::RunSession(header, [&](const zylisp::TConnectionParams& params) {
      return std::make_unique<fuzz::TQuickSerial>(
          params, std::make_unique<fuzz::TScriptSerialPort>(replies, &written));
    });
    return written;
  }
  TTraffic traffic;
  fuzz::TScriptConnector connector(replies);
  fuzz::RunParallelSession(header, connector, [&](const zylisp::TConnectionParams& params) {
    return std::make_unique<TRecordingParallel>(params, traffic);
  });
  return HostBytes(traffic);
}

uint8_t ChipIndex(const std::string& name) {
  const std::vector<std::string> chips = zylsim::ChipNames();
  for (std::size_t i = 0; i < chips.size(); ++i)
    if (chips[i] == name) return static_cast<uint8_t>(i);
  return 0;
}

bool Record(const std::string& folder, uint8_t link, uint8_t device, uint8_t value) {
  const fuzz::TSessionHeader header(link, device, value);
  const zylisp::TDevice& part = fuzz::SessionDevice(device);
  zylsim::EmulatorConfig config;
  config.device = part.Name;
  config.org = header.ProgMode;
  zylsim::Emulator emulator(config);
  TTraffic traffic;
  if (header.Serial) {
    fuzz::RunSession(header, [&](const zylisp::TConnectionParams& params) {
      return std::make_unique<fuzz::TQuickSerial>(
          params, std::make_unique<TEmulatorPort>(emulator, traffic));
    });
  } else {
    const auto connector = zylsim::MakeAdapterConnector(emulator);
    fuzz::RunParallelSession(header, *connector, [&](const zylisp::TConnectionParams& params) {
      return std::make_unique<TRecordingParallel>(params, traffic);
    });
  }
  static const char* const kOperations[] = {"open",  "program",     "verify",       "read",
                                            "erase", "read-status", "write-status", "program-verify"};
  std::string name = std::string(header.Serial ? "com-" : "lpt-") + part.Name + "-" +
                     kOperations[header.Operation] + (header.ProgMode == 16 ? "-org16" : "");
  for (char& c : name)
    if (c == ' ' || c == '(' || c == ')') c = '_';
  const std::string script = Script(traffic);
  const std::string prefix(reinterpret_cast<const char*>(&link), 1);
  fuzz::WriteFile(folder + "/adapter_replies/" + name,
                  prefix + static_cast<char>(device) + static_cast<char>(value) + script);
  const char options = static_cast<char>((header.ProgMode == 16 ? 1 : 0) | (header.Serial ? 0 : 4));
  fuzz::WriteFile(folder + "/emulator_commands/" + name,
                  std::string(1, static_cast<char>(ChipIndex(part.Name))) + options +
                      HostBytes(traffic));
  if (Replayed(header, script) == HostBytes(traffic)) return true;
  std::fprintf(stderr, "%s: the script does not replay the session\n", name.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: record_sessions OUTPUT-FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::filesystem::create_directories(folder + "/adapter_replies");
  std::filesystem::create_directories(folder + "/emulator_commands");
  // One part of each bus kind (DataFlash is the one after the catalogue),
  // every operation, both links; Microwire in both organisations.
  const uint8_t dataFlash = static_cast<uint8_t>(fuzz::DeviceNames().size());
  const uint8_t parts[] = {3 /* 24C02 */, 28 /* 25C040 */, 45 /* 93C46 */, dataFlash};
  bool ok = true;
  for (uint8_t link = 0; link < 2; ++link) {
    for (uint8_t part : parts) {
      for (uint8_t operation = 0; operation < 8; ++operation)
        ok = Record(folder, static_cast<uint8_t>(link | operation << 1), part, 0x0C) && ok;
    }
    ok = Record(folder, static_cast<uint8_t>(link | 1 << 1 | 0x10), 45, 0x0C) && ok;
    ok = Record(folder, static_cast<uint8_t>(link | 3 << 1 | 0x10), 50 /* 93C86 */, 0x0C) && ok;
  }
  return ok ? 0 : 1;
}
