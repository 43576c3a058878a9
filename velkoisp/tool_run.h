// One run of the tool, phase by phase: banner, command-line scans, device
// gathering, help, validation, execution, the wait at the end.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "run_state.h"

namespace velkoisp {

// Everything up to the execution of the commands, which it does not start:
// afterwards state.ReadyToExecute tells whether they may run, and
// state.ExitCode is -1 when the run has already ended in an abort. argv is
// the argument vector of BuildArgumentVector; the parser may reorder it.
TRunState PrepareRun(std::vector<std::string>& argv, std::ostream& out);

// A whole run; returns the process exit status, 0 or 255 after an abort.
// A run stopped by a signal (see stop_signals.h) ends the process by that
// signal instead.
int RunTool(std::vector<std::string>& argv, std::ostream& out, std::istream& in);

}  // namespace velkoisp
