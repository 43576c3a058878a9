// Plugs the adapter emulator into the simulated parallel port.
#include "zylsim/simulated_adapter.h"

#include <exception>

#include "zylsim/parallel_link.h"

namespace zylsim {

namespace {

class TAdapterConnector : public TConnectorDevice {
 public:
  explicit TAdapterConnector(Emulator& emulator) : link_(emulator) {}
  void HostPins(uint32_t levels) override { link_.HostPins(levels); }
  uint32_t DevicePins() override { return link_.DevicePins(); }
  void Elapse(unsigned milliseconds) override { link_.Elapse(uint64_t{milliseconds} * 1000); }

 private:
  ParallelLink link_;
};

}  // namespace

std::unique_ptr<TConnectorDevice> MakeAdapterConnector(Emulator& emulator) {
  return std::make_unique<TAdapterConnector>(emulator);
}

const TSimulatedAdapter& SimulatedAdapter(const std::string& config) {
  static TSimulatedAdapter adapter;
  if (config == adapter.config && (adapter.emulator || config.empty())) return adapter;
  adapter.connector.reset();
  adapter.emulator.reset();  // saves the old chip
  adapter.config = config;
  adapter.problem.clear();
  if (config.empty()) return adapter;
  try {
    adapter.emulator = MakeEmulator(config);
    adapter.connector = MakeAdapterConnector(*adapter.emulator);
  } catch (const std::exception& e) {
    // Nothing is plugged in; problem tells why.
    adapter.emulator.reset();
    adapter.problem = e.what();
  }
  return adapter;
}

}  // namespace zylsim
