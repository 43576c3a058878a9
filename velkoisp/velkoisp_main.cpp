// velkoisp: erases, programs, verifies and reads serial EEPROMs through the
// programmer adapter, running the commands of its command line in order.
// Everything it says goes to standard output.
#include <unistd.h>

#include <iostream>

#include "argument_vector.h"
#include "progress.h"
#include "stop_signals.h"
#include "tool_run.h"

int main(int argc, char** argv) {
  // Each status line shows as soon as it is written, also in a pipe.
  std::cout << std::unitbuf;
  velkoisp::SetConsole(&std::cout, isatty(STDOUT_FILENO) == 1);
  velkoisp::InstallStopHandlers();
  std::vector<std::string> args = velkoisp::BuildArgumentVector(argc, argv);
  return velkoisp::RunTool(args, std::cout, std::cin);
}
