#include "option_processing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <ostream>

#include "command_values.h"
#include "updater_file.h"
#include "zylisp.h"

namespace velkoisp {

namespace {

enum class TAction {
  Nothing,
  Port,
  Device,
  Help,
  ProgramFile,
  VerifyFile,
  ReadFile,
  ByteCommand,    // value: a hexadecimal byte
  NumberCommand,  // value: a whole number
  PlainCommand,   // queued as the key alone; any value is ignored
  UpdateFolder,
};

struct TOptionRow {
  const char* name;
  uint8_t hasArg;
  int32_t TRunState::*flag;
  int32_t value;
  TAction action;
  const char* key;  // what a queued command is called in CommandList
};

// In the order the parser walks it when it resolves abbreviations.
const TOptionRow kOptionRows[] = {
    {"quiet", kNoArgument, &TRunState::Quiet, 1, TAction::Nothing, ""},
    {"info", kNoArgument, &TRunState::Info, 1, TAction::Nothing, ""},
    {"port", kOptionalArgument, &TRunState::PortGiven, 1, TAction::Port, ""},
    {"intel", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_INTEL_HEX, TAction::Nothing, ""},
    {"motorola", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_MOTOROLA_S1, TAction::Nothing, ""},
    {"tektronix", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_TEKTRONIX, TAction::Nothing, ""},
    {"exttektronix", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_EXTENDED_TEKTRONIX,
     TAction::Nothing, ""},
    {"binary", kNoArgument, &TRunState::OutputFormat, ZYL_FMT_BINARY, TAction::Nothing, ""},
    {"wait", kNoArgument, &TRunState::WaitAtEnd, 1, TAction::Nothing, ""},
    {"devtype", kOptionalArgument, &TRunState::DeviceType, 0, TAction::ByteCommand, "devtype"},
    {"programeeprom", kOptionalArgument, &TRunState::FileGiven, 1, TAction::ProgramFile,
     "programeeprom"},
    {"verifyeeprom", kOptionalArgument, &TRunState::FileGiven, 1, TAction::VerifyFile,
     "verifyeeprom"},
    {"readeeprom", kOptionalArgument, &TRunState::FileGiven, 1, TAction::ReadFile, "readeeprom"},
    {"programstatus", kOptionalArgument, &TRunState::StatusValue, 6, TAction::ByteCommand,
     "programstatus"},
    {"readstatus", kOptionalArgument, &TRunState::StatusValue, 6, TAction::PlainCommand,
     "readstatus="},
    {"programmode", kOptionalArgument, &TRunState::ProgMode, 8, TAction::NumberCommand,
     "programmingmode"},
    {"programwriteall", kOptionalArgument, &TRunState::WriteAllValue, 0, TAction::ByteCommand,
     "programwriteall"},
    {"mcureset", kOptionalArgument, &TRunState::ResetValue, 0, TAction::ByteCommand, "mcureset"},
    {"help", kOptionalArgument, &TRunState::HelpRequested, 1, TAction::Help, ""},
    {"device", kOptionalArgument, &TRunState::DeviceGiven, 1, TAction::Device, ""},
    {"eraseall", kNoArgument, &TRunState::EraseRequested, 1, TAction::PlainCommand, "eraseall"},
    {"setbusaddress", kOptionalArgument, &TRunState::BusAddress, 0, TAction::ByteCommand,
     "setbusaddress"},
    {"setpagesize", kOptionalArgument, &TRunState::PageSize, 0, TAction::ByteCommand,
     "setpagesize"},
    {"setserialnum", kOptionalArgument, &TRunState::SerialNumber, 0, TAction::ByteCommand,
     "setserialnum"},
    {"setprogramspeed", kOptionalArgument, &TRunState::ProgramSpeed, 0, TAction::ByteCommand,
     "setprogramspeed"},
    {"seteedelay", kOptionalArgument, &TRunState::EEDelay, 10, TAction::ByteCommand,
     "seteedelay"},
    {"updatefw", kOptionalArgument, &TRunState::UpdateRequested, 1, TAction::UpdateFolder,
     "updatefw"},
};

std::vector<TOption> OptionTable(TRunState& state) {
  std::vector<TOption> table;
  for (const TOptionRow& row : kOptionRows)
    table.push_back({row.name, row.hasArg, &(state.*row.flag), row.value});
  table.push_back({});
  return table;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The error for a data file that cannot be programmed or verified; empty
// when the library can load it.
std::string DataFileProblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "Error: file " + path + " does not exist";
  if (S_ISDIR(st.st_mode) || access(path.c_str(), R_OK) != 0)
    return "Error: file " + path + " cannot be read";
  if (Zyl_IdentifyFile(path.c_str()) < 1) return "Error: file " + path + " does not exist";
  return {};
}

void QueueDataFile(const TOptionRow& row, const std::string& value, TRunState& state) {
  const std::string problem = DataFileProblem(value);
  if (problem.empty())
    state.CommandList.push_back(std::string(row.key) + "=" + value);
  else
    state.ErrorList.push_back(problem);
}

std::string InvalidValue(const TOptionRow& row, const std::string& value, const char* wanted) {
  return "Error: invalid value \"" + value + "\" for --" + row.name + " (" + wanted + ")";
}

void ActOn(const TOptionRow& row, const std::string& value, TRunState& state) {
  const std::string missing = "Error: requires an argument. (for help: --help=device)";
  switch (row.action) {
    case TAction::Nothing:
      break;
    case TAction::Port:
      if (value.empty())
        state.ErrorList.push_back("Error: Port requires an argument. (for help: --help=port)");
      else
        state.PortName = UpperCase(value);
      break;
    case TAction::Device:
      if (value.empty())
        state.ErrorList.push_back("Error: Device requires an argument. (for help: --help=device)");
      else
        state.DeviceName = UpperCase(value);
      break;
    case TAction::Help:
      if (!value.empty()) state.HelpTopic = value;
      break;
    case TAction::ProgramFile:
      if (value.empty())
        state.ErrorList.push_back("Error: No File Specified for eeprom Programming");
      else
        QueueDataFile(row, value, state);
      state.OutputFormat = Zyl_IdentifyFile(value.c_str());
      break;
    case TAction::VerifyFile:
      if (value.empty()) {
        state.ErrorList.push_back("Error: No File Specified for eeprom Verification");
        break;
      }
      QueueDataFile(row, value, state);
      state.OutputFormat = Zyl_IdentifyFile(value.c_str());
      break;
    case TAction::ReadFile:
      if (value.empty())
        state.ErrorList.push_back("Error: No File Specified for eeprom Reading");
      else
        state.CommandList.push_back(std::string(row.key) + "=" + value);
      break;
    case TAction::ByteCommand:
      // A bad byte would otherwise be sent as 0.
      if (value.empty())
        state.ErrorList.push_back(missing);
      else if (!IsByteValue(value))
        state.ErrorList.push_back(InvalidValue(row, value, "a hexadecimal byte, 00 to FF"));
      else
        state.CommandList.push_back(std::string(row.key) + "=" + value);
      break;
    case TAction::NumberCommand:
      if (value.empty())
        state.ErrorList.push_back(missing);
      else if (!WholeNumber(value))
        state.ErrorList.push_back(InvalidValue(row, value, "a whole number such as 8 or 16"));
      else
        state.CommandList.push_back(std::string(row.key) + "=" + value);
      break;
    case TAction::PlainCommand:
      state.CommandList.push_back(row.key);
      break;
    case TAction::UpdateFolder:
      if (value.empty())
        state.ErrorList.push_back("Error: No Path specified, a path to the tarnkit for this to work");
      else if (FolderHasUpdater(value))
        state.CommandList.push_back(std::string(row.key) + "=" + value);
      else
        state.ErrorList.push_back("Error: file " + value + " does not exist or invalid");
      break;
  }
}

}  // namespace

void ScanCommandLine(TOptionParser& parser, int32_t argc, std::vector<std::string>& argv,
                     TRunState& state, std::ostream& out) {
  const std::vector<TOption> options = OptionTable(state);
  constexpr int32_t kRows = static_cast<int32_t>(sizeof kOptionRows / sizeof kOptionRows[0]);
  for (;;) {
    int32_t index = -1;
    const int32_t c = parser.GetLongOpt(argc, argv, "?h", options, &index);
    if (c == -1) break;
    if (c == 0 && index >= 0 && index < kRows)
      ActOn(kOptionRows[index], parser.optarg, state);
    else if (c == '?' || c == 'h')
      state.HelpRequested = 1;
    else
      out << "Unrecognised Option " << c << " ??\n";
  }
  if (parser.optind < argc) {
    out << "non-option ARGV-elements: ";
    for (int32_t i = parser.optind; i < argc; ++i) out << argv[i] << ' ';
    out << '\n';
  }
}

}  // namespace velkoisp
