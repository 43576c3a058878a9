// A client of the exports working against the emulated adapter, on the
// simulated LPT1 or on a zylsim pseudo-terminal as COM1, with its settings in
// a folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "api/session.h"
#include "api/connection.h"
#include "api/lpt_backend_choice.h"
#include "support/test_files.h"
#include "support/zylsim_process.h"
#include "zylisp.h"
#include "zylsim/emulator.h"

enum class Transport { Parallel, Serial };

inline std::ostream& operator<<(std::ostream& os, Transport t) {
  return os << (t == Transport::Parallel ? "LPT" : "COM");
}

class SimulatedAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zylisp::ResetSession();
  }
  void TearDown() override {
    if (zylisp::CurrentSession().KeepOpen) Zyl_PROG_Close();
    zylisp::ResetSession();
  }

  // Plugs a chip into an emulated adapter on the transport's port; extra is
  // more configuration ("key=value,...").
  void UseChip(const std::string& device, const std::string& extra = "",
               Transport transport = Transport::Parallel) {
    transport_ = transport;
    // One image per device: a chip refuses an image of another size.
    image_ = "chip-" + device + ".bin";
    for (char& c : image_)
      if (c == ' ' || c == '(' || c == ')') c = '_';
    std::string config = "device=" + device + ",image=" + Image();
    if (!extra.empty()) config += "," + extra;
    sim_.reset();
    serial_.reset();
    ports_.reset();
    zylsim_.reset();
    if (transport == Transport::Parallel) {
      sim_ = std::make_unique<testing_support::ScopedEnv>("ZYLISP_LPT_SIM", config.c_str());
      return;
    }
    std::vector<std::string> options;
    std::size_t at = 0;
    while (at <= config.size()) {
      const std::size_t comma = std::min(config.find(',', at), config.size());
      options.push_back("--" + config.substr(at, comma - at));
      at = comma + 1;
    }
    zylsim_ = std::make_unique<testing_support::Zylsim>(options);
    const std::string path = zylsim_->FirstLine();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << "zylsim did not start: " << path;
    serial_ = std::make_unique<testing_support::ScopedEnv>("ZYLISP_SERIAL_PORTS", path.c_str());
    ports_ = std::make_unique<testing_support::ScopedEnv>("ZYLISP_LPT_SIM", nullptr);
  }

  // Selects device, mode and port as a client does.
  void Connect(const std::string& device, uint8_t progMode = 8) {
    const bool serial = transport_ == Transport::Serial;
    ASSERT_EQ(Zyl_InitProgrammer(serial ? "COM1" : "LPT1", device.c_str(),
                                 serial ? ZYL_MODE_SERIAL : ZYL_MODE_PARALLEL),
              0);
    Zyl_WriteProgMode(progMode);
  }

  // The emulator behind the simulated LPT1.
  zylsim::Emulator& Sim() {
    zylsim::Emulator* emulator = zylisp::SimulatedEmulator();
    if (!emulator) throw std::runtime_error("no emulator configured");
    return *emulator;
  }

  // The chip holds expected, as the emulator keeps it: the parallel
  // emulator's array, or the image zylsim writes back once the port is
  // closed (which it notices a moment after the close).
  void ExpectChipHolds(const std::vector<uint8_t>& expected) {
    if (transport_ == Transport::Parallel) {
      EXPECT_EQ(Sim().TargetChip().Memory(), expected);
      return;
    }
    std::vector<uint8_t> bytes;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (bytes != expected && std::chrono::steady_clock::now() < end) {
      usleep(2000);
      if (testing_support::FileExists(Image())) bytes = testing_support::ReadBytes(Image());
    }
    EXPECT_EQ(bytes, expected);
  }

  std::vector<uint8_t> RandomImage(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  }

  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string Image() const { return dir_.File(image_); }

  testing_support::TempDir dir_;
  testing_support::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
  Transport transport_ = Transport::Parallel;
  std::string image_ = "chip.bin";
  std::unique_ptr<testing_support::ScopedEnv> sim_;
  std::unique_ptr<testing_support::ScopedEnv> serial_;
  std::unique_ptr<testing_support::ScopedEnv> ports_;
  std::unique_ptr<testing_support::Zylsim> zylsim_;
};
