// Everything one run of the tool knows: what the command line asked for,
// the commands to execute in order, and the errors found on the way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkoisp {

// A device the library supports, with its bus group (0 I2C, 1 SPI,
// 2 Microwire).
struct TSupportedDevice {
  std::string Name;
  int32_t Group = 0;
};

struct TRunState {
  // "key=value" entries in command-line order ("eraseall" has no "=").
  std::vector<std::string> CommandList;
  // "Error: ..." lines in the order they arose.
  std::vector<std::string> ErrorList;
  std::vector<TSupportedDevice> SupportedDevices;

  std::string DeviceName;  // upper-cased
  std::string PortName;    // upper-cased
  std::string HelpTopic;   // kept only

  // Targets of the option table's flags (int32 so the parser can store).
  int32_t DeviceGiven = 0;
  int32_t PortGiven = 0;
  int32_t HelpRequested = 0;
  int32_t WaitAtEnd = 0;
  int32_t OutputFormat = 1;  // library file format for readeeprom
  int32_t ProgMode = 8;
  int32_t Quiet = 0;
  int32_t Info = 0;
  int32_t FileGiven = 0;
  int32_t EraseRequested = 0;
  int32_t UpdateRequested = 0;
  int32_t StatusValue = 0;
  int32_t DeviceType = 0;
  int32_t WriteAllValue = 0;
  int32_t ResetValue = 0;
  int32_t BusAddress = 0;
  int32_t PageSize = 0;
  int32_t SerialNumber = 0;
  int32_t ProgramSpeed = 0;
  int32_t EEDelay = 10;

  int32_t Mode = 0;  // 1 serial programmer, 2 parallel programmer
  int32_t ExitCode = 0;  // 0, or -1 after an abort
  bool ReadyToExecute = false;  // the checks passed; the commands may run
};

}  // namespace velkoisp
