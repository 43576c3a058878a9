// The backend behind the parallel ports, chosen once for the library: the
// kernel's ppdev devices, or with ZYLISP_LPT_SIM set a simulated LPT1 with
// the adapter emulator on its connector.
#pragma once

#include <memory>
#include <string>

namespace zylsim {
class Emulator;
}

namespace zylisp {

class TLptAccess;

// The port access object for this process: the simulated port when
// ZYLISP_LPT_SIM is set (even empty: then nothing is plugged in), else the
// ppdev backend.
std::unique_ptr<TLptAccess> CreateLptAccess();

// Nothing when ZYLISP_LPT_SIM is not set (or empty). Otherwise raises
// EPortConfigError naming the key or value at fault when the emulator
// cannot be made from it, and EDeviceMismatch naming both parts when its
// chip is not the device selected.
void CheckSimulatedAdapter(const std::string& selectedDevice);

// The emulator for the current ZYLISP_LPT_SIM configuration, created on
// first need and made anew (the old chip saved) when the configuration
// changes; nullptr when the variable is not set or not valid.
zylsim::Emulator* SimulatedEmulator();

}  // namespace zylisp
