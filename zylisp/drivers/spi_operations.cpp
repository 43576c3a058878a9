// SPI 25-series parts.
#include <algorithm>
#include <string>

#include "core/errors.h"
#include "devices/device.h"
#include "devices/part_table.h"
#include "drivers/adapter_link.h"
#include "drivers/memory_operations.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kWrite = 0x02;
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kBlockProtectBits = 0x0C;  // BP1, BP0

// First address that the block-protect bits of a status value guard: from
// there to the end of the part, writes are dropped without a word.
int32_t ProtectedFrom(uint8_t status, int32_t size) {
  switch ((status & kBlockProtectBits) >> 2) {
    case 1: return size - size / 4;
    case 2: return size / 2;
    case 3: return 0;
    default: return size;
  }
}

class TSpiOperations : public TBusOperations {
 public:
  using TBusOperations::TBusOperations;

  void Program(THexList& image) override {
    TAdapterLink& link = t_.Link;
    const int32_t size = t_.Device.Size;
    RefuseProtectedWrites(0, size - 1);
    const int32_t page = BeginPageWritePass(t_.Device.PageSize);
    // A page longer than one 'W' carries goes in equal parts inside one
    // selection of the chip.
    const int32_t chunk = Chunk(page);
    for (int32_t a = 0; a <= size - 1; a += page) {
      StopAtBoundary();
      const int32_t count = std::min(page, size - a);
      link.BusStart();
      link.BusWrite(kWriteEnable);
      link.BusStop();
      link.BusStart();
      Address(kWrite, a);
      for (int32_t at = a; at < a + count; at += chunk) {
        const int32_t n = std::min(chunk, a + count - at);
        link.WriteBlock(static_cast<uint8_t>(n), ImageBytes(image, at, n));
      }
      link.BusStop();
      Progress(a, size);
    }
    link.EndPass();
  }

  void ReadBlock(uint8_t* buffer, int32_t count, int32_t address) override {
    TAdapterLink& link = t_.Link;
    count = std::min(count, t_.Device.Size - address);
    link.BusStart();
    Address(kRead, address);
    link.ReadBlockInto(static_cast<uint8_t>(count), buffer + address);
    link.BusStop();
  }

  // Erasing writes a blank image; the driver does that through Program.
  void EraseAll() override {}

  uint8_t ReadStatus() override {
    TAdapterLink& link = t_.Link;
    link.BeginPass();
    link.BusStart();
    link.BusWrite(kReadStatus);
    const uint8_t value = link.BusRead();
    link.EndPass();
    link.BusStop();
    return value;
  }

  void WriteStatus(uint8_t value) override {
    TAdapterLink& link = t_.Link;
    link.BeginPass();
    link.BusStart();
    link.BusWrite(kWriteEnable);
    link.BusStop();
    link.BusStart();
    link.BusWrite(kWriteStatus);
    link.BusWrite(value);
    link.BusStop();
    link.EndPass();
  }

 protected:
  bool HintsBlockProtection() const override { return true; }

 private:
  // The part would take the page writes without a word and keep its old
  // contents: refuse before anything is written.
  void RefuseProtectedWrites(int32_t first, int32_t last) {
    const uint8_t status = ReadStatus();
    const int32_t from = ProtectedFrom(status, t_.Device.Size);
    if (last < from) return;
    throw EWriteProtected("device write-protected by its status register: addresses " +
                          std::to_string(std::max(first, from)) + " to " +
                          std::to_string(last) + " are protected (status " +
                          HexArg(status) + "); write the status register 00 to clear it");
  }

  int32_t ReadBlockSize() const override { return Chunk(CheckedPageSize(t_.Device.PageSize)); }

  // Opcode and address: 4-Kbit parts carry address bit 8 in bit 3 of the
  // opcode, the others take the address bytes of their row.
  void Address(uint8_t opcode, int32_t address) {
    TAdapterLink& link = t_.Link;
    if (t_.Device.Part && t_.Device.Part->HighAddress == EHighAddress::SpiOpcodeBit3)
      opcode = static_cast<uint8_t>(opcode | (((address >> 8) & 1) << 3));
    link.BusWrite(opcode);
    for (int shift = 8 * (AddressBytes() - 1); shift >= 0; shift -= 8)
      link.BusWrite(static_cast<uint8_t>(address >> shift));
  }
};

}  // namespace

std::unique_ptr<TBusOperations> MakeSpiOperations(const TMemoryTarget& target) {
  return std::make_unique<TSpiOperations>(target);
}

}  // namespace zylisp
