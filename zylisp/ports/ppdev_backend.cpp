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

bool TPpdevBackend::Open() {
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
  for (TDevice& device : devices_) {
    if (device.fd >= 0) {
      Ioctl(device.fd, PPRELEASE, nullptr);
      close(device.fd);
    }
    device = TDevice{};
  }
  open_ = false;
}

void TPpdevBackend::Grant(uint8_t slot, uint16_t base) {
  if (!open_ || slot < 1 || slot > kSlots || devices_[slot].fd >= 0) return;
  const std::string path = prefix_ + std::to_string(slot - 1);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return;
  if (Ioctl(fd, PPCLAIM, nullptr) != 0) {
    close(fd);
    return;
  }
  int forward = 0;
  Ioctl(fd, PPDATADIR, &forward);
  devices_[slot] = TDevice{base, fd, false};
}

TPpdevBackend::TDevice* TPpdevBackend::Locate(uint16_t address, int& reg) {
  for (TDevice& device : devices_) {
    if (device.fd < 0) continue;
    const unsigned offset = static_cast<unsigned>(address - device.base) & 0xFFFFu;
    if (offset < 8 || (offset >= kEcpOffset && offset < kEcpOffset + 3)) {
      reg = static_cast<int>(offset < 8 ? offset : offset - kEcpOffset + 8);
      return &device;
    }
  }
  return nullptr;
}

uint8_t TPpdevBackend::Read(uint16_t address) {
  int reg = 0;
  TDevice* device = Locate(address, reg);
  if (!device) return 0xFF;
  if (reg > 2) return 0;
  static constexpr unsigned long kReadRequests[] = {PPRDATA, PPRSTATUS, PPRCONTROL};
  unsigned char value = 0;
  if (Ioctl(device->fd, kReadRequests[reg], &value) != 0) return 0xFF;
  // The kernel reports only the four control lines; add the direction bit
  // as it was last set.
  if (reg != 2) return value;
  return static_cast<uint8_t>((value & kControlLines) | (device->reverse ? kDirectionBit : 0));
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

}  // namespace zylisp
