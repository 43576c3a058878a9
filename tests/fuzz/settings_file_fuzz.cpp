// The settings file as anyone may have edited it. Header: a clock speed,
// then a byte whose low bit asks for a connection. The rest is the file.
// Zyl_PROG_Speed stores the speed: the file read back holds it and every
// other setting as it was; a connection on the simulated port then sends
// that speed to the adapter, whatever else the file holds.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "api/session.h"
#include "api/lpt_backend_choice.h"
#include "core/hex_text.h"
#include "core/isp_settings.h"
#include "fuzz/fuzz_support.h"
#include "zylisp.h"
#include "zylsim/emulator.h"

namespace {

using zylisp::kKindParallel;
using zylisp::TISPSettings;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

TISPSettings Stored() {
  TISPSettings settings;
  settings.LoadStore(zylisp::kCommandLineKey, false, 1);
  return settings;
}

bool AdapterHeardSpeed(uint8_t speed) {
  const auto& log = zylisp::SimulatedEmulator()->CommandLog();
  const std::string hex = zylisp::HexDigits(speed, 2);
  const std::vector<uint8_t> command{'E', static_cast<uint8_t>(hex[0]),
                                     static_cast<uint8_t>(hex[1])};
  return std::find(log.begin(), log.end(), command) != log.end();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("XDG_CONFIG_HOME", fuzz::ScratchFile("config").c_str(), 1);
  setenv("ZYLISP_LPT_SIM", "device=24C02", 1);
  std::filesystem::create_directories(fuzz::ScratchFile("config/norvex/ZYLISP0001"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput input(data, size);
  const uint8_t speed = input.Byte();
  const bool connect = (input.Byte() & 1) != 0;
  fuzz::WriteFile(fuzz::ScratchFile("config/norvex/ZYLISP0001/COMMANDLINE.ini"), input.Rest());
  fuzz::Require(Zyl_SetDevice("24C02") == 0 && Zyl_SetMode(ZYL_MODE_PARALLEL) == 0 &&
                    Zyl_SetPort(1) == 0,
                "LPT1 and a 24C02 can be selected");

  const TISPSettings before = Stored();
  fuzz::Require(Zyl_PROG_Speed(speed) == 0, "a speed can always be stored");
  const TISPSettings after = Stored();
  fuzz::Require(after.GetValue(kKindParallel, "Clockspeed", "none").AsString() ==
                    std::to_string(speed),
                "the stored speed is the one written");
  int kept = 0;
  for (int i = 0; i < before.Count(); ++i) {
    const zylisp::TSetting& s = before.Items(i);
    if (SameIgnoringCase(s.Section, kKindParallel) && SameIgnoringCase(s.Ident, "Clockspeed"))
      continue;
    ++kept;
    fuzz::Require(after.GetValue(s.Section, s.Ident, "\n").AsString() == s.Value.AsString(),
                  "storing a speed keeps every other setting");
  }
  fuzz::Require(after.Count() == kept + 1, "storing a speed adds nothing else");

  if (!connect) return 0;
  zylisp::SimulatedEmulator()->ClearCommandLog();
  fuzz::Require(Zyl_TestComms() == 0, "an unusable stored value never stops a connection");
  fuzz::Require(AdapterHeardSpeed(speed), "the adapter is set to the stored speed");
  return 0;
}
