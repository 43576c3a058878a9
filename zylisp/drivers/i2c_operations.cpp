// Two-wire 24-series parts.
#include <algorithm>
#include <string>

#include "core/errors.h"
#include "core/hex_text.h"
#include "devices/device.h"
#include "devices/part_table.h"
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
    // A page longer than one 'W' carries is written in equal parts, each
    // inside the page.
    const int32_t page = Chunk(BeginPageWritePass(t_.Device.PageSize));
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
    const int32_t page = ReadBlockSize();
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
  int32_t ReadBlockSize() const override { return Chunk(CheckedPageSize(t_.Device.PageSize)); }

  // Control byte: the bus address with the address bits above the word
  // address where the part takes them.
  uint8_t ControlByte(int32_t address) const {
    const auto a = static_cast<uint32_t>(address);
    uint32_t control = t_.BusAddress;
    switch (t_.Device.Part ? t_.Device.Part->HighAddress : EHighAddress::None) {
      case EHighAddress::I2CBlockBits1To3: control |= ((a >> 8) & 7) << 1; break;
      case EHighAddress::I2CBit1: control |= ((a >> 16) & 1) << 1; break;
      case EHighAddress::I2CBit3: control |= ((a >> 16) & 1) << 3; break;
      case EHighAddress::I2CBits1To2: control |= ((a >> 16) & 3) << 1; break;
      default: break;
    }
    return static_cast<uint8_t>(control);
  }

  // Start, control byte for writing, and the word address.
  void Address(int32_t address) {
    t_.Link.BusStart();
    Write(ControlByte(address), address);
    if (AddressBytes() > 1) Write(static_cast<uint8_t>(address >> 8), address);
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
