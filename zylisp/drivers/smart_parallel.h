// The programmer adapter on a parallel port: bytes travel bit by bit over
// connector pins under a clock/ready handshake driven by the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "drivers/adapter_link.h"
#include "drivers/isp_programmer.h"

namespace zylisp {

class TBusOperations;
class TLptAccess;

class TSmartParallel : public TISPProgrammer, public TAdapterLink {
 public:
  TSmartParallel();
  ~TSmartParallel() override;

  // Operations the API layer calls.
  void Program(THexList& image) override;
  void Verify(THexList& image) override;
  void Read(THexList& image) override;
  void EraseAll() override;
  uint8_t ReadStatus() override;
  void WriteStatus(uint8_t value) override;
  void SetResetPolarity(uint8_t value) override;
  bool Open() override;
  void Close() override;
  void CheckFirmware() override;
  void LoadSettings() override;
  void SaveSettings() override;
  void GetFirmwareVersion(std::string& version) override;

  // Link.
  virtual void SelectDevice();
  virtual void ExpectedIdentity(std::string& identity) const;
  virtual void EnsureSelected();
  virtual void ReadBlock(uint8_t* buffer, uint8_t command, int32_t count, int32_t address);

  // Byte transport over the pins.
  bool WaitReady() override;
  void SendByte(uint8_t value) override;
  uint8_t ReceiveByte(bool showProgress) override;
  void SendCommandByte(uint8_t value) override;
  void WriteBytes(uint8_t count, const std::string& data) override;
  void ReadBytes(uint8_t count, std::string& data) override;
  void Delay(unsigned milliseconds) override;
  const std::string& LinkName() const override { return Name; }

  uint8_t GetMicrowireBits() const { return MicrowireBits; }
  uint8_t GetMicrowireShift() const { return MicrowireShift; }
  uint16_t GetPortIndex() const { return PortIndex; }
  uint8_t GetWriteTime() const { return WriteTime; }

 protected:
  // The operations of the current device's bus kind.
  std::unique_ptr<TBusOperations> Operations();
  // Microwire command length and address shift for the device and mode.
  void SetMicrowireGeometry();

  int32_t DataOutPin = 16;
  int32_t ClockPin = 14;
  int32_t ReadyPin = 10;
  int32_t DataInPin = 11;
  int32_t SelectPin = 17;
  int32_t RunPin = 1;
  int32_t PollLimit = 50000;
  uint8_t MicrowireBits = 0;
  uint8_t MicrowireShift = 0;
  uint16_t PortIndex = 0;
  uint8_t WriteTime = 0;

 private:
  TLptAccess& Port() const;
  bool Pin(int32_t pin) const;
  void SetPin(int32_t pin, bool level);
};

}  // namespace zylisp
