// The checks of the required options before anything runs.
#pragma once

#include "run_state.h"

namespace velkoisp {

// Adds the errors of the device and then of the port to state.ErrorList,
// and sets state.Mode from the port's prefix (COM: serial, otherwise
// parallel).
void ValidateRequiredOptions(TRunState& state);

// Whether the command list holds only --detect, which needs no device.
bool OnlyDetects(const TRunState& state);

}  // namespace velkoisp
