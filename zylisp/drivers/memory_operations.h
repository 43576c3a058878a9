// What the drivers do with the target chip, per bus kind, written only
// against the adapter's command framing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zylisp {

class TAdapterLink;
struct TDevice;
class THexList;

// Everything a bus's operations need to know about the current target.
struct TMemoryTarget {
  TAdapterLink& Link;
  const TDevice& Device;
  uint8_t ProgMode;     // Microwire organisation: 8 or 16
  uint8_t WriteTime;    // write-cycle time handed to the adapter
  int32_t PageSize;     // write page and read block the client asked for
  uint8_t BusAddress;   // I2C control byte base
  std::function<void(int32_t done, int32_t total)> Progress;
  // Whether the client asked the running operation to stop; none: never.
  std::function<bool()> StopRequested;
};

// Addresses first .. first + count - 1 of the chip.
struct TChipRange {
  int32_t First;
  int32_t Count;
};

class TBusOperations {
 public:
  explicit TBusOperations(const TMemoryTarget& target) : t_(target) {}
  virtual ~TBusOperations() = default;

  virtual void Program(THexList& image) = 0;
  // Reads a block of the chip from address into buffer[address ...]; never
  // writes at or past the device's size. Inside a pass on a link that sends
  // ahead the bytes arrive later (see TAdapterLink::ReadBlockInto).
  virtual void ReadBlock(uint8_t* buffer, int32_t count, int32_t address) = 0;
  virtual void EraseAll() = 0;
  virtual uint8_t ReadStatus() = 0;
  virtual void WriteStatus(uint8_t value) = 0;

  // Reads the whole chip into the image's data.
  void Read(THexList& image);
  // Compares the chip with the image, marking every address verified or
  // failed; raises EVerifyError after the pass when any differed.
  void Verify(THexList& image) { Verify(image, {{0, ChipSize()}}); }

 protected:
  // The same over the ranges only (in address order, inside the chip);
  // addresses outside them keep their status.
  void Verify(THexList& image, const std::vector<TChipRange>& ranges);
  // A read pass over the whole chip into buffer, block by block, at the
  // lowest thread priority; took sees each block once it is in.
  void ReadPass(uint8_t* buffer, const std::function<void(int32_t first, int32_t count)>& took) {
    ReadPass(buffer, {{0, ChipSize()}}, took);
  }
  // The same over the ranges; progress runs over their bytes.
  void ReadPass(uint8_t* buffer, const std::vector<TChipRange>& ranges,
                const std::function<void(int32_t first, int32_t count)>& took);
  int32_t ChipSize() const;
  // Largest block one read or page write carries (a count byte by default).
  virtual int32_t MaxTransfer() const { return 255; }
  // The block a read or verify pass reads at a time: the page size by
  // default.
  virtual int32_t ReadBlockSize() const { return CheckedPageSize(MaxTransfer()); }
  // Verify failures on this bus hint at block protection.
  virtual bool HintsBlockProtection() const { return false; }
  // size, refused when it is below 1 or the transfer cannot carry it.
  int32_t CheckedSize(int32_t size, int32_t limit) const;
  // The page size, checked.
  int32_t CheckedPageSize(int32_t limit) const { return CheckedSize(t_.PageSize, limit); }
  void Progress(int32_t done, int32_t total) const;
  // At a page or block boundary of a pass: when a stop was requested, ends
  // the pass so that the adapter is ready again, and raises ECancelled.
  void StopAtBoundary() const;
  // Page-write passes: progress start, the write time, the checked page
  // size and the pass's begin; returns the page size.
  int32_t BeginPageWritePass(int32_t limit);
  // The largest part of a transfer of size bytes that one count byte
  // carries, dividing it evenly (a 256-byte page goes as two of 128).
  static int32_t Chunk(int32_t size);
  // Address bytes the part takes on its bus (its row; else 1 below 4 KiB,
  // 2 from there).
  int AddressBytes() const;
  // Image bytes first .. first+count-1, as a block command carries them.
  static std::string ImageBytes(const THexList& image, int32_t first, int32_t count);

  const TMemoryTarget t_;
};

std::unique_ptr<TBusOperations> MakeI2COperations(const TMemoryTarget& target);
std::unique_ptr<TBusOperations> MakeSpiOperations(const TMemoryTarget& target);
std::unique_ptr<TBusOperations> MakeMicrowireOperations(const TMemoryTarget& target);
std::unique_ptr<TBusOperations> MakeDataFlashOperations(const TMemoryTarget& target);
std::unique_ptr<TBusOperations> MakeSpiFlashOperations(const TMemoryTarget& target);

// The operations of the target's bus kind; nullptr for a kind without any.
std::unique_ptr<TBusOperations> MakeBusOperations(const TMemoryTarget& target);

}  // namespace zylisp
