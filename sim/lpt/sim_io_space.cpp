#include "zylsim/sim_io_space.h"

namespace zylsim {

namespace {

constexpr unsigned kEcpOffset = 0x400;
constexpr uint8_t kDirectionBit = 0x20;
constexpr uint8_t kEcrReset = 0x15;
constexpr uint8_t kEcrFifoEmpty = 0x01;
constexpr uint8_t kTimeoutBit = 0x01;

// ECR mode field values.
constexpr uint8_t kEcrPs2 = 1;
constexpr uint8_t kEcrEpp = 4;
constexpr uint8_t kEcrConfig = 7;

constexpr uint32_t Bit(int pin) { return 1u << pin; }

}  // namespace

class TSimIoSpace::TPortModel {
 public:
  TPortModel(uint16_t base, TSimPortKind kind, TConnectorDevice* device)
      : base_(base), kind_(kind), device_(device) {}

  // Offset of address in this port's registers; false when outside them.
  bool Decodes(uint16_t address, unsigned& offset) const {
    offset = static_cast<unsigned>(address - base_) & 0xFFFFu;
    return offset < 8 || (kind_ == TSimPortKind::ecp && offset >= kEcpOffset && offset < kEcpOffset + 3);
  }

  void Elapse(unsigned milliseconds) {
    if (device_) device_->Elapse(milliseconds);
  }

  uint8_t Read(unsigned offset) {
    switch (offset) {
      case 0:
        return Reversed() ? 0xFF : data_;
      case 1:
        return Status();
      case 2:
        return static_cast<uint8_t>(control_ | 0xC0);
      case kEcpOffset:
        return EcrMode() == kEcrConfig ? 0x10 : 0xFF;  // cnfgA: 8-bit port
      case kEcpOffset + 1:
        return EcrMode() == kEcrConfig ? 0x00 : 0xFF;  // cnfgB
      case kEcpOffset + 2:
        // The FIFO drains at once: always empty, never full.
        return static_cast<uint8_t>((ecr_ & 0xFC) | kEcrFifoEmpty);
      default:
        if (!EppActive()) return 0xFF;
        return EppCycle(offset == 3 ? eppAddress_ : eppData_, nullptr);
    }
  }

  void Write(unsigned offset, uint8_t value) {
    switch (offset) {
      case 0:
        data_ = value;
        NotifyHostPins();
        break;
      case 1:
        if (HasTimeout() && (value & kTimeoutBit)) timeout_ = false;
        break;
      case 2:
        control_ = static_cast<uint8_t>(value & 0x3F);
        NotifyHostPins();
        break;
      case kEcpOffset:
      case kEcpOffset + 1:
        break;  // FIFO bytes leave at once; configuration is fixed
      case kEcpOffset + 2:
        ecr_ = static_cast<uint8_t>(value & 0xFC);  // FIFO flags are read-only
        break;
      default:
        if (EppActive()) EppCycle(offset == 3 ? eppAddress_ : eppData_, &value);
        break;
    }
  }

 private:
  uint8_t EcrMode() const { return static_cast<uint8_t>(ecr_ >> 5); }

  bool EppActive() const {
    return kind_ == TSimPortKind::epp || (kind_ == TSimPortKind::ecp && EcrMode() == kEcrEpp);
  }

  bool HasTimeout() const { return kind_ == TSimPortKind::epp || kind_ == TSimPortKind::ecp; }

  // Whether the data lines are inputs now: an ECP port in SPP mode keeps
  // driving them whatever the direction bit says.
  bool Reversed() const {
    if ((control_ & kDirectionBit) == 0) return false;
    switch (kind_) {
      case TSimPortKind::spp: return false;
      case TSimPortKind::ps2:
      case TSimPortKind::epp: return true;
      case TSimPortKind::ecp: return EcrMode() == kEcrPs2 || EcrMode() == kEcrEpp;
    }
    return false;
  }

  // One EPP cycle on register latch: nothing answers the handshake, so it
  // times out; while the timeout flag stands, cycles do not start at all.
  uint8_t EppCycle(uint8_t& latch, const uint8_t* written) {
    if (timeout_) return 0xFF;
    timeout_ = true;
    if (written) latch = *written;
    return latch;
  }

  uint8_t Status() {
    const uint32_t pins = device_ ? device_->DevicePins() : ~0u;
    uint8_t status = 0x06;  // reserved bits and nIRQ read high
    if (pins & Bit(10)) status |= 0x40;
    if (!(pins & Bit(11))) status |= 0x80;  // BUSY is inverted
    if (pins & Bit(12)) status |= 0x20;
    if (pins & Bit(13)) status |= 0x10;
    if (pins & Bit(15)) status |= 0x08;
    // Bit 0 is the EPP timeout flag where there is one, else reserved (high).
    if (!HasTimeout() || timeout_) status |= kTimeoutBit;
    return status;
  }

  void NotifyHostPins() {
    if (!device_) return;
    const uint8_t lines = Reversed() ? 0xFF : data_;  // inputs float high
    uint32_t levels = static_cast<uint32_t>(lines) << 2;
    if (!(control_ & 0x01)) levels |= Bit(1);
    if (!(control_ & 0x02)) levels |= Bit(14);
    if (control_ & 0x04) levels |= Bit(16);
    if (!(control_ & 0x08)) levels |= Bit(17);
    device_->HostPins(levels);
  }

  uint16_t base_;
  TSimPortKind kind_;
  TConnectorDevice* device_;
  uint8_t data_ = 0;
  uint8_t control_ = 0x0C;
  uint8_t eppAddress_ = 0;
  uint8_t eppData_ = 0;
  uint8_t ecr_ = kEcrReset & 0xFC;
  bool timeout_ = false;
};

TSimIoSpace::TSimIoSpace() = default;
TSimIoSpace::~TSimIoSpace() = default;

void TSimIoSpace::Delay(unsigned milliseconds) {
  for (const auto& port : ports_) port->Elapse(milliseconds);
}

void TSimIoSpace::AddPort(uint16_t base, TSimPortKind kind, TConnectorDevice* device) {
  ports_.push_back(std::make_unique<TPortModel>(base, kind, device));
}

bool TSimIoSpace::Open(uint8_t /*openValue*/) {
  open_ = true;
  return true;
}

void TSimIoSpace::Close() {
  open_ = false;
  granted_.reset();
}

bool TSimIoSpace::Grant(uint16_t first, uint16_t last) {
  if (!open_ || first > last) return false;
  for (uint32_t a = first; a <= last; ++a) granted_.set(a);
  return true;
}

TSimIoSpace::TPortModel* TSimIoSpace::Locate(uint16_t address, unsigned& offset) {
  if (lastHit_ && lastHit_->Decodes(address, offset)) return lastHit_;
  for (auto& port : ports_) {
    if (port->Decodes(address, offset)) {
      lastHit_ = port.get();
      return lastHit_;
    }
  }
  return nullptr;
}

uint8_t TSimIoSpace::Read(uint16_t address) {
  if (!open_ || !granted_.test(address)) {
    ++ungranted_;
    return 0xFF;
  }
  unsigned offset = 0;
  TPortModel* port = Locate(address, offset);
  return port ? port->Read(offset) : 0xFF;
}

void TSimIoSpace::Write(uint16_t address, uint8_t value) {
  if (!open_ || !granted_.test(address)) {
    ++ungranted_;
    return;
  }
  unsigned offset = 0;
  if (TPortModel* port = Locate(address, offset)) port->Write(offset, value);
}

bool TSimIoSpace::Acquire(uint8_t /*slot*/, bool /*on*/) { return open_; }

}  // namespace zylsim
