// What each option of the command line does to the run: the option table
// handed to the parser, queued commands and the errors of bad values.
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

}  // namespace velkoisp
