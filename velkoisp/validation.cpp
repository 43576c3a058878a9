#include "validation.h"

#include <string>

#include "option_table.h"
#include "supported_devices.h"
#include "zylisp.h"

namespace velkoisp {

bool OnlyDetects(const TRunState& state) {
  if (state.CommandList.empty()) return false;
  for (const TCommand& command : state.CommandList)
    if (std::string(command.Row->Name) != "detect") return false;
  return true;
}

void ValidateRequiredOptions(TRunState& state) {
  if (!state.DeviceGiven && !OnlyDetects(state))
    state.ErrorList.push_back(
        "Error: No device specified eg. --device=24C128 (For help: --help=device)");
  else if (state.DeviceGiven && !IsKnownDevice(state.DeviceName))
    state.ErrorList.push_back("Error: Invalid device specified. (For help: --help=device)");

  if (!state.PortGiven) {
    state.ErrorList.push_back("Error: Invalid port specified.  (For help: --help=port)");
    return;
  }
  // Any port text passes; the library decides whether it exists.
  state.Mode = state.PortName.compare(0, 3, "COM") == 0 ? ZYL_MODE_SERIAL : ZYL_MODE_PARALLEL;
}

}  // namespace velkoisp
