// The programmer adapter on a parallel port: bytes travel bit by bit over
// connector pins under a clock/ready handshake driven by the host.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/adapter_programmer.h"

namespace zylisp {

class TLptAccess;

class TSmartParallel : public TAdapterProgrammer {
 public:
  TSmartParallel();
  ~TSmartParallel() override;

  bool Open() override;
  void Close() override;
  void LoadSettings() override;

  // Byte transport over the pins.
  bool WaitReady() override;
  void SendByte(uint8_t value) override;
  uint8_t ReceiveByte(bool showProgress) override;
  void SendCommandByte(uint8_t value) override;
  void WriteBytes(uint8_t count, const std::string& data) override;
  void ReadBytes(uint8_t count, std::string& data) override;
  void Delay(unsigned milliseconds) override;

 protected:
  int32_t DataOutPin = 16;
  int32_t ClockPin = 14;
  int32_t ReadyPin = 10;
  int32_t DataInPin = 11;
  int32_t SelectPin = 17;
  int32_t RunPin = 1;
  int32_t PollLimit = 50000;

 private:
  TLptAccess& Port() const;
  bool Pin(int32_t pin) const;
  void SetPin(int32_t pin, bool level);
};

}  // namespace zylisp
