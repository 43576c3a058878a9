#include "zylsim/firmware.h"

#include <algorithm>

#include "adapter_commands.h"

namespace zylsim {

namespace {

using namespace adapter;

constexpr uint64_t kMicro = 1000;
constexpr uint64_t kMilli = 1000 * kMicro;

// DataFlash opcodes the firmware uses.
constexpr uint8_t kFlashBufferWrite = 0x84;
constexpr uint8_t kFlashProgramWithErase = 0x83;
constexpr uint8_t kFlashCompare = 0x60;
constexpr uint8_t kFlashContinuousRead = 0xE8;
constexpr uint8_t kFlashBlockErase = 0x50;
constexpr uint8_t kFlashStatusRead = 0xD7;
constexpr uint8_t kFlashReady = 0x80;

// 25-series opcodes.
constexpr uint8_t kSpiReadStatus = 0x05;
constexpr uint8_t kSpiWip = 0x01;

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }

}  // namespace

Firmware::Firmware(Chip& chip, FirmwareOptions options, Statistics& stats)
    : chip_(chip),
      i2c_(dynamic_cast<I2CChip*>(&chip)),
      spi_(dynamic_cast<SpiChip*>(&chip)),
      flash_(dynamic_cast<DataFlashChip*>(&chip)),
      mw_(dynamic_cast<MicrowireChip*>(&chip)),
      options_(std::move(options)),
      stats_(stats) {}

void Firmware::Reset() {
  command_.clear();
  arrivals_.clear();
  output_.clear();
  replied_ = 0;
  bus_ = 0;
  inPass_ = false;
  writeTimeMs_ = 10;
  clock_ = 1;
  polarity_ = 0;
  transferBytes_ = 0;
  i2cControl_ = 0xA0;
  i2cWriting_ = false;
  spiOpcode_ = 0;
  // The adapter's pins come up idle: nothing selected on any bus.
  if (spi_) spi_->Deselect();
  if (mw_) mw_->Deselect();
}

void Firmware::QueueIdentity() { ReplyText(options_.identity); }

uint8_t Firmware::TakeOutput() {
  const uint8_t b = output_.front().byte;
  output_.pop_front();
  ++stats_.bytesToHost;
  return b;
}

uint64_t Firmware::TakeWorkMicros() {
  uint64_t us = workNs_ / kMicro;
  workNs_ -= us * kMicro;
  return us;
}

void Firmware::Receive(uint8_t byte) { Receive(byte, nowNs_); }

void Firmware::Receive(uint8_t byte, uint64_t arrivalNs) {
  ++stats_.bytesFromHost;
  command_.push_back(byte);
  arrivals_.push_back(arrivalNs);
  if (ArgumentsComplete()) Execute();
}

bool Firmware::ArgumentsComplete() const {
  const std::size_t args = command_.size() - 1;
  switch (command_[0]) {
    case kCmdSelectBus:
    case kCmdWriteTime:
    case kCmdClock:
    case kCmdResetPolarity:
    case kCmdFlashErase:
      return args == 2;
    case kCmdBusWrite:
    case kCmdReadBytes:
      return args == 1;
    case kCmdWriteBytes:
      if (args < 1) return false;
      // On Microwire the count is in bits and the command word always
      // travels as two bytes.
      return args == 1 + (bus_ == 2 ? 2u : command_[1]);
    case kCmdFlashWrite:
      if (args < 5) return false;
      return args == 5 + ((std::size_t{command_[4]} << 8) | command_[5]);
    case kCmdFlashRead:
      return args == 5;
    default:
      return true;  // no arguments, or unknown
  }
}

void Firmware::Execute() {
  const uint8_t c = command_[0];
  ++stats_.commands;
  log_.push_back(command_);
  if (log_.size() > kCommandLogLimit) log_.pop_front();

  // Commands that carry data start once their header is in and take each
  // data byte as it arrives; the others start with their last byte.
  std::size_t startsWith = command_.size() - 1;
  if (c == kCmdWriteBytes) startsWith = std::min<std::size_t>(1, startsWith);
  if (c == kCmdFlashWrite) startsWith = std::min<std::size_t>(5, startsWith);
  CatchUp(arrivals_[startsWith]);

  ++seen_[c];
  uint8_t acknowledge = kAcknowledge;
  for (const InjectedError& e : options_.errors) {
    if (e.command != c || e.occurrence != seen_[c]) continue;
    if (e.replacesAcknowledge) {
      acknowledge = e.code;
    } else {
      command_.clear();
      arrivals_.clear();
      ReplyError(e.code);
      return;
    }
  }

  uint8_t error = 0;
  switch (c) {
    case kCmdBeginPass:
      inPass_ = true;
      ++stats_.passes;
      break;
    case kCmdEndPass:
      inPass_ = false;
      break;
    case kCmdSelectBus:
    case kCmdWriteTime:
    case kCmdClock:
    case kCmdResetPolarity:
      error = RunHexSetting();
      break;
    case kCmdDeviceWait:
      error = RunDeviceWait();
      break;
    case kCmdBusStart:
      error = RunBusStart();
      break;
    case kCmdBusStop:
      error = RunBusStop();
      break;
    case kCmdBusWrite:
      error = RunBusWrite(command_[1]);
      break;
    case kCmdBusRead:
      error = RunBusRead(1);
      break;
    case kCmdWriteBytes:
      error = RunWriteBytes();
      break;
    case kCmdReadBytes:
      error = RunBusRead(command_[1]);
      break;
    case kCmdVersion:
      ReplyText(options_.version);
      break;
    case kCmdIdentity:
      ReplyText(options_.identity);
      break;
    case kCmdSync:
      break;
    case kCmdFlashWrite:
      error = RunFlashWrite();
      break;
    case kCmdFlashStatus:
      error = RunFlashStatus();
      break;
    case kCmdFlashRead:
      error = RunFlashRead();
      break;
    case kCmdFlashErase:
      error = RunFlashErase();
      break;
    default:
      error = kErrUnknownCommand;
      break;
  }
  command_.clear();
  arrivals_.clear();
  if (error != 0) {
    ReplyError(error);
  } else {
    Reply(acknowledge);
  }
}

uint8_t Firmware::RunHexSetting() {
  const int hi = HexValue(command_[1]);
  const int lo = HexValue(command_[2]);
  if (hi < 0 || lo < 0) return kErrBadNumber;
  const unsigned value = static_cast<unsigned>(hi * 16 + lo);
  switch (command_[0]) {
    case kCmdSelectBus:
      if (value > 3) return kErrBadNumber;
      bus_ = static_cast<int>(value);
      transferBytes_ = 0;
      break;
    case kCmdWriteTime:
      writeTimeMs_ = value;
      chip_.SetWriteCycleMs(value);
      break;
    case kCmdClock:
      clock_ = value;
      break;
    default:
      polarity_ = value;
      break;
  }
  return 0;
}

// ---- time ----------------------------------------------------------------

void Firmware::Idle(uint64_t nanoseconds) {
  nowNs_ += nanoseconds;
  chipNs_ += nanoseconds;
  const uint64_t us = chipNs_ / kMicro;
  if (us > 0) {
    chipNs_ -= us * kMicro;
    chip_.Advance(us);
  }
}

void Firmware::CatchUp(uint64_t t) {
  if (t > nowNs_) Idle(t - nowNs_);
}

void Firmware::Spend(uint64_t nanoseconds) {
  workNs_ += nanoseconds;
  nowNs_ += nanoseconds;
  chipNs_ += nanoseconds;
  const uint64_t us = chipNs_ / kMicro;
  if (us > 0) {
    chipNs_ -= us * kMicro;
    stats_.virtualMicros += us;
    chip_.Advance(us);
  }
}

void Firmware::SpendBits(unsigned bits) {
  stats_.busBitTimes += bits;
  Spend(uint64_t{bits} * 2500 * (clock_ + 1));
}

uint64_t Firmware::BusyBoundNs() const { return 100 * kMilli + 4 * kMilli * writeTimeMs_; }

template <typename Probe>
bool Firmware::WaitReady(Probe probe, uint64_t pauseNs) {
  const uint64_t start = nowNs_;
  if (options_.neverReady) {
    probe();
    Spend(BusyBoundNs());
    return false;
  }
  for (;;) {
    if (probe()) return true;
    if (nowNs_ - start >= BusyBoundNs()) return false;
    Spend(pauseNs);
  }
}

// ---- I2C -----------------------------------------------------------------

void Firmware::I2cStart() {
  if (i2c_ && bus_ == 0) i2c_->Start();
  SpendBits(1);
  transferBytes_ = 0;
  i2cWriting_ = false;
}

bool Firmware::I2cWrite(uint8_t value) {
  bool ack = false;
  if (i2c_ && bus_ == 0) ack = i2c_->WriteByte(value);
  SpendBits(9);
  if (transferBytes_ == 0) {
    i2cControl_ = value;
    i2cWriting_ = (value & 1) == 0;
  }
  ++transferBytes_;
  return ack;
}

uint8_t Firmware::I2cRead(bool ack) {
  uint8_t v = 0xFF;
  if (i2c_ && bus_ == 0) v = i2c_->ReadByte(ack);
  SpendBits(9);
  ++transferBytes_;
  return v;
}

// A stop after data written starts the chip's write cycle; the adapter
// waits for it before it answers.
bool Firmware::I2cStop() {
  if (i2c_ && bus_ == 0) i2c_->Stop();
  SpendBits(1);
  const bool wrote = i2cWriting_ && transferBytes_ >= 2;
  transferBytes_ = 0;
  i2cWriting_ = false;
  return wrote ? AckPoll() : true;
}

bool Firmware::AckPoll() {
  const uint8_t control = static_cast<uint8_t>(i2cControl_ & 0xFE);
  return WaitReady(
      [&] {
        bool ack = false;
        if (i2c_ && bus_ == 0) {
          i2c_->Start();
          ack = i2c_->WriteByte(control);
          i2c_->Stop();
        }
        SpendBits(11);
        return ack;
      },
      0);
}

// ---- SPI and DataFlash ---------------------------------------------------

void Firmware::SpiSelect() {
  if (spi_ && (bus_ == 1 || bus_ == 3)) spi_->Select();
  SpendBits(1);
  transferBytes_ = 0;
  spiOpcode_ = 0;
}

uint8_t Firmware::SpiTransfer(uint8_t value) {
  uint8_t v = 0xFF;
  if (spi_ && (bus_ == 1 || bus_ == 3)) v = spi_->Transfer(value);
  SpendBits(8);
  if (transferBytes_ == 0) spiOpcode_ = value;
  ++transferBytes_;
  return v;
}

bool Firmware::SpiDeselect() {
  if (spi_ && (bus_ == 1 || bus_ == 3)) spi_->Deselect();
  SpendBits(1);
  const bool write = bus_ == 1 && transferBytes_ > 0 &&
                     (spiOpcode_ == 0x01 || spiOpcode_ == 0x02 || spiOpcode_ == 0x0A);
  transferBytes_ = 0;
  spiOpcode_ = 0;
  return write ? SpiWaitWip() : true;
}

bool Firmware::SpiWaitWip() {
  return WaitReady(
      [&] {
        SpiSelect();
        SpiTransfer(kSpiReadStatus);
        const uint8_t status = SpiTransfer(0xFF);
        if (spi_ && (bus_ == 1 || bus_ == 3)) spi_->Deselect();
        SpendBits(1);
        transferBytes_ = 0;
        return (status & kSpiWip) == 0;
      },
      10 * kMicro);
}

uint8_t Firmware::FlashStatus() {
  SpiSelect();
  SpiTransfer(kFlashStatusRead);
  const uint8_t status = SpiTransfer(0xFF);
  if (spi_ && (bus_ == 1 || bus_ == 3)) spi_->Deselect();
  SpendBits(1);
  transferBytes_ = 0;
  return status;
}

bool Firmware::FlashWaitReady() {
  return WaitReady([&] { return (FlashStatus() & kFlashReady) != 0; }, 10 * kMicro);
}

void Firmware::FlashCommand(uint8_t opcode, uint32_t address) {
  SpiSelect();
  SpiTransfer(opcode);
  SpiTransfer(static_cast<uint8_t>(address >> 16));
  SpiTransfer(static_cast<uint8_t>(address >> 8));
  SpiTransfer(static_cast<uint8_t>(address));
}

// ---- Microwire -----------------------------------------------------------

void Firmware::MwSelect() {
  if (mw_ && bus_ == 2) mw_->Select();
  SpendBits(1);
}

bool Firmware::MwClock(bool di) {
  // Without a Microwire chip the DO line floats high.
  bool out = true;
  if (mw_ && bus_ == 2) out = mw_->Clock(di);
  SpendBits(1);
  return out;
}

void Firmware::MwDeselect() {
  if (mw_ && bus_ == 2) mw_->Deselect();
  SpendBits(1);
}

// ---- commands ------------------------------------------------------------

uint8_t Firmware::RunBusStart() {
  switch (bus_) {
    case 0:
      I2cStart();
      break;
    case 2:
      MwSelect();
      break;
    default:
      SpiSelect();
      break;
  }
  return 0;
}

uint8_t Firmware::RunBusStop() {
  bool ok = true;
  switch (bus_) {
    case 0:
      ok = I2cStop();
      break;
    case 2:
      MwDeselect();
      break;
    default:
      ok = SpiDeselect();
      break;
  }
  return ok ? 0 : kErrBusyTimeout;
}

uint8_t Firmware::RunBusWrite(uint8_t value) {
  switch (bus_) {
    case 0:
      I2cWrite(value);
      break;
    case 2:
      for (int bit = 7; bit >= 0; --bit) MwClock(((value >> bit) & 1) != 0);
      break;
    default:
      SpiTransfer(value);
      break;
  }
  return 0;
}

// Each byte goes out as soon as it is read: the line carries it while the
// next one is read from the bus.
uint8_t Firmware::RunBusRead(std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    uint8_t v = 0;
    switch (bus_) {
      case 0:
        v = I2cRead(i + 1 < count);
        break;
      case 2:
        for (int bit = 0; bit < 8; ++bit) v = static_cast<uint8_t>((v << 1) | (MwClock(false) ? 1 : 0));
        break;
      default:
        v = SpiTransfer(0xFF);
        break;
    }
    Reply(v);
  }
  return 0;
}

uint8_t Firmware::RunWriteBytes() {
  const unsigned count = command_[1];
  if (bus_ == 2) {
    if (count == 0 || count > 16) return kErrMicrowire;
    const unsigned word = (unsigned{command_[2]} << 8) | command_[3];
    bool out = true;
    for (unsigned i = 0; i < count; ++i) out = MwClock(((word >> (15 - i)) & 1) != 0);
    // READ (start bit, opcode 10): the chip answers the address with a 0.
    const bool read = count >= 3 && (word >> 13) == 0x6;
    return read && out ? kErrMicrowireSync : 0;
  }
  for (unsigned i = 0; i < count; ++i) {
    CatchUp(ArrivalOf(2 + i));
    RunBusWrite(command_[2 + i]);
  }
  if (bus_ == 0) return I2cStop() ? 0 : kErrBusyTimeout;
  return 0;
}

uint8_t Firmware::RunDeviceWait() {
  switch (bus_) {
    case 0:
      return AckPoll() ? 0 : kErrBusyTimeout;
    case 1:
      return SpiWaitWip() ? 0 : kErrBusyTimeout;
    case 2: {
      MwSelect();
      const bool ready = WaitReady(
          [&] {
            SpendBits(1);
            return mw_ && bus_ == 2 ? mw_->DataOut() : true;
          },
          10 * kMicro);
      MwDeselect();
      return ready ? 0 : kErrBusyTimeout;
    }
    default:
      return FlashWaitReady() ? 0 : kErrBusyTimeout;
  }
}

uint8_t Firmware::RunFlashWrite() {
  if (bus_ != 3) return kErrUnknownCommand;
  if (!flash_) return kErrBusyTimeout;
  const uint32_t address = (uint32_t{command_[1]} << 16) | (uint32_t{command_[2]} << 8) | command_[3];
  const std::size_t length = (std::size_t{command_[4]} << 8) | command_[5];
  if (length == 0) return 0;
  const uint32_t pageSize = static_cast<uint32_t>(flash_->PageSize());
  const uint32_t page = address / pageSize;
  const uint32_t offset = address % pageSize;
  const uint32_t pageAddress = page << flash_->PageAddressShift();

  if (!FlashWaitReady()) return kErrBusyTimeout;
  FlashCommand(kFlashBufferWrite, offset);
  for (std::size_t i = 0; i < length; ++i) {
    CatchUp(ArrivalOf(6 + i));
    SpiTransfer(command_[6 + i]);
  }
  SpiDeselect();
  FlashCommand(kFlashProgramWithErase, pageAddress);
  SpiDeselect();
  if (!FlashWaitReady()) return kErrBusyTimeout;
  FlashCommand(kFlashCompare, pageAddress);
  SpiDeselect();
  if (!FlashWaitReady()) return kErrBusyTimeout;
  return 0;
}

uint8_t Firmware::RunFlashRead() {
  if (bus_ != 3) return kErrUnknownCommand;
  const uint32_t address = (uint32_t{command_[1]} << 16) | (uint32_t{command_[2]} << 8) | command_[3];
  const std::size_t length = (std::size_t{command_[4]} << 8) | command_[5];
  if (!flash_) {
    for (std::size_t i = 0; i < length; ++i) Reply(0xFF);
    return 0;
  }
  if (!FlashWaitReady()) return kErrBusyTimeout;
  const uint32_t pageSize = static_cast<uint32_t>(flash_->PageSize());
  const uint32_t chipAddress = ((address / pageSize) << flash_->PageAddressShift()) | (address % pageSize);
  FlashCommand(kFlashContinuousRead, chipAddress);
  for (int i = 0; i < 4; ++i) SpiTransfer(0);  // don't-care bytes
  for (std::size_t i = 0; i < length; ++i) Reply(SpiTransfer(0xFF));
  SpiDeselect();
  return 0;
}

uint8_t Firmware::RunFlashErase() {
  if (bus_ != 3) return kErrUnknownCommand;
  if (!flash_) return kErrBusyTimeout;
  if (!FlashWaitReady()) return kErrBusyTimeout;
  SpiSelect();
  SpiTransfer(kFlashBlockErase);
  SpiTransfer(command_[1]);
  SpiTransfer(command_[2]);
  SpiTransfer(0);
  SpiDeselect();
  return FlashWaitReady() ? 0 : kErrBusyTimeout;
}

uint8_t Firmware::RunFlashStatus() {
  if (bus_ != 3) return kErrUnknownCommand;
  const uint8_t status = FlashStatus();
  if (inPass_) {
    Reply(status);
  } else {
    Reply(static_cast<uint8_t>(HexDigit(status >> 4)));
    Reply(static_cast<uint8_t>(HexDigit(status)));
  }
  return 0;
}

// ---- replies -------------------------------------------------------------

void Firmware::Reply(uint8_t byte) {
  if (options_.cutAfter != 0 && replied_ >= options_.cutAfter) return;
  ++replied_;
  output_.push_back({byte, nowNs_});
}

void Firmware::ReplyText(const std::string& text) {
  for (char c : text) Reply(static_cast<uint8_t>(c));
}

void Firmware::ReplyError(uint8_t code) {
  ++stats_.errorReplies;
  Reply(kErrorIntroducer);
  Reply(code);
}

}  // namespace zylsim
