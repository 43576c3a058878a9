// The usage text with the list of supported devices.
#pragma once

#include <iosfwd>
#include <vector>

#include "run_state.h"

namespace velkoisp {

void PrintHelp(std::ostream& out, const std::vector<TSupportedDevice>& devices);

}  // namespace velkoisp
