// Everything one run of the tool knows: what the command line asked for,
// the commands to execute in order, and the errors found on the way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zylisp.h"

namespace velkoisp {

struct TOptionRow;

// A device the library supports, with its bus group (0 I2C, 1 SPI,
// 2 Microwire).
struct TSupportedDevice {
  std::string Name;
  int32_t Group = 0;
};

// One queued command: the option row it came from, which says how it runs,
// and its value, parsed when the option was read.
struct TCommand {
  const TOptionRow* Row = nullptr;
  std::string Text;    // shown in its status line: a file or folder, or a byte as typed
  uint8_t Byte = 0;    // the byte or programming mode it sends
  int32_t Format = 0;  // its file's format (a read: the format it writes)
};

struct TRunState {
  // In command-line order.
  std::vector<TCommand> CommandList;
  // "Error: ..." lines in the order they arose.
  std::vector<std::string> ErrorList;
  std::vector<TSupportedDevice> SupportedDevices;

  std::string DeviceName;  // upper-cased
  std::string PortName;    // upper-cased

  // Set by the option table's flags (int32 so that the parser can store).
  int32_t DeviceGiven = 0;
  int32_t PortGiven = 0;
  int32_t HelpRequested = 0;
  int32_t ListRequested = 0;  // --listdevices
  int32_t WaitAtEnd = 0;
  int32_t IgnoreChecksums = 0;  // --ignorechecksums: hand-edited files
  int32_t OutputFormat = ZYL_FMT_INTEL_HEX;  // of the next readeeprom

  int32_t Mode = ZYL_MODE_PARALLEL;  // ZYL_MODE_SERIAL once the port is a COM port
  int32_t ExitCode = 0;              // 0, or -1 after an abort
  bool ReadyToExecute = false;       // the checks passed; the commands may run
};

}  // namespace velkoisp
