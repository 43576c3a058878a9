// The parallel link: power-up, identification and the bit-level handshake.
#include "drivers/smart_parallel.h"

#include <chrono>
#include <thread>

#include "adapter_commands.h"
#include "core/errors.h"
#include "devices/device.h"
#include "drivers/shared_values.h"
#include "ports/lpt_access.h"

namespace zylisp {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReadyTimeout = std::chrono::seconds(10);
constexpr int kAcknowledgePolls = 65535;
constexpr int kIdentityLength = 9;

}  // namespace

TSmartParallel::TSmartParallel() = default;
TSmartParallel::~TSmartParallel() = default;

TLptAccess& TSmartParallel::Port() const {
  if (!Shared().Lpt) Fail("LPT port not found or in use by another program");
  return *Shared().Lpt;
}

bool TSmartParallel::Pin(int32_t pin) const { return Port().GetPin(pin); }
void TSmartParallel::SetPin(int32_t pin, bool level) { Port().SetPin(pin, level); }

void TSmartParallel::LoadSettings() {
  TAdapterProgrammer::LoadSettings();
  PollLimit = 50000;
}

void TSmartParallel::Delay(unsigned milliseconds) { Port().Delay(milliseconds); }

bool TSmartParallel::WaitReady() {
  const auto deadline = Clock::now() + kReadyTimeout;
  while (!Pin(ReadyPin)) {
    if (Clock::now() > deadline) Fail(kMsgTimedOut);
  }
  return !Pin(DataInPin);
}

void TSmartParallel::SendByte(uint8_t value) {
  if (WaitReady()) Fail(kMsgTimedOut);
  uint8_t echo = 0;
  for (int bit = 7; bit >= 0; --bit) {
    echo = static_cast<uint8_t>(echo << 1);
    SetPin(SelectPin, false);
    SetPin(ClockPin, false);
    SetPin(DataOutPin, ((value >> bit) & 1) != 0);
    SetPin(ClockPin, true);
    int polls = 0;
    while (Pin(ReadyPin)) {
      if (++polls >= kAcknowledgePolls) Fail(kMsgTimedOut);
    }
    if (Pin(DataInPin)) echo |= 1;
    SetPin(ClockPin, false);
    const auto deadline = Clock::now() + kReadyTimeout;
    while (!Pin(ReadyPin)) {
      if (Clock::now() > deadline) Fail(kMsgTimedOut);
    }
  }
  if (echo != adapter::kEcho) Fail(kMsgCommsFailed);
}

uint8_t TSmartParallel::ReceiveByte(bool) {
  if (!WaitReady()) Fail(kMsgCommsFailed);
  uint8_t result = 0;
  for (int bit = 0; bit < 8; ++bit) {
    result = static_cast<uint8_t>(result << 1);
    int polls = 0;
    while (!Pin(ReadyPin)) {
      if (++polls >= PollLimit) Fail(kMsgCommsFailed);
    }
    SetPin(ClockPin, true);
    polls = 0;
    while (Pin(ReadyPin)) {
      if (++polls >= kAcknowledgePolls) Fail(kMsgTimedOut);
    }
    if (Pin(DataInPin)) result |= 1;
    SetPin(ClockPin, false);
  }
  return result;
}

void TSmartParallel::SendCommandByte(uint8_t value) { SendByte(value); }

void TSmartParallel::WriteBytes(uint8_t count, const std::string& data) {
  SendCommand(adapter::kCmdWriteBytes, std::string(1, static_cast<char>(count)) + data);
}

void TSmartParallel::ReadBytes(uint8_t count, std::string& data) {
  BeginCommand(adapter::kCmdReadBytes, std::string(1, static_cast<char>(count)));
  data.clear();
  for (int i = 0; i < count; ++i) data.push_back(static_cast<char>(ReceiveByte(false)));
  CheckAcknowledge();
}

bool TSmartParallel::Open() {
  if (!Shared().Lpt) Fail("LPT port not found or in use by another program");
  TLptAccess& port = Port();
  port.SetActive(1);
  if (port.Active() == 0) Fail("LPT port not found or in use by another program");

  LoadSettings();
  if (PortIndex > 2) PortIndex = 0;
  port.SelectPort(static_cast<uint8_t>(PortIndex + 1));
  if (!port.PortAvailable()) Fail("LPT port not found or in use by another program");
  port.SetECPMode(lpt_epp);

  // Power the adapter up with its controller held in reset, then release it.
  for (int pin = 1; pin <= 17; ++pin) SetPin(pin, false);
  for (int pin = 2; pin <= 9; ++pin) SetPin(pin, true);
  Delay(300);
  SetPin(ClockPin, false);
  SetPin(SelectPin, false);
  SetPin(RunPin, false);
  Delay(500);
  SetPin(RunPin, true);
  Delay(500);

  std::string identity;
  try {
    for (int i = 0; i < kIdentityLength; ++i)
      identity.push_back(static_cast<char>(ReceiveByte(false)));
  } catch (const EISPException&) {
    throw EISPException("Programmer was not detected");
  }
  CheckIdentity(identity);
  try {
    SelectDevice();
  } catch (const EISPException&) {
    Fail("ISP is not responding, check your communications settings");
  }
  if (WriteTime == 0 && Device) WriteTime = static_cast<uint8_t>(Device->WriteTime());
  SendCommand(adapter::kCmdClock, HexArg(static_cast<unsigned>(Shared().ClockSpeed)));
  return true;
}

void TSmartParallel::Close() {
  TLptAccess* port = Shared().Lpt;
  if (port && port->Active() != 0) {
    // Hold the adapter in reset and let go of the port.
    port->SetPin(RunPin, false);
    port->SetPin(SelectPin, false);
  }
  SaveSettings();
  if (port) port->SetActive(0);
}

}  // namespace zylisp
