#include "drivers/spi_flash_detect.h"

#include <algorithm>

#include "adapter_commands.h"
#include "core/errors.h"
#include "core/hex_text.h"
#include "drivers/adapter_link.h"

namespace zylisp {

namespace {

constexpr uint8_t kReadId = 0x9F;
constexpr uint8_t kReadSfdp = 0x5A;
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kReadSr1 = 0x05;
constexpr uint8_t kReadSr2 = 0x35;
constexpr uint8_t kReadSr3 = 0x15;  // also the Macronix configuration register
constexpr uint8_t kWriteSr = 0x01;
constexpr uint8_t kWriteSr2 = 0x31;
constexpr uint8_t kExitFourByte = 0xE9;
constexpr uint8_t kWip = 0x01;
constexpr uint8_t kSrp0 = 0x80;  // SRP0, or SPRL where sectors are locked by command
constexpr uint8_t kReadSectorLock = 0x3C;
constexpr uint8_t kMacronix = 0xC2;
constexpr uint32_t kKiB = 1024;
// The status write cycle of these parts is 15 ms at most; one 'Z' covers it.
constexpr uint32_t kStatusWriteMaxMs = 50;

int BitCount(unsigned v) {
  int n = 0;
  for (; v != 0; v &= v - 1) ++n;
  return n;
}

// The bits of value under mask, packed low (lowest mask bit first).
unsigned Packed(unsigned value, unsigned mask) {
  unsigned out = 0;
  int at = 0;
  for (unsigned bit = 1; bit != 0 && bit <= mask; bit <<= 1) {
    if (mask & bit) out |= ((value & bit) != 0 ? 1u : 0u) << at++;
  }
  return out;
}

unsigned HighestBit(unsigned mask) {
  unsigned bit = 0;
  for (unsigned b = 1; b != 0 && b <= mask; b <<= 1)
    if (mask & b) bit = b;
  return bit;
}

std::string Address(uint32_t address, uint32_t size) {
  return "0x" + HexDigits(address, size > (16u << 20) ? 8 : 6);
}

// The second register is Macronix's configuration register, read by 0x15.
bool SecondIsConfiguration(const TPartRow& row) { return (row.JedecId >> 16) == kMacronix; }

uint8_t ReadRegister(TAdapterLink& link, uint8_t opcode) {
  link.BusStart();
  link.BusWrite(opcode);
  const uint8_t value = link.BusRead();
  link.BusStop();
  return value;
}

void Command(TAdapterLink& link, uint8_t opcode) {
  link.BusStart();
  link.BusWrite(opcode);
  link.BusStop();
}

// 'R' count bytes from the SFDP area at address into data.
void ReadSfdpBytes(TAdapterLink& link, uint32_t address, uint8_t* data, uint8_t count) {
  link.BusStart();
  link.BusWrite(kReadSfdp);
  for (int shift = 16; shift >= 0; shift -= 8) link.BusWrite(static_cast<uint8_t>(address >> shift));
  link.BusWrite(0);  // dummy byte
  link.ReadBlockInto(count, data);
  link.BusStop();
}

uint32_t Dword(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The masks of a layout, BP4/BP3 of five BP bits taken as the SEC and TB
// they are (GigaDevice: BP3 protects from the bottom, BP4 in 4 KiB sectors).
struct TMasks {
  unsigned Bp, Tb, Sec, Cmp;
};
TMasks MasksOf(const TStatusLayout& layout) {
  TMasks m{layout.Bp, layout.Tb, layout.Sec, layout.Cmp};
  if (BitCount(m.Bp) == 5 && m.Tb == 0 && m.Sec == 0) {
    m.Sec = HighestBit(m.Bp);
    m.Bp &= ~m.Sec;
    m.Tb = HighestBit(m.Bp);
    m.Bp &= ~m.Tb;
  }
  return m;
}

}  // namespace

std::optional<uint32_t> ReadJedecId(TAdapterLink& link) {
  uint8_t id[3] = {0, 0, 0};
  link.BusStart();
  link.BusWrite(kReadId);
  link.ReadBlockInto(3, id);
  link.BusStop();
  const uint32_t value = uint32_t{id[0]} << 16 | uint32_t{id[1]} << 8 | id[2];
  if (value == 0 || value == 0xFFFFFF) return std::nullopt;
  return value;
}

std::optional<TSfdpInfo> ReadSfdp(TAdapterLink& link) {
  uint8_t header[16] = {};
  ReadSfdpBytes(link, 0, header, sizeof header);
  if (header[0] != 'S' || header[1] != 'F' || header[2] != 'D' || header[3] != 'P') return std::nullopt;
  // The first parameter header is the basic flash parameter table's (ID
  // 0xFF00, major revision 1).
  const uint8_t* basic = header + 8;
  if (basic[0] != 0x00 || basic[7] != 0xFF || basic[2] != 1) return std::nullopt;
  const unsigned dwords = std::min<unsigned>(basic[3], 16);
  if (dwords < 9) return std::nullopt;
  const uint32_t pointer = uint32_t{basic[4]} | uint32_t{basic[5]} << 8 | uint32_t{basic[6]} << 16;
  uint8_t table[64] = {};
  ReadSfdpBytes(link, pointer, table, static_cast<uint8_t>(4 * dwords));

  TSfdpInfo info;
  const uint32_t dw1 = Dword(table);
  const uint32_t addressMode = (dw1 >> 17) & 3;
  if (addressMode == 3) return std::nullopt;
  info.FourByteAddress = addressMode != 0;
  info.FourByteOnly = addressMode == 2;
  // Density: bits - 1, or 2^N bits with bit 31 set.
  const uint32_t dw2 = Dword(table + 4);
  uint64_t bits = 0;
  if (dw2 & 0x80000000u) {
    const uint32_t n = dw2 & 0x7FFFFFFFu;
    if (n < 15 || n > 34) return std::nullopt;
    bits = uint64_t{1} << n;
  } else {
    bits = uint64_t{dw2} + 1;
  }
  if (bits % 8 != 0 || bits / 8 < 4 * kKiB || bits / 8 > 0x40000000u) return std::nullopt;
  info.Size = static_cast<uint32_t>(bits / 8);
  for (int i = 0; i < 4; ++i) {
    const uint8_t* type = table + 28 + 2 * i;  // DWORD 8 and 9: size exponent, opcode
    if (type[0] == 0) continue;
    if (type[0] < 8 || type[0] > 30 || (uint32_t{1} << type[0]) > info.Size) return std::nullopt;
    info.Erase.push_back({uint32_t{1} << type[0], type[1]});
  }
  if (info.Erase.empty()) return std::nullopt;
  std::sort(info.Erase.begin(), info.Erase.end(),
            [](const TSfdpErase& a, const TSfdpErase& b) { return a.Size < b.Size; });
  if (dwords >= 11) {
    const unsigned pageBits = (Dword(table + 40) >> 4) & 0xF;
    if (pageBits != 0) info.PageSize = 1 << pageBits;
  }
  return info;
}

TPartRow GenericFlashRow(uint32_t jedecId, const TSfdpInfo& sfdp) {
  TPartRow row;
  row.Family = EPartFamily::SpiFlash;
  row.Name = "SFDP " + HexDigits(jedecId, 6);
  row.Size = static_cast<int32_t>(sfdp.Size);
  row.PageSize = sfdp.PageSize;
  row.JedecId = jedecId;
  const bool large = sfdp.Size > (16u << 20);
  row.AddressBytes = static_cast<uint8_t>(large || sfdp.FourByteOnly ? 4 : 3);
  row.FourByte = large && !sfdp.FourByteOnly ? EFourByteMode::EnterExitOnly : EFourByteMode::None;
  for (const TSfdpErase& e : sfdp.Erase) {
    // Two seconds for every 64 KiB, two at least.
    const uint32_t maxMs = 2000 * std::max<uint32_t>(1, e.Size / (64 * kKiB));
    row.Erase.push_back({e.Size, sfdp.Size / e.Size, e.Opcode, 0, maxMs});
  }
  row.ChipEraseOpcode = 0xC7;
  row.ChipEraseMaxMs = 400000;
  row.Status = {EStatusWrite::OneByte, 1, 0x001C, 0, 0, 0};
  row.WriteMaxUs = 5000;
  return row;
}

std::vector<uint8_t> ScanI2CBus(TAdapterLink& link) {
  std::vector<uint8_t> found;
  for (uint8_t address = 0x50; address <= 0x57; ++address) {
    link.BusStart();
    const bool acknowledged = link.BusWriteAcknowledged(static_cast<uint8_t>(address << 1));
    link.BusStop();
    if (acknowledged) found.push_back(address);
  }
  return found;
}

TFlashStatus ReadFlashStatus(TAdapterLink& link, const TPartRow& row) {
  TFlashStatus status;
  status.Sr1 = ReadRegister(link, kReadSr1);
  if (row.Status.Registers >= 2)
    status.Sr2 = ReadRegister(link, SecondIsConfiguration(row) ? kReadSr3 : kReadSr2);
  if (row.Status.Registers >= 3) status.Sr3 = ReadRegister(link, kReadSr3);
  return status;
}

std::string DescribeFlashStatus(const TPartRow& row, const TFlashStatus& status) {
  std::string text = "SR1 " + HexDigits(status.Sr1, 2);
  if (row.Status.Registers >= 2)
    text += (SecondIsConfiguration(row) ? ", CR " : ", SR2 ") + HexDigits(status.Sr2, 2);
  if (row.Status.Registers >= 3) text += ", SR3 " + HexDigits(status.Sr3, 2);
  return text;
}

TProtectedRange ProtectedRange(const TPartRow& row, const TFlashStatus& status) {
  const TMasks m = MasksOf(row.Status);
  const unsigned word = status.Word();
  const int bits = BitCount(m.Bp);
  const uint64_t size = static_cast<uint32_t>(row.Size);
  if (bits == 0 || size == 0) return {};
  const unsigned bp = Packed(word, m.Bp);
  const bool bottom = (word & m.Tb) != 0;
  const bool sectors = (word & m.Sec) != 0;
  const bool complement = (word & m.Cmp) != 0;
  uint64_t length = 0;
  if (bp == (1u << bits) - 1) {
    length = size;
  } else if (bp != 0 && sectors) {
    // 4, 8, 16 KiB, then 32 KiB.
    length = std::min<uint64_t>(size, uint64_t{4 * kKiB} << std::min(bp - 1, 3u));
  } else if (bp != 0) {
    // The smallest protected area is one 64 KiB block, and 1/64 of the
    // array on parts of three BP bits where that is more; each step
    // doubles it.
    const uint64_t unit = bits <= 3 ? std::max<uint64_t>(64 * kKiB, size / 64) : 64 * kKiB;
    length = std::min<uint64_t>(size, unit << std::min(bp - 1, 31u));
  }
  uint64_t first = bottom ? 0 : size - length;
  if (complement) {
    // The rest of the array instead.
    first = bottom ? length : 0;
    length = size - length;
  }
  if (length == 0) return {};
  return {static_cast<uint32_t>(first), static_cast<uint32_t>(length)};
}

void RefuseProtected(const TPartRow& row, const TFlashStatus& status, uint32_t first,
                     uint32_t count) {
  const TProtectedRange range = ProtectedRange(row, status);
  if (!range.Touches(first, count)) return;
  const auto size = static_cast<uint32_t>(row.Size);
  const bool secondRegister = (row.Status.Bp | row.Status.Tb | row.Status.Sec | row.Status.Cmp) > 0xFF;
  throw EWriteProtected("device write-protected by its status registers: addresses " +
                        Address(range.First, size) + " to " +
                        Address(range.First + range.Count - 1, size) + " are protected (" +
                        DescribeFlashStatus(row, status) + ") and the data changes them; " +
                        (secondRegister ? "use --unprotect to clear it"
                                        : "write the status register 00 to clear it"));
}

void RefuseLockedSectors(TAdapterLink& link, const TPartRow& row, const TFlashStatus& status,
                         const std::vector<std::pair<uint32_t, uint32_t>>& ranges) {
  if ((status.Sr1 & row.Status.Locks) == 0) return;
  constexpr uint32_t kSector = 64 * kKiB;
  std::vector<bool> asked(static_cast<std::size_t>(row.Size) / kSector, false);
  for (const auto& [first, count] : ranges) {
    for (uint32_t sector = first / kSector; sector <= (first + count - 1) / kSector; ++sector) {
      if (sector >= asked.size() || asked[sector]) continue;
      asked[sector] = true;
      link.BusStart();
      link.BusWrite(kReadSectorLock);
      for (int shift = 16; shift >= 0; shift -= 8) link.BusWrite(static_cast<uint8_t>(sector * kSector >> shift));
      const uint8_t lock = link.BusRead();
      link.BusStop();
      if (lock == 0) continue;
      const auto size = static_cast<uint32_t>(row.Size);
      throw EWriteProtected("device write-protected: the sector at " + Address(sector * kSector, size) +
                            " to " + Address(sector * kSector + kSector - 1, size) +
                            " is locked (" + DescribeFlashStatus(row, status) +
                            ") and the data changes it; use --unprotect to unlock every sector");
    }
  }
}

void WaitFlashReady(TAdapterLink& link, uint32_t maxMs, uint8_t writeTime) {
  // One 'Z' that gives up has waited 100 ms + 4 x D on the adapter's clock.
  const uint64_t perWait = 100 + 4 * uint64_t{writeTime};
  const uint64_t limit = 2 * uint64_t{maxMs} + perWait;
  uint64_t waited = 0;
  for (;;) {
    if ((ReadRegister(link, kReadSr1) & kWip) == 0) return;
    if (waited >= limit) link.FailReply(adapter::kErrBusyTimeout);
    waited += link.DeviceWaitAcknowledged() ? 1 : perWait;
  }
}

void UnprotectFlash(TAdapterLink& link, const TPartRow& row, uint8_t writeTime) {
  const TStatusLayout& layout = row.Status;
  if (layout.Write == EStatusWrite::None) throw ENotSupported();
  const unsigned mask = layout.Bp | layout.Tb | layout.Sec | layout.Cmp | layout.Locks;
  // Sector locks go all at once with SR1 bits 2-5 and SPRL at 0.
  const auto mask1 = static_cast<uint8_t>((mask & 0xFF) | (layout.Locks != 0 ? 0xBC : 0));
  const auto mask2 = static_cast<uint8_t>(mask >> 8);
  WaitFlashReady(link, kStatusWriteMaxMs, writeTime);
  TFlashStatus status = ReadFlashStatus(link, row);
  // WIP and WEL read back as they are; they are never written.
  const auto sr1 = static_cast<uint8_t>(status.Sr1 & ~mask1 & ~0x03);
  const auto sr2 = static_cast<uint8_t>(status.Sr2 & ~mask2);
  const auto writeBoth = [&] {
    Command(link, kWriteEnable);
    link.BusStart();
    link.BusWrite(kWriteSr);
    link.BusWrite(sr1);
    link.BusWrite(sr2);
    link.BusStop();  // the adapter waits for the write cycle after 0x01
  };
  const auto writeSr1 = [&] {
    Command(link, kWriteEnable);
    link.BusStart();
    link.BusWrite(kWriteSr);
    link.BusWrite(sr1);
    link.BusStop();
  };
  const bool sr1Set = (status.Sr1 & mask1) != 0;
  const bool sr2Set = (status.Sr2 & mask2) != 0;
  switch (layout.Write) {
    case EStatusWrite::OneByte:
      if (sr1Set) writeSr1();
      // A write that cleared SPRL (WP high) unlocks nothing yet: once more.
      if (layout.Locks != 0 && (status.Sr1 & kSrp0) != 0) writeSr1();
      break;
    case EStatusWrite::TwoBytes:
      if (sr1Set || sr2Set) writeBoth();
      break;
    case EStatusWrite::SeparateSr2:
      if (sr1Set) writeSr1();
      if (!sr2Set) break;
      Command(link, kWriteEnable);
      link.BusStart();
      link.BusWrite(kWriteSr2);
      link.BusWrite(sr2);
      link.BusStop();  // no wait by the adapter after 0x31
      WaitFlashReady(link, kStatusWriteMaxMs, writeTime);
      // Parts of this layout that lack 0x31 take SR2 as the second byte of 0x01.
      if ((ReadFlashStatus(link, row).Sr2 & mask2) != 0) writeBoth();
      break;
    case EStatusWrite::None:
      break;
  }
  status = ReadFlashStatus(link, row);
  const unsigned left = status.Word() & mask;
  if (left == 0) return;
  std::string bits;
  if ((left & 0xFF) != 0) bits = "SR1 bits " + HexDigits(left & 0xFF, 2);
  if ((left >> 8) != 0)
    bits += (bits.empty() ? "" : ", ") + std::string(SecondIsConfiguration(row) ? "CR" : "SR2") +
            " bits " + HexDigits(left >> 8, 2);
  std::string message = "protection bits stay set after they were cleared: " + bits + " (" +
                        DescribeFlashStatus(row, status) + ")";
  if (SecondIsConfiguration(row) && (left & ~static_cast<unsigned>(layout.Tb)) == 0)
    message += "; TB in the configuration register is one-time programmable and cannot be cleared";
  else if ((status.Sr1 & kSrp0) != 0)
    message += "; SRP is set, so a WP pin held low locks the status register: take WP high";
  else
    message += "; a one-time programmable bit or a status register lock keeps them";
  const TProtectedRange range = ProtectedRange(row, status);
  if (range.Count == 0) message += " (nothing is protected with these values)";
  throw EWriteProtected(message);
}

void LeaveFourByteMode(TAdapterLink& link) {
  try {
    link.Abandon();
    Command(link, kExitFourByte);
  } catch (const EZylError&) {
    // The adapter does not answer; the failure that brought us here says so.
  }
}

}  // namespace zylisp
