// SPI NOR flash on an adapter whose SPI bus is selected: the JEDEC ID, the
// SFDP parameter table, a part-table row for a part known only by those,
// and the status registers a row describes (protection, unprotect, busy
// waits). Also the scan of the I2C bus for EEPROM addresses. Everything goes
// through the bus commands of the adapter link ('X', 'w', 'r', 'R', 'x', 'Z').
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/part_table.h"

namespace zylisp {

class TAdapterLink;

// One erase type of the SFDP basic flash parameter table.
struct TSfdpErase {
  uint32_t Size = 0;  // bytes (2^N)
  uint8_t Opcode = 0;
};

// What the SFDP basic flash parameter table says about the part.
struct TSfdpInfo {
  uint32_t Size = 0;          // bytes
  int32_t PageSize = 256;     // program page (256 when the table does not say)
  bool FourByteAddress = false;  // the part takes 4-byte addresses (3-or-4 or 4 only)
  bool FourByteOnly = false;     // ... and nothing but 4-byte addresses
  std::vector<TSfdpErase> Erase;  // erase types 1-4 that are defined, smallest first
};

// JEDEC ID (0x9F: manufacturer, memory type, capacity); nullopt when nothing
// answers (all zeros or all ones).
std::optional<uint32_t> ReadJedecId(TAdapterLink& link);
// The SFDP basic flash parameter table (0x5A, three address bytes and one
// dummy byte); nullopt when the part has none or it does not make sense.
std::optional<TSfdpInfo> ReadSfdp(TAdapterLink& link);
// A row of the geometry SFDP gives, for a part the table does not know:
// named "SFDP MMTTCC", with conservative maximum times and BP0-BP2 as the
// only protection bits.
TPartRow GenericFlashRow(uint32_t jedecId, const TSfdpInfo& sfdp);

// The 7-bit addresses among 0x50..0x57 that acknowledge their control byte
// (the I2C bus selected).
std::vector<uint8_t> ScanI2CBus(TAdapterLink& link);

// The status registers of a part, as its row says it has them: SR1 (0x05),
// the second register (SR2 by 0x35; Macronix: the configuration register by
// 0x15) and a third one (0x15) where the row has three.
struct TFlashStatus {
  uint8_t Sr1 = 0;
  uint8_t Sr2 = 0;
  uint8_t Sr3 = 0;
  // SR1 in the low byte, the second register in the high byte: the
  // arrangement of the row's protection masks.
  uint16_t Word() const { return static_cast<uint16_t>(Sr1 | Sr2 << 8); }
};

TFlashStatus ReadFlashStatus(TAdapterLink& link, const TPartRow& row);
// "SR1 1C, SR2 40" for the registers the row has.
std::string DescribeFlashStatus(const TPartRow& row, const TFlashStatus& status);

// The one address range the row's protection bits guard for this status
// (bytes First .. First + Count - 1); Count 0 when nothing is protected.
struct TProtectedRange {
  uint32_t First = 0;
  uint32_t Count = 0;
  bool Touches(uint32_t first, uint32_t count) const {
    return Count != 0 && first < First + Count && First < first + count;
  }
};
TProtectedRange ProtectedRange(const TPartRow& row, const TFlashStatus& status);

// Raises EWriteProtected when [first, first + count) meets the range the
// status protects; the message names the range, the registers and the cure.
void RefuseProtected(const TPartRow& row, const TFlashStatus& status, uint32_t first,
                     uint32_t count);

// For a part whose sectors are locked by command: when the status says some
// are, reads the lock of each 64 KiB sector that [first, first + count) of
// a range in ranges meets, and raises EWriteProtected for the first locked.
void RefuseLockedSectors(TAdapterLink& link, const TPartRow& row, const TFlashStatus& status,
                         const std::vector<std::pair<uint32_t, uint32_t>>& ranges);

// Waits until the part's WIP bit clears, polling SR1 itself and letting the
// adapter poll it in between ('Z'), for at most twice maxMs with a margin;
// writeTime is the 'D' value in force, which bounds one 'Z'. Fails as the
// adapter does: "Program/erase BUSY timed out".
void WaitFlashReady(TAdapterLink& link, uint32_t maxMs, uint8_t writeTime);

// Clears every protection bit the row's layout has in every status register,
// keeping the other bits, then reads them back: EWriteProtected naming the
// bits that stayed set (one-time programmable bits, a locked register).
void UnprotectFlash(TAdapterLink& link, const TPartRow& row, uint8_t writeTime);

// Best effort after a failure: returns a part that may be in 4-byte address
// mode to 3-byte mode (0xE9), ignoring what the adapter answers.
void LeaveFourByteMode(TAdapterLink& link);

}  // namespace zylisp
