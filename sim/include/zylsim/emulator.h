// The emulated adapter with its chip: owns the configuration, the chip
// model, the firmware, the statistics and the image file. Links (parallel
// pins, serial pseudo-terminal) move bytes between a host and this object.
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "zylsim/chip.h"
#include "zylsim/emulator_config.h"
#include "zylsim/firmware.h"
#include "zylsim/statistics.h"

namespace zylsim {

class Emulator {
 public:
  // Builds the chip, loads the image and applies stuck-cell faults; throws
  // ConfigError for an unknown device, an unusable image or an image folder
  // that cannot be written to.
  explicit Emulator(EmulatorConfig config);
  // Writes the image back when the chip changed since it was last saved;
  // failures are swallowed here, call Persist to see them.
  ~Emulator();

  const EmulatorConfig& Config() const { return config_; }
  Chip& TargetChip() { return *chip_; }
  Firmware& Adapter() { return firmware_; }
  Statistics& Stats() { return stats_; }
  // The counters and the chip's write cycles, one "name value" line each.
  void PrintStatistics(std::ostream& out) const;

  // Power-on reset of the adapter; announce queues the identity as the
  // parallel adapter does when it boots.
  void PowerOn(bool announce);

  // Writes the chip contents to the image file (atomically) when one is
  // configured and the contents changed since loading or the last save.
  // Throws std::runtime_error when the file cannot be written.
  void Persist();

  const std::deque<std::vector<uint8_t>>& CommandLog() const { return firmware_.CommandLog(); }
  void ClearCommandLog() { firmware_.ClearCommandLog(); }

 private:
  EmulatorConfig config_;
  Statistics stats_;
  std::unique_ptr<Chip> chip_;
  Firmware firmware_;
  std::vector<uint8_t> saved_;  // contents as last loaded or saved
};

// The emulator for a configuration string (see emulator_config.h); throws
// ConfigError.
std::unique_ptr<Emulator> MakeEmulator(const std::string& config);

}  // namespace zylsim
