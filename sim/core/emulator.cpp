#include "zylsim/emulator.h"

#include <ostream>

#include "zylsim/image_file.h"

namespace zylsim {

namespace {

// An empty socket still gets the device's model: the image keeps its size
// and its contents, and the firmware leaves the model off the buses.
std::unique_ptr<Chip> BuildChip(const EmulatorConfig& config) {
  config.Check();
  std::unique_ptr<Chip> chip = CreateChip(config.device, config.org);
  if (!chip) throw ConfigError("unknown device '" + config.device + "'");
  if (config.EmptySocket() || config.fitted.empty()) return chip;
  chip = CreateChip(config.fitted, config.org);
  if (!chip) throw ConfigError("unknown fitted chip '" + config.fitted + "'");
  return chip;
}

FirmwareOptions BusOptions(const EmulatorConfig& config) {
  FirmwareOptions options = config;
  options.emptySocket = config.EmptySocket();
  return options;
}

}  // namespace

Emulator::Emulator(EmulatorConfig config)
    : config_(std::move(config)),
      chip_(BuildChip(config_)),
      firmware_(*chip_, BusOptions(config_), stats_) {
  if (!config_.image.empty()) {
    LoadImageFile(config_.image, chip_->Memory());
    // Found out now rather than when the chip has been programmed.
    CheckImageWritable(config_.image);
  }
  // Stuck cells are defects of the array: they show in what was loaded too.
  for (const StuckCell& s : config_.stuck) {
    if (s.address >= chip_->Memory().size())
      throw ConfigError("stuck cell " + std::to_string(s.address) + " is outside the chip (" +
                        std::to_string(chip_->Memory().size()) + " bytes)");
    chip_->AddStuckBits(s.address, s.mask, s.value);
  }
  saved_ = chip_->Memory();
}

Emulator::~Emulator() {
  try {
    Persist();
  } catch (...) {
    // Nothing to report to from a destructor; the old image stays intact.
  }
}

std::unique_ptr<Emulator> MakeEmulator(const std::string& config) {
  return std::make_unique<Emulator>(EmulatorConfig::Parse(config));
}

void Emulator::PrintStatistics(std::ostream& out) const {
  zylsim::PrintStatistics(out, stats_);
  out << "write_cycles " << chip_->WriteCycleCount() << '\n'
      << "write_cycle_us " << chip_->WriteCycleTotalUs() << '\n';
}

void Emulator::PowerOn(bool announce) {
  firmware_.Reset(announce);
}

void Emulator::Persist() {
  if (config_.image.empty()) return;
  if (chip_->Memory() == saved_) return;
  SaveImageFile(config_.image, chip_->Memory());
  saved_ = chip_->Memory();
}

}  // namespace zylsim
