// A programmer on the serial link whose adapter is the emulator's firmware
// in this process, behind a serial port of the test's own: no line, no
// waits, and every byte each way on record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "devices/device.h"
#include "drivers/connection_params.h"
#include "drivers/isp_programmer.h"
#include "drivers/smart_serial.h"
#include "ports/serial_port.h"
#include "zylsim/emulator.h"

namespace testing_support {

struct TTraffic {
  bool keep = true;  // false: only the writes are counted
  std::string host;
  std::string replies;
  int writes = 0;
};

// Hands what the host writes to the firmware at once; a reset pulse on the
// modem lines powers the adapter on again.
class TFirmwarePort : public zylisp::TSerialPort {
 public:
  TFirmwarePort(zylsim::Emulator& emulator, TTraffic& traffic)
      : emulator_(emulator), traffic_(traffic) {}
  void Open(const std::string&, uint32_t) override {}
  void Close() override {}
  void SetModemLines(bool dtr, bool) override {
    if (!dtr) emulator_.PowerOn(false);
  }
  std::size_t Write(const void* data, std::size_t count, Milliseconds) override {
    ++traffic_.writes;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (traffic_.keep) traffic_.host.append(reinterpret_cast<const char*>(bytes), count);
    for (std::size_t i = 0; i < count; ++i) emulator_.Adapter().Receive(bytes[i]);
    return count;
  }
  std::size_t Read(void* buffer, std::size_t max, Milliseconds) override {
    zylsim::Firmware& firmware = emulator_.Adapter();
    auto* bytes = static_cast<uint8_t*>(buffer);
    std::size_t n = 0;
    for (; n < max && firmware.HasOutput(); ++n) bytes[n] = firmware.TakeOutput();
    if (traffic_.keep) traffic_.replies.append(reinterpret_cast<const char*>(bytes), n);
    return n;
  }
  bool Drain(Milliseconds) override { return true; }
  void PurgeInput() override {
    while (emulator_.Adapter().HasOutput()) emulator_.Adapter().TakeOutput();
  }

 private:
  zylsim::Emulator& emulator_;
  TTraffic& traffic_;
};

// No waits for a line: block replies are taken byte by byte as they are in.
class TQuickSerial : public zylisp::TSmartSerial {
 public:
  using zylisp::TSmartSerial::TSmartSerial;
  void Delay(unsigned) override {}
  void ReceiveBlock(std::size_t count, uint8_t* data) override {
    zylisp::TAdapterLink::ReceiveBlock(count, data);
  }
};

// A programmer on the emulated adapter of config, for device, sending
// ahead within window.
struct TFirmwareRig {
  TFirmwareRig(const std::string& config, const zylisp::TDevice& device,
               std::size_t window = zylisp::kDefaultSerialWindow, uint8_t org = 8)
      : emulator(zylsim::MakeEmulator(config)) {
    zylisp::TConnectionParams params;
    params.Kind = "Zyl ISP (COM)";
    params.Device = &device;
    params.SerialPort = 1;
    params.SerialPath = "COM1";
    params.PageSize = device.PageSize;
    params.ProgMode = org;
    params.WriteTime = device.WriteTime;
    params.SerialWindow = window;
    programmer = std::make_unique<zylisp::TISPProgrammer>(
        params, std::make_unique<TQuickSerial>(
                    params, std::make_unique<TFirmwarePort>(*emulator, traffic)));
  }
  std::unique_ptr<zylsim::Emulator> emulator;
  TTraffic traffic;
  std::unique_ptr<zylisp::TISPProgrammer> programmer;
};

}  // namespace testing_support
