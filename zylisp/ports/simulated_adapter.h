// The adapter emulator behind the simulated parallel port.
#pragma once

#include <memory>

namespace zylsim {
class Emulator;
}

namespace zylisp {

class TConnectorDevice;

// The connector side of an emulated adapter: its pins, as the parallel
// port sees them.
std::unique_ptr<TConnectorDevice> MakeAdapterConnector(zylsim::Emulator& emulator);

// The emulator for the current ZYLISP_LPT_SIM configuration, created on
// first need and made anew (the old chip saved) when the configuration
// changes; nullptr when the variable is not set or not valid.
zylsim::Emulator* SimulatedEmulator();

}  // namespace zylisp
