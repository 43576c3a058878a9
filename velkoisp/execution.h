// Runs the queued commands on the programmer.
#pragma once

#include <iosfwd>

#include "run_state.h"

namespace velkoisp {

// Opens the programmer on state.PortName for state.DeviceName, writes
// programming mode 8, shows the firmware version, then runs CommandList in
// order with one status line per command on out, and closes the programmer
// again. The first failure stops the list, and so does a stop signal (see
// stop_signals.h), after the running command and with the console title
// restored. Sets state.ExitCode to -1 when the programmer cannot be opened,
// a command fails or the run is stopped.
void ExecuteCommands(TRunState& state, std::ostream& out);

}  // namespace velkoisp
