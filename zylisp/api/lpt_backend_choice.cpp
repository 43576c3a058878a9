// The one place of the library that knows the adapter emulator.
#include "api/lpt_backend_choice.h"

#include <strings.h>

#include <cstdlib>

#include "core/errors.h"
#include "ports/find_lpt.h"
#include "ports/lpt_access.h"
#include "ports/ppdev_backend.h"
#include "zylsim/sim_io_space.h"
#include "zylsim/simulated_adapter.h"

namespace zylisp {

namespace {

// ZYLISP_LPT_SIM, or nullptr when it is not set.
const char* SimulationConfig() { return std::getenv("ZYLISP_LPT_SIM"); }

const zylsim::TSimulatedAdapter& Adapter(const char* config) {
  return zylsim::SimulatedAdapter(config ? config : "");
}

}  // namespace

std::unique_ptr<TLptAccess> CreateLptAccess() {
  const char* config = SimulationConfig();
  if (!config) {
    return std::make_unique<TLptAccess>(std::make_unique<TPpdevBackend>(),
                                        ParportDirFromEnvironment(kDefaultParportDir));
  }
  auto space = std::make_unique<zylsim::TSimIoSpace>();
  space->AddPort(kFallbackLptBase, zylsim::TSimPortKind::ecp, Adapter(config).connector.get());
  // The simulated machine knows no ports unless a parport folder is named
  // explicitly, so the fallback slot 1 lands on the model.
  return std::make_unique<TLptAccess>(std::move(space), ParportDirFromEnvironment(""));
}

void CheckSimulatedAdapter(const std::string& selectedDevice) {
  const char* config = SimulationConfig();
  if (!config || !*config) return;
  const zylsim::TSimulatedAdapter& adapter = Adapter(config);
  if (!adapter.emulator) throw EPortConfigError("ZYLISP_LPT_SIM: " + adapter.problem);
  const std::string& held = adapter.emulator->Config().device;
  if (strcasecmp(held.c_str(), selectedDevice.c_str()) != 0)
    throw EDeviceMismatch("ZYLISP_LPT_SIM holds a " + held + ", but " + selectedDevice +
                          " is selected");
}

zylsim::Emulator* SimulatedEmulator() { return Adapter(SimulationConfig()).emulator.get(); }

}  // namespace zylisp
