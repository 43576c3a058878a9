#include "tool_run.h"

#include <istream>
#include <ostream>

#include "argument_vector.h"
#include "command_checks.h"
#include "execution.h"
#include "help_text.h"
#include "option_parser.h"
#include "option_processing.h"
#include "progress.h"
#include "stop_signals.h"
#include "part_listing.h"
#include "supported_devices.h"
#include "validation.h"
#include "zylisp.h"

namespace velkoisp {

namespace {

void PrintBanner(bool noArguments, const std::string& programPath, std::ostream& out) {
  const std::string version = Zyl_GetDLLversion();
  ShowToolTitle();
  out << "VELKOISP Commandline Tool - erases, programs, verifies and reads serial EEPROMs"
         " through the Zyl ISP adapter\n";
  out << "Version " << version << " - Last Build " << Zyl_GetDLLDate() << "\n\n";
  if (noArguments)
    out << "For usage information type: " << FileNameOf(programPath) << " --help\n\n";
}

TRunState Abort(TRunState state) {
  state.ExitCode = -1;
  state.ReadyToExecute = false;
  return state;
}

}  // namespace

TRunState PrepareRun(std::vector<std::string>& argv, std::ostream& out) {
  TRunState state;
  // The vector ends with an empty entry after the arguments.
  const int32_t argc = static_cast<int32_t>(argv.size()) - 1;
  const int32_t arguments = argc - 1;
  PrintBanner(arguments <= 0, argv.empty() ? std::string() : argv[0], out);
  if (arguments > kMaxArguments) {
    out << "Error: too many arguments (" << arguments << "); at most " << kMaxArguments
        << " are accepted, nothing was run\n";
    return Abort(state);
  }
  Zyl_SetProgressHandler(ProgressWithStop);

  TOptionParser parser(out);
  ScanCommandLine(parser, argc, argv, state, out);
  if (arguments <= 0) return Abort(state);
  // The parser keeps its state: a second scan finds no further options.
  ScanCommandLine(parser, argc, argv, state, out);
  RefuseStrayArguments(parser, argc, argv, state);

  GatherSupportedDevices(state);
  if (state.HelpRequested) {
    PrintHelp(out, state.SupportedDevices);
    return Abort(state);
  }
  if (state.ListRequested) {
    // A listing is a complete run: nothing else is done, and it succeeded.
    PrintPartList(out);
    state.ReadyToExecute = false;
    return state;
  }
  ValidateRequiredOptions(state);
  // With the part known, its files are checked against its size too.
  const bool partKnown = state.DeviceGiven && IsKnownDevice(state.DeviceName);
  if (partKnown) Zyl_SetDevice(state.DeviceName.c_str());
  CheckDataFiles(state);
  if (partKnown) CheckCommandsFitThePart(state);
  if (!state.ErrorList.empty()) {
    for (const std::string& line : state.ErrorList) out << line << '\n';
    out << '\n';
    return Abort(state);
  }
  state.ReadyToExecute = true;
  return state;
}

int RunTool(std::vector<std::string>& argv, std::ostream& out, std::istream& in) {
  TRunState state;
  try {
    state = PrepareRun(argv, out);
    if (state.ReadyToExecute && !StopSignal()) ExecuteCommands(state, out);
  } catch (const std::exception& e) {
    out << "\nError: " << e.what() << '\n';
    state.ExitCode = -1;
  }
  if (state.WaitAtEnd && !StopSignal()) {
    // Nothing is left to finish: a signal may end the wait at once.
    RestoreDefaultActions();
    out << "\nPress Enter key to continue...\n" << std::flush;
    std::string line;
    std::getline(in, line);
  }
  out << std::flush;
  // A stopped run ends by its signal, as the shell that sent it expects.
  if (StopSignal()) EndByStopSignal();
  return state.ExitCode == 0 ? 0 : 255;
}

}  // namespace velkoisp
