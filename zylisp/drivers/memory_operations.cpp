#include "drivers/memory_operations.h"

#include <algorithm>
#include <string>
#include <vector>

#include "adapter_commands.h"
#include "core/errors.h"
#include "devices/device.h"
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

std::string TBusOperations::ImageBytes(const THexList& image, int32_t first, int32_t count) {
  std::string data;
  for (int32_t i = 0; i < count; ++i)
    data.push_back(static_cast<char>(image.GetValue(static_cast<uint32_t>(first + i))));
  return data;
}

void TBusOperations::StoreBlock(uint8_t* buffer, int32_t address, const std::string& data,
                                int32_t count) {
  std::copy_n(data.begin(), std::min<std::size_t>(data.size(), static_cast<std::size_t>(count)),
              buffer + address);
}

void TBusOperations::ReadPass(uint8_t* buffer,
                              const std::function<void(int32_t, int32_t)>& took) {
  TLowPriorityScope lowPriority;
  const int32_t size = t_.Device.Size;
  Progress(0, size);
  const int32_t block = ReadBlockSize();
  t_.Link.BeginPass();
  for (int32_t a = 0; a <= size - 1; a += block) {
    StopAtBoundary();
    Progress(a, size);
    const int32_t count = std::min(block, size - a);
    ReadBlock(buffer, count, a);
    if (took) took(a, count);
  }
  t_.Link.EndPass();
}

void TBusOperations::Read(THexList& image) { ReadPass(image.Data(), nullptr); }

void TBusOperations::Verify(THexList& image) {
  std::vector<uint8_t> scratch(static_cast<std::size_t>(t_.Device.Size), 0);
  std::vector<TByteDifference> differences;
  image.SetDifferences({});
  ReadPass(scratch.data(), [&](int32_t first, int32_t count) {
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
    case kBusSPI: return MakeSpiOperations(target);
    case kBusMicrowire: return MakeMicrowireOperations(target);
    case kBusDataFlash: return MakeDataFlashOperations(target);
    default: return nullptr;
  }
}

}  // namespace zylisp
