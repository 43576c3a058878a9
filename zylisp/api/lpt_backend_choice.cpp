// The one place of the library that knows the adapter emulator.
#include "api/lpt_backend_choice.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>

#include "core/errors.h"
#include "zylisp.h"
#include "ports/find_lpt.h"
#include "ports/lpt_access.h"
#include "ports/ppdev_backend.h"
#include "zylsim/sim_io_space.h"
#include "zylsim/simulated_adapter.h"

namespace zylisp {

struct TOwnSimulatedAdapter {
  std::unique_ptr<zylsim::TSimulatedAdapter> adapter;
};

void TOwnAdapterDeleter::operator()(TOwnSimulatedAdapter* adapter) const { delete adapter; }

namespace {

constexpr char kParportDevicePrefix[] = "/dev/parport";

// ZYLISP_LPT_SIM, or nullptr when it is not set.
const char* SimulationConfig() { return std::getenv("ZYLISP_LPT_SIM"); }

const zylsim::TSimulatedAdapter& Adapter(const char* config, TOwnAdapter* own) {
  const std::string wanted = config ? config : "";
  if (!own) return zylsim::SimulatedAdapter(wanted);
  if (!*own) own->reset(new TOwnSimulatedAdapter);
  auto& held = (*own)->adapter;
  // A configuration that made no emulator is tried again.
  if (!held || held->config != wanted || (!held->emulator && !wanted.empty())) {
    held.reset();  // saves the old chip first
    held = zylsim::MakeSimulatedAdapter(wanted);
  }
  return *held;
}

std::unique_ptr<TLptAccess> SimulatedPort(zylsim::TConnectorDevice* connector) {
  auto space = std::make_unique<zylsim::TSimIoSpace>();
  space->AddPort(kFallbackLptBase, zylsim::TSimPortKind::ecp, connector);
  // The simulated machine knows no ports unless a parport folder is named
  // explicitly, so the fallback slot 1 lands on the model.
  return std::make_unique<TLptAccess>(std::move(space), ParportDirFromEnvironment(""));
}

std::unique_ptr<TLptAccess> PpdevPort() {
  return std::make_unique<TLptAccess>(std::make_unique<TPpdevBackend>(kParportDevicePrefix),
                                      ParportDirFromEnvironment(kDefaultParportDir));
}

}  // namespace

std::unique_ptr<TLptAccess> CreateLptAccess(TOwnAdapter* own) {
  const char* config = SimulationConfig();
  if (!config) return PpdevPort();
  return SimulatedPort(Adapter(config, own).connector.get());
}

std::vector<TPortInfo> ListParallelPorts() {
  // The simulated port with nothing plugged in: no session's chip sees it.
  if (SimulationConfig()) return ScanParallelPorts(*SimulatedPort(nullptr));
  std::vector<TPortInfo> ports;
  const std::string dir = ParportDirFromEnvironment(kDefaultParportDir);
  for (uint8_t slot = 1; slot <= TLptAccess::kSlots; ++slot) {
    const std::string node = kParportDevicePrefix + std::to_string(slot - 1);
    if (FindLptBase(dir, slot) != 0 && access(node.c_str(), F_OK) == 0)
      ports.push_back({"LPT" + std::to_string(slot), node, ZYL_MODE_PARALLEL, slot});
  }
  return ports;
}

void CheckSimulatedAdapter(const std::string& selectedDevice, TOwnAdapter* own) {
  const char* config = SimulationConfig();
  if (!config || !*config) return;
  const zylsim::TSimulatedAdapter& adapter = Adapter(config, own);
  if (!adapter.emulator) throw EPortConfigError("ZYLISP_LPT_SIM: " + adapter.problem);
  const std::string& held = adapter.emulator->Config().device;
  if (strcasecmp(held.c_str(), selectedDevice.c_str()) != 0)
    throw EDeviceMismatch("ZYLISP_LPT_SIM holds a " + held + ", but " + selectedDevice +
                          " is selected");
}

zylsim::Emulator* SimulatedEmulator() { return Adapter(SimulationConfig(), nullptr).emulator.get(); }

}  // namespace zylisp
