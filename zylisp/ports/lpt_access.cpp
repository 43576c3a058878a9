#include "ports/lpt_access.h"

#include "ports/find_lpt.h"

namespace zylisp {

namespace {

// Registers by their offset from the base.
constexpr int kData = 0;
constexpr int kStatus = 1;
constexpr int kControl = 2;
constexpr int kEcr = 0x402;

struct TPinInfo {
  uint8_t reg;
  uint8_t mask;
  bool inverted;
};

// Connector pin -> register, bit, polarity (index 0 unused).
constexpr TPinInfo kPins[18] = {
    {0, 0, false},           {kControl, 0x01, true},  {kData, 0x01, false},
    {kData, 0x02, false},    {kData, 0x04, false},    {kData, 0x08, false},
    {kData, 0x10, false},    {kData, 0x20, false},    {kData, 0x40, false},
    {kData, 0x80, false},    {kStatus, 0x40, false},  {kStatus, 0x80, true},
    {kStatus, 0x20, false},  {kStatus, 0x10, false},  {kControl, 0x02, true},
    {kStatus, 0x08, false},  {kControl, 0x04, false}, {kControl, 0x08, true},
};

// The ECR's mode field (bits 7..5) for each mode.
constexpr uint8_t kEcrCodeOfMode[] = {0, 0, 1, 4, 2, 3};

}  // namespace

TLptAccess::TLptAccess(std::unique_ptr<TIoBackend> backend, std::string parportDir)
    : backend_(std::move(backend)), parportDir_(std::move(parportDir)) {}

TLptAccess::~TLptAccess() { SetActive(0); }

void TLptAccess::SetActive(uint8_t value) {
  if (value != 0) {
    Open(value);
  } else if (active_) {
    active_ = false;
    backend_->Close();
  }
}

uint8_t TLptAccess::Active() const { return active_ ? openValue_ : 0; }
uint8_t TLptAccess::PortCount() const { return portCount_; }
bool TLptAccess::PortAvailable() const { return Reachable() && answers_; }

uint16_t TLptAccess::Address(int reg) const {
  return static_cast<uint16_t>(bases_[current_] + reg);
}

uint8_t TLptAccess::ReadRegister(int reg) {
  return Reachable() ? backend_->Read(Address(reg)) : 0xFF;
}

void TLptAccess::WriteRegister(int reg, uint8_t value) {
  if (!Reachable()) return;
  if (reg <= kControl) shadow_[reg] = value;
  backend_->Write(Address(reg), value);
}

void TLptAccess::Open(uint8_t value) {
  if (active_) return;
  bases_ = {};
  portCount_ = 0;
  if (!backend_->Open()) return;
  active_ = true;
  openValue_ = value;
  // A port whose base is unknown cannot be driven: it counts as not found.
  for (uint8_t i = 1; i <= kSlots; ++i) {
    bases_[i] = FindLptBase(parportDir_, i);
    if (bases_[i] != 0) portCount_ = i;
  }
  // Linux has no firmware table of port addresses (it reads as zeros), so
  // with nothing found assume the usual first port.
  if (portCount_ == 0) {
    portCount_ = 1;
    bases_[1] = kFallbackLptBase;
  }
  for (uint8_t i = 1; i <= portCount_; ++i) {
    if (bases_[i] != 0) backend_->Grant(i, bases_[i]);
  }
  SelectPort(1);
}

void TLptAccess::SelectPort(uint8_t slot) {
  if (slot < 1 || slot > kSlots) return;
  current_ = slot;
  ecp_ = Reachable() && DetectECP();
  answers_ = ecp_ || (Reachable() && DetectSPP());
  for (int reg = kData; reg <= kControl; ++reg) shadow_[reg] = ReadRegister(reg);
}

bool TLptAccess::DetectSPP() {
  WriteRegister(kControl, 0x0F);
  WriteRegister(kData, 0x55);
  if (ReadRegister(kData) != 0x55) return false;
  WriteRegister(kData, 0xAA);
  return ReadRegister(kData) == 0xAA;
}

bool TLptAccess::DetectECP() {
  const uint8_t ecr = ReadRegister(kEcr);
  // An idle ECP port reports its FIFO empty (bit 0) and not full (bit 1).
  if ((ecr & 0x01) == 0 || (ecr & 0x02) != 0) return false;
  bool result = false;
  uint8_t control = ReadRegister(kControl);
  if ((control & 0x02) == 0) {
    WriteRegister(kControl, 0x0F);
    control = ReadRegister(kControl);
  }
  if ((control & 0x02) != 0) {
    WriteRegister(kEcr, 0x34);
    result = ReadRegister(kEcr) == 0x35;
  }
  WriteRegister(kEcr, ecr);
  return result;
}

void TLptAccess::WriteECR(uint8_t value) { WriteRegister(kEcr, value); }

void TLptAccess::SetECPMode(uint8_t mode) {
  if (!Reachable() || !ecp_ || mode == lpt_none || mode > lpt_ecp) return;
  const uint8_t ecr = ReadRegister(kEcr);
  WriteRegister(kEcr, static_cast<uint8_t>((ecr & 0x1F) | (kEcrCodeOfMode[mode] << 5)));
}

bool TLptAccess::GetPin(int pin) {
  if (pin < 1 || pin > 17 || !Reachable()) return false;
  const TPinInfo& info = kPins[pin];
  return ((ReadRegister(info.reg) & info.mask) != 0) != info.inverted;
}

void TLptAccess::SetPin(int pin, bool level) {
  if (pin < 1 || pin > 17 || !Reachable()) return;
  const TPinInfo& info = kPins[pin];
  const uint8_t value = shadow_[info.reg];
  WriteRegister(info.reg, static_cast<uint8_t>(level != info.inverted ? value | info.mask
                                                                       : value & ~info.mask));
}

void TLptAccess::Delay(unsigned milliseconds) { backend_->Delay(milliseconds); }

}  // namespace zylisp
