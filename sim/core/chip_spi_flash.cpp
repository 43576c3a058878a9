#include "zylsim/chip_spi_flash.h"

#include <algorithm>

namespace zylsim {

namespace {

constexpr uint32_t kKib = 1024;
constexpr unsigned kSfdpTable = 0x30;  // where the basic parameter table starts
constexpr unsigned kSfdpDwords = 16;

int BitCount(unsigned v) {
  int n = 0;
  for (; v; v &= v - 1) ++n;
  return n;
}

// The bits of value under mask, packed low (BP0 first).
unsigned Extract(unsigned value, unsigned mask) {
  unsigned out = 0;
  int at = 0;
  for (unsigned bit = 1; bit <= mask && bit < 0x100; bit <<= 1) {
    if (mask & bit) out |= ((value & bit) ? 1u : 0u) << at++;
  }
  return out;
}

// SFDP erase/program time fields: a 5-bit count (stored minus one) in the
// smallest of the units that holds the time.
uint32_t TimeField(uint64_t us, const uint64_t (&unitsUs)[4]) {
  for (uint32_t u = 0; u < 4; ++u) {
    const uint64_t count = (us + unitsUs[u] - 1) / unitsUs[u];
    if (count <= 32 || u == 3) {
      return static_cast<uint32_t>(std::min<uint64_t>(std::max<uint64_t>(count, 1), 32) - 1) | u << 5;
    }
  }
  return 0;
}

}  // namespace

SpiFlash::SpiFlash(const SpiFlashPart& part)
    : SpiChip(part.size),
      part_(part),
      jedecId_(part.jedecId),
      latch_(part.pageSize),
      latched_(part.pageSize) {
  if (part_.sfdp) BuildSfdp();
}

void SpiFlash::AttachStatistics(Statistics* stats) {
  stats_ = stats ? stats : &own_;
  stats_->flashFourByteMode = fourByteMode_;
}

void SpiFlash::PowerUp() {
  selected_ = false;
  op_ = Op::None;
  wel_ = false;
  if (part_.registers & kFlashSectorLocks) locks_.assign(Size() / (64 * kKib), true);
  // ADP (SR3 bit 1) picks the address mode a 4-byte part wakes up in.
  SetFourByteMode(part_.fourByte && (part_.registers & kFlashSr3) && (reg_[2] & 0x02));
}

void SpiFlash::SetFourByteMode(bool on) {
  fourByteMode_ = on;
  stats_->flashFourByteMode = on;
}

uint8_t SpiFlash::StatusRegister(int n) const {
  if (n == 1) {
    uint8_t v = static_cast<uint8_t>(reg_[0] | (Busy() ? 1 : 0) | (wel_ ? 2 : 0));
    const auto locked = std::count(locks_.begin(), locks_.end(), true);
    if (locked != 0) v = static_cast<uint8_t>(v | (static_cast<std::size_t>(locked) == locks_.size() ? 0x0C : 0x04));
    return v;
  }
  if (n == 2) return reg_[1];
  uint8_t v = reg_[2];
  if (part_.fourByte && fourByteMode_) v |= (part_.registers & kFlashCr) ? 0x20 : 0x01;
  return v;
}

bool SpiFlash::Protected(uint32_t address, uint32_t length) const {
  for (uint64_t a = address; a < uint64_t{address} + length && !locks_.empty(); a += 64 * kKib) {
    if (locks_[static_cast<std::size_t>(a / (64 * kKib)) % locks_.size()]) return true;
  }
  const unsigned bp = Extract(reg_[0], part_.bpMask);
  const int bpBits = BitCount(part_.bpMask);
  const bool tb = (part_.registers & kFlashCr) ? (reg_[2] & 0x08) != 0 : (reg_[0] & part_.tbMask) != 0;
  const bool sec = (reg_[0] & part_.secMask) != 0;
  const bool cmp = (part_.registers & kFlashSr2) && (reg_[1] & 0x40);
  uint64_t len = 0;
  if (bp != 0) {
    if (sec && bp != (1u << bpBits) - 1) {
      len = uint64_t{4 * kKib} << std::min(bp - 1, 3u);
    } else {
      // The smallest protected range: 1/64 (three BP bits) or 1/512 (four)
      // of the array, never below one 64 KiB block; each step doubles it.
      const uint64_t unit = std::max<uint64_t>(64 * kKib, Size() >> (bpBits == 3 ? 6 : 9));
      len = std::min<uint64_t>(Size(), unit << (bp - 1));
    }
  }
  const uint64_t lo = tb ? 0 : Size() - len, hi = lo + len;
  const uint64_t a = address, b = uint64_t{address} + length;
  if (!cmp) return a < hi && lo < b;
  return !(a >= lo && b <= hi);
}

void SpiFlash::Select() {
  selected_ = true;
  op_ = Op::None;
  byteCount_ = 0;
}

void SpiFlash::Deselect() {
  if (!selected_) return;
  selected_ = false;
  Execute();
  op_ = Op::None;
}

void SpiFlash::Decode(uint8_t opcode) {
  const bool sr2 = part_.registers & kFlashSr2;
  const bool reg3 = part_.registers & (kFlashSr3 | kFlashCr);
  const bool four = part_.fourByte;
  const unsigned modeBytes = fourByteMode_ ? 4 : 3;
  opcode_ = opcode;
  addressLen_ = 0;
  dummyLen_ = 0;
  address_ = 0;
  anyLatched_ = false;
  // While a cycle runs only the status registers answer.
  const bool statusRead = opcode == 0x05 || (opcode == 0x35 && sr2) || (opcode == 0x15 && reg3);
  if (Busy() && !statusRead) {
    op_ = Op::Ignore;
    return;
  }
  auto addressed = [&](Op op, unsigned bytes, unsigned dummy) {
    op_ = op;
    addressLen_ = bytes;
    dummyLen_ = dummy;
  };
  switch (opcode) {
    case 0x9F: op_ = Op::JedecId; break;
    case 0x5A: if (part_.sfdp) addressed(Op::Sfdp, 3, 1); else op_ = Op::Ignore; break;
    case 0x05: op_ = Op::ReadReg; regIndex_ = 0; break;
    case 0x01: op_ = Op::WriteReg; regIndex_ = 0; break;
    case 0x06: case 0x04: case 0xC7: case 0x60: op_ = Op::Simple; break;
    case 0x03: addressed(Op::Read, modeBytes, 0); break;
    case 0x0B: addressed(Op::Read, modeBytes, 1); break;
    case 0x02: addressed(Op::Program, modeBytes, 0); break;
    case 0x20: case 0xD8: addressed(Op::Erase, modeBytes, 0); break;
    default: op_ = Op::Ignore; break;
  }
  if (op_ != Op::Ignore) return;
  if (opcode == 0x35 && sr2) {
    op_ = Op::ReadReg;
    regIndex_ = 1;
  } else if (opcode == 0x15 && reg3) {
    op_ = Op::ReadReg;
    regIndex_ = 2;
  } else if (opcode == 0x31 && (part_.registers & kFlashWrite31)) {
    op_ = Op::WriteReg;
    regIndex_ = 1;
  } else if (opcode == 0x11 && (part_.registers & kFlashSr3)) {
    op_ = Op::WriteReg;
    regIndex_ = 2;
  } else if (opcode == 0x52 && part_.erase52Kib) {
    addressed(Op::Erase, modeBytes, 0);
  } else if (four && (opcode == 0xB7 || opcode == 0xE9)) {
    op_ = Op::Simple;
  } else if (four && (opcode == 0x13 || opcode == 0x0C)) {
    addressed(Op::Read, 4, opcode == 0x0C ? 1 : 0);
  } else if (four && opcode == 0x12) {
    addressed(Op::Program, 4, 0);
  } else if (four && (opcode == 0x21 || opcode == 0xDC)) {
    addressed(Op::Erase, 4, 0);
  } else if ((part_.registers & kFlashSectorLocks) && (opcode == 0x36 || opcode == 0x39)) {
    addressed(Op::Lock, modeBytes, 0);
  } else if ((part_.registers & kFlashSectorLocks) && opcode == 0x3C) {
    addressed(Op::ReadLock, modeBytes, 0);
  }
}

uint8_t SpiFlash::Transfer(uint8_t out) {
  if (!selected_) return 0xFF;
  if (op_ == Op::None) {
    Decode(out);
    return 0xFF;
  }
  const unsigned index = byteCount_++;
  switch (op_) {
    case Op::JedecId:
      return static_cast<uint8_t>(index < 3 ? jedecId_ >> (16 - 8 * index) : 0xFFu);
    case Op::ReadReg:
      // Clocking on reads the same register again.
      return StatusRegister(regIndex_ + 1);
    case Op::WriteReg:
      if (index < regValue_.size()) regValue_[index] = out;
      return 0xFF;
    case Op::Read:
    case Op::Sfdp:
    case Op::Program:
    case Op::Erase:
    case Op::Lock:
    case Op::ReadLock:
      break;
    default:
      return 0xFF;
  }
  if (index < addressLen_) {
    address_ = address_ << 8 | out;
    return 0xFF;
  }
  if (index < addressLen_ + dummyLen_) return 0xFF;
  if (index == addressLen_ + dummyLen_) {
    address_ %= op_ == Op::Sfdp ? (1u << 24) : Size();
    pageOffset_ = address_ % part_.pageSize;
    std::fill(latched_.begin(), latched_.end(), false);
  }
  switch (op_) {
    case Op::Read: {
      const uint8_t value = LoadByte(address_);
      address_ = (address_ + 1) % Size();
      return value;
    }
    case Op::Sfdp: {
      const uint8_t value = address_ < sfdp_.size() ? sfdp_[address_] : 0xFF;
      address_ = (address_ + 1) & 0xFFFFFF;
      return value;
    }
    case Op::ReadLock:
      return locks_[address_ / (64 * kKib)] ? 0xFF : 0x00;
    case Op::Program:
      // The page buffer wraps: later bytes overwrite earlier ones.
      latch_[pageOffset_] = out;
      latched_[pageOffset_] = true;
      anyLatched_ = true;
      pageOffset_ = (pageOffset_ + 1) % part_.pageSize;
      return 0xFF;
    default:
      return 0xFF;
  }
}

void SpiFlash::Execute() {
  // Commands that change the part need the latch and the exact length.
  switch (op_) {
    case Op::Simple:
      if (byteCount_ != 0) return;
      switch (opcode_) {
        case 0x06: wel_ = true; break;
        case 0x04: wel_ = false; break;
        case 0xB7: SetFourByteMode(true); break;
        case 0xE9: SetFourByteMode(false); break;
        default:  // chip erase: refused while any block is protected
          if (!wel_) return;
          wel_ = false;
          if (Protected(0, Size())) return;
          for (uint32_t a = 0; a < Size(); ++a) StoreByte(a, 0xFF);
          ++stats_->flashChipErases;
          BeginCycle(uint64_t{part_.chipEraseMs} * 1000);
          break;
      }
      return;
    case Op::WriteReg: {
      const unsigned most = regIndex_ == 0 && (part_.registers & kFlashWrsr2) ? 2 : 1;
      if (!wel_ || byteCount_ == 0 || byteCount_ > most) return;
      wel_ = false;
      const bool cr = part_.registers & kFlashCr;
      for (unsigned i = 0; i < byteCount_; ++i) {
        const int r = i == 0 ? regIndex_ : cr ? 2 : 1;
        uint8_t mask = 0;
        if (r == 0 && !locks_.empty()) {
          mask = 0x80;  // SPRL; bits 2-5 set or clear every lock
          const unsigned all = regValue_[i] & 0x3C;
          if ((reg_[0] & 0x80) == 0 && (all == 0 || all == 0x3C))
            std::fill(locks_.begin(), locks_.end(), all != 0);
        } else if (r == 0) {
          mask = static_cast<uint8_t>(0x80 | part_.bpMask | part_.tbMask | part_.secMask |
                                      ((part_.registers & kFlashQe1) ? 0x40 : 0));
        } else if (r == 1) {
          mask = 0x43;  // SRP1/SRL, QE, CMP
        } else if (cr) {
          mask = 0xC7;  // drive strength, dummy cycles; TB is one-time below
          reg_[2] = static_cast<uint8_t>(reg_[2] | (regValue_[i] & 0x08));
        } else {
          mask = static_cast<uint8_t>(part_.fourByte ? 0x66 : 0x64);  // ADP, WPS, DRV
        }
        reg_[r] = static_cast<uint8_t>((reg_[r] & ~mask) | (regValue_[i] & mask));
      }
      BeginCycle(part_.statusWriteUs);
      return;
    }
    case Op::Program: {
      if (!wel_ || !anyLatched_) return;
      wel_ = false;
      const uint32_t base = address_ - address_ % part_.pageSize;
      if (Protected(base, part_.pageSize)) return;
      for (uint32_t i = 0; i < part_.pageSize; ++i) {
        if (latched_[i]) StoreByte(base + i, static_cast<uint8_t>(LoadByte(base + i) & latch_[i]));
      }
      ++stats_->flashPagePrograms;
      BeginCycle(part_.programUs);
      return;
    }
    case Op::Lock:
      if (!wel_ || byteCount_ != addressLen_) return;
      wel_ = false;
      if ((reg_[0] & 0x80) == 0) locks_[(address_ % Size()) / (64 * kKib)] = opcode_ == 0x36;
      return;
    case Op::Erase: {
      if (!wel_ || byteCount_ != addressLen_) return;
      wel_ = false;
      address_ %= Size();
      if (opcode_ == 0x20 || opcode_ == 0x21) {
        Erase(4 * kKib, part_.erase4kUs, &Statistics::flashErases4k);
      } else if (opcode_ == 0x52 && part_.erase52Kib == 32) {
        Erase(32 * kKib, part_.erase32kUs, &Statistics::flashErases32k);
      } else {
        Erase(64 * kKib, part_.erase64kUs, &Statistics::flashErases64k);
      }
      return;
    }
    default:
      return;
  }
}

void SpiFlash::Erase(uint32_t length, uint64_t us, uint64_t Statistics::*counter) {
  const uint32_t base = address_ - address_ % length;
  if (Protected(base, length)) return;
  for (uint32_t a = base; a < base + length; ++a) StoreByte(a, 0xFF);
  ++(stats_->*counter);
  BeginCycle(us);
}

void SpiFlash::BuildSfdp() {
  sfdp_.assign(kSfdpTable + 4 * kSfdpDwords, 0xFF);
  const uint8_t header[] = {'S', 'F', 'D', 'P', 0x06, 0x01, 0x00, 0xFF,
                            // basic flash parameter table, JESD216B, 16 DWORDs
                            0x00, 0x06, 0x01, kSfdpDwords, kSfdpTable, 0x00, 0x00, 0xFF};
  std::copy(std::begin(header), std::end(header), sfdp_.begin());

  struct EraseType {
    uint8_t sizeLog2, opcode;
    uint64_t us;
  };
  std::vector<EraseType> types = {{12, 0x20, part_.erase4kUs}};
  if (part_.erase52Kib == 32) types.push_back({15, 0x52, part_.erase32kUs});
  types.push_back({16, 0xD8, part_.erase64kUs});
  if (part_.erase52Kib == 64) types.push_back({16, 0x52, part_.erase64kUs});
  types.resize(4, {0, 0, 0});

  uint32_t dw[kSfdpDwords] = {};
  // 4 KiB erase everywhere, write granularity 64 bytes or more, address
  // bytes 3 only or 3 and 4; no multi-I/O reads described.
  dw[0] = 0xFF800000u | (part_.fourByte ? 1u << 17 : 0u) | 0x20u << 8 | 0x04u | 0x01u;
  dw[1] = part_.size * 8u - 1u;
  dw[4] = 0xFFFFFFEEu;
  dw[5] = 0x0000FFFFu;
  dw[6] = 0x0000FFFFu;
  dw[7] = uint32_t{types[0].sizeLog2} | uint32_t{types[0].opcode} << 8 |
          uint32_t{types[1].sizeLog2} << 16 | uint32_t{types[1].opcode} << 24;
  dw[8] = uint32_t{types[2].sizeLog2} | uint32_t{types[2].opcode} << 8 |
          uint32_t{types[3].sizeLog2} << 16 | uint32_t{types[3].opcode} << 24;
  // Typical erase times; the maximum is given as 4 x typical.
  static constexpr uint64_t kEraseUnits[4] = {1000, 16000, 128000, 1000000};
  dw[9] = 1;
  for (int i = 0; i < 4; ++i) {
    if (types[i].sizeLog2) dw[9] |= TimeField(types[i].us, kEraseUnits) << (4 + 7 * i);
  }
  static constexpr uint64_t kProgramUnits[4] = {8, 64, 64, 64};
  static constexpr uint64_t kChipUnits[4] = {16000, 256000, 4000000, 64000000};
  uint32_t pageLog2 = 0;
  while ((1u << pageLog2) < part_.pageSize) ++pageLog2;
  dw[10] = 0x80000000u | 1u | pageLog2 << 4 | (TimeField(part_.programUs, kProgramUnits) & 0x3F) << 8 |
           TimeField(uint64_t{part_.chipEraseMs} * 1000, kChipUnits) << 24;
  dw[11] = 0x80000000u;  // no suspend/resume described
  dw[13] = 0x04u;        // busy polled through WIP of 0x05
  // Quad enable: SR1 bit 6, SR2 bit 1 written with 0x31, or with 0x01 + 2 bytes.
  const uint8_t r = part_.registers;
  const uint32_t qe = (r & kFlashQe1) ? 2 : (r & kFlashSr2) && (r & kFlashWrite31) ? 4
                      : (r & kFlashSr2) && (r & kFlashWrsr2)                        ? 5 : 0;
  dw[14] = qe << 20;
  dw[15] = 0x81u | (part_.fourByte ? (1u << 24 | 1u << 14) : 0u);  // B7 to enter, E9 to leave
  for (unsigned i = 0; i < kSfdpDwords; ++i) {
    for (unsigned b = 0; b < 4; ++b) sfdp_[kSfdpTable + 4 * i + b] = static_cast<uint8_t>(dw[i] >> (8 * b));
  }
}

}  // namespace zylsim
