#include "drivers/adapter_link.h"

#include <algorithm>

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

void TAdapterLink::ReceiveBlock(std::size_t count, uint8_t* data) {
  for (std::size_t i = 0; i < count; ++i) data[i] = ReceiveByte(false);
}

void TAdapterLink::MakeRoom(std::size_t bytes) {
  const std::size_t window = Window();
  if (window == 0) {
    Settle();
    return;
  }
  // The oldest unanswered command is the one the adapter works on; what
  // follows it waits in the adapter's receive buffer.
  while (!pending_.empty() && pendingBytes_ - pending_.front().Bytes + bytes > window)
    TakeOldest();
}

void TAdapterLink::Expect(TPending pending) {
  ++issued_;
  if (Window() == 0) {
    Answer(pending);
    return;
  }
  pendingBytes_ += pending.Bytes;
  pending_.push_back(std::move(pending));
}

void TAdapterLink::Answer(const TPending& pending) {
  if (pending.DataCount > 0) ReceiveBlock(pending.DataCount, pending.Data);
  const std::optional<uint8_t> code = ReadReply();
  if (!code) return;
  if (pending.NoAcknowledge && *code == adapter::kErrBusyTimeout) pending.NoAcknowledge();
  FailReply(*code);
}

void TAdapterLink::TakeOldest() {
  const TPending oldest = std::move(pending_.front());
  pending_.pop_front();
  pendingBytes_ -= oldest.Bytes;
  try {
    Answer(oldest);
  } catch (const EDeviceNotResponding&) {
    Drain();
    throw;
  } catch (const EISPException& e) {
    Drain();
    // A byte the adapter's receive buffer could not hold is lost: the
    // commands after it are taken apart wrongly. Say what may have caused
    // the failure that shows it.
    const std::string message = e.Message();
    if (message != "Command not known here" && message != "Invalid number sent" &&
        message != kMsgCommsFailed && message != kMsgTimedOut)
      throw;
    Fail(message + "; commands were sent up to " + std::to_string(window_) +
         " bytes ahead of their replies, more than an adapter with a smaller receive buffer "
         "holds: a smaller send-ahead window (ZYLISP_SERIAL_WINDOW, 0 for none) avoids that");
  } catch (...) {
    Drain();
    throw;
  }
}

void TAdapterLink::Drain() {
  while (!pending_.empty()) {
    const TPending next = std::move(pending_.front());
    pending_.pop_front();
    try {
      if (next.DataCount > 0) ReceiveBlock(next.DataCount, next.Data);
      ReadReply();
    } catch (const EISPException&) {
      // The adapter no longer answers: nothing more will come.
      break;
    }
  }
  ForgetPending();
}

void TAdapterLink::ForgetPending() {
  pending_.clear();
  pendingBytes_ = 0;
  inPass_ = false;
}

void TAdapterLink::Settle() {
  while (!pending_.empty()) TakeOldest();
}

void TAdapterLink::SendCommand(uint8_t command, const std::string& args) {
  MakeRoom(1 + args.size());
  SendCommandByte(command);
  for (char c : args) SendByte(static_cast<uint8_t>(c));
  Expect(TPending(1 + args.size()));
}

void TAdapterLink::BeginCommand(uint8_t command, const std::string& args) {
  Settle();
  SendCommandByte(command);
  for (char c : args) SendCommandByte(static_cast<uint8_t>(c));
}

void TAdapterLink::WriteBlock(uint8_t count, const std::string& data) {
  if (Window() == 0) {
    Settle();
    WriteBytes(count, data);
    ++issued_;
    return;
  }
  MakeRoom(2 + data.size());
  SendCommandByte(adapter::kCmdWriteBytes);
  SendCommandByte(count);
  for (char c : data) SendByte(static_cast<uint8_t>(c));
  Expect(TPending(2 + data.size()));
}

void TAdapterLink::ReadBlockInto(uint8_t count, uint8_t* data) {
  if (Window() == 0) {
    Settle();
    std::string reply;
    ReadBytes(count, reply);
    std::copy_n(reply.begin(), std::min<std::size_t>(reply.size(), count), data);
    ++issued_;
    return;
  }
  MakeRoom(2);
  SendCommandByte(adapter::kCmdReadBytes);
  SendCommandByte(count);
  TPending pending(2);
  pending.Data = data;
  pending.DataCount = count;
  Expect(std::move(pending));
}

void TAdapterLink::BusWriteOrElse(uint8_t value, const std::function<void()>& noAcknowledge) {
  if (Window() == 0) {
    if (!BusWriteAcknowledged(value)) noAcknowledge();
    ++issued_;
    return;
  }
  MakeRoom(2);
  SendCommandByte(adapter::kCmdBusWrite);
  SendByte(value);
  TPending pending(2);
  pending.NoAcknowledge = noAcknowledge;
  Expect(std::move(pending));
}

void TAdapterLink::Query(uint8_t command, int count, std::string& reply) {
  Settle();
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
  Settle();
  SendCommandByte(adapter::kCmdBusWrite);
  SendByte(value);
  return TimeoutMeansNoAcknowledge();
}

bool TAdapterLink::DeviceWaitAcknowledged() {
  Settle();
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

void TAdapterLink::BeginPass() {
  SendCommand(adapter::kCmdBeginPass);
  inPass_ = true;
}

void TAdapterLink::EndPass() {
  SendCommand(adapter::kCmdEndPass);
  Settle();
  inPass_ = false;
}

}  // namespace zylisp
