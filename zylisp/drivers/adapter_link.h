// The command framing of the adapter's firmware protocol, shared by both
// links. A link supplies the byte transport and brings the adapter up (the
// pure virtual operations); everything above it — commands, acknowledges,
// error replies, the bus helpers — is the same for the parallel and the
// serial adapter.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zylisp {

using TProgressEvent = std::function<void(int32_t done, int32_t total)>;

class TAdapterLink {
 public:
  // name: the programmer kind, the source of the link's failures.
  explicit TAdapterLink(std::string name) : name_(std::move(name)) {}
  virtual ~TAdapterLink() = default;
  TAdapterLink(const TAdapterLink&) = delete;
  TAdapterLink& operator=(const TAdapterLink&) = delete;

  // Takes the port, brings the adapter up and returns the identity it
  // announces; "Programmer was not detected" when none answers.
  virtual std::string Connect() = 0;
  // Lets go of the adapter and the port.
  virtual void Disconnect() = 0;
  // The parallel adapter takes its clock only with a bus kind selected.
  virtual bool SelectsOnConnect() const { return false; }

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

  const std::string& LinkName() const { return name_; }
  void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }
  void Progress(int32_t done, int32_t total) const {
    if (onProgress_) onProgress_(done, total);
  }

  // Command framing.
  // Command byte, arguments, then the acknowledge.
  void SendCommand(uint8_t command, const std::string& args = {});
  // Command byte and arguments; the caller reads the reply and the acknowledge.
  void BeginCommand(uint8_t command, const std::string& args = {});
  // Command byte, then count reply bytes, then the acknowledge.
  void Query(uint8_t command, int count, std::string& reply);
  // Reads the acknowledge; '?' and a code raise the code's failure.
  void CheckAcknowledge();
  // Reads the acknowledge: nothing for CR, the code of a '?' reply; any
  // other byte raises.
  std::optional<uint8_t> ReadReply();
  // Raises the failure an error reply's code stands for.
  [[noreturn]] void FailReply(uint8_t code) const;

  // Bus helpers.
  void BusStart();
  void BusStop();
  void DeviceWait();
  void BusWrite(uint8_t value);
  // 'w' on the I2C bus: false when the adapter reports that nothing
  // acknowledged the byte ("?T"); other error replies raise.
  bool BusWriteAcknowledged(uint8_t value);
  // The acknowledge poll ('Z'); false when nothing acknowledged before the
  // adapter gave up ("?T").
  bool DeviceWaitAcknowledged();
  uint8_t BusRead();
  void BeginPass();
  void EndPass();

  // Raises EISPException with the link's name as source.
  [[noreturn]] void Fail(const std::string& message) const;

 private:
  // The reply of a command that acknowledges the chip's answer: false for
  // "?T", true for CR; other error replies raise.
  bool TimeoutMeansNoAcknowledge();

  std::string name_;
  TProgressEvent onProgress_;
};

// Two upper-case hex digits, as numeric command arguments travel.
std::string HexArg(unsigned value);

// Failure texts of the links.
extern const char* const kMsgTimedOut;
extern const char* const kMsgCommsFailed;
extern const char* const kMsgNotDetected;

}  // namespace zylisp
