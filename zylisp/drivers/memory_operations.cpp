#include "drivers/memory_operations.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "adapter_commands.h"
#include "core/errors.h"
#include "devices/device.h"
#include "devices/part_table.h"
#include "drivers/adapter_link.h"
#include "drivers/thread_priority.h"
#include "image/hex_list.h"

namespace zylisp {

int32_t TBusOperations::CheckedSize(int32_t size, int32_t limit) const {
  if (size < 1 || size > limit)
    t_.Link.Fail("Page size " + std::to_string(size) + " cannot be used with this device");
  return size;
}

void TBusOperations::Progress(int32_t done, int32_t total) const {
  if (t_.Progress) t_.Progress(done, total);
}

void TBusOperations::StopAtBoundary() const {
  if (!t_.StopRequested || !t_.StopRequested()) return;
  t_.Link.EndPass();
  throw ECancelled();
}

int32_t TBusOperations::BeginPageWritePass(int32_t limit) {
  Progress(0, t_.Device.Size);
  t_.Link.SendCommand(adapter::kCmdWriteTime, HexArg(t_.WriteTime));
  const int32_t page = CheckedPageSize(limit);
  t_.Link.BeginPass();
  return page;
}

int32_t TBusOperations::Chunk(int32_t size) {
  int32_t parts = 1;
  while (size / parts > 255 || size % parts != 0) ++parts;
  return size / parts;
}

int TBusOperations::AddressBytes() const {
  if (t_.Device.Part && t_.Device.Part->AddressBytes > 0) return t_.Device.Part->AddressBytes;
  return t_.Device.Size >= 4096 ? 2 : 1;
}

std::string TBusOperations::ImageBytes(const THexList& image, int32_t first, int32_t count) {
  std::string data;
  for (int32_t i = 0; i < count; ++i)
    data.push_back(static_cast<char>(image.GetValue(static_cast<uint32_t>(first + i))));
  return data;
}

int32_t TBusOperations::ChipSize() const { return t_.Device.Size; }

void TBusOperations::ReadPass(uint8_t* buffer, const std::vector<TChipRange>& ranges,
                              const std::function<void(int32_t, int32_t)>& took) {
  TLowPriorityScope lowPriority;
  TAdapterLink& link = t_.Link;
  int32_t total = 0;
  for (const TChipRange& r : ranges) total += r.Count;
  Progress(0, total);
  const int32_t block = ReadBlockSize();
  // Blocks asked for whose bytes may still be on the way (a link that sends
  // ahead): each is handed on once the link has its reply.
  struct TBlock {
    uint64_t Issued;
    int32_t First;
    int32_t Count;
    int32_t Done;  // bytes of the pass before this block
  };
  std::deque<TBlock> asked;
  const auto handOn = [&](bool all) {
    while (!asked.empty() && (all || link.Answered() >= asked.front().Issued)) {
      const TBlock b = asked.front();
      asked.pop_front();
      Progress(b.Done, total);
      if (took) took(b.First, b.Count);
    }
  };
  try {
    link.BeginPass();
    int32_t done = 0;
    for (const TChipRange& r : ranges) {
      for (int32_t a = r.First; a <= r.First + r.Count - 1; a += block) {
        StopAtBoundary();
        const int32_t count = std::min(block, r.First + r.Count - a);
        ReadBlock(buffer, count, a);
        asked.push_back({link.Issued(), a, count, done});
        done += count;
        handOn(false);
      }
    }
    link.EndPass();
  } catch (...) {
    // No reply may land in buffer once this pass is left.
    link.Abandon();
    throw;
  }
  handOn(true);
}

void TBusOperations::Read(THexList& image) { ReadPass(image.Data(), nullptr); }

void TBusOperations::Verify(THexList& image, const std::vector<TChipRange>& ranges) {
  std::vector<uint8_t> scratch(static_cast<std::size_t>(t_.Device.Size), 0);
  std::vector<TByteDifference> differences;
  image.SetDifferences({});
  ReadPass(scratch.data(), ranges, [&](int32_t first, int32_t count) {
    for (auto address = static_cast<uint32_t>(first); address < uint32_t(first + count); ++address) {
      const uint8_t expected = image.GetValue(address);
      const bool same = expected == scratch[address];
      image.SetStatus(address, same ? ps_verified : ps_failed);
      if (!same) differences.push_back({address, scratch[address], expected});
    }
  });
  const std::size_t errors = differences.size();
  image.SetDifferences(std::move(differences));
  if (errors == 0) return;
  if (HintsBlockProtection())
    throw EVerifyError("EEPROM: Verification Failed - Block protection may be enabled");
  throw EVerifyError("EEPROM: Verification Failed - " + std::to_string(errors) +
                     " bytes had errors");
}

std::unique_ptr<TBusOperations> MakeBusOperations(const TMemoryTarget& target) {
  switch (target.Device.BusType) {
    case kBusI2C: return MakeI2COperations(target);
    case kBusSPI:
      if (target.Device.Part && target.Device.Part->Family == EPartFamily::SpiFlash)
        return MakeSpiFlashOperations(target);
      return MakeSpiOperations(target);
    case kBusMicrowire: return MakeMicrowireOperations(target);
    case kBusDataFlash: return MakeDataFlashOperations(target);
    default: return nullptr;
  }
}

}  // namespace zylisp
