// The devices the library supports, gathered once per run.
#pragma once

#include <string>

#include "run_state.h"

namespace velkoisp {

// Fills state.SupportedDevices with the library's devices, bus group 0, 1
// and 2 in this order, for state.Mode.
void GatherSupportedDevices(TRunState& state);

// Whether the library knows a part of that name or alias (case ignored):
// the help lists the classic devices, --listdevices every part.
bool IsKnownDevice(const std::string& name);

}  // namespace velkoisp
