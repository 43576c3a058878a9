#include "ports/lpt_access.h"

#include "ports/find_lpt.h"

namespace zylisp {

namespace {

constexpr int kData = 0;
constexpr int kStatus = 1;
constexpr int kControl = 2;
constexpr int kEppAddress = 3;
constexpr int kEcr = 10;
constexpr uint16_t kMonoBase = 0x3BC;  // the old adapter port: registers 0..2 only
constexpr uint16_t kEcpOffset = 0x400;

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

// The ECR's mode field (bits 7..5) for each port kind.
constexpr uint8_t kEcrCodeOfMode[] = {0, 0, 1, 4, 2, 3};

// Registers 3..10 exist unless the port is the old three-register one (or
// the ECP block would lie beyond the 16-bit I/O space).
bool HasExtendedRegisters(uint16_t base) {
  return base != kMonoBase && base <= 0xFFFF - kEcpOffset - 2;
}

}  // namespace

TLptAccess::TLptAccess(std::unique_ptr<TIoBackend> backend, std::string parportDir)
    : backend_(std::move(backend)), parportDir_(std::move(parportDir)) {}

TLptAccess::~TLptAccess() { Close(); }

void TLptAccess::SetActive(uint8_t value) {
  if (value != 0) {
    Open(value);
  } else {
    Close();
  }
}

uint8_t TLptAccess::Active() const { return active_ ? openValue_ : 0; }
uint8_t TLptAccess::PortCount() const { return portCount_; }

bool TLptAccess::PortAvailable() const {
  const TSlot& slot = slots_[current_];
  return active_ && slot.found && slot.capability != lpt_none;
}

bool TLptAccess::RegisterPresent(int reg) const {
  return reg <= kControl || HasExtendedRegisters(slots_[current_].base);
}

uint8_t TLptAccess::ReadRegister(int reg) {
  if (!Reachable()) return 0xFF;
  if (!RegisterPresent(reg)) return 0;
  const int offset = reg < 8 ? reg : kEcpOffset + (reg - 8);
  return backend_->Read(static_cast<uint16_t>(Current().base + offset));
}

void TLptAccess::WriteRegister(int reg, uint8_t value) {
  if (!Reachable() || !RegisterPresent(reg)) return;
  Current().shadow[reg] = value;
  const int offset = reg < 8 ? reg : kEcpOffset + (reg - 8);
  backend_->Write(static_cast<uint16_t>(Current().base + offset), value);
}

void TLptAccess::Open(uint8_t value) {
  if (active_) return;
  slots_ = {};
  portCount_ = 0;
  if (!backend_->Open(value)) return;
  active_ = true;
  openValue_ = value;

  TFindLpt find(parportDir_);
  for (uint8_t i = 1; i <= kSlots; ++i) {
    if (!find.FindPort(i)) continue;
    // A port without an I/O range cannot be driven: it counts as not found.
    const uint16_t start = find.PortBase(1);
    if (start == 0xFFFF || start == 0) continue;
    slots_[i].found = true;
    slots_[i].base = start;
    portCount_ = i;
  }
  // Linux has no firmware table of port addresses (it reads as zeros), so
  // with nothing found assume the usual first port.
  if (portCount_ == 0) {
    portCount_ = 1;
    slots_[1].base = kFallbackLptBase;
    slots_[1].found = true;
  }
  // A gap takes the base of the slot before it but stays not found. Slot 1
  // has no slot before it: when only higher slots were found it keeps base 0
  // and so never reaches the hardware.
  for (uint8_t i = 2; i <= portCount_; ++i) {
    if (slots_[i].base == 0) slots_[i].base = slots_[i - 1].base;
  }
  for (uint8_t i = 1; i <= portCount_; ++i) {
    if (slots_[i].found) backend_->AssignSlot(i, slots_[i].base);
  }
  current_ = 1;
  SelectPort(1);
}

void TLptAccess::Close() {
  if (!active_) return;
  for (uint8_t i = 1; i <= kSlots; ++i) {
    if (slots_[i].acquired) backend_->Acquire(i, false);
  }
  slots_ = {};
  active_ = false;
  openValue_ = 0;
  backend_->Close();
}

void TLptAccess::GrantAccess() {
  if (!active_) return;
  for (uint8_t i = 1; i <= portCount_; ++i) {
    const uint16_t b = slots_[i].base;
    if (b == 0) continue;
    const uint32_t last = static_cast<uint32_t>(b) + (b == kMonoBase ? 2u : 7u);
    backend_->Grant(b, static_cast<uint16_t>(last > 0xFFFF ? 0xFFFF : last));
    if (HasExtendedRegisters(b))
      backend_->Grant(static_cast<uint16_t>(b + kEcpOffset), static_cast<uint16_t>(b + kEcpOffset + 2));
  }
}

void TLptAccess::SelectPort(uint8_t slot) {
  if (slot < 1 || slot > kSlots) return;
  GrantAccess();
  const bool reselected = slot == current_;
  current_ = slot;
  if (!reselected && Current().examined) return;
  Examine();
  Current().examined = true;
}

// Finds out what kind of port sits at the current base and reads its
// registers into the shadows.
void TLptAccess::Examine() {
  TSlot& slot = Current();
  slot.capability = lpt_none;
  if (!Reachable()) {
    slot.shadow.fill(0xFF);
    return;
  }
  const bool extended = HasExtendedRegisters(slot.base);
  if (extended && DetectECP()) {
    slot.capability = lpt_ecp;
  } else if (extended && DetectEPP()) {
    slot.capability = lpt_epp;
  } else if (DetectSPP()) {
    slot.capability = DetectPS2() ? lpt_ps2 : lpt_spp;
  }
  slot.shadow.fill(0);
  const int last = extended ? kEcr : kControl;
  for (int reg = 0; reg <= last; ++reg) slot.shadow[reg] = ReadRegister(reg);
}

bool TLptAccess::DetectSPP() {
  WriteRegister(kControl, 0x0F);
  WriteRegister(kData, 0x55);
  if (ReadRegister(kData) != 0x55) return false;
  WriteRegister(kData, 0xAA);
  return ReadRegister(kData) == 0xAA;
}

// With the data lines switched to input, a latch that still reads back what
// was written means the port cannot turn its data lines around.
bool TLptAccess::DetectPS2() {
  WriteRegister(kControl, 0x2F);
  WriteRegister(kData, 0x55);
  bool bidirectional = true;
  if (ReadRegister(kData) == 0x55) {
    WriteRegister(kData, 0xAA);
    if (ReadRegister(kData) == 0xAA) bidirectional = false;
  }
  WriteRegister(kControl, 0x0F);
  return bidirectional;
}

// Chips clear the timeout flag by reading status, writing 1 or writing 0;
// do all three.
void TLptAccess::ClearEPPTimeout() {
  ReadRegister(kStatus);
  WriteRegister(kStatus, 1);
  WriteRegister(kStatus, 0);
  ReadRegister(kStatus);
}

bool TLptAccess::DetectEPP() {
  for (const uint8_t pattern : {uint8_t{0x55}, uint8_t{0xAA}}) {
    WriteRegister(kEppAddress, pattern);
    ClearEPPTimeout();
    const uint8_t value = ReadRegister(kEppAddress);
    ClearEPPTimeout();
    if (value != pattern) return false;
  }
  return true;
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
  if (!Reachable() || Current().capability != lpt_ecp || mode == lpt_none || mode > lpt_ecp) return;
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
  const uint8_t value = Current().shadow[info.reg];
  WriteRegister(info.reg, static_cast<uint8_t>(level != info.inverted ? value | info.mask
                                                                       : value & ~info.mask));
}

void TLptAccess::AcquirePort(bool on) {
  if (!Reachable()) return;
  TSlot& slot = Current();
  if (on && !slot.acquired) {
    slot.acquired = backend_->Acquire(current_, true);
  } else if (!on && slot.acquired) {
    backend_->Acquire(current_, false);
    slot.acquired = false;
  }
}

void TLptAccess::Delay(unsigned milliseconds) { backend_->Delay(milliseconds); }

}  // namespace zylisp
