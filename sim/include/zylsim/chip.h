// Chip models the emulated adapter drives, one interface per bus kind.
// Models follow the chips' data sheets; the adapter firmware only moves
// bus signals. Time is virtual: the firmware advances it explicitly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zylsim {

// Contents and faults shared by every model.
class Chip {
 public:
  virtual ~Chip() = default;
  // Bus kind: 0 I2C, 1 SPI, 2 Microwire, 3 DataFlash.
  virtual int BusKind() const = 0;
  // Data area, byte-addressed (Microwire word parts hold words low byte first).
  std::vector<uint8_t>& Memory() { return memory_; }
  const std::vector<uint8_t>& Memory() const { return memory_; }
  uint32_t Size() const { return static_cast<uint32_t>(memory_.size()); }
  // Advances virtual time; ends write cycles whose time has run out.
  void Advance(uint64_t us) { remainingUs_ = us >= remainingUs_ ? 0 : remainingUs_ - us; }
  // True while an internal write or erase cycle runs.
  bool Busy() const { return remainingUs_ > 0; }
  // Sets the length of each write cycle (the adapter's 'D' value, in ms).
  // A cycle already running keeps its length.
  void SetWriteCycleMs(unsigned ms) { writeCycleUs_ = uint64_t{ms} * 1000; }
  // Virtual time left of the running cycle (0 when idle): what a paced
  // emulator has to wait for.
  uint64_t RemainingCycleUs() const { return remainingUs_; }
  // Internal write/erase cycles started since construction, and their
  // lengths added up.
  unsigned WriteCycleCount() const { return writeCycles_; }
  uint64_t WriteCycleTotalUs() const { return writeCycleTotalUs_; }
  // Fault injection: a cell whose bits in mask read as the bits of value,
  // whatever was programmed. Takes effect on the present contents as well.
  void AddStuckBits(uint32_t address, uint8_t mask, uint8_t value);
  // Power-on reset of the part's volatile state (the array and non-volatile
  // registers keep their contents). Most parts have nothing to reset.
  virtual void PowerUp() {}

 protected:
  explicit Chip(std::size_t size) : memory_(size, 0xFF) {}
  // Stores a byte as the array would: stuck bits win.
  void StoreByte(uint32_t address, uint8_t value);
  // Reads a byte as the array would: stuck bits win even over contents
  // loaded straight into Memory().
  uint8_t LoadByte(uint32_t address) const;
  // Starts one self-timed cycle of the configured length. The models change
  // the array when the cycle starts: nothing on the bus can see the cells
  // while it runs, and contents are never lost to a cycle left unfinished.
  void BeginWriteCycle();
  // Starts one self-timed cycle of the given length, for parts whose own
  // operations each take their own time (program, erase, status write).
  void BeginCycle(uint64_t us);

 private:
  struct Stuck {
    uint32_t address;
    uint8_t mask;
    uint8_t value;
  };
  uint8_t WithStuckBits(uint32_t address, uint8_t value) const;

  std::vector<uint8_t> memory_;
  std::vector<Stuck> stuck_;
  uint64_t writeCycleUs_ = 5000;
  uint64_t remainingUs_ = 0;
  unsigned writeCycles_ = 0;
  uint64_t writeCycleTotalUs_ = 0;
};

// The SPI side both 25-series parts and AT45DB DataFlash parts offer.
class SpiChip : public Chip {
 public:
  int BusKind() const override { return 1; }
  virtual void Select() = 0;    // CS low
  virtual void Deselect() = 0;  // CS high
  virtual uint8_t Transfer(uint8_t out) = 0;

 protected:
  using Chip::Chip;
};

// Builds the model for a catalogue, AT45DB or SPI NOR flash part by name (case-insensitive);
// organisation applies to Microwire parts. nullptr for an unknown name.
// Microwire parts take organisation 8 or 16 (anything else gives nullptr);
// the other parts ignore it.
std::unique_ptr<Chip> CreateChip(const std::string& name, int organisation);

// Every name CreateChip knows, catalogue parts first, in table order.
std::vector<std::string> ChipNames();

}  // namespace zylsim
