#include "drivers/smart_serial.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "adapter_commands.h"
#include "core/errors.h"
#include "devices/device.h"
#include "drivers/shared_values.h"
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

// Block reads and pending writes end with a time-out instead of waiting for
// ever: a reply byte may take as long as ReceiveByte allows.
TTimeouts LinkTimeouts() {
  TTimeouts t;
  t.ReadInterval = static_cast<uint32_t>(kReplyLimit.count());
  t.ReadMultiplier = static_cast<uint32_t>(kReplyLimit.count());
  t.ReadConstant = static_cast<uint32_t>(kReplyLimit.count());
  t.WriteMultiplier = 2;
  t.WriteConstant = static_cast<uint32_t>(kReplyLimit.count());
  return t;
}

bool IsTimeout(const ESerialError& e) { return e.ErrorCode() == 0; }

}  // namespace

TSmartSerial::TSmartSerial() = default;

TSmartSerial::~TSmartSerial() = default;

TSerialPort& TSmartSerial::Serial() const {
  if (!Port) Fail("Communications port is not open");
  return *Port;
}

void TSmartSerial::CreatePort() {
  if (PortCreated) return;
  Port = std::make_unique<TSerialPort>();
  PortCreated = true;
}

void TSmartSerial::FreePort() {
  if (Port) Port->ClosePort();
  Port.reset();
  PortCreated = false;
}

void TSmartSerial::Delay(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool TSmartSerial::Open() {
  CreatePort();
  LoadSettings();
  const auto& names = Shared().PortNames;
  if (PortIndex >= names.size() || names[PortIndex].empty())
    Fail("Serial port COM" + std::to_string(PortIndex + 1) + " not found");

  TSerialPort& port = Serial();
  port.SetDeviceName(names[PortIndex]);
  port.SetTimeouts(LinkTimeouts());
  port.OpenPort();
  port.SetBaudRate(br115200);
  port.SetDataBits(db8);

  // The modem lines reset the adapter.
  port.RaiseDTR();
  port.RaiseRTS();
  Delay(kResetStepMs);
  port.LowerDTR();
  port.LowerRTS();
  Delay(kResetStepMs);
  port.RaiseDTR();
  port.RaiseRTS();
  Delay(kResetStepMs);
  if (!port.WaitForOutputSent(kReplyLimit)) Fail(kMsgCommsFailed);
  port.SetParity(paNone);
  Delay(kResetStepMs);
  // Whatever the adapter said while it booted is not a reply.
  port.PurgeInput();

  std::string identity;
  try {
    SendCommandByte(adapter::kCmdSync);
    if (ReceiveByte(true) == adapter::kErrorIntroducer) ReceiveByte(true);
    Query(adapter::kCmdIdentity, 9, identity);
  } catch (const EISPException&) {
    throw EISPException("Programmer was not detected");
  }
  CheckIdentity(identity);
  if (WriteTime == 0 && Device) WriteTime = static_cast<uint8_t>(Device->WriteTime());
  SendCommand(adapter::kCmdClock, HexArg(static_cast<unsigned>(Shared().ClockSpeed)));
  return true;
}

void TSmartSerial::Close() {
  FreePort();
  SaveSettings();
}

bool TSmartSerial::WaitReady() {
  if (!Serial().WaitForInput(kAcknowledgeLimit)) Fail(kMsgTimedOut);
  return true;
}

uint8_t TSmartSerial::ReceiveByte(bool showProgress) {
  TSerialPort& port = Serial();
  const Clock::time_point deadline = Clock::now() + kReplyLimit;
  for (;;) {
    if (showProgress) DoProgress(-1, -1);
    const milliseconds left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left <= milliseconds::zero()) break;
    if (port.WaitForInput(showProgress ? std::min(left, kProgressTick) : left))
      return port.ReadByte();
  }
  Fail(kMsgCommsFailed);
}

void TSmartSerial::SendByte(uint8_t value) { Serial().WriteByte(value); }

void TSmartSerial::SendCommandByte(uint8_t value) { Serial().WriteByte(value); }

void TSmartSerial::WriteBytes(uint8_t count, const std::string& data) {
  BeginCommand(adapter::kCmdWriteBytes, std::string(1, static_cast<char>(count)));
  Serial().WriteText(data);
  CheckAcknowledge();
}

void TSmartSerial::ReadBytes(uint8_t count, std::string& data) {
  TSerialPort& port = Serial();
  BeginCommand(adapter::kCmdReadBytes, std::string(1, static_cast<char>(count)));
  if (!port.WaitForOutputSent(kReplyLimit)) Fail(kMsgCommsFailed);
  std::vector<uint8_t> block(count);
  try {
    port.ReadData(block.data(), count, true);
  } catch (const ESerialError& e) {
    if (IsTimeout(e)) Fail(kMsgCommsFailed);
    throw;
  }
  CheckAcknowledge();
  data.assign(block.begin(), block.end());
}

}  // namespace zylisp
