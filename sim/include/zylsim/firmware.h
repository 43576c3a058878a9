// The adapter's firmware as a byte-level state machine: bytes from the host
// go in through Receive, reply bytes queue up for the host. Commands run to
// completion when their last argument byte arrives, driving the chip model
// bit by bit and advancing its virtual time as the adapter would take it.
//
// Choices where the protocol leaves the adapter free:
// - Hex arguments of 'M', 'D', 'E', 'P' accept digits of either case, as a
//   firmware hex parser usually does; anything else is answered "?#". A bus
//   kind above 03 is "?#" too.
// - '*' (serial synchronisation) is acknowledged with CR.
// - 'G' (DataFlash status) inside a pass ('%' .. '$') replies one raw status
//   byte, as the page-program loop reads it; outside a pass it replies the
//   status as two upper-case hex characters, as the status query reads it.
//   Both end with the acknowledge.
// - 'H' loads the chip's buffer 1 (0x84), programs it with built-in erase
//   (0x83), waits for ready and compares the page against the buffer (0x60),
//   so the status bit 0x40 that follows reports a page that did not take.
//   Addresses of 'H' and 'I' are linear byte addresses; the firmware splits
//   them into page and offset by the part's geometry (what a real adapter
//   reads from the density bits of the status register).
// - 'K' erases the block whose value the host sends: opcode 0x50 with the two
//   bytes followed by a zero byte.
// - I2C: 'x' that ends a write transfer, and 'W' (which ends its transfer
//   itself), wait for the write cycle by acknowledge polling. 'r' reads with
//   a not-acknowledge, 'R' acknowledges all bytes but the last. A byte of
//   'w' that the bus does not acknowledge is answered "?T", the reply of an
//   acknowledge poll ('Z') that gets none: the same "nothing answered the
//   control byte" either way. A fitted chip acknowledges its own control
//   bytes and every address and data byte after them, so only a wrong part,
//   wrong address pins or an empty socket ever see this reply.
// - SPI: 'x' after a write-type opcode (0x01, 0x02, 0x0A) and 'Z' poll the
//   status register until WIP clears. DataFlash 'Z' polls the ready bit.
// - Microwire: 'W' takes the bit count and always two data bytes; a count of
//   0 or above 16 is "?M". After a READ command the dummy 0 bit must show on
//   DO, else "?m". 'Z' selects the chip and waits for DO to go high.
// - 'H', 'G', 'I', 'K' on another bus kind than DataFlash are "?!" (after
//   their arguments are taken, so the stream stays in step).
// - A busy wait gives up after 100 ms plus four times the 'D' value: "?T".
// - A chip of another kind than the selected bus sees nothing: I2C gets no
//   acknowledge, SPI and Microwire read all ones.
// - Bus clock: 'E' value n gives a bit time of 2.5 us * (n + 1).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "zylsim/chip.h"
#include "zylsim/chip_dataflash.h"
#include "zylsim/chip_i2c.h"
#include "zylsim/chip_microwire.h"
#include "zylsim/statistics.h"

namespace zylsim {

struct InjectedError {
  uint8_t command = 0;      // the command byte to fail
  unsigned occurrence = 1;  // its n-th arrival (1-based) is answered ...
  uint8_t code = 0;         // ... with '?' and this code, without running it
  // Instead: the command runs and code takes the place of its acknowledge.
  bool replacesAcknowledge = false;
};

struct FirmwareOptions {
  std::string identity = "EEPROMISP";
  std::string version = "000A";
  bool neverReady = false;  // fault: every busy wait runs into its time-out
  std::vector<InjectedError> errors;
  // Fault: after this many reply bytes since reset the adapter falls
  // silent, as if cut off in the middle of a reply (0: never).
  uint64_t cutAfter = 0;
  // The socket is empty: no chip on any bus (the chip model stays unused).
  bool emptySocket = false;
};

class Firmware {
 public:
  Firmware(Chip& chip, FirmwareOptions options, Statistics& stats);

  // Power-on reset: parser idle, output dropped, settings at their defaults.
  // The parallel adapter announces itself then: announce queues the identity.
  void Reset(bool announce);

  // A byte from the host, arriving now on the adapter's clock.
  void Receive(uint8_t byte);
  // A byte that arrived at arrivalNs on the adapter's clock (a serial line
  // delivers bytes one after another; the firmware works on a command's
  // data while the rest of it is still on the way).
  void Receive(uint8_t byte, uint64_t arrivalNs);
  bool HasOutput() const { return !output_.empty(); }
  uint8_t PeekOutput() const { return output_.front().byte; }
  // When the next reply byte was ready, on the adapter's clock.
  uint64_t PeekOutputTime() const { return output_.front().readyNs; }
  uint8_t TakeOutput();

  // Virtual time (microseconds) worked since the last call; links turn it
  // into busy time the host sees.
  uint64_t TakeWorkMicros();
  // Time passes without work (the host waits): the chip's own cycles go on.
  // Returns the whole microseconds handed on to the chip.
  uint64_t Idle(uint64_t nanoseconds);
  // The adapter's clock: nanoseconds since it was made.
  uint64_t Now() const { return nowNs_; }

  // Each entry: the command byte followed by its argument bytes as received;
  // the most recent kCommandLogLimit commands.
  const std::deque<std::vector<uint8_t>>& CommandLog() const { return log_; }
  void ClearCommandLog() { log_.clear(); }
  static constexpr std::size_t kCommandLogLimit = 1u << 16;

  int BusKind() const { return s_.bus; }
  unsigned WriteTimeMs() const { return s_.writeTimeMs; }
  unsigned ClockSetting() const { return s_.clock; }
  unsigned ResetPolarity() const { return s_.polarity; }

 private:
  bool ArgumentsComplete() const;
  void Execute();
  // Each returns 0 on success or the error code to reply with.
  uint8_t Run(uint8_t command);
  uint8_t RunHexSetting();
  uint8_t RunWriteBytes();
  uint8_t RunDeviceWait();
  uint8_t RunFlashWrite();
  uint8_t RunFlashRead();
  uint8_t RunFlashErase();
  uint8_t RunFlashStatus();
  uint8_t BusWrite(uint8_t value);
  uint8_t BusRead(std::size_t count);

  void Spend(uint64_t nanoseconds);
  // Moves the clock on to t when it is behind: the adapter waited for a byte.
  void CatchUp(uint64_t t);
  void SpendBits(unsigned bits);
  // Repeats probe (which spends its own bus time) until it reports ready;
  // false after the busy bound.
  template <typename Probe>
  bool WaitReady(Probe probe, uint64_t pauseNs);

  // The chip when it sits on the selected bus: a chip of another kind sees
  // nothing.
  I2CEeprom* I2c() const { return s_.bus == 0 ? i2c_ : nullptr; }
  SpiChip* Spi() const { return s_.bus == 1 || s_.bus == 3 ? spi_ : nullptr; }
  MicrowireEeprom* Mw() const { return s_.bus == 2 ? mw_ : nullptr; }
  // Bus primitives. The stops and waits return false when a busy wait timed
  // out; MwClock returns DO.
  void I2cStart();
  // Clocks the byte out; true when it was acknowledged.
  bool I2cWrite(uint8_t value);
  bool I2cStop();
  bool AckPoll();
  void SpiSelect();
  uint8_t SpiTransfer(uint8_t value);
  bool SpiDeselect();
  uint8_t ReadStatus(uint8_t opcode);
  bool SpiWaitWip();
  bool FlashWaitReady();
  void FlashCommand(uint8_t opcode, uint32_t address);
  void MwSelect();
  bool MwClock(bool di);
  bool MwDeselect();

  void Reply(uint8_t byte);
  void ReplyText(const std::string& text);
  void ReplyError(uint8_t code);

  Chip& chip_;
  I2CEeprom* i2c_;
  SpiChip* spi_;
  At45DataFlash* flash_;
  MicrowireEeprom* mw_;
  FirmwareOptions options_;
  Statistics& stats_;

  struct Outgoing {
    uint8_t byte;
    uint64_t readyNs;
  };

  std::vector<uint8_t> command_;  // command byte and arguments so far
  std::vector<uint64_t> arrivals_;  // when each byte of command_ arrived
  std::deque<Outgoing> output_;
  std::deque<std::vector<uint8_t>> log_;
  std::vector<unsigned> seen_ = std::vector<unsigned>(256, 0);

  // Settings and target-bus transfer state, as a reset leaves them.
  struct State {
    int bus = 0;
    bool inPass = false;
    unsigned writeTimeMs = 10;
    unsigned clock = 1;
    unsigned polarity = 0;
    unsigned transferBytes = 0;
    uint8_t i2cControl = 0xA0;
    bool i2cWriting = false;
    uint8_t spiOpcode = 0;
  } s_;

  uint64_t replied_ = 0;  // reply bytes since reset
  uint64_t workNs_ = 0;  // worked since the last TakeWorkMicros
  uint64_t nowNs_ = 0;   // virtual clock of the adapter
  uint64_t chipNs_ = 0;  // not yet handed to the chip (below a microsecond)
};

}  // namespace zylsim
