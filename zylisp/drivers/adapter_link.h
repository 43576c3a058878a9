// The command framing of the adapter's firmware protocol, shared by both
// links. A link supplies the byte transport (the pure virtual operations);
// everything above it — commands, acknowledges, error replies, the bus
// helpers — is the same for the parallel and the serial adapter.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

class TAdapterLink {
 public:
  virtual ~TAdapterLink() = default;

  // Byte transport.
  // True when the adapter has a byte to send, false when it waits for one.
  virtual bool WaitReady() = 0;
  virtual void SendByte(uint8_t value) = 0;
  virtual uint8_t ReceiveByte(bool showProgress) = 0;
  virtual void SendCommandByte(uint8_t value) = 0;
  // 'W' and 'R' block transfers (the serial link streams them).
  virtual void WriteBytes(uint8_t count, const std::string& data) = 0;
  virtual void ReadBytes(uint8_t count, std::string& data) = 0;
  // Waits the given time at the adapter's side of the link.
  virtual void Delay(unsigned milliseconds) = 0;
  // Source text of the link's failures (the programmer kind's name).
  virtual const std::string& LinkName() const = 0;

  // Command framing.
  // Command byte, arguments, then the acknowledge.
  void SendCommand(uint8_t command, const std::string& args = {});
  // Command byte and arguments; the caller reads the reply and the acknowledge.
  void BeginCommand(uint8_t command, const std::string& args = {});
  // Command byte, then count reply bytes, then the acknowledge.
  void Query(uint8_t command, int count, std::string& reply);
  // Reads the acknowledge; '?' and a code raise the code's failure.
  void CheckAcknowledge();

  // Bus helpers.
  void BusStart();
  void BusStop();
  void DeviceWait();
  void BusWrite(uint8_t value);
  uint8_t BusRead();
  void BeginPass();
  void EndPass();

  // Raises EISPException with the link's name as source.
  [[noreturn]] void Fail(const std::string& message) const;
};

// Two upper-case hex digits, as numeric command arguments travel.
std::string HexArg(unsigned value);

// Failure texts of the links.
extern const char* const kMsgTimedOut;
extern const char* const kMsgCommsFailed;

}  // namespace zylisp
