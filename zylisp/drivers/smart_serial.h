// The programmer adapter on a serial port: the same firmware as on the
// parallel port, its command and reply bytes travelling as ordinary
// characters at 115200 baud, 8 data bits, no parity.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "drivers/adapter_programmer.h"

namespace zylisp {

class TSerialPort;

class TSmartSerial : public TAdapterProgrammer {
 public:
  TSmartSerial();
  ~TSmartSerial() override;

  // Opens the port named in slot PortIndex of the port list, resets the
  // adapter with a DTR/RTS pulse and checks who answers.
  bool Open() override;
  // Frees the port, then keeps the driver's values in the settings.
  void Close() override;

  // Byte transport. Every wait sleeps in poll() for at most what is left of
  // its limit: 2 s for a reply byte, 1 s for an acknowledge.
  bool WaitReady() override;
  void SendByte(uint8_t value) override;
  uint8_t ReceiveByte(bool showProgress) override;
  void SendCommandByte(uint8_t value) override;
  void WriteBytes(uint8_t count, const std::string& data) override;
  void ReadBytes(uint8_t count, std::string& data) override;
  void Delay(unsigned milliseconds) override;

  virtual void CreatePort();
  virtual void FreePort();

 protected:
  bool PortCreated = false;
  std::unique_ptr<TSerialPort> Port;

 private:
  using Clock = std::chrono::steady_clock;

  TSerialPort& Serial() const;
  // Hands the bytes of the command being sent to the port. Bytes are
  // collected until the driver waits for an answer, so that a command goes
  // out in one write.
  void Flush();
  // True once a received byte is at hand; false when deadline passes first.
  bool Await(Clock::time_point deadline);

  std::string outgoing_;
  std::string received_;      // read from the port, not yet taken
  std::size_t receivedAt_ = 0;
};

}  // namespace zylisp
