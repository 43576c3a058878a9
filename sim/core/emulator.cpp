#include "zylsim/emulator.h"

#include <ostream>

#include "zylsim/chip_spi_flash.h"
#include "zylsim/image_file.h"

namespace zylsim {

namespace {

// An empty socket still gets the device's model: the image keeps its size
// and its contents, and the firmware leaves the model off the buses.
// A NOR flash in the socket counts into the emulator's statistics and
// answers jedecid= in place of its own ID.
std::unique_ptr<Chip> FitChip(std::unique_ptr<Chip> chip, const EmulatorConfig& config, Statistics& stats) {
  auto* flash = dynamic_cast<SpiFlash*>(chip.get());
  if (flash) flash->AttachStatistics(&stats);
  if (config.jedecId) {
    if (!flash)
      throw ConfigError("jedecid= needs an SPI NOR flash part in the socket, not '" + config.FittedChip() + "'");
    flash->OverrideJedecId(*config.jedecId);
  }
  return chip;
}

std::unique_ptr<Chip> BuildChip(const EmulatorConfig& config, Statistics& stats) {
  config.Check();
  std::unique_ptr<Chip> chip = CreateChip(config.device, config.org);
  if (!chip) throw ConfigError("unknown device '" + config.device + "'");
  if (config.EmptySocket() || config.fitted.empty()) return FitChip(std::move(chip), config, stats);
  chip = CreateChip(config.fitted, config.org);
  if (!chip) throw ConfigError("unknown fitted chip '" + config.fitted + "'");
  return FitChip(std::move(chip), config, stats);
}

FirmwareOptions BusOptions(const EmulatorConfig& config) {
  FirmwareOptions options = config;
  options.emptySocket = config.EmptySocket();
  return options;
}

}  // namespace

Emulator::Emulator(EmulatorConfig config)
    : config_(std::move(config)),
      chip_(BuildChip(config_, stats_)),
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
  chip_->PowerUp();
  firmware_.Reset(announce);
}

void Emulator::Persist() {
  if (config_.image.empty()) return;
  if (chip_->Memory() == saved_) return;
  SaveImageFile(config_.image, chip_->Memory());
  saved_ = chip_->Memory();
}

}  // namespace zylsim
