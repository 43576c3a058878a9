// The devices the library supports, gathered once per run.
#pragma once

#include <string>

#include "run_state.h"

namespace velkoisp {

// Fills state.SupportedDevices with the library's devices, bus group 0, 1
// and 2 in this order, for state.Mode.
void GatherSupportedDevices(TRunState& state);

// The supported device of that name (case ignored), or null.
const TSupportedDevice* FindSupportedDevice(const TRunState& state, const std::string& name);

}  // namespace velkoisp
