// AT45DB DataFlash parts, through the adapter's page commands.
#include <string>

#include "adapter_commands.h"
#include "core/errors.h"
#include "core/hex_text.h"
#include "core/text_case.h"
#include "devices/device.h"
#include "drivers/adapter_link.h"
#include "drivers/memory_operations.h"
#include "drivers/shared_values.h"
#include "drivers/thread_priority.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

struct TDataFlashPart {
  const char* name;
  int32_t blocks;
  int32_t blockStep;  // block value of block i is i * blockStep
};

constexpr TDataFlashPart kParts[] = {
    {"AT45DB011", 64, 16},  {"AT45DB021", 128, 16}, {"AT45DB041", 256, 16},
    {"AT45DB081", 512, 16}, {"AT45DB161", 512, 32}, {"AT45DB321", 1024, 32},
};

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
    const int32_t size = t_.Device.Size();
    link.BeginPass();
    Progress(0, size);
    Shared().PageSize = t_.Device.PageSize();
    const int32_t page = CheckedPageSize(MaxTransfer());
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
    const int32_t size = t_.Device.Size();
    for (int32_t j = 0; j < count; ++j) {
      const uint8_t value = link.ReceiveByte(false);
      if (address + j < size) buffer[address + j] = value;
    }
    link.CheckAcknowledge();
  }

  void EraseAll() override {
    TAdapterLink& link = t_.Link;
    link.BeginPass();
    const TDataFlashPart& part = Part();
    Progress(0, part.blocks);
    for (int32_t i = 0; i < part.blocks; ++i) {
      StopAtBoundary();
      const int32_t v = i * part.blockStep;
      std::string args;
      args.push_back(static_cast<char>((v >> 8) & 0xFF));
      args.push_back(static_cast<char>(v & 0xFF));
      link.SendCommand(adapter::kCmdFlashErase, args);
      Progress(i + 1, part.blocks);
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
  void PrepareReadPass() override {
    const int32_t page = t_.Device.PageSize();
    Shared().PageSize = page > 0 ? t_.Device.Size() / page : 0;
  }

 private:
  const TDataFlashPart& Part() const {
    const std::string name = UpperCase(t_.Device.Name());
    for (const TDataFlashPart& p : kParts)
      if (name == p.name) return p;
    t_.Link.Fail("DataFlash device " + t_.Device.Name() + " is not known");
  }
};

}  // namespace

std::unique_ptr<TBusOperations> MakeDataFlashOperations(const TMemoryTarget& target) {
  return std::make_unique<TDataFlashOperations>(target);
}

}  // namespace zylisp
