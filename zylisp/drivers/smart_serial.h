// The programmer adapter on a serial port: the same firmware as on the
// parallel port, its command and reply bytes travelling as ordinary
// characters at 115200 baud, 8 data bits, no parity.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "drivers/adapter_link.h"
#include "drivers/connection_params.h"

namespace zylisp {

class TSerialPort;

class TSmartSerial : public TAdapterLink {
 public:
  // Talks through port when one is given (a test's stand-in for the
  // device), else through a port of its own on params.SerialPath.
  TSmartSerial(const TConnectionParams& params, std::unique_ptr<TSerialPort> port);
  ~TSmartSerial() override;

  // Opens the port, resets the adapter with a DTR/RTS pulse, synchronises
  // and asks who answers.
  std::string Connect() override;
  void Disconnect() override;

  // Byte transport. Every wait sleeps in poll() for at most what is left of
  // its limit: 2 s for a reply byte, 1 s for an acknowledge.
  bool WaitReady() override;
  void SendByte(uint8_t value) override;
  uint8_t ReceiveByte(bool showProgress) override;
  void SendCommandByte(uint8_t value) override;
  void WriteBytes(uint8_t count, const std::string& data) override;
  void ReadBytes(uint8_t count, std::string& data) override;
  void ReceiveBlock(std::size_t count, uint8_t* data) override;
  void Delay(unsigned milliseconds) override;

 protected:
  bool CanSendAhead() const override { return true; }

 private:
  using Clock = std::chrono::steady_clock;

  TSerialPort& Serial() const;
  // Hands the bytes of the command being sent to the port. Bytes are
  // collected until the driver waits for an answer, so that a command goes
  // out in one write.
  void Flush();
  // True once a received byte is at hand; false when deadline passes first.
  bool Await(Clock::time_point deadline);
  void Forget();

  int32_t portNumber_;
  std::string path_;
  std::unique_ptr<TSerialPort> port_;
  bool connected_ = false;
  std::string outgoing_;
  std::string received_;  // read from the port, not yet taken
  std::size_t receivedAt_ = 0;
};

}  // namespace zylisp
