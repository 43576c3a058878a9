// One row of the device catalogue: everything the library knows about a
// part.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

struct TPartRow;

// Bus kinds of TDevice::BusType.
enum : uint8_t { kBusI2C = 0, kBusSPI = 1, kBusMicrowire = 2, kBusDataFlash = 3 };

struct TDevice {
  std::string Name;
  uint8_t BusType = kBusI2C;
  int32_t Size = 0;       // data area in bytes
  int32_t PageSize = 0;   // write page in bytes
  uint8_t WriteTime = 0;  // write-cycle time handed to the adapter, in ms
  // Microwire: length of a command in bits with 8-bit organisation; the
  // 16-bit organisation's is one bit shorter, and the address sits below
  // the opcode so that a command fills the top of 16 bits.
  uint8_t MicrowireBits = 0;
  // DataFlash: the erase blocks, and the block value that block i is sent
  // as (i * BlockStep).
  int32_t EraseBlocks = 0;
  int32_t BlockStep = 0;
  // The part's row of the part table: every other fact the operations
  // need (addressing, erase commands, status layout, times).
  const TPartRow* Part = nullptr;
};

}  // namespace zylisp
