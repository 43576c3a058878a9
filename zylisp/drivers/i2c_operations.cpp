// Two-wire 24-series parts.
#include <algorithm>
#include <string>

#include "core/errors.h"
#include "core/hex_text.h"
#include "devices/device.h"
#include "drivers/adapter_link.h"
#include "drivers/memory_operations.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

class TI2COperations : public TBusOperations {
 public:
  using TBusOperations::TBusOperations;

  void Program(THexList& image) override {
    TAdapterLink& link = t_.Link;
    const int32_t size = t_.Device.Size;
    const int32_t page = BeginPageWritePass(MaxTransfer());
    for (int32_t a = 0; a <= size - 1; a += page) {
      StopAtBoundary();
      Address(a);
      if (page > 1) {
        const int32_t count = std::min(page, size - a);
        link.WriteBlock(static_cast<uint8_t>(count), ImageBytes(image, a, count));
      } else {
        Write(image.GetValue(static_cast<uint32_t>(a)), a);
        link.BusStop();
      }
      Progress(a, size);
    }
    link.EndPass();
  }

  void ReadBlock(uint8_t* buffer, int32_t count, int32_t address) override {
    TAdapterLink& link = t_.Link;
    const int32_t page = CheckedPageSize(MaxTransfer());
    count = std::min(count, t_.Device.Size - address);
    Address(address);
    link.BusStart();
    Write(static_cast<uint8_t>(ControlByte(address) | 1), address);
    if (page > 1) {
      link.ReadBlockInto(static_cast<uint8_t>(count), buffer + address);
      link.BusStop();
    } else {
      buffer[address] = link.BusRead();
      link.BusStop();
    }
  }

  // Erasing writes a blank image; the driver does that through Program.
  void EraseAll() override {}
  // These parts have no status register.
  uint8_t ReadStatus() override { throw ENotSupported(); }
  void WriteStatus(uint8_t) override { throw ENotSupported(); }

 private:
  // Control byte: bus address, block bits for parts below 4 KiB, and bit 16
  // of the address for the largest part.
  uint8_t ControlByte(int32_t address) const {
    uint32_t control = t_.BusAddress;
    if (t_.Device.Size < 4096) control |= ((static_cast<uint32_t>(address) >> 8) & 7) << 1;
    control |= ((static_cast<uint32_t>(address) >> 16) & 1) << 1;
    return static_cast<uint8_t>(control);
  }

  // Start, control byte for writing, and the word address.
  void Address(int32_t address) {
    t_.Link.BusStart();
    Write(ControlByte(address), address);
    if (t_.Device.Size >= 4096) Write(static_cast<uint8_t>(address >> 8), address);
    Write(static_cast<uint8_t>(address), address);
  }

  // One byte of a transfer to the chip at address. The adapter reports a
  // byte nothing acknowledged as "?T" (see TAdapterLink::BusWriteAcknowledged):
  // no chip answers this control byte, so the part is another one than
  // selected, its address pins are strapped otherwise, or none is fitted.
  void Write(uint8_t value, int32_t address) {
    const unsigned busAddress = ControlByte(address) & 0xFEu;
    const std::string source = t_.Link.LinkName();
    t_.Link.BusWriteOrElse(value, [busAddress, source] {
      throw EDeviceNotResponding("no acknowledge at bus address " + HexDigits(busAddress, 2) +
                                     ": check the device type and the chip's address pins",
                                 source);
    });
  }
};

}  // namespace

std::unique_ptr<TBusOperations> MakeI2COperations(const TMemoryTarget& target) {
  return std::make_unique<TI2COperations>(target);
}

}  // namespace zylisp
