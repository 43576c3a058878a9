// The programmer the API layer works with: the adapter's firmware reached
// through a link it owns, and the chip operations of the device's bus kind.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/adapter_link.h"
#include "drivers/connection_params.h"
#include "drivers/spi_flash_detect.h"

namespace zylisp {

class TBusOperations;
class THexList;
class TSerialPort;

// What answers on the SPI bus: the JEDEC ID (none when nothing answers) and
// the SFDP basic parameter table (none when the part has no valid one).
struct TSpiFlashIdentity {
  std::optional<uint32_t> JedecId;
  std::optional<TSfdpInfo> Sfdp;
};

// The firmware version the programmer must report.
constexpr const char* kRequiredFirmware = "000A";

class TISPProgrammer {
 public:
  TISPProgrammer(TConnectionParams params, std::unique_ptr<TAdapterLink> link);

  // Connects, checks identity and firmware, sets the clock, then hands the
  // adapter the reset polarity and takes the programming mode.
  void Open();
  void Close();

  void Program(THexList& image);
  void Verify(THexList& image);
  void Read(THexList& image);
  void EraseAll();
  uint8_t ReadStatus();
  void WriteStatus(uint8_t value);
  std::string FirmwareVersion();
  // Selects the SPI bus, whatever device is set, and asks the part there
  // for its JEDEC ID and SFDP table.
  TSpiFlashIdentity DetectSpiFlash();
  // Selects the I2C bus and returns the 7-bit addresses 0x50..0x57 that
  // acknowledge.
  std::vector<uint8_t> ScanI2C();
  // Clears every protection bit of the SPI device's status registers (its
  // row's layout) and checks that they stay clear.
  void Unprotect();

  // The values of the connection; a client's changes on a held connection
  // reach the next operation.
  TConnectionParams& Params() { return params_; }
  void SetOnProgress(TProgressEvent handler) { link_->SetOnProgress(std::move(handler)); }
  // Asked at every page and block boundary of an operation: true ends it
  // there with ECancelled.
  void SetStopCheck(std::function<bool()> check) { stopCheck_ = std::move(check); }

 private:
  // Connect, identity and firmware check, device selection where the link
  // needs it, clock.
  void Connect();
  void SelectDevice();
  // Selects the device; when that fails, reconnects once and selects
  // again, letting a second failure through.
  void EnsureSelected();
  // EnsureSelected, then the operations of the device's bus kind.
  std::unique_ptr<TBusOperations> Selected();
  // Selects a bus kind for a probe, reconnecting once when that fails.
  void SelectBus(uint8_t bus);
  // A read of a flash part that enters 4-byte mode: after a failure the
  // part is sent back to 3-byte mode.
  void LeavingThreeByteMode(const std::function<void()>& operation);

  TConnectionParams params_;
  std::unique_ptr<TAdapterLink> link_;
  std::function<bool()> stopCheck_;
};

// The programmer for a mode (1 serial, 2 parallel) with its link: the
// serial port at params.SerialPath, or the parallel port of params.Lpt.
std::unique_ptr<TISPProgrammer> MakeProgrammer(int32_t mode, const TConnectionParams& params);
// The serial programmer talking through a port of the caller's (a test's
// stand-in for the device).
std::unique_ptr<TISPProgrammer> MakeSerialProgrammer(const TConnectionParams& params,
                                                     std::unique_ptr<TSerialPort> port);

}  // namespace zylisp
