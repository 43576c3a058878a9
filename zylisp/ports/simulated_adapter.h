// The adapter emulator behind the simulated parallel port.
#pragma once

namespace zylsim {
class Emulator;
}

namespace zylisp {

// The emulator for the current ZYLISP_LPT_SIM configuration, created on
// first need and made anew (the old chip saved) when the configuration
// changes; nullptr when the variable is not set or not valid.
zylsim::Emulator* SimulatedEmulator();

}  // namespace zylisp
