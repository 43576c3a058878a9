#include "ports/ppdev_backend.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace zylisp {

namespace {

constexpr uint8_t kSlots = 7;
constexpr uint16_t kEcpOffset = 0x400;
constexpr uint8_t kDirectionBit = 0x20;
// The control lines ppdev lets a client drive.
constexpr uint8_t kControlLines = 0x0F;

int Ioctl(int fd, unsigned long request, void* arg) {
  int result;
  do {
    result = ioctl(fd, request, arg);
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

TPpdevBackend::TPpdevBackend(std::string devicePrefix) : prefix_(std::move(devicePrefix)) {}

TPpdevBackend::~TPpdevBackend() { Close(); }

bool TPpdevBackend::Open(uint8_t /*openValue*/) {
  if (open_) return true;
  // Claiming can block while another program holds the port, so opening the
  // driver only checks that some device opens and answers a ppdev request
  // that needs no claim.
  for (uint8_t n = 0; n < kSlots && !open_; ++n) {
    const std::string path = prefix_ + std::to_string(n);
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) continue;
    int mode = 0;
    open_ = Ioctl(fd, PPGETMODE, &mode) == 0;
    close(fd);
  }
  return open_;
}

void TPpdevBackend::Close() {
  for (uint8_t slot = 1; slot <= kSlots; ++slot) {
    Release(slot);
    devices_[slot] = TDevice{};
  }
  open_ = false;
}

void TPpdevBackend::AssignSlot(uint8_t slot, uint16_t base) {
  if (slot >= 1 && slot <= kSlots && devices_[slot].fd < 0) devices_[slot].base = base;
}

bool TPpdevBackend::Claim(uint8_t slot, bool exclusive) {
  TDevice& device = devices_[slot];
  const std::string path = prefix_ + std::to_string(slot - 1);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  // PPEXCL only counts before the first claim on this descriptor.
  if ((exclusive && Ioctl(fd, PPEXCL, nullptr) != 0) || Ioctl(fd, PPCLAIM, nullptr) != 0) {
    close(fd);
    return false;
  }
  int forward = 0;
  Ioctl(fd, PPDATADIR, &forward);
  device.fd = fd;
  device.reverse = false;
  device.exclusive = exclusive;
  return true;
}

void TPpdevBackend::Release(uint8_t slot) {
  TDevice& device = devices_[slot];
  if (device.fd < 0) return;
  Ioctl(device.fd, PPRELEASE, nullptr);
  close(device.fd);
  device.fd = -1;
  device.reverse = false;
  device.exclusive = false;
}

bool TPpdevBackend::Grant(uint16_t first, uint16_t /*last*/) {
  if (!open_) return false;
  for (uint8_t slot = 1; slot <= kSlots; ++slot) {
    TDevice& device = devices_[slot];
    if (device.base == 0) continue;
    if (first == device.base) return device.fd >= 0 || Claim(slot, false);
    if (first == device.base + kEcpOffset) return device.fd >= 0;
  }
  return false;
}

TPpdevBackend::TDevice* TPpdevBackend::Locate(uint16_t address, int& reg) {
  // The driver keeps to one port, so the last hit nearly always matches.
  auto match = [&](TDevice& device) {
    if (device.fd < 0) return false;
    const unsigned offset = static_cast<unsigned>(address - device.base) & 0xFFFFu;
    if (offset < 8) {
      reg = static_cast<int>(offset);
      return true;
    }
    if (offset >= kEcpOffset && offset < kEcpOffset + 3) {
      reg = static_cast<int>(offset - kEcpOffset + 8);
      return true;
    }
    return false;
  };
  if (match(devices_[lastHit_])) return &devices_[lastHit_];
  for (uint8_t slot = 1; slot <= kSlots; ++slot) {
    if (match(devices_[slot])) {
      lastHit_ = slot;
      return &devices_[slot];
    }
  }
  return nullptr;
}

uint8_t TPpdevBackend::Read(uint16_t address) {
  int reg = 0;
  TDevice* device = Locate(address, reg);
  if (!device) return 0xFF;
  unsigned char value = 0;
  switch (reg) {
    case 0:
      if (Ioctl(device->fd, PPRDATA, &value) != 0) return 0xFF;
      return value;
    case 1:
      if (Ioctl(device->fd, PPRSTATUS, &value) != 0) return 0xFF;
      return value;
    case 2:
      // The kernel reports only the four control lines; add the direction
      // bit as it was last set.
      if (Ioctl(device->fd, PPRCONTROL, &value) != 0) return 0xFF;
      return static_cast<uint8_t>((value & kControlLines) | (device->reverse ? kDirectionBit : 0));
    default:
      return 0;
  }
}

void TPpdevBackend::Write(uint16_t address, uint8_t value) {
  int reg = 0;
  TDevice* device = Locate(address, reg);
  if (!device) return;
  if (reg == 0) {
    unsigned char data = value;
    Ioctl(device->fd, PPWDATA, &data);
  } else if (reg == 2) {
    const bool reverse = (value & kDirectionBit) != 0;
    if (reverse != device->reverse) {
      int direction = reverse ? 1 : 0;
      if (Ioctl(device->fd, PPDATADIR, &direction) == 0) device->reverse = reverse;
    }
    unsigned char control = static_cast<unsigned char>(value & kControlLines);
    Ioctl(device->fd, PPWCONTROL, &control);
  }
}

bool TPpdevBackend::Acquire(uint8_t slot, bool on) {
  if (!open_ || slot < 1 || slot > kSlots || devices_[slot].base == 0) return false;
  TDevice& device = devices_[slot];
  if (on ? device.exclusive : !device.exclusive) return true;
  // Exclusivity is fixed when a descriptor first claims, so reopen.
  const bool wasClaimed = device.fd >= 0;
  Release(slot);
  if (Claim(slot, on)) return true;
  if (wasClaimed) Claim(slot, !on);
  return false;
}

}  // namespace zylisp
