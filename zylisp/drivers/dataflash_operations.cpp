// AT45DB DataFlash parts, through the adapter's page commands.
#include <string>

#include "adapter_commands.h"
#include "core/errors.h"
#include "core/hex_text.h"
#include "devices/device.h"
#include "drivers/adapter_link.h"
#include "drivers/memory_operations.h"
#include "drivers/thread_priority.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

constexpr uint8_t kBusyBit = 0x40;
// A page the adapter keeps reporting busy is given up after this many tries.
constexpr int kMaxPageAttempts = 1000;

std::string Bytes5(int32_t address, int32_t length) {
  std::string s;
  s.push_back(static_cast<char>((address >> 16) & 0xFF));
  s.push_back(static_cast<char>((address >> 8) & 0xFF));
  s.push_back(static_cast<char>(address & 0xFF));
  s.push_back(static_cast<char>((length >> 8) & 0xFF));
  s.push_back(static_cast<char>(length & 0xFF));
  return s;
}

class TDataFlashOperations : public TBusOperations {
 public:
  using TBusOperations::TBusOperations;

  void Program(THexList& image) override {
    TAdapterLink& link = t_.Link;
    TLowPriorityScope lowPriority;
    const int32_t size = t_.Device.Size;
    link.BeginPass();
    Progress(0, size);
    const int32_t page = CheckedSize(t_.Device.PageSize, MaxTransfer());
    for (int32_t a = 0; a <= size - 1; a += page) {
      StopAtBoundary();
      uint8_t status = 0;
      int attempts = 0;
      do {
        if (++attempts > kMaxPageAttempts) link.Fail("Program/erase BUSY timed out");
        link.BeginCommand(adapter::kCmdFlashWrite, Bytes5(a, page));
        for (int32_t i = 0; i < page; ++i) {
          const int32_t address = a + i;
          link.SendByte(address < size ? image.GetValue(static_cast<uint32_t>(address)) : 0xFF);
        }
        link.CheckAcknowledge();
        link.SendCommandByte(adapter::kCmdFlashStatus);
        status = link.ReceiveByte(false);
        link.CheckAcknowledge();
      } while (status & kBusyBit);
      Progress(a, size);
    }
    link.EndPass();
  }

  void ReadBlock(uint8_t* buffer, int32_t count, int32_t address) override {
    TAdapterLink& link = t_.Link;
    link.BeginCommand(adapter::kCmdFlashRead, Bytes5(address, count));
    const int32_t size = t_.Device.Size;
    for (int32_t j = 0; j < count; ++j) {
      const uint8_t value = link.ReceiveByte(false);
      if (address + j < size) buffer[address + j] = value;
    }
    link.CheckAcknowledge();
  }

  void EraseAll() override {
    TAdapterLink& link = t_.Link;
    link.BeginPass();
    const int32_t blocks = t_.Device.EraseBlocks;
    if (blocks < 1) t_.Link.Fail("DataFlash device " + t_.Device.Name + " is not known");
    Progress(0, blocks);
    for (int32_t i = 0; i < blocks; ++i) {
      StopAtBoundary();
      const int32_t v = i * t_.Device.BlockStep;
      std::string args;
      args.push_back(static_cast<char>((v >> 8) & 0xFF));
      args.push_back(static_cast<char>(v & 0xFF));
      link.SendCommand(adapter::kCmdFlashErase, args);
      Progress(i + 1, blocks);
    }
    link.EndPass();
  }

  uint8_t ReadStatus() override {
    std::string reply;
    t_.Link.Query(adapter::kCmdFlashStatus, 2, reply);
    return HexByte(reply);
  }

  // The status register of these parts is read-only.
  void WriteStatus(uint8_t) override { throw ENotSupported(); }

 protected:
  int32_t MaxTransfer() const override { return 0xFFFF; }
  // Reads go in blocks of as many bytes as the part has pages.
  int32_t ReadBlockSize() const override {
    const int32_t page = t_.Device.PageSize;
    return CheckedSize(page > 0 ? t_.Device.Size / page : 0, MaxTransfer());
  }
};

}  // namespace

std::unique_ptr<TBusOperations> MakeDataFlashOperations(const TMemoryTarget& target) {
  return std::make_unique<TDataFlashOperations>(target);
}

}  // namespace zylisp
