// The backend behind the parallel ports: the kernel's ppdev devices, or
// with ZYLISP_LPT_SIM set a simulated LPT1 with the adapter emulator on
// its connector. The default session reaches the process's one emulated
// adapter; any other session gets one of its own, so that sessions never
// share a chip.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "api/port_list.h"

namespace zylsim {
class Emulator;
}

namespace zylisp {

class TLptAccess;

// A session's own emulated adapter: made from ZYLISP_LPT_SIM on the first
// connection that needs it, kept while the session lives (its chip keeps
// its contents between the session's connections) and made anew when the
// configuration changes.
struct TOwnSimulatedAdapter;
struct TOwnAdapterDeleter {
  void operator()(TOwnSimulatedAdapter* adapter) const;
};
using TOwnAdapter = std::unique_ptr<TOwnSimulatedAdapter, TOwnAdapterDeleter>;

// The port access object: the simulated port when ZYLISP_LPT_SIM is set
// (even empty: then nothing is plugged in), else the ppdev backend. With
// own, the simulated port reaches the adapter held there, else the
// process's one.
std::unique_ptr<TLptAccess> CreateLptAccess(TOwnAdapter* own = nullptr);
// The parallel ports for a port list that any thread may ask for at any
// time: under simulation LPT1, else the ports the kernel lists with their
// registers and a ppdev device node. No port is claimed or driven, so a
// list never waits for a session that holds one, nor touches its lines.
std::vector<TPortInfo> ListParallelPorts();

// Nothing when ZYLISP_LPT_SIM is not set (or empty). Otherwise raises
// EPortConfigError naming the key or value at fault when the emulator
// cannot be made from it, and EDeviceMismatch naming both parts when its
// chip is not the device selected.
void CheckSimulatedAdapter(const std::string& selectedDevice, TOwnAdapter* own = nullptr);

// The process's emulator for the current ZYLISP_LPT_SIM configuration,
// created on first need and made anew (the old chip saved) when the
// configuration changes; nullptr when the variable is not set or not valid.
zylsim::Emulator* SimulatedEmulator();

}  // namespace zylisp
