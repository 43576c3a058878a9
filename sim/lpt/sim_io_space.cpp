#include "zylsim/sim_io_space.h"

namespace zylsim {

namespace {

constexpr unsigned kEcr = 0x402;
constexpr uint8_t kDirectionBit = 0x20;
constexpr uint8_t kEcrReset = 0x15;
constexpr uint8_t kEcrFifoEmpty = 0x01;

// ECR mode field values in which the data lines can turn around.
constexpr uint8_t kEcrPs2 = 1;
constexpr uint8_t kEcrEpp = 4;

constexpr uint32_t Bit(int pin) { return 1u << pin; }

}  // namespace

class TSimIoSpace::TPortModel {
 public:
  TPortModel(uint16_t base, TSimPortKind kind, TConnectorDevice* device)
      : base_(base), kind_(kind), device_(device) {}

  // Offset of address in this port's registers; false when outside them.
  bool Decodes(uint16_t address, unsigned& offset) const {
    offset = static_cast<unsigned>(address - base_) & 0xFFFFu;
    return offset < 3 || (kind_ == TSimPortKind::ecp && offset == kEcr);
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
      default:
        return static_cast<uint8_t>(ecr_ | kEcrFifoEmpty);  // never full
    }
  }

  void Write(unsigned offset, uint8_t value) {
    if (offset == 0) data_ = value;
    if (offset == 2) control_ = static_cast<uint8_t>(value & 0x3F);
    if (offset == kEcr) ecr_ = static_cast<uint8_t>(value & 0xFC);  // FIFO flags are read-only
    if (offset != 1 && offset != kEcr) NotifyHostPins();
  }

 private:
  // Whether the data lines are inputs now: an ECP port in SPP mode keeps
  // driving them whatever the direction bit says.
  bool Reversed() const {
    const uint8_t mode = static_cast<uint8_t>(ecr_ >> 5);
    return kind_ == TSimPortKind::ecp && (control_ & kDirectionBit) != 0 &&
           (mode == kEcrPs2 || mode == kEcrEpp);
  }

  uint8_t Status() {
    const uint32_t pins = device_ ? device_->DevicePins() : ~0u;
    uint8_t status = 0x06;  // reserved bits and nIRQ read high
    if (pins & Bit(10)) status |= 0x40;
    if (!(pins & Bit(11))) status |= 0x80;  // BUSY is inverted
    if (pins & Bit(12)) status |= 0x20;
    if (pins & Bit(13)) status |= 0x10;
    if (pins & Bit(15)) status |= 0x08;
    // Bit 0 is the ECP port's EPP timeout flag (clear), else reserved (high).
    if (kind_ == TSimPortKind::spp) status |= 0x01;
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
  uint8_t ecr_ = kEcrReset & 0xFC;
};

TSimIoSpace::TSimIoSpace() = default;
TSimIoSpace::~TSimIoSpace() = default;

void TSimIoSpace::Delay(unsigned milliseconds) {
  for (const auto& port : ports_) port->Elapse(milliseconds);
}

void TSimIoSpace::AddPort(uint16_t base, TSimPortKind kind, TConnectorDevice* device) {
  ports_.push_back(std::make_unique<TPortModel>(base, kind, device));
}

bool TSimIoSpace::Open() {
  open_ = true;
  return true;
}

void TSimIoSpace::Close() {
  open_ = false;
  granted_.reset();
}

void TSimIoSpace::Grant(uint8_t /*slot*/, uint16_t base) {
  if (!open_) return;
  for (unsigned offset : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 0x400u, 0x401u, 0x402u})
    granted_.set(static_cast<uint16_t>(base + offset));
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

}  // namespace zylsim
