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

uint8_t ReadyOrTimeout(bool ready) { return ready ? 0 : kErrBusyTimeout; }

}  // namespace

Firmware::Firmware(Chip& chip, FirmwareOptions options, Statistics& stats)
    : chip_(chip),
      i2c_(options.emptySocket ? nullptr : dynamic_cast<I2CEeprom*>(&chip)),
      spi_(options.emptySocket ? nullptr : dynamic_cast<SpiChip*>(&chip)),
      flash_(options.emptySocket ? nullptr : dynamic_cast<At45DataFlash*>(&chip)),
      mw_(options.emptySocket ? nullptr : dynamic_cast<MicrowireEeprom*>(&chip)),
      options_(std::move(options)),
      stats_(stats) {}

void Firmware::Reset(bool announce) {
  command_.clear();
  arrivals_.clear();
  output_.clear();
  replied_ = 0;
  s_ = State{};
  // The adapter's pins come up idle: nothing selected on any bus.
  if (spi_) spi_->Deselect();
  if (mw_) mw_->Deselect();
  if (announce) ReplyText(options_.identity);
}

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
      // On Microwire the count is in bits and the command word always
      // travels as two bytes.
      return args >= 1 && args == 1 + (s_.bus == 2 ? 2u : command_[1]);
    case kCmdFlashWrite:
      return args >= 5 && args == 5 + ((std::size_t{command_[4]} << 8) | command_[5]);
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
  const InjectedError* refusal = nullptr;
  for (const InjectedError& e : options_.errors) {
    if (e.command != c || e.occurrence != seen_[c]) continue;
    if (!e.replacesAcknowledge) {
      refusal = &e;
      break;
    }
    acknowledge = e.code;
  }
  const uint8_t error = refusal ? refusal->code : Run(c);
  command_.clear();
  arrivals_.clear();
  if (refusal || error != 0) {
    ReplyError(error);
  } else {
    Reply(acknowledge);
  }
}

uint8_t Firmware::Run(uint8_t c) {
  switch (c) {
    case kCmdBeginPass:
      s_.inPass = true;
      ++stats_.passes;
      return 0;
    case kCmdEndPass:
      s_.inPass = false;
      return 0;
    case kCmdSelectBus:
    case kCmdWriteTime:
    case kCmdClock:
    case kCmdResetPolarity:
      return RunHexSetting();
    case kCmdDeviceWait:
      return RunDeviceWait();
    case kCmdBusStart:
      s_.bus == 0 ? I2cStart() : s_.bus == 2 ? MwSelect() : SpiSelect();
      return 0;
    case kCmdBusStop:
      return ReadyOrTimeout(s_.bus == 0 ? I2cStop() : s_.bus == 2 ? MwDeselect() : SpiDeselect());
    case kCmdBusWrite:
      return BusWrite(command_[1]);
    case kCmdBusRead:
      return BusRead(1);
    case kCmdWriteBytes:
      return RunWriteBytes();
    case kCmdReadBytes:
      return BusRead(command_[1]);
    case kCmdVersion:
    case kCmdIdentity:
      ReplyText(c == kCmdVersion ? options_.version : options_.identity);
      return 0;
    case kCmdSync:
      return 0;
    case kCmdFlashWrite:
      return RunFlashWrite();
    case kCmdFlashStatus:
      return RunFlashStatus();
    case kCmdFlashRead:
      return RunFlashRead();
    case kCmdFlashErase:
      return RunFlashErase();
    default:
      return kErrUnknownCommand;
  }
}

uint8_t Firmware::RunHexSetting() {
  const int hi = HexValue(command_[1]);
  const int lo = HexValue(command_[2]);
  if (hi < 0 || lo < 0) return kErrBadNumber;
  const unsigned value = static_cast<unsigned>(hi * 16 + lo);
  const uint8_t c = command_[0];
  if (c == kCmdSelectBus) {
    if (value > 3) return kErrBadNumber;
    s_.bus = static_cast<int>(value);
    s_.transferBytes = 0;
  } else if (c == kCmdWriteTime) {
    s_.writeTimeMs = value;
    chip_.SetWriteCycleMs(value);
  } else {
    (c == kCmdClock ? s_.clock : s_.polarity) = value;
  }
  return 0;
}

// ---- time ----------------------------------------------------------------

uint64_t Firmware::Idle(uint64_t nanoseconds) {
  nowNs_ += nanoseconds;
  chipNs_ += nanoseconds;
  const uint64_t us = chipNs_ / kMicro;
  chipNs_ %= kMicro;
  chip_.Advance(us);
  return us;
}

void Firmware::CatchUp(uint64_t t) {
  if (t > nowNs_) Idle(t - nowNs_);
}

void Firmware::Spend(uint64_t nanoseconds) {
  workNs_ += nanoseconds;
  stats_.virtualMicros += Idle(nanoseconds);
}

void Firmware::SpendBits(unsigned bits) {
  stats_.busBitTimes += bits;
  Spend(uint64_t{bits} * 2500 * (s_.clock + 1));
}

template <typename Probe>
bool Firmware::WaitReady(Probe probe, uint64_t pauseNs) {
  const uint64_t start = nowNs_;
  const uint64_t bound = 100 * kMilli + 4 * kMilli * s_.writeTimeMs;
  if (options_.neverReady) {
    probe();
    Spend(bound);
    return false;
  }
  for (;;) {
    if (probe()) return true;
    if (nowNs_ - start >= bound) return false;
    Spend(pauseNs);
  }
}

// ---- I2C -----------------------------------------------------------------

void Firmware::I2cStart() {
  if (I2c()) I2c()->Start();
  SpendBits(1);
  s_.transferBytes = 0;
  s_.i2cWriting = false;
}

// A stop after data written starts the chip's write cycle; the adapter
// waits for it before it answers.
bool Firmware::I2cStop() {
  if (I2c()) I2c()->Stop();
  SpendBits(1);
  const bool wrote = s_.i2cWriting && s_.transferBytes >= 2;
  s_.transferBytes = 0;
  s_.i2cWriting = false;
  return wrote ? AckPoll() : true;
}

bool Firmware::AckPoll() {
  const uint8_t control = static_cast<uint8_t>(s_.i2cControl & 0xFE);
  return WaitReady(
      [&] {
        bool ack = false;
        if (I2c()) {
          I2c()->Start();
          ack = I2c()->WriteByte(control);
          I2c()->Stop();
        }
        SpendBits(11);
        return ack;
      },
      0);
}

// ---- SPI and DataFlash ---------------------------------------------------

void Firmware::SpiSelect() {
  if (Spi()) Spi()->Select();
  SpendBits(1);
  s_.transferBytes = 0;
  s_.spiOpcode = 0;
}

uint8_t Firmware::SpiTransfer(uint8_t value) {
  const uint8_t v = Spi() ? Spi()->Transfer(value) : 0xFF;
  SpendBits(8);
  if (s_.transferBytes == 0) s_.spiOpcode = value;
  ++s_.transferBytes;
  return v;
}

bool Firmware::SpiDeselect() {
  if (Spi()) Spi()->Deselect();
  SpendBits(1);
  const uint8_t op = s_.spiOpcode;
  const bool write = s_.bus == 1 && s_.transferBytes > 0 && (op == 0x01 || op == 0x02 || op == 0x0A);
  s_.transferBytes = 0;
  s_.spiOpcode = 0;
  return write ? SpiWaitWip() : true;
}

// A status read ends with a bare deselect: it starts nothing to wait for.
uint8_t Firmware::ReadStatus(uint8_t opcode) {
  SpiSelect();
  SpiTransfer(opcode);
  const uint8_t status = SpiTransfer(0xFF);
  if (Spi()) Spi()->Deselect();
  SpendBits(1);
  s_.transferBytes = 0;
  return status;
}

bool Firmware::SpiWaitWip() {
  return WaitReady([&] { return (ReadStatus(kSpiReadStatus) & kSpiWip) == 0; }, 10 * kMicro);
}

bool Firmware::FlashWaitReady() {
  return WaitReady([&] { return (ReadStatus(kFlashStatusRead) & kFlashReady) != 0; }, 10 * kMicro);
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
  if (Mw()) Mw()->Select();
  SpendBits(1);
}

bool Firmware::MwClock(bool di) {
  // Without a Microwire chip the DO line floats high.
  const bool out = Mw() ? Mw()->Clock(di) : true;
  SpendBits(1);
  return out;
}

bool Firmware::MwDeselect() {
  if (Mw()) Mw()->Deselect();
  SpendBits(1);
  return true;
}

// ---- commands ------------------------------------------------------------

// One I2C byte of 'w' or 'W'. 'W' ignores the acknowledge: it ends with
// acknowledge polling, which reports a chip that does not answer.
bool Firmware::I2cWrite(uint8_t value) {
  const bool ack = I2c() && I2c()->WriteByte(value);
  SpendBits(9);
  if (s_.transferBytes++ == 0) {
    s_.i2cControl = value;
    s_.i2cWriting = (value & 1) == 0;
  }
  return ack;
}

// An I2C byte nobody acknowledges is "?T", like an acknowledge poll that
// gets none (see firmware.h).
uint8_t Firmware::BusWrite(uint8_t value) {
  if (s_.bus == 0) return I2cWrite(value) ? 0 : kErrBusyTimeout;
  if (s_.bus == 2) {
    for (int bit = 7; bit >= 0; --bit) MwClock(((value >> bit) & 1) != 0);
  } else {
    SpiTransfer(value);
  }
  return 0;
}

// Each byte goes out as soon as it is read: the line carries it while the
// next one is read from the bus.
uint8_t Firmware::BusRead(std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    uint8_t v = 0;
    if (s_.bus == 0) {
      v = I2c() ? I2c()->ReadByte(i + 1 < count) : 0xFF;
      SpendBits(9);
      ++s_.transferBytes;
    } else if (s_.bus == 2) {
      for (int bit = 0; bit < 8; ++bit) v = static_cast<uint8_t>((v << 1) | (MwClock(false) ? 1 : 0));
    } else {
      v = SpiTransfer(0xFF);
    }
    Reply(v);
  }
  return 0;
}

uint8_t Firmware::RunWriteBytes() {
  const unsigned count = command_[1];
  if (s_.bus == 2) {
    if (count == 0 || count > 16) return kErrMicrowire;
    const unsigned word = (unsigned{command_[2]} << 8) | command_[3];
    bool out = true;
    for (unsigned i = 0; i < count; ++i) out = MwClock(((word >> (15 - i)) & 1) != 0);
    // READ (start bit, opcode 10): the chip answers the address with a 0.
    const bool read = count >= 3 && (word >> 13) == 0x6;
    return read && out ? kErrMicrowireSync : 0;
  }
  for (unsigned i = 0; i < count; ++i) {
    CatchUp(arrivals_[2 + i]);
    if (s_.bus == 0)
      I2cWrite(command_[2 + i]);
    else
      BusWrite(command_[2 + i]);
  }
  return s_.bus == 0 ? ReadyOrTimeout(I2cStop()) : 0;
}

uint8_t Firmware::RunDeviceWait() {
  switch (s_.bus) {
    case 0:
      return ReadyOrTimeout(AckPoll());
    case 1:
      return ReadyOrTimeout(SpiWaitWip());
    case 2: {
      MwSelect();
      const bool ready = WaitReady(
          [&] {
            SpendBits(1);
            return Mw() ? Mw()->DataOut() : true;
          },
          10 * kMicro);
      MwDeselect();
      return ReadyOrTimeout(ready);
    }
    default:
      return ReadyOrTimeout(FlashWaitReady());
  }
}

uint8_t Firmware::RunFlashWrite() {
  if (s_.bus != 3) return kErrUnknownCommand;
  if (!flash_) return kErrBusyTimeout;
  const uint32_t address = (uint32_t{command_[1]} << 16) | (uint32_t{command_[2]} << 8) | command_[3];
  const std::size_t length = (std::size_t{command_[4]} << 8) | command_[5];
  if (length == 0) return 0;
  const auto pageSize = static_cast<uint32_t>(flash_->PageSize());
  const uint32_t pageAddress = (address / pageSize) << flash_->PageAddressShift();

  if (!FlashWaitReady()) return kErrBusyTimeout;
  FlashCommand(kFlashBufferWrite, address % pageSize);
  for (std::size_t i = 0; i < length; ++i) {
    CatchUp(arrivals_[6 + i]);
    SpiTransfer(command_[6 + i]);
  }
  SpiDeselect();
  FlashCommand(kFlashProgramWithErase, pageAddress);
  SpiDeselect();
  if (!FlashWaitReady()) return kErrBusyTimeout;
  FlashCommand(kFlashCompare, pageAddress);
  SpiDeselect();
  return ReadyOrTimeout(FlashWaitReady());
}

uint8_t Firmware::RunFlashRead() {
  if (s_.bus != 3) return kErrUnknownCommand;
  const uint32_t address = (uint32_t{command_[1]} << 16) | (uint32_t{command_[2]} << 8) | command_[3];
  const std::size_t length = (std::size_t{command_[4]} << 8) | command_[5];
  if (!flash_) {
    for (std::size_t i = 0; i < length; ++i) Reply(0xFF);
    return 0;
  }
  if (!FlashWaitReady()) return kErrBusyTimeout;
  const auto pageSize = static_cast<uint32_t>(flash_->PageSize());
  const uint32_t page = address / pageSize;
  FlashCommand(kFlashContinuousRead, (page << flash_->PageAddressShift()) | (address % pageSize));
  for (int i = 0; i < 4; ++i) SpiTransfer(0);  // don't-care bytes
  for (std::size_t i = 0; i < length; ++i) Reply(SpiTransfer(0xFF));
  SpiDeselect();
  return 0;
}

uint8_t Firmware::RunFlashErase() {
  if (s_.bus != 3) return kErrUnknownCommand;
  if (!flash_ || !FlashWaitReady()) return kErrBusyTimeout;
  FlashCommand(kFlashBlockErase, (uint32_t{command_[1]} << 16) | (uint32_t{command_[2]} << 8));
  SpiDeselect();
  return ReadyOrTimeout(FlashWaitReady());
}

uint8_t Firmware::RunFlashStatus() {
  if (s_.bus != 3) return kErrUnknownCommand;
  const uint8_t status = ReadStatus(kFlashStatusRead);
  if (s_.inPass) {
    Reply(status);
  } else {
    ReplyText({HexDigit(status >> 4), HexDigit(status)});
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
