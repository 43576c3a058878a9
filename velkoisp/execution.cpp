#include "execution.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "option_table.h"
#include "progress.h"
#include "result_text.h"
#include "stop_signals.h"
#include "validation.h"
#include "zylisp.h"

namespace velkoisp {

namespace {

constexpr int32_t kListedDifferences = 16;

// The row's opening text with the command's Text in place of "{}".
void ShowOpening(const TCommand& command, std::ostream& out) {
  const std::string opening = command.Row->Opening;
  const std::size_t at = opening.find("{}");
  if (at == std::string::npos)
    out << opening;
  else
    out << opening.substr(0, at) << command.Text << opening.substr(at + 2);
}

// Calls Zyl_PROG_Close exactly once, on every way out of the execution.
class TProgrammerCloser {
 public:
  TProgrammerCloser() = default;
  TProgrammerCloser(const TProgrammerCloser&) = delete;
  TProgrammerCloser& operator=(const TProgrammerCloser&) = delete;
  ~TProgrammerCloser() { Zyl_PROG_Close(); }
};

// The library's account of the failure just reported, on a line of its
// own; nothing when it has none.
void ReportDetail(std::ostream& out) {
  const std::string detail = Zyl_GetErrorDetail();
  if (!detail.empty()) out << "Error: " << detail << '\n';
}

// After a failed verify: how many bytes differ, and the first of them.
void ReportDifferences(std::ostream& out) {
  const int32_t count = Zyl_GetDifferenceCount();
  if (count <= 0) return;
  out << count << (count == 1 ? " byte differs" : " bytes differ") << " between chip and file"
      << (count > kListedDifferences ? ", the first " + std::to_string(kListedDifferences) : "")
      << ":\n";
  for (int32_t i = 0; i < count && i < kListedDifferences; ++i) {
    int32_t address = 0;
    uint8_t chip = 0, image = 0;
    if (Zyl_GetDifference(i, &address, &chip, &image) != 0) break;
    char line[64];
    std::snprintf(line, sizeof line, "%04X: chip %02X, file %02X\n",
                  static_cast<unsigned>(address), chip, image);
    out << line;
  }
}

// Ends a command's status line; false when the list must not go on.
bool Finished(int32_t code, TRunState& state, std::ostream& out) {
  if (code == 0) {
    out << " OK \n";
    return true;
  }
  out << " failed (" << ResultText(code) << ")\n";
  ReportDetail(out);
  if (code == ZYL_ERR_VERIFY) ReportDifferences(out);
  state.ExitCode = -1;
  return false;
}

}  // namespace

void ExecuteCommands(TRunState& state, std::ostream& out) {
  const TProgrammerCloser closer;
  // Nothing was programmed when the programmer cannot be opened: a script
  // must see that in the exit status.
  // Detection alone needs no device: each probe opens its own connection.
  const bool detectOnly = !state.DeviceGiven && OnlyDetects(state);
  if (Zyl_InitProgrammer(state.PortName.c_str(), state.DeviceName.c_str(),
                         static_cast<uint8_t>(state.Mode)) != 0 ||
      (!detectOnly && Zyl_PROG_Open() != 0)) {
    out << Zyl_GetLastError() << '\n';
    ReportDetail(out);
    state.ExitCode = -1;
    return;
  }

  const int32_t modeResult = Zyl_WriteProgMode(8) & 0xFF;
  if (modeResult != 0) {
    Finished(modeResult, state, out);
    return;
  }
  if (!detectOnly) out << "Programmer Firmware Version : " << Zyl_GetFWVersion() << "\n\n";

  // A stop signal lets the running command end its status line, and no
  // further command start.
  for (const TCommand& command : state.CommandList) {
    if (StopSignal() != 0) break;
    ShowOpening(command, out);
    if (!Finished(command.Row->Run(command, state, out) & 0xFF, state, out)) break;
  }
  if (StopSignal() != 0) {
    state.ExitCode = -1;
    ShowToolTitle();
  }
}

}  // namespace velkoisp
