// A client of the exports working against the emulated adapter on the
// simulated LPT1, with its settings in a folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "api/api_state.h"
#include "api/connection.h"
#include "ports/simulated_adapter.h"
#include "support/test_files.h"
#include "zylisp.h"
#include "zylsim/emulator.h"

class SimulatedAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zylisp::ResetApiState();
    Zyl_SetPageSize(0);
  }
  void TearDown() override {
    if (zylisp::ApiState().KeepOpen) Zyl_PROG_Close();
    zylisp::ResetApiState();
  }

  // Plugs a chip into the emulated adapter; extra is more configuration.
  void UseChip(const std::string& device, const std::string& extra = "") {
    std::string config = "device=" + device + ",image=" + dir_.File("chip.bin");
    if (!extra.empty()) config += "," + extra;
    sim_.reset();
    sim_ = std::make_unique<testing_support::ScopedEnv>("ZYLISP_LPT_SIM", config.c_str());
  }

  // Selects device, mode and port as a client does.
  void Connect(const std::string& device, uint8_t progMode = 8) {
    ASSERT_EQ(Zyl_InitProgrammer("LPT1", device.c_str(), ZYL_MODE_PARALLEL), 0);
    Zyl_WriteProgMode(progMode);
  }

  zylsim::Emulator& Sim() {
    zylsim::Emulator* emulator = zylisp::SimulatedEmulator();
    if (!emulator) throw std::runtime_error("no emulator configured");
    return *emulator;
  }

  std::vector<uint8_t> RandomImage(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  }

  std::string File(const std::string& name) const { return dir_.File(name); }

  testing_support::TempDir dir_;
  testing_support::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
  std::unique_ptr<testing_support::ScopedEnv> sim_;
};
