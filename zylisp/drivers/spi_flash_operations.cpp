// SPI NOR flash parts: reads in selections of 4 KiB, programming as flash
// takes it (bits only go from 1 to 0: erase only the units that need it,
// with the largest erase that fits, and write only the pages that change),
// chip erase, the status register, protection checks before anything is
// changed, and 4-byte addressing for parts above 16 MiB. Every fact comes
// from the part's row.
#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapter_commands.h"
#include "core/errors.h"
#include "devices/device.h"
#include "devices/part_table.h"
#include "drivers/adapter_link.h"
#include "drivers/memory_operations.h"
#include "drivers/spi_flash_detect.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kRead4 = 0x13;
constexpr uint8_t kProgram = 0x02;
constexpr uint8_t kProgram4 = 0x12;
constexpr uint8_t kErase4k = 0x20;
constexpr uint8_t kErase4k4 = 0x21;
constexpr uint8_t kErase64k = 0xD8;
constexpr uint8_t kErase64k4 = 0xDC;
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kEnterFourByte = 0xB7;
constexpr uint8_t kExitFourByte = 0xE9;
constexpr int32_t kReadBlock = 4096;
constexpr uint32_t kThreeByteLimit = 1u << 24;
// A 'Z' that gives up must answer within the link's acknowledge time (1 s).
constexpr uint8_t kMostWriteTime = 200;

// Where a program or erase job stands; the target's progress callback maps
// each phase's 0..size onto its quarter of the whole job.
struct TJobProgress {
  bool Active = false;
  int Phase = 0;  // read, erase, program, verify
  int64_t Quarter = 0;
};

// How a command reaches an address: its opcode, the address bytes, and
// whether the part has to be in 4-byte mode around it.
struct TAddressed {
  uint8_t Opcode = 0;
  int Bytes = 3;
  bool Enter = false;
};

class TSpiFlashOperations : public TBusOperations {
 public:
  TSpiFlashOperations(const TMemoryTarget& target, std::shared_ptr<TJobProgress> job)
      : TBusOperations(target),
        row_(*target.Device.Part),
        job_(std::move(job)),
        writeTime_(std::min(target.WriteTime, kMostWriteTime)) {}

  void Program(THexList& image) override {
    TAdapterLink& link = t_.Link;
    const int32_t size = t_.Device.Size;
    if (image.Size() < size)
      link.Fail("The image holds " + std::to_string(image.Size()) + " bytes, fewer than the " +
                std::to_string(size) + " of " + t_.Device.Name);
    const std::vector<TEraseKind> kinds = EraseKinds();
    const auto page = static_cast<uint32_t>(row_.PageSize > 0 ? row_.PageSize : 256);
    if (size % static_cast<int32_t>(kinds.front().Size) != 0 || kinds.front().Size % page != 0)
      link.Fail("The erase units of " + t_.Device.Name + " do not divide its size");
    const TFlashStatus status = Prepare();
    job_->Active = true;
    job_->Quarter = std::min<int64_t>(size, std::numeric_limits<int32_t>::max() / 4);
    try {
      job_->Phase = 0;
      std::vector<uint8_t> chip(static_cast<std::size_t>(size), 0xFF);
      ReadPass(chip.data(), nullptr);

      const std::vector<TBlock> erases = PlanErases(image, chip, kinds);
      // What the chip holds once those blocks are erased.
      for (const TBlock& b : erases) std::fill_n(chip.begin() + b.Address, b.Kind->Size, 0xFF);
      std::vector<uint32_t> pages;
      for (uint32_t a = 0; a < static_cast<uint32_t>(size); a += page) {
        if (!std::equal(chip.begin() + a, chip.begin() + a + page, image.Data() + a)) pages.push_back(a);
      }
      for (const TBlock& b : erases) RefuseProtected(row_, status, b.Address, b.Kind->Size);
      for (uint32_t a : pages) RefuseProtected(row_, status, a, page);
      const std::vector<TChipRange> changed = Changed(erases, pages, page);
      std::vector<std::pair<uint32_t, uint32_t>> touched;
      for (const TChipRange& r : changed)
        touched.emplace_back(static_cast<uint32_t>(r.First), static_cast<uint32_t>(r.Count));
      RefuseLockedSectors(link, row_, status, touched);

      job_->Phase = 1;
      Progress(0, size);
      link.BeginPass();
      for (const TBlock& b : erases) {
        StopAtBoundary();
        Erase(*b.Kind, b.Address);
        Progress(static_cast<int32_t>(b.Address), size);
      }
      link.EndPass();

      job_->Phase = 2;
      Progress(0, size);
      link.BeginPass();
      for (uint32_t a : pages) {
        StopAtBoundary();
        ProgramPage(image, a, page);
        Progress(static_cast<int32_t>(a), size);
      }
      link.EndPass();

      // Only what was erased or written is read again: the rest was read in
      // this job and found as the image wants it.
      job_->Phase = 3;
      int32_t from = 0;
      for (const TChipRange& r : changed) {
        for (int32_t a = from; a < r.First; ++a) image.SetStatus(static_cast<uint32_t>(a), ps_verified);
        from = r.First + r.Count;
      }
      for (int32_t a = from; a < size; ++a) image.SetStatus(static_cast<uint32_t>(a), ps_verified);
      Verify(image, changed);
    } catch (...) {
      job_->Active = false;
      if (Addressing() == EAddressing::ThreeBytes)
        link.Abandon();
      else
        LeaveFourByteMode(link);
      throw;
    }
    job_->Active = false;
  }

  void ReadBlock(uint8_t* buffer, int32_t count, int32_t address) override {
    TAdapterLink& link = t_.Link;
    count = std::min(count, t_.Device.Size - address);
    const TAddressed read = ReadCommand();
    if (read.Enter) Command(kEnterFourByte);
    link.BusStart();
    SendAddressed(read, static_cast<uint32_t>(address));
    for (int32_t at = 0; at < count; at += 255) {
      const int32_t n = std::min(255, count - at);
      link.ReadBlockInto(static_cast<uint8_t>(n), buffer + address + at);
    }
    link.BusStop();
    if (read.Enter) Command(kExitFourByte);
  }

  void EraseAll() override {
    TAdapterLink& link = t_.Link;
    const int32_t size = t_.Device.Size;
    if (row_.ChipEraseOpcode == 0) throw ENotSupported();
    Progress(0, size);
    const TFlashStatus status = Prepare();
    RefuseProtected(row_, status, 0, static_cast<uint32_t>(size));
    RefuseLockedSectors(link, row_, status, {{0, static_cast<uint32_t>(size)}});
    Command(kWriteEnable);
    Command(row_.ChipEraseOpcode);
    WaitFlashReady(link, std::max<uint32_t>(row_.ChipEraseMaxMs, 1000), writeTime_);
    Progress(size, size);
  }

  uint8_t ReadStatus() override {
    TAdapterLink& link = t_.Link;
    link.BusStart();
    link.BusWrite(kReadStatus);
    const uint8_t value = link.BusRead();
    link.BusStop();
    return value;
  }

  void WriteStatus(uint8_t value) override {
    TAdapterLink& link = t_.Link;
    Command(kWriteEnable);
    link.BusStart();
    link.BusWrite(kWriteStatus);
    link.BusWrite(value);
    link.BusStop();  // the adapter waits for the write cycle after 0x01
  }

 protected:
  int32_t ReadBlockSize() const override { return kReadBlock; }

 private:
  struct TBlock {
    uint32_t Address;
    const TEraseKind* Kind;
  };

  enum class EAddressing { ThreeBytes, FourByteOpcodes, EnterExit, FourBytesOnly };

  EAddressing Addressing() const {
    if (row_.AddressBytes != 4) return EAddressing::ThreeBytes;
    switch (row_.FourByte) {
      case EFourByteMode::FourByteOpcodes: return EAddressing::FourByteOpcodes;
      case EFourByteMode::EnterExitOnly: return EAddressing::EnterExit;
      case EFourByteMode::None: break;
    }
    return EAddressing::FourBytesOnly;
  }

  // The 3-byte opcode as this part takes it at address (and onwards for
  // length bytes); opcode 0 when the part has no way to reach there with it.
  TAddressed Addressed(uint8_t opcode, uint32_t address, uint32_t length) const {
    switch (Addressing()) {
      case EAddressing::ThreeBytes: return {opcode, 3, false};
      case EAddressing::EnterExit: return {opcode, 4, true};
      case EAddressing::FourBytesOnly: return {opcode, 4, false};
      case EAddressing::FourByteOpcodes: break;
    }
    switch (opcode) {
      case kRead: return {kRead4, 4, false};
      case kProgram: return {kProgram4, 4, false};
      case kErase4k: return {kErase4k4, 4, false};
      case kErase64k: return {kErase64k4, 4, false};
      default:
        // No 4-byte form: usable below 16 MiB with the part in 3-byte mode.
        return {address + length <= kThreeByteLimit ? opcode : uint8_t{0}, 3, false};
    }
  }

  TAddressed ReadCommand() const { return Addressed(kRead, 0, 0); }

  // The row's erase kinds a program job can use, smallest first; every
  // larger one a whole number of the smallest.
  std::vector<TEraseKind> EraseKinds() const {
    std::vector<TEraseKind> kinds;
    for (const TEraseKind& k : row_.Erase) {
      if (k.Size > 0 && k.Opcode != 0 && k.Size <= static_cast<uint32_t>(t_.Device.Size)) kinds.push_back(k);
    }
    if (kinds.empty()) t_.Link.Fail(t_.Device.Name + " has no erase command in its part row");
    std::sort(kinds.begin(), kinds.end(),
              [](const TEraseKind& a, const TEraseKind& b) { return a.Size < b.Size; });
    const uint32_t unit = kinds.front().Size;
    kinds.erase(std::remove_if(kinds.begin(), kinds.end(),
                               [unit](const TEraseKind& k) { return k.Size % unit != 0; }),
                kinds.end());
    const auto top = static_cast<uint32_t>(t_.Device.Size) - unit;
    if (Addressed(kinds.front().Opcode, top, unit).Opcode == 0)
      t_.Link.Fail(t_.Device.Name + ": the smallest erase command cannot reach above 16 MiB");
    return kinds;
  }

  // Units of the smallest erase that hold a bit the image wants at 1 and
  // the chip has at 0, covered by the largest aligned erases that hold
  // nothing else, in address order.
  std::vector<TBlock> PlanErases(const THexList& image, const std::vector<uint8_t>& chip,
                                 const std::vector<TEraseKind>& kinds) const {
    const uint32_t unit = kinds.front().Size;
    const std::size_t units = chip.size() / unit;
    std::vector<bool> needs(units, false);
    const uint8_t* wanted = image.Data();
    for (std::size_t u = 0; u < units; ++u) {
      for (std::size_t a = u * unit; a < (u + 1) * unit && !needs[u]; ++a)
        needs[u] = (chip[a] & wanted[a]) != wanted[a];
    }
    std::vector<bool> covered(units, false);
    std::vector<TBlock> blocks;
    for (auto kind = kinds.rbegin(); kind != kinds.rend(); ++kind) {
      const std::size_t per = kind->Size / unit;
      for (std::size_t first = 0; first + per <= units; first += per) {
        bool whole = true;
        for (std::size_t u = first; u < first + per && whole; ++u) whole = needs[u] && !covered[u];
        const auto address = static_cast<uint32_t>(first * unit);
        if (!whole || Addressed(kind->Opcode, address, kind->Size).Opcode == 0) continue;
        std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(first), per, true);
        blocks.push_back({address, &*kind});
      }
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const TBlock& a, const TBlock& b) { return a.Address < b.Address; });
    return blocks;
  }

  // The erased blocks and written pages as ranges in address order, those
  // that touch merged.
  static std::vector<TChipRange> Changed(const std::vector<TBlock>& erases,
                                         const std::vector<uint32_t>& pages, uint32_t page) {
    std::vector<TChipRange> parts;
    for (const TBlock& b : erases)
      parts.push_back({static_cast<int32_t>(b.Address), static_cast<int32_t>(b.Kind->Size)});
    for (uint32_t a : pages) parts.push_back({static_cast<int32_t>(a), static_cast<int32_t>(page)});
    std::sort(parts.begin(), parts.end(),
              [](const TChipRange& a, const TChipRange& b) { return a.First < b.First; });
    std::vector<TChipRange> merged;
    for (const TChipRange& r : parts) {
      if (!merged.empty() && r.First <= merged.back().First + merged.back().Count) {
        TChipRange& last = merged.back();
        last.Count = std::max(last.Count, r.First + r.Count - last.First);
      } else {
        merged.push_back(r);
      }
    }
    return merged;
  }

  // Before a job changes the chip: the adapter's wait time, the part in
  // 3-byte mode and idle; the status registers as they are.
  TFlashStatus Prepare() {
    TAdapterLink& link = t_.Link;
    link.SendCommand(adapter::kCmdWriteTime, HexArg(writeTime_));
    if (Addressing() == EAddressing::FourByteOpcodes || Addressing() == EAddressing::EnterExit)
      Command(kExitFourByte);
    uint32_t longest = row_.ChipEraseMaxMs;
    for (const TEraseKind& k : row_.Erase) longest = std::max(longest, k.MaxMs);
    WaitFlashReady(link, longest, writeTime_);
    return ReadFlashStatus(link, row_);
  }

  void Erase(const TEraseKind& kind, uint32_t address) {
    TAdapterLink& link = t_.Link;
    const TAddressed erase = Addressed(kind.Opcode, address, kind.Size);
    if (erase.Enter) Command(kEnterFourByte);
    Command(kWriteEnable);
    link.BusStart();
    SendAddressed(erase, address);
    link.BusStop();
    WaitFlashReady(link, std::max<uint32_t>(kind.MaxMs, 1), writeTime_);
    if (erase.Enter) Command(kExitFourByte);
  }

  // One page in one selection, as equal 'W' parts; the adapter waits for
  // the cycle of 0x02 at the deselect, the host for that of 0x12.
  void ProgramPage(const THexList& image, uint32_t address, uint32_t page) {
    TAdapterLink& link = t_.Link;
    const TAddressed program = Addressed(kProgram, address, page);
    if (program.Enter) Command(kEnterFourByte);
    Command(kWriteEnable);
    link.BusStart();
    SendAddressed(program, address);
    const auto chunk = static_cast<uint32_t>(Chunk(static_cast<int32_t>(page)));
    for (uint32_t at = address; at < address + page; at += chunk) {
      link.WriteBlock(static_cast<uint8_t>(chunk),
                      ImageBytes(image, static_cast<int32_t>(at), static_cast<int32_t>(chunk)));
    }
    link.BusStop();
    if (program.Opcode != kProgram)
      WaitFlashReady(link, std::max<uint32_t>(1, (row_.WriteMaxUs + 999) / 1000), writeTime_);
    if (program.Enter) Command(kExitFourByte);
  }

  void SendAddressed(const TAddressed& command, uint32_t address) {
    TAdapterLink& link = t_.Link;
    link.BusWrite(command.Opcode);
    for (int shift = 8 * (command.Bytes - 1); shift >= 0; shift -= 8)
      link.BusWrite(static_cast<uint8_t>(address >> shift));
  }

  void Command(uint8_t opcode) {
    TAdapterLink& link = t_.Link;
    link.BusStart();
    link.BusWrite(opcode);
    link.BusStop();
  }

  const TPartRow& row_;
  std::shared_ptr<TJobProgress> job_;
  uint8_t writeTime_;
};

}  // namespace

std::unique_ptr<TBusOperations> MakeSpiFlashOperations(const TMemoryTarget& target) {
  auto job = std::make_shared<TJobProgress>();
  TMemoryTarget mapped = target;
  mapped.Progress = [job, outer = target.Progress](int32_t done, int32_t total) {
    if (!outer) return;
    if (!job->Active || total <= 0) {
      outer(done, total);
      return;
    }
    const int64_t at = job->Phase * job->Quarter + int64_t{done} * job->Quarter / total;
    outer(static_cast<int32_t>(at), static_cast<int32_t>(4 * job->Quarter));
  };
  return std::make_unique<TSpiFlashOperations>(mapped, std::move(job));
}

}  // namespace zylisp
