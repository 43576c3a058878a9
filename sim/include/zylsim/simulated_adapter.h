// The adapter emulator plugged into the simulated parallel port.
#pragma once

#include <memory>
#include <string>

#include "zylsim/connector_device.h"
#include "zylsim/emulator.h"

namespace zylsim {

// The connector side of an emulated adapter: its pins, as the parallel
// port sees them.
std::unique_ptr<TConnectorDevice> MakeAdapterConnector(Emulator& emulator);

// What a configuration plugged into the port.
struct TSimulatedAdapter {
  std::string config;
  std::string problem;  // why the configuration made no emulator
  std::unique_ptr<Emulator> emulator;  // nullptr for "" or a bad configuration
  std::unique_ptr<TConnectorDevice> connector;
};

// An emulated adapter of its own for config, for a client that keeps it.
std::unique_ptr<TSimulatedAdapter> MakeSimulatedAdapter(const std::string& config);

// The process's one emulated adapter, brought to config ("key=value,...";
// "" plugs in none): made on first need and made anew (the old chip saved)
// when the configuration changes, so that the chip keeps its contents
// between connections while it stays the same. A configuration that made no
// emulator is tried again on the next call.
const TSimulatedAdapter& SimulatedAdapter(const std::string& config);

}  // namespace zylsim
