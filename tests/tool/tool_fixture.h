// What the tool tests share: a folder of their own, data files, the chip
// on the simulated LPT1 or on zylsim, and reading chip images back.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_files.h"
#include "support/zylsim_process.h"
#include "zylisp.h"

namespace tool_testing {

using testing_support::ChildProcess;
using testing_support::RunResult;

// velkoisp with these arguments, to its end; its standard input is empty.
inline RunResult RunVelkoisp(const std::vector<std::string>& args) {
  return ChildProcess(VELKOISP_PATH, args).Finish();
}

inline std::vector<uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// The chip contents a data file describes, loaded through the library.
inline std::vector<uint8_t> LoadImage(const std::string& device, const std::string& path) {
  Zyl_SetDevice(device.c_str());
  Zyl_SetMode(ZYL_MODE_PARALLEL);
  Zyl_SetPort(1);
  EXPECT_EQ(Zyl_LoadBuffer(ZYL_AREA_EEPROM, path.c_str()), 0) << path;
  std::vector<uint8_t> bytes(static_cast<std::size_t>(Zyl_GetBufferSize(ZYL_AREA_EEPROM)));
  for (std::size_t a = 0; a < bytes.size(); ++a)
    Zyl_ReadBuffer(ZYL_AREA_EEPROM, static_cast<int32_t>(a), &bytes[a]);
  return bytes;
}

// Saves bytes as a data file of the library's format.
inline void SaveImage(const std::string& device, const std::vector<uint8_t>& bytes,
                      const std::string& path, uint8_t format) {
  Zyl_SetDevice(device.c_str());
  Zyl_SetMode(ZYL_MODE_PARALLEL);
  Zyl_SetPort(1);
  for (std::size_t a = 0; a < bytes.size(); ++a)
    Zyl_WriteBuffer(ZYL_AREA_EEPROM, static_cast<int32_t>(a), bytes[a]);
  ASSERT_EQ(Zyl_SaveBuffer(ZYL_AREA_EEPROM, path.c_str(), format), 0);
}

// What every run must keep to: nothing on standard error, and output to a
// pipe without backspaces, escape sequences or other control characters.
inline void ExpectCleanOutput(const RunResult& run) {
  EXPECT_EQ(run.err, "");
  for (const char c : run.out) {
    ASSERT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)) << run.out;
  }
}

// The output after the banner (its version and build date vary).
inline std::string AfterBanner(const std::string& out) {
  const std::size_t end = out.find("\n\n");
  return end == std::string::npos ? out : out.substr(end + 2);
}

// One chip behind one port, for the runs of the test: "LPT1" is the
// simulated parallel port inside the library, "COM1" a zylsim program.
class Adapter {
 public:
  Adapter(const std::string& transport, const std::string& device, const std::string& folder)
      : transport_(transport), config_("XDG_CONFIG_HOME", folder.c_str()) {
    const std::string image = folder + "/chip.bin";
    if (transport == "LPT1") {
      port_ = std::make_unique<ScopedEnv>("ZYLISP_LPT_SIM",
                                          ("device=" + device + ",image=" + image).c_str());
    } else {
      sim_ = std::make_unique<testing_support::Zylsim>(
          std::vector<std::string>{"--device=" + device, "--image=" + image});
      port_ = std::make_unique<ScopedEnv>("ZYLISP_SERIAL_PORTS", sim_->FirstLine().c_str());
    }
  }
  // velkoisp on this port, with the port named in lower case.
  RunResult Run(const std::string& device, std::vector<std::string> args) const {
    std::string port = transport_;
    for (char& c : port) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    args.insert(args.begin(), {"--port=" + port, "--device=" + device});
    const RunResult run = RunVelkoisp(args);
    ExpectCleanOutput(run);
    return run;
  }

 private:
  using ScopedEnv = testing_support::ScopedEnv;
  std::string transport_;
  ScopedEnv config_;
  std::unique_ptr<testing_support::Zylsim> sim_;
  std::unique_ptr<ScopedEnv> port_;
};

}  // namespace tool_testing
