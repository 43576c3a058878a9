// The programmer adapter on a parallel port: bytes travel bit by bit over
// connector pins under a clock/ready handshake driven by the host.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/adapter_link.h"
#include "drivers/connection_params.h"

namespace zylisp {

class TLptAccess;

class TSmartParallel : public TAdapterLink {
 public:
  // Works on params.Lpt (none: every use fails as a port in use would),
  // slot params.LptSlot.
  explicit TSmartParallel(const TConnectionParams& params);

  // Opens the port driver, powers the adapter up and reads the identity it
  // announces.
  std::string Connect() override;
  // Holds the adapter in reset and lets go of the port.
  void Disconnect() override;
  bool SelectsOnConnect() const override { return true; }

  // Byte transport over the pins.
  bool WaitReady() override;
  void SendByte(uint8_t value) override;
  uint8_t ReceiveByte(bool showProgress) override;
  void SendCommandByte(uint8_t value) override;
  void WriteBytes(uint8_t count, const std::string& data) override;
  void ReadBytes(uint8_t count, std::string& data) override;
  void Delay(unsigned milliseconds) override;

 private:
  TLptAccess& Port() const;
  bool Pin(int32_t pin) const;
  // Waits for the ready pin to rise, 10 s at most.
  void AwaitReady() const;
  // Reads the ready pin until it shows level; fails with failure on the
  // polls-th read that does not.
  void PollReady(bool level, int polls, const char* failure) const;
  void SetPin(int32_t pin, bool level);

  TLptAccess* lpt_;
  uint8_t slot_;
};

}  // namespace zylisp
