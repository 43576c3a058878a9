// The emulator's command decoder fed with any bytes. Header: the chip (any
// the emulator knows), then options: bit 0 Microwire organisation 16, bit 1
// write cycles that never end, bit 2 the parallel adapter's boot (identity
// on offer). The rest goes to the firmware a byte at a time, each followed
// by a little idle time; the replies are drained as they come.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "zylsim/chip.h"
#include "zylsim/emulator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> chips = zylsim::ChipNames();
  fuzz::TInput input(data, size);
  zylsim::EmulatorConfig config;
  config.device = chips[input.Byte() % chips.size()];
  const uint8_t options = input.Byte();
  config.org = (options & 1) != 0 ? 16 : 8;
  config.neverReady = (options & 2) != 0;
  zylsim::Emulator emulator(config);
  emulator.PowerOn((options & 4) != 0);

  zylsim::Firmware& firmware = emulator.Adapter();
  const std::size_t chipSize = emulator.TargetChip().Memory().size();
  const std::string bytes = input.Rest();
  uint64_t replies = 0;
  for (const char c : bytes) {
    firmware.Receive(static_cast<uint8_t>(c));
    firmware.Idle(10'000);
    while (firmware.HasOutput()) {
      firmware.TakeOutput();
      ++replies;
    }
  }
  const zylsim::Statistics& stats = emulator.Stats();
  fuzz::Require(stats.bytesFromHost == bytes.size(), "the firmware takes every byte");
  fuzz::Require(stats.bytesToHost == replies, "the statistics count every reply byte");
  fuzz::Require(emulator.CommandLog().size() <= zylsim::Firmware::kCommandLogLimit,
                "the command log stays bounded");
  fuzz::Require(emulator.TargetChip().Memory().size() == chipSize, "the chip keeps its size");
  return 0;
}
