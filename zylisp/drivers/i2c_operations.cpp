// Two-wire 24-series parts.
#include <algorithm>
#include <string>

#include "core/errors.h"
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
        link.WriteBytes(static_cast<uint8_t>(count), ImageBytes(image, a, count));
      } else {
        link.BusWrite(image.GetValue(static_cast<uint32_t>(a)));
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
    link.BusWrite(static_cast<uint8_t>(ControlByte(address) | 1));
    if (page > 1) {
      std::string data;
      link.ReadBytes(static_cast<uint8_t>(count), data);
      link.BusStop();
      StoreBlock(buffer, address, data, count);
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
    TAdapterLink& link = t_.Link;
    link.BusStart();
    link.BusWrite(ControlByte(address));
    if (t_.Device.Size >= 4096) link.BusWrite(static_cast<uint8_t>(address >> 8));
    link.BusWrite(static_cast<uint8_t>(address));
  }
};

}  // namespace

std::unique_ptr<TBusOperations> MakeI2COperations(const TMemoryTarget& target) {
  return std::make_unique<TI2COperations>(target);
}

}  // namespace zylisp
