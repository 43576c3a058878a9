// The command framing of the adapter's firmware protocol, shared by both
// links. A link supplies the byte transport and brings the adapter up (the
// pure virtual operations); everything above it — commands, acknowledges,
// error replies, the bus helpers — is the same for the parallel and the
// serial adapter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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
  // The count reply bytes of a block read, as they come.
  virtual void ReceiveBlock(std::size_t count, uint8_t* data);
  // Waits the given time at the adapter's side of the link.
  virtual void Delay(unsigned milliseconds) = 0;

  const std::string& LinkName() const { return name_; }
  void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }
  void Progress(int32_t done, int32_t total) const {
    if (onProgress_) onProgress_(done, total);
  }

  // Command framing.
  //
  // Inside a pass a link with a send-ahead window (SendAheadWindow) sends
  // commands before the acknowledges of those before them have come back:
  // the bytes sent after the oldest unanswered command, which wait in the
  // adapter while it works on that one, stay within the window. Replies are
  // read in order when the window is full, when a reply is needed now
  // (every call below that returns what the adapter said) and when the
  // pass ends. Without a window every command waits for its acknowledge.
  // The bytes on the wire are the same either way.
  //
  // Command byte, arguments, then the acknowledge.
  void SendCommand(uint8_t command, const std::string& args = {});
  // Command byte and arguments; the caller reads the reply and the acknowledge.
  void BeginCommand(uint8_t command, const std::string& args = {});
  // 'W': count, the data, then the acknowledge.
  void WriteBlock(uint8_t count, const std::string& data);
  // 'R': count, then count reply bytes into data and the acknowledge. With
  // a window the bytes may arrive later: they are in once Answered() has
  // reached the Issued() of the time of the call.
  void ReadBlockInto(uint8_t count, uint8_t* data);
  // 'w' on the I2C bus; when nothing acknowledges the byte ("?T"),
  // noAcknowledge runs (and raises) in place of the usual failure.
  void BusWriteOrElse(uint8_t value, const std::function<void()>& noAcknowledge);
  // Commands sent so far, and those whose replies are in.
  uint64_t Issued() const { return issued_; }
  uint64_t Answered() const { return issued_ - pending_.size(); }
  // Reads every outstanding reply; the first failure among them raises,
  // after the rest have been read.
  void Settle();
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

  // Bytes a command may send ahead inside a pass (0: lockstep); a link
  // that cannot send ahead stays in lockstep whatever is set.
  void SetSendAheadWindow(std::size_t bytes) { window_ = bytes; }
  // After a failure above the link: reads the replies still due, ignoring
  // what they say, so that the adapter is ready for the next command.
  void Abandon() { Drain(); }

 protected:
  virtual bool CanSendAhead() const { return false; }
  // Forgets outstanding replies (the port closed, the adapter reset).
  void ForgetPending();

 private:
  // A command sent ahead whose reply has not been read yet.
  struct TPending {
    explicit TPending(std::size_t bytes) : Bytes(bytes) {}
    std::size_t Bytes;
    uint8_t* Data = nullptr;  // reply data bytes go here ...
    std::size_t DataCount = 0;  // ... this many, before the acknowledge
    std::function<void()> NoAcknowledge;
  };
  // The window a command may use now: none outside a pass.
  std::size_t Window() const { return inPass_ && CanSendAhead() ? window_ : 0; }
  // Before a command of bytes is sent: reads replies until it fits.
  void MakeRoom(std::size_t bytes);
  // After a command is sent: its reply now (lockstep) or later.
  void Expect(TPending pending);
  // Reads one command's reply.
  void Answer(const TPending& pending);
  void TakeOldest();
  void Drain();

  // The reply of a command that acknowledges the chip's answer: false for
  // "?T", true for CR; other error replies raise.
  bool TimeoutMeansNoAcknowledge();

  std::string name_;
  TProgressEvent onProgress_;
  std::deque<TPending> pending_;
  std::size_t pendingBytes_ = 0;
  uint64_t issued_ = 0;
  bool inPass_ = false;
  std::size_t window_ = 0;
};

// Two upper-case hex digits, as numeric command arguments travel.
std::string HexArg(unsigned value);

// Failure texts of the links.
extern const char* const kMsgTimedOut;
extern const char* const kMsgCommsFailed;
extern const char* const kMsgNotDetected;

}  // namespace zylisp
