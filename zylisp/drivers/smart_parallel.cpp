// The parallel link: power-up, identification and the bit-level handshake.
#include "drivers/smart_parallel.h"

#include <chrono>
#include <thread>

#include "adapter_commands.h"
#include "core/errors.h"
#include "ports/lpt_access.h"

namespace zylisp {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReadyTimeout = std::chrono::seconds(10);
constexpr int kAcknowledgePolls = 65535;
constexpr int kIdentityLength = 9;
constexpr const char* kMsgPortUnavailable = "LPT port not found or in use by another program";

// Connector pins of the adapter.
constexpr int32_t kDataOutPin = 16;
constexpr int32_t kClockPin = 14;
constexpr int32_t kReadyPin = 10;
constexpr int32_t kDataInPin = 11;
constexpr int32_t kSelectPin = 17;
constexpr int32_t kRunPin = 1;
constexpr int32_t kPollLimit = 50000;

}  // namespace

TSmartParallel::TSmartParallel(const TConnectionParams& params)
    : TAdapterLink(params.Kind), lpt_(params.Lpt), slot_(params.LptSlot) {}

TLptAccess& TSmartParallel::Port() const {
  if (!lpt_) Fail(kMsgPortUnavailable);
  return *lpt_;
}

bool TSmartParallel::Pin(int32_t pin) const { return Port().GetPin(pin); }
void TSmartParallel::SetPin(int32_t pin, bool level) { Port().SetPin(pin, level); }

void TSmartParallel::Delay(unsigned milliseconds) { Port().Delay(milliseconds); }

void TSmartParallel::AwaitReady() const {
  if (Pin(kReadyPin)) return;
  // The clock is read once per many polls: a pin read is the cheaper of the
  // two, and the bound is far longer than any run of polls.
  const auto deadline = Clock::now() + kReadyTimeout;
  for (unsigned polls = 1; !Pin(kReadyPin); ++polls) {
    if (polls % 256 == 0 && Clock::now() > deadline) Fail(kMsgTimedOut);
  }
}

void TSmartParallel::PollReady(bool level, int polls, const char* failure) const {
  for (int n = 1; Pin(kReadyPin) != level; ++n) {
    if (n >= polls) Fail(failure);
  }
}

bool TSmartParallel::WaitReady() {
  AwaitReady();
  return !Pin(kDataInPin);
}

void TSmartParallel::SendByte(uint8_t value) {
  if (WaitReady()) Fail(kMsgTimedOut);
  uint8_t echo = 0;
  for (int bit = 7; bit >= 0; --bit) {
    echo = static_cast<uint8_t>(echo << 1);
    SetPin(kSelectPin, false);
    SetPin(kClockPin, false);
    SetPin(kDataOutPin, ((value >> bit) & 1) != 0);
    SetPin(kClockPin, true);
    PollReady(false, kAcknowledgePolls, kMsgTimedOut);
    if (Pin(kDataInPin)) echo |= 1;
    SetPin(kClockPin, false);
    AwaitReady();
  }
  if (echo != adapter::kEcho) Fail(kMsgCommsFailed);
}

uint8_t TSmartParallel::ReceiveByte(bool) {
  if (!WaitReady()) Fail(kMsgCommsFailed);
  uint8_t result = 0;
  for (int bit = 0; bit < 8; ++bit) {
    result = static_cast<uint8_t>(result << 1);
    PollReady(true, kPollLimit, kMsgCommsFailed);
    SetPin(kClockPin, true);
    PollReady(false, kAcknowledgePolls, kMsgTimedOut);
    if (Pin(kDataInPin)) result |= 1;
    SetPin(kClockPin, false);
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

std::string TSmartParallel::Connect() {
  TLptAccess& port = Port();
  port.SetActive(1);
  if (port.Active() == 0) Fail(kMsgPortUnavailable);
  port.SelectPort(slot_);
  if (!port.PortAvailable()) Fail(kMsgPortUnavailable);
  port.SetECPMode(lpt_epp);

  // Power the adapter up with its controller held in reset, then release it.
  for (int pin = 1; pin <= 17; ++pin) SetPin(pin, false);
  for (int pin = 2; pin <= 9; ++pin) SetPin(pin, true);
  Delay(300);
  SetPin(kClockPin, false);
  SetPin(kSelectPin, false);
  SetPin(kRunPin, false);
  Delay(500);
  SetPin(kRunPin, true);
  Delay(500);

  std::string identity;
  try {
    for (int i = 0; i < kIdentityLength; ++i)
      identity.push_back(static_cast<char>(ReceiveByte(false)));
  } catch (const EISPException&) {
    throw EISPException(kMsgNotDetected);
  }
  return identity;
}

void TSmartParallel::Disconnect() {
  if (lpt_ && lpt_->Active() != 0) {
    // Hold the adapter in reset and let go of the port.
    lpt_->SetPin(kRunPin, false);
    lpt_->SetPin(kSelectPin, false);
  }
  if (lpt_) lpt_->SetActive(0);
}

}  // namespace zylisp
