// The programmer the API layer works with: the adapter's firmware reached
// through a link it owns, and the chip operations of the device's bus kind.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "drivers/adapter_link.h"
#include "drivers/connection_params.h"

namespace zylisp {

class TBusOperations;
class THexList;
class TSerialPort;

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
