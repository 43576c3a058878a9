// The programmer adapter's firmware as both links reach it: everything but
// the byte transport and the opening and closing of the link. Firmware
// check, device selection with its single reconnect, settings and the
// memory-operation dispatch live here once for the parallel and the serial
// driver.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "drivers/adapter_link.h"
#include "drivers/isp_programmer.h"

namespace zylisp {

class TBusOperations;

class TAdapterProgrammer : public TISPProgrammer, public TAdapterLink {
 public:
  // Operations the API layer calls; Open and Close stay with the links.
  void Program(THexList& image) override;
  void Verify(THexList& image) override;
  void Read(THexList& image) override;
  void EraseAll() override;
  uint8_t ReadStatus() override;
  void WriteStatus(uint8_t value) override;
  void SetResetPolarity(uint8_t value) override;
  void CheckFirmware() override;
  void LoadSettings() override;
  void SaveSettings() override;
  void GetFirmwareVersion(std::string& version) override;

  virtual void SelectDevice();
  virtual void ExpectedIdentity(std::string& identity) const;
  // Selects the device; when that fails, reopens the link once and selects
  // again, letting a second failure through.
  virtual void EnsureSelected();
  virtual void ReadBlock(uint8_t* buffer, uint8_t command, int32_t count, int32_t address);

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
  // Identity and firmware version of an adapter that has just answered.
  void CheckIdentity(const std::string& identity);

  uint8_t MicrowireBits = 0;
  uint8_t MicrowireShift = 0;
  uint16_t PortIndex = 0;
  uint8_t WriteTime = 0;
};

}  // namespace zylisp
