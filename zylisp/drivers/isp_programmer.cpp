#include "drivers/isp_programmer.h"

#include "adapter_commands.h"
#include <algorithm>

#include "core/errors.h"
#include "devices/device.h"
#include "devices/part_table.h"
#include "drivers/memory_operations.h"
#include "drivers/smart_parallel.h"
#include "drivers/smart_serial.h"
#include "image/hex_list.h"
#include "ports/serial_port.h"

namespace zylisp {

namespace {

constexpr const char* kIdentity = "EEPROMISP";

}  // namespace

TISPProgrammer::TISPProgrammer(TConnectionParams params, std::unique_ptr<TAdapterLink> link)
    : params_(std::move(params)), link_(std::move(link)) {}

void TISPProgrammer::Connect() {
  const std::string identity = link_->Connect();
  if (identity != kIdentity || FirmwareVersion() != kRequiredFirmware)
    throw EFirmwareMisMatch("Your ISP needs a firmware update");
  if (link_->SelectsOnConnect()) {
    try {
      SelectDevice();
    } catch (const EDeviceNotResponding&) {
      throw;  // the adapter answers; the chip does not
    } catch (const EISPException&) {
      link_->Fail("ISP is not responding, check your communications settings");
    }
  }
  link_->SendCommand(adapter::kCmdClock, HexArg(params_.ClockSpeed));
}

void TISPProgrammer::Open() {
  Connect();
  link_->SendCommand(adapter::kCmdResetPolarity, HexArg(params_.ResetPolarity));
}

void TISPProgrammer::Close() { link_->Disconnect(); }

std::string TISPProgrammer::FirmwareVersion() {
  std::string version;
  link_->Query(adapter::kCmdVersion, 4, version);
  return version;
}

void TISPProgrammer::SelectDevice() {
  const uint8_t bus = params_.Device ? params_.Device->BusType : 0;
  link_->SendCommand(adapter::kCmdSelectBus, HexArg(bus));
  // Without a device (a probe of what is fitted) nothing needs to answer.
  if (bus != kBusI2C || !params_.Device) {
    link_->BusStop();
  } else if (!link_->DeviceWaitAcknowledged()) {
    // The adapter polls the bus address for an acknowledge and none came.
    throw EDeviceNotResponding(
        "no chip acknowledges on the I2C bus: check that it is fitted, the device type and "
        "the chip's address pins",
        link_->LinkName());
  }
}

void TISPProgrammer::EnsureSelected() {
  try {
    SelectDevice();
  } catch (const EISPException&) {
    Close();
    Connect();
    SelectDevice();
  }
}

std::unique_ptr<TBusOperations> TISPProgrammer::Selected() {
  EnsureSelected();
  const TConnectionParams& p = params_;
  TAdapterLink& link = *link_;
  if (!p.Device) link.Fail("No device selected");
  link.SetSendAheadWindow(p.SerialWindow);
  TMemoryTarget target{link,        *p.Device,   p.ProgMode, p.WriteTime,
                       p.PageSize, p.BusAddress, [&link](int32_t done, int32_t total) {
                         link.Progress(done, total);
                       },
                       stopCheck_};
  std::unique_ptr<TBusOperations> ops = MakeBusOperations(target);
  if (!ops) link.Fail("Bus kind " + std::to_string(p.Device->BusType) + " is not supported");
  return ops;
}

void TISPProgrammer::LeavingThreeByteMode(const std::function<void()>& operation) {
  const TPartRow* row = params_.Device ? params_.Device->Part : nullptr;
  const bool entersFourByte = row && row->Family == EPartFamily::SpiFlash &&
                              row->AddressBytes == 4 && row->FourByte == EFourByteMode::EnterExitOnly;
  try {
    operation();
  } catch (...) {
    if (entersFourByte) LeaveFourByteMode(*link_);
    throw;
  }
}

void TISPProgrammer::Program(THexList& image) { Selected()->Program(image); }
void TISPProgrammer::Verify(THexList& image) {
  std::unique_ptr<TBusOperations> ops = Selected();
  LeavingThreeByteMode([&] { ops->Verify(image); });
}
void TISPProgrammer::Read(THexList& image) {
  std::unique_ptr<TBusOperations> ops = Selected();
  LeavingThreeByteMode([&] { ops->Read(image); });
}
uint8_t TISPProgrammer::ReadStatus() { return Selected()->ReadStatus(); }
void TISPProgrammer::WriteStatus(uint8_t value) { Selected()->WriteStatus(value); }

void TISPProgrammer::EraseAll() {
  const TDevice* device = params_.Device;
  const bool flash = device && device->Part && device->Part->Family == EPartFamily::SpiFlash;
  if (!device || flash || (device->BusType != kBusI2C && device->BusType != kBusSPI)) {
    Selected()->EraseAll();
    return;
  }
  // These parts are erased by programming a blank image.
  EnsureSelected();
  THexList blank;
  blank.SetSize(device->Size);
  blank.Fill(0, device->Size - 1, 0xFF);
  Program(blank);
}

void TISPProgrammer::SelectBus(uint8_t bus) {
  const auto select = [&] {
    link_->SendCommand(adapter::kCmdSelectBus, HexArg(bus));
    link_->BusStop();
  };
  try {
    select();
  } catch (const EISPException&) {
    Close();
    Connect();
    select();
  }
}

TSpiFlashIdentity TISPProgrammer::DetectSpiFlash() {
  SelectBus(kBusSPI);
  TSpiFlashIdentity identity;
  identity.JedecId = ReadJedecId(*link_);
  if (identity.JedecId) identity.Sfdp = ReadSfdp(*link_);
  return identity;
}

std::vector<uint8_t> TISPProgrammer::ScanI2C() {
  SelectBus(kBusI2C);
  return ScanI2CBus(*link_);
}

void TISPProgrammer::Unprotect() {
  const TDevice* device = params_.Device;
  if (!device) link_->Fail("No device selected");
  if (device->BusType != kBusSPI || !device->Part ||
      device->Part->Status.Write == EStatusWrite::None)
    throw ENotSupported();
  EnsureSelected();
  const uint8_t writeTime = std::min<uint8_t>(params_.WriteTime, 200);
  link_->SendCommand(adapter::kCmdWriteTime, HexArg(writeTime));
  UnprotectFlash(*link_, *device->Part, writeTime);
}

std::unique_ptr<TISPProgrammer> MakeProgrammer(int32_t mode, const TConnectionParams& params) {
  if (mode == 1) return MakeSerialProgrammer(params, nullptr);
  if (mode != 2) throw EISPException("Internal error: Invalid Hardware Select");
  return std::make_unique<TISPProgrammer>(params, std::make_unique<TSmartParallel>(params));
}

std::unique_ptr<TISPProgrammer> MakeSerialProgrammer(const TConnectionParams& params,
                                                     std::unique_ptr<TSerialPort> port) {
  return std::make_unique<TISPProgrammer>(params,
                                          std::make_unique<TSmartSerial>(params, std::move(port)));
}

}  // namespace zylisp
