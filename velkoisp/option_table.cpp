#include "option_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <ostream>

#include "command_values.h"
#include "option_parser.h"

namespace velkoisp {

namespace {

// The tool sees only the library's exports, so it keeps its own.
std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// "Error: " and the library's account of the last failure, or the
// fallback when it has none.
std::string LibraryProblem(const std::string& fallback) {
  const std::string detail = Zyl_GetErrorDetail();
  return detail.empty() ? fallback : "Error: " + detail;
}

std::string InvalidValue(const TCommand& command, const std::string& value, const char* wanted) {
  return "Error: invalid value \"" + value + "\" for --" + command.Row->Name + " (" + wanted + ")";
}

std::string SetPort(const std::string& value, TCommand&, TRunState& state) {
  state.PortName = UpperCase(value);
  return {};
}

std::string SetDevice(const std::string& value, TCommand&, TRunState& state) {
  state.DeviceName = UpperCase(value);
  return {};
}

// A file to program or verify from, identified here once; reads after it
// write its format until a format option says otherwise.
std::string DataFile(const std::string& path, TCommand& command, TRunState& state) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "Error: file " + path + " does not exist";
  if (S_ISDIR(st.st_mode) || access(path.c_str(), R_OK) != 0)
    return "Error: file " + path + " cannot be read";
  // Its lines are checked once all options are read (CheckDataFiles).
  command.Format = Zyl_IdentifyFile(path.c_str());
  if (command.Format < 1) return "Error: file " + path + " does not exist";
  command.Text = path;
  state.OutputFormat = command.Format;
  return {};
}

// A chip read into a file that cannot be written would be lost.
std::string TargetFile(const std::string& path, TCommand& command, TRunState& state) {
  if (Zyl_CheckFile(path.c_str(), 1) != 0)
    return LibraryProblem("Error: file " + path + " cannot be written");
  command.Text = path;
  command.Format = state.OutputFormat;
  return {};
}

// A bad byte would otherwise be sent as 0.
std::string HexByte(const std::string& value, TCommand& command, TRunState&) {
  const std::optional<uint8_t> byte = ByteValue(value);
  if (!byte) return InvalidValue(command, value, "a hexadecimal byte, 00 to FF");
  command.Text = PadByteValue(value);
  command.Byte = *byte;
  return {};
}

std::string ProgrammingMode(const std::string& value, TCommand& command, TRunState&) {
  const std::optional<int64_t> mode = WholeNumber(value);
  if (!mode || (*mode != 8 && *mode != 16)) return InvalidValue(command, value, "8 or 16");
  command.Byte = static_cast<uint8_t>(*mode);
  return {};
}

std::string UpdaterFolder(const std::string& folder, TCommand& command, TRunState&) {
  if (Zyl_CheckUpdater(folder.c_str()) != 0) {
    const std::string detail = Zyl_GetErrorDetail();
    return "Error: file " + folder + " does not exist or invalid" +
           (detail.empty() ? std::string() : " (" + detail + ")");
  }
  command.Text = folder;
  return {};
}

// The byte comes through a pointer, so a failed read is never shown as a
// status value.
int32_t ReadStatus(const TCommand&, const TRunState&, std::ostream& out) {
  uint8_t status = 0;
  const int32_t result = Zyl_GetStatusByte(&status);
  if (result != 0) return result;
  char text[3];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(status));
  out << " : Status=" << text;
  return 0;
}

// What the chip says it is, after the status line's opening.
int32_t Detect(const TCommand&, const TRunState&, std::ostream& out) {
  ZylDetection found;
  const int32_t result = Zyl_Detect(&found);
  if (result == 0) out << found.text;
  return result;
}

const char* const kNeedsValue = "Error: requires an argument. (for help: --help=device)";

}  // namespace

const std::vector<TOptionRow>& OptionRows() {
  static const std::vector<TOptionRow> rows = {
      {"quiet", kNoArgument, nullptr, 0, nullptr, nullptr, "", nullptr},
      {"info", kNoArgument, nullptr, 0, nullptr, nullptr, "", nullptr},
      {"port", kOptionalArgument, &TRunState::PortGiven, 1,
       "Error: Port requires an argument. (for help: --help=port)", SetPort, "", nullptr},
      {"intel", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_INTEL_HEX, nullptr, nullptr, "",
       nullptr},
      {"motorola", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_MOTOROLA_S1, nullptr, nullptr, "",
       nullptr},
      {"tektronix", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_TEKTRONIX, nullptr, nullptr, "",
       nullptr},
      {"exttektronix", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_EXTENDED_TEKTRONIX, nullptr,
       nullptr, "", nullptr},
      {"binary", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_BINARY, nullptr, nullptr, "",
       nullptr},
      {"wait", kNoArgument, &TRunState::WaitAtEnd, 1, nullptr, nullptr, "", nullptr},
      {"ignorechecksums", kNoArgument, &TRunState::IgnoreChecksums, 1, nullptr, nullptr, "",
       nullptr},
      {"devtype", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte, "Setting Devicetype",
       [](auto&, auto&, auto&) { return int32_t{0}; }},
      {"programeeprom", kOptionalArgument, nullptr, 0,
       "Error: No File Specified for eeprom Programming", DataFile, "Programming EEPROM with {}: ",
       [](auto& c, auto&, auto&) { return Zyl_ProgramEEPROM(c.Text.c_str()); }},
      {"verifyeeprom", kOptionalArgument, nullptr, 0,
       "Error: No File Specified for eeprom Verification", DataFile,
       "Verifying eeprom against {}: ",
       [](auto& c, auto&, auto&) { return Zyl_VerifyEEPROM(c.Text.c_str()); }},
      {"readeeprom", kOptionalArgument, nullptr, 0, "Error: No File Specified for eeprom Reading",
       TargetFile, "Reading eeprom into {}: ",
       [](auto& c, auto&, auto&) {
         return Zyl_ReadEEPROM(c.Text.c_str(), static_cast<uint8_t>(c.Format));
       }},
      {"programstatus", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte, "Writing status byte",
       [](auto& c, auto&, auto&) { return Zyl_WriteStatus(c.Byte); }},
      // Any value is ignored.
      {"readstatus", kOptionalArgument, nullptr, 0, nullptr, nullptr, "Reading status byte",
       ReadStatus},
      {"programmode", kOptionalArgument, nullptr, 0, kNeedsValue, ProgrammingMode,
       "Writing programming mode", [](auto& c, auto&, auto&) { return Zyl_WriteProgMode(c.Byte); }},
      {"programwriteall", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte,
       "Writing all locations with {}",
       [](auto& c, auto&, auto&) { return Zyl_WriteAllValue(c.Byte); }},
      {"mcureset", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte, "Setting reset",
       [](auto& c, auto&, auto&) { return Zyl_SetResetPolarity(c.Byte); }},
      // Any topic gets the whole help.
      {"help", kOptionalArgument, &TRunState::HelpRequested, 1, nullptr, nullptr, "", nullptr},
      {"listdevices", kNoArgument, &TRunState::ListRequested, 1, nullptr, nullptr, "", nullptr},
      {"device", kOptionalArgument, &TRunState::DeviceGiven, 1,
       "Error: Device requires an argument. (for help: --help=device)", SetDevice, "", nullptr},
      {"detect", kNoArgument, nullptr, 0, nullptr, nullptr, "Detecting the chip: ", Detect},
      {"unprotect", kNoArgument, nullptr, 0, nullptr, nullptr, "Clearing write protection: ",
       [](auto&, auto&, auto&) { return Zyl_Unprotect(); }},
      {"eraseall", kNoArgument, nullptr, 0, nullptr, nullptr,
       "Erasing Device: ", [](auto&, auto&, auto&) { return Zyl_EraseAllDevice(); }},
      {"setbusaddress", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte,
       "Setting Bus Address value to {}",
       [](auto& c, auto&, auto&) { return Zyl_SetBusAddress(c.Byte); }},
      {"setpagesize", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte,
       "Setting Page Size value to {}",
       [](auto& c, auto&, auto&) { return Zyl_SetPageSize(c.Byte); }},
      {"setserialnum", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte,
       "Setting Serial Number value to {}",
       [](auto& c, auto&, auto&) { return Zyl_SetSerialNum(c.Byte, 0); }},
      {"setprogramspeed", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte,
       "Setting program speed value to {}",
       [](auto& c, auto&, auto&) { return Zyl_PROG_Speed(c.Byte); }},
      {"seteedelay", kOptionalArgument, nullptr, 0, kNeedsValue, HexByte,
       "Setting EE delay value to {}",
       [](auto& c, auto&, auto&) { return Zyl_PROG_EE_Time(c.Byte); }},
      {"updatefw", kOptionalArgument, nullptr, 0,
       "Error: No Path specified, a path to the tarnkit for this to work", UpdaterFolder,
       "Updating the programmer FW from the following path {}: ",
       [](auto& c, auto&, auto&) { return Zyl_UpdateFW(c.Text.c_str()); }},
  };
  return rows;
}

}  // namespace velkoisp
