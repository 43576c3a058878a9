// Plugs the adapter emulator into the simulated parallel port.
#include "ports/simulated_adapter.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "ports/connector_device.h"
#include "zylsim/emulator.h"
#include "zylsim/parallel_link.h"

namespace zylisp {

namespace {

class TAdapterConnector : public TConnectorDevice {
 public:
  explicit TAdapterConnector(zylsim::Emulator& emulator) : link_(emulator) {}
  void HostPins(uint32_t levels) override { link_.HostPins(levels); }
  uint32_t DevicePins() override { return link_.DevicePins(); }
  void Elapse(unsigned milliseconds) override { link_.Elapse(uint64_t{milliseconds} * 1000); }

 private:
  zylsim::ParallelLink link_;
};

struct TSimulation {
  std::string config;
  std::unique_ptr<zylsim::Emulator> emulator;
  std::unique_ptr<TConnectorDevice> connector;
};

// One emulator per process, kept while the configuration stays the same so
// that the chip keeps its contents between connections.
TSimulation& Current() {
  static TSimulation simulation;
  const char* text = std::getenv("ZYLISP_LPT_SIM");
  const std::string config = text ? text : "";
  if (config != simulation.config || (!simulation.emulator && !config.empty())) {
    simulation.connector.reset();
    simulation.emulator.reset();  // saves the old chip
    simulation.config = config;
    if (!config.empty()) {
      try {
        simulation.emulator = zylsim::MakeEmulator(config);
        simulation.connector = MakeAdapterConnector(*simulation.emulator);
      } catch (const std::exception&) {
        // A bad configuration leaves nothing plugged in: the port then
        // finds no programmer.
        simulation.emulator.reset();
      }
    }
  }
  return simulation;
}

}  // namespace

std::unique_ptr<TConnectorDevice> MakeAdapterConnector(zylsim::Emulator& emulator) {
  return std::make_unique<TAdapterConnector>(emulator);
}

zylsim::Emulator* SimulatedEmulator() { return Current().emulator.get(); }

TConnectorDevice* SimulatedAdapter() { return Current().connector.get(); }

}  // namespace zylisp
