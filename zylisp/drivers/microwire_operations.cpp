// Microwire 93-series parts, byte-wide (organisation 8) or word-wide (16).
#include <string>

#include "core/errors.h"
#include "devices/device.h"
#include "drivers/adapter_link.h"
#include "drivers/memory_operations.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

constexpr uint16_t kWriteEnable = 0x9800;
constexpr uint16_t kEraseAll = 0x9000;
constexpr uint16_t kWriteAll = 0x8800;
constexpr uint16_t kWriteDisable = 0x8000;
constexpr uint16_t kWrite = 0xA000;
constexpr uint16_t kRead = 0xC000;

// The chip's self-timed write cycle, waited before asking it for ready.
constexpr unsigned kWriteSettleMs = 10;

class TMicrowireOperations : public TBusOperations {
 public:
  using TBusOperations::TBusOperations;

  void Program(THexList& image) override {
    TAdapterLink& link = t_.Link;
    const int32_t size = t_.Device.Size;
    const int32_t page = DevicePage();
    const int32_t items = ItemsPerPage();
    Progress(0, size);
    link.BeginPass();
    Command(kWriteEnable);
    for (int32_t a = 0; a <= size - 1; a += page) {
      StopAtBoundary();
      for (int32_t k = 0; k < items; ++k) {
        link.BusStart();
        SendWord(static_cast<uint16_t>(kWrite | ItemWord(FirstItem(a) + k)));
        if (WordWide()) {
          link.BusWrite(image.GetValue(static_cast<uint32_t>(a + 2 * k + 1)));
          link.BusWrite(image.GetValue(static_cast<uint32_t>(a + 2 * k)));
        } else if (t_.ProgMode == 8) {
          link.BusWrite(image.GetValue(static_cast<uint32_t>(a + k)));
        }
        link.BusStop();
        link.Delay(kWriteSettleMs);
        link.DeviceWait();
      }
      Progress(a, size);
    }
    link.EndPass();
  }

  void ReadBlock(uint8_t* buffer, int32_t, int32_t address) override {
    TAdapterLink& link = t_.Link;
    const int32_t size = t_.Device.Size;
    const int32_t items = ItemsPerPage();
    for (int32_t k = 0; k < items; ++k) {
      link.BusStart();
      SendRead(static_cast<uint16_t>(kRead | ItemWord(FirstItem(address) + k)));
      if (WordWide()) {
        Store(buffer, address + 2 * k + 1, link.BusRead(), size);
        Store(buffer, address + 2 * k, link.BusRead(), size);
      } else {
        Store(buffer, address + k, link.BusRead(), size);
      }
      link.BusStop();
    }
  }

  void EraseAll() override {
    TAdapterLink& link = t_.Link;
    link.BeginPass();
    Command(kWriteEnable);
    Command(kEraseAll);
    // The erase runs as a self-timed cycle; the chip takes nothing else
    // until it is over.
    link.DeviceWait();
    Command(kWriteDisable);
    link.EndPass();
  }

  // These parts have no status register; writing "status" writes every
  // location instead.
  uint8_t ReadStatus() override { throw ENotSupported(); }

  // Writes value into every location.
  void WriteStatus(uint8_t value) override {
    TAdapterLink& link = t_.Link;
    link.BeginPass();
    Command(kWriteEnable);
    link.BusStart();
    SendWord(kWriteAll);
    if (t_.ProgMode != 8) link.BusWrite(value);
    link.BusWrite(value);
    link.BusStop();
    link.DeviceWait();
    Command(kWriteDisable);
    link.EndPass();
  }

 protected:
  int32_t ReadBlockSize() const override { return CheckedSize(DevicePage(), MaxTransfer()); }

 private:
  bool WordWide() const { return t_.ProgMode == 16; }
  int32_t DevicePage() const {
    const int32_t page = t_.Device.PageSize;
    if (page < 1) t_.Link.Fail("Page size " + std::to_string(page) + " cannot be used with this device");
    return page;
  }
  int32_t ItemsPerPage() const { return t_.ProgMode == 8 ? DevicePage() : (DevicePage() - 1) / 2 + 1; }
  int32_t FirstItem(int32_t byteAddress) const {
    return t_.ProgMode == 8 ? byteAddress : byteAddress / 2;
  }
  // Command length: the row's for 8-bit organisation, one bit less for
  // 16-bit; the address sits right below the opcode at the top of 16 bits.
  uint8_t CommandBits() const {
    return static_cast<uint8_t>(t_.ProgMode == 8 ? t_.Device.MicrowireBits
                                                 : t_.Device.MicrowireBits - 1);
  }
  uint16_t ItemWord(int32_t item) const {
    return static_cast<uint16_t>(static_cast<uint16_t>(item) << (16 - CommandBits()));
  }
  void SendWord(uint16_t word) {
    std::string data;
    data.push_back(static_cast<char>(word >> 8));
    data.push_back(static_cast<char>(word & 0xFF));
    t_.Link.WriteBlock(CommandBits(), data);
  }
  // The adapter checks the chip's 0 bit after a read command's address
  // ("?m" when it is missing). A chip wired for the other organisation
  // takes one address bit more or fewer, so it answers out of step.
  void SendRead(uint16_t word) {
    try {
      SendWord(word);
    } catch (const EDeviceNotResponding& e) {
      throw EDeviceNotResponding(e.Message() + ": check the Microwire organisation (--programmode=" +
                                     (WordWide() ? "8" : "16") + ")",
                                 e.Source());
    }
  }
  void Command(uint16_t word) {
    t_.Link.BusStart();
    SendWord(word);
    t_.Link.BusStop();
  }
  static void Store(uint8_t* buffer, int32_t address, uint8_t value, int32_t size) {
    if (address >= 0 && address < size) buffer[address] = value;
  }
};

}  // namespace

std::unique_ptr<TBusOperations> MakeMicrowireOperations(const TMemoryTarget& target) {
  return std::make_unique<TMicrowireOperations>(target);
}

}  // namespace zylisp
