#include "ports/lpt_access.h"

#include <cstdlib>

#include "ports/connector_device.h"
#include "ports/ppdev_backend.h"
#include "ports/sim_io_space.h"

namespace zylisp {

namespace {

constexpr int kRegisters = 11;
constexpr int kData = 0;
constexpr int kStatus = 1;
constexpr int kControl = 2;
constexpr int kEppAddress = 3;
constexpr int kEcr = 10;
constexpr uint8_t kSlots = 7;
constexpr uint16_t kMonoBase = 0x3BC;  // the old adapter port: registers 0..2 only
constexpr uint16_t kFallbackBase = 0x378;
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

using TRegisterBytes = std::array<uint8_t, kRegisters>;

struct TSlotState {
  bool valid = false;
  uint8_t capability = lpt_none;
  uint8_t mode = lpt_none;
  bool eppInEcp = false;
  bool acquired = false;
  TRegisterBytes lastRead{};
  TRegisterBytes shadow{};
};

// Registers 3..10 exist unless the port is the old three-register one (or
// the ECP block would lie beyond the 16-bit I/O space).
bool HasExtendedRegisters(uint16_t base) {
  return base != kMonoBase && base <= 0xFFFF - kEcpOffset - 2;
}

}  // namespace

struct TLptAccess::Impl {
  Impl(std::unique_ptr<TIoBackend> io, std::string parportDir)
      : backend(std::move(io)), find(std::move(parportDir)) {}

  std::unique_ptr<TIoBackend> backend;
  TFindLpt find;

  bool active = false;
  uint8_t openValue = 0;
  uint8_t portCount = 1;
  // Indexed by slot 1..7.
  std::array<uint16_t, kSlots + 1> base{};
  std::array<uint8_t, kSlots + 1> irq{};
  std::array<uint8_t, kSlots + 1> dma{};
  std::array<bool, kSlots + 1> found{};
  std::array<TSlotState, kSlots + 1> cache{};
  // The firmware's table of port addresses: Linux offers none, so it reads
  // as three zero words.
  std::array<uint16_t, 3> biosList{};

  uint8_t currentPort = 1;
  uint16_t currentBase = 0;
  uint8_t currentIrq = 0;
  uint8_t currentDma = 0;
  bool currentFound = false;
  uint8_t capability = lpt_none;
  uint8_t mode = lpt_none;
  bool eppInEcp = false;
  bool acquired = false;
  TRegisterBytes lastRead{};
  TRegisterBytes shadow{};

  // A slot without a base was not found: it never reaches the hardware.
  bool Reachable() const { return active && currentBase != 0; }

  bool RegisterPresent(int reg) const {
    return reg <= kControl || HasExtendedRegisters(currentBase);
  }

  uint16_t Address(int reg) const {
    const int offset = reg < 8 ? reg : kEcpOffset + (reg - 8);
    return static_cast<uint16_t>(currentBase + offset);
  }

  uint8_t ReadRegister(int reg) {
    if (!Reachable()) return 0xFF;
    if (!RegisterPresent(reg)) return 0;
    const uint8_t value = backend->Read(Address(reg));
    lastRead[reg] = value;
    return value;
  }

  void WriteRegister(int reg, uint8_t value) {
    if (!Reachable() || !RegisterPresent(reg)) return;
    shadow[reg] = value;
    backend->Write(Address(reg), value);
  }

  bool OpenDriver(uint8_t value);
  void CloseDriver();
  void SelectPort(uint8_t slot);
  void GrantAccess();
  void Examine();
  void SaveSlot(uint8_t slot);
  void RestoreSlot(uint8_t slot);

  bool DetectSPP();
  bool DetectPS2();
  bool ClearEPPTimeout();
  bool DetectEPP();
  bool DetectECP();
};

bool TLptAccess::Impl::OpenDriver(uint8_t value) {
  if (active) return true;
  cache = {};
  acquired = false;
  portCount = 0;
  if (!backend->Open(value)) return false;
  active = true;
  openValue = value;
  biosList = {0, 0, 0};

  int counted = 0;
  for (uint8_t i = 1; i <= kSlots; ++i) {
    found[i] = false;
    base[i] = 0;
    irq[i] = 0;
    dma[i] = 0;
    if (!find.FindPort(i)) continue;
    // A port without an I/O range cannot be driven: it counts as not found.
    const uint16_t start = find.PortBase(1);
    if (start == 0xFFFF || start == 0) continue;
    found[i] = true;
    base[i] = start;
    if (find.IrqCount > 0) irq[i] = find.Irq;
    if (find.DmaCount > 0) dma[i] = find.Dma;
    ++counted;
  }
  if (counted == 0) {
    for (uint8_t i = 1; i <= 3; ++i) {
      base[i] = biosList[i - 1];
      found[i] = base[i] != 0;
    }
  }
  portCount = 0;
  for (uint8_t i = 1; i <= kSlots; ++i) {
    if (base[i] != 0) portCount = i;
  }
  if (portCount == 0) {
    // Nothing known anywhere: assume the usual first port.
    portCount = 1;
    base[1] = kFallbackBase;
    found[1] = true;
  }
  // A gap takes the base of the slot before it but stays not found. Slot 1
  // has no slot before it: when only higher slots were found it keeps base 0
  // and so never reaches the hardware.
  for (uint8_t i = 2; i <= portCount; ++i) {
    if (base[i] == 0) base[i] = base[i - 1];
  }
  for (uint8_t i = 1; i <= portCount; ++i) {
    if (found[i] && base[i] != 0) backend->AssignSlot(i, base[i]);
  }

  currentPort = 1;
  currentBase = base[1];
  SelectPort(1);
  return active;
}

void TLptAccess::Impl::CloseDriver() {
  if (!active) return;
  // Let go of every system device still held, the current slot's and those
  // of slots selected earlier in this session.
  for (uint8_t i = 1; i <= kSlots; ++i) {
    const bool held = i == currentPort ? acquired : cache[i].valid && cache[i].acquired;
    if (held) backend->Acquire(i, false);
  }
  cache = {};
  acquired = false;
  active = false;
  openValue = 0;
  backend->Close();
  currentFound = false;
  currentIrq = 0;
  currentDma = 0;
}

void TLptAccess::Impl::GrantAccess() {
  if (!active) return;
  for (uint8_t i = 1; i <= portCount; ++i) {
    const uint16_t b = base[i];
    if (b == 0) continue;
    const uint32_t last = static_cast<uint32_t>(b) + (b == kMonoBase ? 2u : 7u);
    backend->Grant(b, static_cast<uint16_t>(last > 0xFFFF ? 0xFFFF : last));
    if (HasExtendedRegisters(b)) {
      backend->Grant(static_cast<uint16_t>(b + kEcpOffset), static_cast<uint16_t>(b + kEcpOffset + 2));
    }
  }
}

void TLptAccess::Impl::SaveSlot(uint8_t slot) {
  TSlotState& s = cache[slot];
  s.valid = true;
  s.capability = capability;
  s.mode = mode;
  s.eppInEcp = eppInEcp;
  s.acquired = acquired;
  s.lastRead = lastRead;
  s.shadow = shadow;
}

void TLptAccess::Impl::RestoreSlot(uint8_t slot) {
  const TSlotState& s = cache[slot];
  capability = s.capability;
  mode = s.mode;
  eppInEcp = s.eppInEcp;
  acquired = s.acquired;
  lastRead = s.lastRead;
  shadow = s.shadow;
}

void TLptAccess::Impl::SelectPort(uint8_t slot) {
  if (slot < 1 || slot > kSlots) return;
  currentIrq = irq[slot];
  currentDma = dma[slot];
  currentFound = found[slot];
  GrantAccess();
  if (slot != currentPort) {
    SaveSlot(currentPort);
    currentPort = slot;
    currentBase = base[slot];
    if (cache[slot].valid) {
      RestoreSlot(slot);
      return;
    }
    // The previous slot keeps its device (its cache entry says so); a slot
    // seen for the first time holds none yet.
    acquired = false;
  }
  Examine();
  SaveSlot(currentPort);
}

// Finds out what kind of port sits at the current base and reads its
// registers into LastRead and Shadow.
void TLptAccess::Impl::Examine() {
  capability = lpt_none;
  mode = lpt_none;
  eppInEcp = false;
  if (!Reachable()) {
    lastRead.fill(0xFF);
    shadow.fill(0xFF);
    return;
  }
  const bool extended = HasExtendedRegisters(currentBase);
  if (extended && DetectECP()) {
    capability = lpt_ecp;
    const uint8_t ecr = ReadRegister(kEcr);
    if (ecr >= 0xA0) {
      mode = lpt_ecp;
    } else {
      static constexpr uint8_t kModeOfEcr[5] = {lpt_spp, lpt_ps2, lpt_fifo, lpt_ecp, lpt_epp};
      mode = kModeOfEcr[ecr >> 5];
    }
  } else if (extended && DetectEPP()) {
    capability = mode = lpt_epp;
    eppInEcp = true;
  } else if (DetectSPP()) {
    capability = mode = DetectPS2() ? lpt_ps2 : lpt_spp;
  }
  lastRead.fill(0);
  shadow.fill(0);
  const int last = extended ? kEcr : kControl;
  for (int reg = 0; reg <= last; ++reg) {
    shadow[reg] = ReadRegister(reg);
  }
}

bool TLptAccess::Impl::DetectSPP() {
  WriteRegister(kControl, 0x0F);
  WriteRegister(kData, 0x55);
  if (ReadRegister(kData) != 0x55) return false;
  WriteRegister(kData, 0xAA);
  return ReadRegister(kData) == 0xAA;
}

// With the data lines switched to input, a latch that still reads back what
// was written means the port cannot turn its data lines around.
bool TLptAccess::Impl::DetectPS2() {
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
bool TLptAccess::Impl::ClearEPPTimeout() {
  ReadRegister(kStatus);
  WriteRegister(kStatus, 1);
  WriteRegister(kStatus, 0);
  return (ReadRegister(kStatus) & 0x01) != 0;
}

bool TLptAccess::Impl::DetectEPP() {
  WriteRegister(kEppAddress, 0x55);
  ClearEPPTimeout();
  uint8_t value = ReadRegister(kEppAddress);
  ClearEPPTimeout();
  if (value != 0x55) return false;
  WriteRegister(kEppAddress, 0xAA);
  ClearEPPTimeout();
  value = ReadRegister(kEppAddress);
  ClearEPPTimeout();
  return value == 0xAA;
}

bool TLptAccess::Impl::DetectECP() {
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
    if (ReadRegister(kEcr) == 0x35) {
      result = true;
      eppInEcp = true;
    }
  }
  WriteRegister(kEcr, ecr);
  return result;
}

TLptAccess::TLptAccess(std::unique_ptr<TIoBackend> backend)
    : TLptAccess(std::move(backend), ParportDirFromEnvironment(kDefaultParportDir)) {}

TLptAccess::TLptAccess(std::unique_ptr<TIoBackend> backend, std::string parportDir)
    : impl_(std::make_unique<Impl>(std::move(backend), std::move(parportDir))) {}

TLptAccess::~TLptAccess() { impl_->CloseDriver(); }

void TLptAccess::SetActive(uint8_t value) {
  if (value != 0) {
    impl_->OpenDriver(value);
  } else {
    impl_->CloseDriver();
  }
}

uint8_t TLptAccess::Active() const { return impl_->active ? impl_->openValue : 0; }
uint8_t TLptAccess::PortCount() const { return impl_->portCount; }
void TLptAccess::SelectPort(uint8_t slot) { impl_->SelectPort(slot); }

bool TLptAccess::PortAvailable() const {
  return impl_->active && impl_->currentFound && impl_->mode != lpt_none;
}

uint8_t TLptAccess::ReadPort(uint16_t address) {
  return impl_->active ? impl_->backend->Read(address) : 0xFF;
}

void TLptAccess::WritePort(uint16_t address, uint8_t value) {
  if (impl_->active) impl_->backend->Write(address, value);
}

uint8_t TLptAccess::ReadDataPort() { return impl_->ReadRegister(kData); }
uint8_t TLptAccess::ReadStatusPort() { return impl_->ReadRegister(kStatus); }
uint8_t TLptAccess::ReadControlPort() { return impl_->ReadRegister(kControl); }
uint8_t TLptAccess::ReadEPPAddressPort() { return impl_->ReadRegister(kEppAddress); }
uint8_t TLptAccess::ReadECR() { return impl_->ReadRegister(kEcr); }
void TLptAccess::WriteDataPort(uint8_t value) { impl_->WriteRegister(kData, value); }
void TLptAccess::WriteStatusPort(uint8_t value) { impl_->WriteRegister(kStatus, value); }
void TLptAccess::WriteControlPort(uint8_t value) { impl_->WriteRegister(kControl, value); }
void TLptAccess::WriteEPPAddressPort(uint8_t value) { impl_->WriteRegister(kEppAddress, value); }
void TLptAccess::WriteECR(uint8_t value) { impl_->WriteRegister(kEcr, value); }

bool TLptAccess::GetPin(int pin) {
  Impl& d = *impl_;
  if (pin < 1 || pin > 17 || !d.Reachable()) return false;
  const TPinInfo& info = kPins[pin];
  const uint8_t value = d.backend->Read(static_cast<uint16_t>(d.currentBase + info.reg));
  d.lastRead[info.reg] = value;
  return ((value & info.mask) != 0) != info.inverted;
}

// Builds the register value from Shadow, not from a read: one write per pin.
void TLptAccess::SetPin(int pin, bool level) {
  Impl& d = *impl_;
  if (pin < 1 || pin > 17 || !d.Reachable()) return;
  const TPinInfo& info = kPins[pin];
  uint8_t value = d.shadow[info.reg];
  if (level == info.inverted) {
    value = static_cast<uint8_t>(value & ~info.mask);
  } else {
    value = static_cast<uint8_t>(value | info.mask);
  }
  d.shadow[info.reg] = value;
  d.backend->Write(static_cast<uint16_t>(d.currentBase + info.reg), value);
}

void TLptAccess::SetECPMode(uint8_t mode) {
  Impl& d = *impl_;
  if (!d.Reachable() || mode == lpt_none || d.capability != lpt_ecp || mode > d.capability) return;
  d.mode = mode;
  uint8_t code = 0;
  switch (mode) {
    case lpt_ps2: code = 1; break;
    case lpt_epp: code = 4; break;
    case lpt_fifo: code = 2; break;
    case lpt_ecp: code = 3; break;
    default: break;
  }
  d.WriteRegister(kEcr, static_cast<uint8_t>((d.ReadRegister(kEcr) & 0x1F) | (code << 5)));
}

void TLptAccess::Delay(unsigned milliseconds) { impl_->backend->Delay(milliseconds); }

void TLptAccess::AcquirePort(bool on) {
  Impl& d = *impl_;
  if (!d.Reachable()) return;
  if (on) {
    if (!d.acquired) d.acquired = d.backend->Acquire(d.currentPort, true);
  } else if (d.acquired) {
    d.backend->Acquire(d.currentPort, false);
    d.acquired = false;
  }
}

uint8_t TLptAccess::CurrentPort() const { return impl_->currentPort; }
uint16_t TLptAccess::CurrentBase() const { return impl_->currentBase; }
uint8_t TLptAccess::Capability() const { return impl_->capability; }
uint8_t TLptAccess::Mode() const { return impl_->mode; }

std::unique_ptr<TLptAccess> CreateLptAccess() {
  if (std::getenv("ZYLISP_LPT_SIM") != nullptr) {
    auto space = std::make_unique<TSimIoSpace>();
    space->AddPort(kFallbackBase, TSimPortKind::ecp, SimulatedAdapter());
    // The simulated machine knows no ports unless a parport folder is named
    // explicitly, so the fallback slot 1 at 0x378 lands on the model.
    return std::make_unique<TLptAccess>(std::move(space), ParportDirFromEnvironment(""));
  }
  return std::make_unique<TLptAccess>(std::make_unique<TPpdevBackend>());
}

}  // namespace zylisp
