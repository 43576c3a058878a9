// The command line scanned with the parser: each option met goes to its row
// of the option table (option_table.h), which queues a command or an error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "option_parser.h"
#include "run_state.h"

namespace velkoisp {

// Scans argv[1..argc-1] with the parser until it reports the end: queues
// commands in state.CommandList, collects errors in state.ErrorList and
// sets the run's flags. Parser messages and the list of elements that are
// not options go to out. A second scan with the same parser finds no more
// options and queues nothing.
void ScanCommandLine(TOptionParser& parser, int32_t argc, std::vector<std::string>& argv,
                     TRunState& state, std::ostream& out);

// After the scans: an error for each element that is not an option (a word
// typed without "--name=" would otherwise be dropped without a trace).
void RefuseStrayArguments(const TOptionParser& parser, int32_t argc,
                          const std::vector<std::string>& argv, TRunState& state);

}  // namespace velkoisp
