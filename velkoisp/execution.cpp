#include "execution.h"

#include <cstdio>
#include <ostream>

#include "command_values.h"
#include "result_text.h"
#include "supported_devices.h"
#include "zylisp.h"

namespace velkoisp {

namespace {

// Commands whose value is one byte: the opening text, whether the value
// follows it, the run's variable that keeps the byte, and the call.
struct TByteCommand {
  const char* key;
  const char* opening;
  bool showsValue;
  int32_t TRunState::*keeper;
  int32_t (*call)(uint8_t);
};

const TByteCommand kByteCommands[] = {
    {"programstatus", "Writing status byte", false, &TRunState::StatusValue,
     [](uint8_t v) { return Zyl_WriteStatus(v); }},
    {"programwriteall", "Writing all locations with ", true, &TRunState::WriteAllValue,
     [](uint8_t v) { return Zyl_WriteAllValue(v); }},
    {"mcureset", "Setting reset", false, &TRunState::ResetValue,
     [](uint8_t v) { return Zyl_SetResetPolarity(v); }},
    {"devtype", "Setting Devicetype", false, &TRunState::DeviceType,
     [](uint8_t) { return int32_t{0}; }},
    {"setbusaddress", "Setting Bus Address value to ", true, &TRunState::BusAddress,
     [](uint8_t v) { return Zyl_SetBusAddress(v); }},
    {"setpagesize", "Setting Page Size value to ", true, &TRunState::PageSize,
     [](uint8_t v) { return Zyl_SetPageSize(v); }},
    {"setserialnum", "Setting Serial Number value to ", true, &TRunState::SerialNumber,
     [](uint8_t v) { return Zyl_SetSerialNum(v, 0); }},
    {"setprogramspeed", "Setting program speed value to ", true, &TRunState::ProgramSpeed,
     [](uint8_t v) { return Zyl_PROG_Speed(v); }},
    {"seteedelay", "Setting EE delay value to ", true, &TRunState::EEDelay,
     [](uint8_t v) { return Zyl_PROG_EE_Time(v); }},
};

std::string TwoHexDigits(int32_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value & 0xFF));
  return text;
}

int32_t ReadStatus(TRunState& state, std::ostream& out) {
  out << "Reading status byte";
  const int32_t status = Zyl_ReadStatus();
  // I2C and Microwire parts have no status register: 11 is the library's
  // refusal there, not a status value.
  const TSupportedDevice* device = FindSupportedDevice(state, state.DeviceName);
  const bool noStatusRegister =
      device && (device->Group == ZYL_BUS_I2C || device->Group == ZYL_BUS_MICROWIRE);
  if (noStatusRegister && status == ZYL_ERR_NOT_SUPPORTED) return status;
  out << " : Status=" << TwoHexDigits(status);
  return 0;
}

int32_t WriteProgrammingMode(TRunState& state, const std::string& value, std::ostream& out) {
  out << "Writing programming mode";
  const std::optional<int64_t> mode = WholeNumber(value);
  if (!mode) return ZYL_ERR_FILE;
  state.ProgMode = static_cast<int32_t>(*mode & 0xFF);
  return Zyl_WriteProgMode(static_cast<uint8_t>(state.ProgMode));
}

// Prints the opening text of one CommandList entry and performs it; the
// library's result code.
int32_t RunCommand(const std::string& entry, TRunState& state, std::ostream& out) {
  const std::size_t eq = entry.find('=');
  const std::string key = entry.substr(0, eq);
  const std::string value = eq == std::string::npos ? std::string() : entry.substr(eq + 1);

  if (key == "programeeprom") {
    out << "Programming EEPROM with " << value << ": ";
    return Zyl_ProgramEEPROM(value.c_str());
  }
  if (key == "verifyeeprom") {
    out << "Verifying eeprom against " << value << ": ";
    return Zyl_VerifyEEPROM(value.c_str());
  }
  if (key == "readeeprom") {
    out << "Reading eeprom into " << value << ": ";
    return Zyl_ReadEEPROM(value.c_str(), static_cast<uint8_t>(state.OutputFormat));
  }
  if (entry == "eraseall") {
    out << "Erasing Device: ";
    return Zyl_EraseAllDevice();
  }
  if (key == "readstatus") return ReadStatus(state, out);
  if (key == "programmingmode") return WriteProgrammingMode(state, value, out);
  if (key == "updatefw") {
    out << "Updating the programmer FW from the following path " << value << ": ";
    return Zyl_UpdateFW(value.c_str());
  }
  for (const TByteCommand& command : kByteCommands) {
    if (key != command.key) continue;
    const std::string shown = PadByteValue(value);
    out << command.opening << (command.showsValue ? shown : "");
    state.*command.keeper = HexByte(shown);
    return command.call(static_cast<uint8_t>(state.*command.keeper));
  }
  return 0;
}

// Calls Zyl_PROG_Close exactly once, on every way out of the execution.
class TProgrammerCloser {
 public:
  TProgrammerCloser() = default;
  TProgrammerCloser(const TProgrammerCloser&) = delete;
  TProgrammerCloser& operator=(const TProgrammerCloser&) = delete;
  ~TProgrammerCloser() { Zyl_PROG_Close(); }
};

// A failed command's status line.
void ReportFailure(int32_t code, std::ostream& out) {
  out << " failed (" << ResultText(code) << ")\n";
}

}  // namespace

void ExecuteCommands(TRunState& state, std::ostream& out) {
  const TProgrammerCloser closer;
  // Nothing was programmed when the programmer cannot be opened: a script
  // must see that in the exit status.
  if (Zyl_InitProgrammer(state.PortName.c_str(), state.DeviceName.c_str(),
                         static_cast<uint8_t>(state.Mode)) != 0 ||
      Zyl_PROG_Open() != 0) {
    out << Zyl_GetLastError() << '\n';
    state.ExitCode = -1;
    return;
  }

  state.ProgMode = 8;
  const int32_t modeResult = Zyl_WriteProgMode(static_cast<uint8_t>(state.ProgMode)) & 0xFF;
  if (modeResult != 0) {
    ReportFailure(modeResult, out);
    state.ExitCode = -1;
    return;
  }
  out << "Programmer Firmware Version : " << Zyl_GetFWVersion() << "\n\n";

  for (const std::string& entry : state.CommandList) {
    const int32_t code = RunCommand(entry, state, out) & 0xFF;
    if (code != 0) {
      ReportFailure(code, out);
      state.ExitCode = -1;
      return;
    }
    out << " OK \n";
  }
}

}  // namespace velkoisp
