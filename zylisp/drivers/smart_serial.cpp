#include "drivers/smart_serial.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "adapter_commands.h"
#include "core/errors.h"
#include "ports/serial_port.h"

namespace zylisp {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kReplyLimit{2000};
constexpr milliseconds kAcknowledgeLimit{1000};
// While the adapter is being synchronised the client hears from us this
// often, so that it can show that something is going on.
constexpr milliseconds kProgressTick{100};
constexpr unsigned kResetStepMs = 250;
constexpr uint32_t kLineRate = 115200;
// Ten bits of a byte at 115200 baud.
constexpr std::chrono::nanoseconds kLineByteTime{86806};
// A write the device does not take ends after this much time per byte on
// top of kReplyLimit, instead of waiting for ever.
constexpr milliseconds kWriteLimitPerByte{2};

}  // namespace

TSmartSerial::TSmartSerial(const TConnectionParams& params, std::unique_ptr<TSerialPort> port)
    : TAdapterLink(params.Kind),
      portNumber_(params.SerialPort),
      path_(params.SerialPath),
      port_(port ? std::move(port) : std::make_unique<TSerialPort>()) {}

TSmartSerial::~TSmartSerial() = default;

TSerialPort& TSmartSerial::Serial() const {
  if (!connected_) Fail("Communications port is not open");
  return *port_;
}

void TSmartSerial::Forget() {
  ForgetPending();
  outgoing_.clear();
  received_.clear();
  receivedAt_ = 0;
}

void TSmartSerial::Disconnect() {
  connected_ = false;
  port_->Close();
  Forget();
}

void TSmartSerial::Flush() {
  if (outgoing_.empty()) return;
  const std::size_t count = outgoing_.size();
  const std::size_t sent =
      Serial().Write(outgoing_.data(), count, kReplyLimit + kWriteLimitPerByte * count);
  outgoing_.clear();
  if (sent < count) Fail(kMsgCommsFailed);
}

bool TSmartSerial::Await(Clock::time_point deadline) {
  if (receivedAt_ < received_.size()) return true;
  TSerialPort& port = Serial();
  Flush();
  char buffer[512];
  const milliseconds left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
  const std::size_t n = port.Read(buffer, sizeof buffer, std::max(left, milliseconds::zero()));
  received_.assign(buffer, n);
  receivedAt_ = 0;
  return n > 0;
}

void TSmartSerial::Delay(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string TSmartSerial::Connect() {
  if (path_.empty()) Fail("Serial port COM" + std::to_string(portNumber_) + " not found");
  port_->Open(path_, kLineRate);
  connected_ = true;
  TSerialPort& port = *port_;

  // The modem lines reset the adapter; then it boots.
  port.SetModemLines(true, true);
  Delay(kResetStepMs);
  port.SetModemLines(false, false);
  Delay(kResetStepMs);
  port.SetModemLines(true, true);
  Delay(2 * kResetStepMs);
  // Whatever the adapter said while it booted is not a reply.
  port.PurgeInput();
  Forget();

  std::string identity;
  try {
    SendCommandByte(adapter::kCmdSync);
    if (ReceiveByte(true) == adapter::kErrorIntroducer) ReceiveByte(true);
    Query(adapter::kCmdIdentity, 9, identity);
  } catch (const EISPException&) {
    throw EISPException(kMsgNotDetected);
  }
  return identity;
}

bool TSmartSerial::WaitReady() {
  if (!Await(Clock::now() + kAcknowledgeLimit)) Fail(kMsgTimedOut);
  return true;
}

uint8_t TSmartSerial::ReceiveByte(bool showProgress) {
  // A byte already in: no clock reading, which costs more than the byte on
  // some machines.
  if (receivedAt_ < received_.size()) {
    if (showProgress) Progress(-1, -1);
    return static_cast<uint8_t>(received_[receivedAt_++]);
  }
  const Clock::time_point deadline = Clock::now() + kReplyLimit;
  for (;;) {
    if (showProgress) Progress(-1, -1);
    const Clock::time_point now = Clock::now();
    if (now >= deadline) break;
    if (Await(showProgress ? std::min(deadline, now + kProgressTick) : deadline))
      return static_cast<uint8_t>(received_[receivedAt_++]);
  }
  Fail(kMsgCommsFailed);
}

void TSmartSerial::SendByte(uint8_t value) {
  Serial();  // fails at once without a port, not later at the flush
  outgoing_.push_back(static_cast<char>(value));
}

void TSmartSerial::SendCommandByte(uint8_t value) { SendByte(value); }

void TSmartSerial::WriteBytes(uint8_t count, const std::string& data) {
  BeginCommand(adapter::kCmdWriteBytes, std::string(1, static_cast<char>(count)));
  outgoing_ += data;
  CheckAcknowledge();
}

void TSmartSerial::ReadBytes(uint8_t count, std::string& data) {
  BeginCommand(adapter::kCmdReadBytes, std::string(1, static_cast<char>(count)));
  Flush();
  if (!Serial().Drain(kReplyLimit)) Fail(kMsgCommsFailed);
  data.assign(count, '\0');
  ReceiveBlock(count, reinterpret_cast<uint8_t*>(data.data()));
  CheckAcknowledge();
}

// Each byte of the block may take as long as any reply byte. Once the block
// has begun to arrive, the rest is on its way at the line rate: the driver
// sleeps for about that long, so that it wakes a few times for the whole
// remainder instead of once for every byte.
void TSmartSerial::ReceiveBlock(std::size_t count, uint8_t* data) {
  std::size_t have = 0;
  while (have < count) {
    data[have++] = ReceiveByte(false);
    const std::size_t taken = std::min(received_.size() - receivedAt_, count - have);
    std::copy_n(received_.begin() + static_cast<std::ptrdiff_t>(receivedAt_), taken, data + have);
    receivedAt_ += taken;
    have += taken;
    const std::size_t rest = count - have;
    // Waking a little early lets the wake-up overlap the last bytes.
    if (rest > 3) std::this_thread::sleep_for((rest - 2) * kLineByteTime);
  }
}

}  // namespace zylisp
