#include "drivers/adapter_link.h"

#include "adapter_commands.h"
#include "core/errors.h"
#include "core/hex_text.h"

namespace zylisp {

const char* const kMsgTimedOut = "ISP timed out during operation";
const char* const kMsgCommsFailed = "Communications with ISP failed during this operation";
const char* const kMsgNotDetected = "Programmer was not detected";

std::string HexArg(unsigned value) { return HexDigits(value & 0xFF, 2); }

void TAdapterLink::Fail(const std::string& message) const {
  throw EISPException(message, LinkName());
}

void TAdapterLink::SendCommand(uint8_t command, const std::string& args) {
  SendCommandByte(command);
  for (char c : args) SendByte(static_cast<uint8_t>(c));
  CheckAcknowledge();
}

void TAdapterLink::BeginCommand(uint8_t command, const std::string& args) {
  SendCommandByte(command);
  for (char c : args) SendCommandByte(static_cast<uint8_t>(c));
}

void TAdapterLink::Query(uint8_t command, int count, std::string& reply) {
  reply.clear();
  SendCommandByte(command);
  for (int i = 0; i < count; ++i) reply.push_back(static_cast<char>(ReceiveByte(false)));
  CheckAcknowledge();
}

void TAdapterLink::CheckAcknowledge() {
  if (const std::optional<uint8_t> code = ReadReply()) FailReply(*code);
}

std::optional<uint8_t> TAdapterLink::ReadReply() {
  WaitReady();
  const uint8_t reply = ReceiveByte(false);
  if (reply == adapter::kAcknowledge) return std::nullopt;
  if (reply != adapter::kErrorIntroducer) Fail(kMsgCommsFailed);
  return ReceiveByte(false);
}

void TAdapterLink::FailReply(uint8_t code) const {
  switch (code) {
    case adapter::kErrUnknownCommand: Fail("Command not known here");
    case adapter::kErrBadNumber: Fail("Invalid number sent");
    case adapter::kErrBlankCheck: Fail("BlankCheck Failed");
    case adapter::kErrMicrowire: Fail("illegal attempt to use microwire");
    case adapter::kErrBusyTimeout: Fail("Program/erase BUSY timed out");
    case adapter::kErrVerify: throw EVerifyError("Your target device failed verification");
    // The adapter is fine; the chip did not answer the read command.
    case adapter::kErrMicrowireSync:
      throw EDeviceNotResponding("Microwire exchange out of sync", LinkName());
    default: Fail(kMsgCommsFailed);
  }
}

void TAdapterLink::BusStart() { SendCommand(adapter::kCmdBusStart); }
void TAdapterLink::BusStop() { SendCommand(adapter::kCmdBusStop); }
void TAdapterLink::DeviceWait() { SendCommand(adapter::kCmdDeviceWait); }
void TAdapterLink::BusWrite(uint8_t value) {
  SendCommand(adapter::kCmdBusWrite, std::string(1, static_cast<char>(value)));
}

// The firmware answers an I2C byte that nothing acknowledged with "?T", the
// reply of an acknowledge poll that got none; a chip that answers
// acknowledges every byte, so it never sees that reply.
bool TAdapterLink::BusWriteAcknowledged(uint8_t value) {
  SendCommandByte(adapter::kCmdBusWrite);
  SendByte(value);
  return TimeoutMeansNoAcknowledge();
}

bool TAdapterLink::DeviceWaitAcknowledged() {
  SendCommandByte(adapter::kCmdDeviceWait);
  return TimeoutMeansNoAcknowledge();
}

bool TAdapterLink::TimeoutMeansNoAcknowledge() {
  const std::optional<uint8_t> code = ReadReply();
  if (!code) return true;
  if (*code == adapter::kErrBusyTimeout) return false;
  FailReply(*code);
}

uint8_t TAdapterLink::BusRead() {
  BeginCommand(adapter::kCmdBusRead);
  const uint8_t value = ReceiveByte(false);
  CheckAcknowledge();
  return value;
}

void TAdapterLink::BeginPass() { SendCommand(adapter::kCmdBeginPass); }
void TAdapterLink::EndPass() { SendCommand(adapter::kCmdEndPass); }

}  // namespace zylisp
