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

namespace {

// Plugs config's emulator into adapter, or says in problem why it cannot.
void Plug(TSimulatedAdapter& adapter, const std::string& config) {
  adapter.config = config;
  adapter.problem.clear();
  if (config.empty()) return;
  try {
    adapter.emulator = MakeEmulator(config);
    adapter.connector = MakeAdapterConnector(*adapter.emulator);
  } catch (const std::exception& e) {
    adapter.emulator.reset();
    adapter.problem = e.what();
  }
}

}  // namespace

std::unique_ptr<TSimulatedAdapter> MakeSimulatedAdapter(const std::string& config) {
  auto adapter = std::make_unique<TSimulatedAdapter>();
  Plug(*adapter, config);
  return adapter;
}

const TSimulatedAdapter& SimulatedAdapter(const std::string& config) {
  static TSimulatedAdapter adapter;
  if (config == adapter.config && (adapter.emulator || config.empty())) return adapter;
  adapter.connector.reset();
  adapter.emulator.reset();  // saves the old chip
  Plug(adapter, config);
  return adapter;
}

}  // namespace zylsim
