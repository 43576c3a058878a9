#include "drivers/adapter_programmer.h"

#include <string>

#include "adapter_commands.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "devices/device.h"
#include "drivers/memory_operations.h"
#include "drivers/shared_values.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

struct TMicrowireGeometry {
  const char* names[2];
  uint8_t bits8, shift8, bits16, shift16;
};

constexpr TMicrowireGeometry kMicrowire[] = {
    {{"93C06", "93C46"}, 10, 6, 9, 7},
    {{"93C56", "93C66"}, 12, 4, 11, 5},
    {{"93C57", nullptr}, 11, 5, 10, 6},
    {{"93C76", "93C86"}, 14, 2, 13, 3},
};

}  // namespace

void TAdapterProgrammer::ExpectedIdentity(std::string& identity) const { identity = "EEPROMISP"; }

void TAdapterProgrammer::GetFirmwareVersion(std::string& version) {
  Query(adapter::kCmdVersion, 4, version);
}

void TAdapterProgrammer::CheckIdentity(const std::string& identity) {
  std::string expected;
  ExpectedIdentity(expected);
  if (identity != expected) throw EFirmwareMisMatch("Your ISP needs a firmware update");
  CheckFirmware();
}

void TAdapterProgrammer::CheckFirmware() {
  std::string version;
  Query(adapter::kCmdVersion, 4, version);
  if (version != Shared().RequiredFirmware)
    throw EFirmwareMisMatch("Your ISP needs a firmware update");
}

void TAdapterProgrammer::SetMicrowireGeometry() {
  if (!Device) return;
  for (const TMicrowireGeometry& g : kMicrowire) {
    for (const char* name : g.names) {
      if (name && Device->Name() == name) {
        MicrowireBits = ProgMode == 8 ? g.bits8 : g.bits16;
        MicrowireShift = ProgMode == 8 ? g.shift8 : g.shift16;
        return;
      }
    }
  }
}

void TAdapterProgrammer::SelectDevice() {
  const uint8_t bus = Device ? Device->BusType() : 0;
  SendCommand(adapter::kCmdSelectBus, HexArg(bus));
  if (bus == kBusI2C)
    DeviceWait();
  else
    BusStop();
  SetMicrowireGeometry();
}

void TAdapterProgrammer::EnsureSelected() {
  try {
    SelectDevice();
  } catch (const EISPException&) {
    Close();
    Open();
    SelectDevice();
  }
}

void TAdapterProgrammer::LoadSettings() {
  const int32_t deviceTime = Device ? Device->WriteTime() : 0;
  if (Settings) {
    PortIndex = static_cast<uint16_t>(Settings->GetInteger(Name, "BASEPORT", 0, 0, 0xFFFF));
    WriteTime =
        static_cast<uint8_t>(Settings->GetInteger(Name, "EEPROMtime", deviceTime, 0, 0xFF));
    Shared().ClockSpeed =
        static_cast<int32_t>(Settings->GetInteger(Name, "Clockspeed", 1, 0, 0xFF));
  } else {
    PortIndex = 0;
    WriteTime = static_cast<uint8_t>(deviceTime);
    Shared().ClockSpeed = 1;
  }
}

void TAdapterProgrammer::SaveSettings() {
  if (!Settings) return;
  Settings->SetValue(Name, "BASEPORT", 1, static_cast<int64_t>(PortIndex));
  Settings->SetValue(Name, "EEPROMtime", 1, static_cast<int64_t>(WriteTime));
  Settings->SetValue(Name, "Clockspeed", 1, static_cast<int64_t>(Shared().ClockSpeed));
}

std::unique_ptr<TBusOperations> TAdapterProgrammer::Operations() {
  if (!Device) Fail("No device selected");
  TMemoryTarget target{*this,          *Device,        ProgMode,
                       MicrowireBits,  MicrowireShift, WriteTime,
                       [this](int32_t done, int32_t total) { DoProgress(done, total); }};
  std::unique_ptr<TBusOperations> ops = MakeBusOperations(target);
  if (!ops) Fail("Bus kind " + std::to_string(Device->BusType()) + " is not supported");
  return ops;
}

void TAdapterProgrammer::ReadBlock(uint8_t* buffer, uint8_t, int32_t count, int32_t address) {
  Operations()->ReadBlock(buffer, count, address);
}

void TAdapterProgrammer::Program(THexList& image) {
  EnsureSelected();
  Operations()->Program(image);
}

void TAdapterProgrammer::Verify(THexList& image) {
  EnsureSelected();
  Operations()->Verify(image);
}

void TAdapterProgrammer::Read(THexList& image) {
  EnsureSelected();
  Operations()->Read(image);
}

void TAdapterProgrammer::EraseAll() {
  EnsureSelected();
  if (Device && (Device->BusType() == kBusI2C || Device->BusType() == kBusSPI)) {
    // These parts are erased by programming a blank image.
    THexList blank;
    blank.SetSize(Device->Size());
    blank.Fill(0, Device->Size() - 1, 0xFF);
    Program(blank);
    return;
  }
  Operations()->EraseAll();
}

uint8_t TAdapterProgrammer::ReadStatus() {
  EnsureSelected();
  return Operations()->ReadStatus();
}

void TAdapterProgrammer::WriteStatus(uint8_t value) {
  EnsureSelected();
  Operations()->WriteStatus(value);
}

void TAdapterProgrammer::SetResetPolarity(uint8_t value) {
  SendCommand(adapter::kCmdResetPolarity, HexArg(value));
}

}  // namespace zylisp
