// The settings a serial port holds: line rate, character format, flow
// control, special characters, queue sizes and time-outs. The first member
// of each enumeration (the ...Default one) leaves the device's current value alone.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace zylisp {

enum TBaudRate : uint8_t {
  brDefault,
  br50, br75, br110, br150, br300, br600, br1200, br1800, br2000, br2400, br3600, br4800,
  br7200, br9600, br10400, br14400, br15625, br19200, br28800, br38400, br56000, br57600,
  br115200, br128000, br256000,
  brCustom  // the port's CustomBaudRate
};

// The rate in baud of a named member; 0 for brDefault and brCustom.
uint32_t BaudRateValue(TBaudRate rate);

// Linux has no 4-bit characters: db4 is refused when applied to a device.
enum TDataBits : uint8_t { dbDefault, db4, db5, db6, db7, db8 };

enum TParity : uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };

// One and a half stop bits have no termios counterpart; sb1_5 gives two.
enum TStopBits : uint8_t { sbDefault, sb1, sb1_5, sb2 };

// dcHandshake: Linux has no DTR/DSR handshake, DTR is simply raised.
enum TDTRControl : uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };

// rcHandshake: RTS/CTS hardware flow control (CRTSCTS). rcToggle has no
// counterpart outside RS-485 drivers; RTS is simply raised.
enum TRTSControl : uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };

enum TXOnXOffControl : uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };

struct TFlowControl {
  TDTRControl DTR = dcDefault;
  TRTSControl RTS = rcDefault;
  TXOnXOffControl XOnXOff = xcDefault;
  // Kept for completeness; the kernel chooses its own XON/XOFF thresholds.
  uint16_t XOnLimit = 0;
  uint16_t XOffLimit = 0;

  bool operator==(const TFlowControl& o) const {
    return DTR == o.DTR && RTS == o.RTS && XOnXOff == o.XOnXOff && XOnLimit == o.XOnLimit &&
           XOffLimit == o.XOffLimit;
  }
  bool operator!=(const TFlowControl& o) const { return !(*this == o); }
};

// XOn and XOff become the terminal's start and stop characters. Error, Eof
// and Event have no meaning for a raw Linux terminal and are only kept.
struct TCharacters {
  uint8_t XOn = 17;
  uint8_t XOff = 19;
  uint8_t Error = 0;
  uint8_t Eof = 0;
  uint8_t Event = 0;

  bool operator==(const TCharacters& o) const {
    return XOn == o.XOn && XOff == o.XOff && Error == o.Error && Eof == o.Eof && Event == o.Event;
  }
  bool operator!=(const TCharacters& o) const { return !(*this == o); }
};

// opCheckParity maps to INPCK and opOutputCTSFlow to CRTSCTS; the others
// have no termios counterpart and are only kept.
enum TOption : uint8_t {
  opCheckParity,
  opOutputCTSFlow,
  opOutputDSRFlow,
  opDSRSensitivity,
  opTXContinueOnXOff,
  opUseErrorChar,
  opDiscardNullBytes,
  opAbortOnError
};

class TOptions {
 public:
  TOptions() = default;
  TOptions(std::initializer_list<TOption> options) {
    for (const TOption o : options) Include(o);
  }
  bool Contains(TOption o) const { return (bits_ & Bit(o)) != 0; }
  TOptions& Include(TOption o) {
    bits_ = static_cast<uint8_t>(bits_ | Bit(o));
    return *this;
  }
  TOptions& Exclude(TOption o) {
    bits_ = static_cast<uint8_t>(bits_ & ~Bit(o));
    return *this;
  }
  bool Empty() const { return bits_ == 0; }
  bool operator==(const TOptions& o) const { return bits_ == o.bits_; }
  bool operator!=(const TOptions& o) const { return bits_ != o.bits_; }

 private:
  static uint8_t Bit(TOption o) { return static_cast<uint8_t>(1u << o); }
  uint8_t bits_ = 0;
};

// The kernel's queues have fixed sizes; these are kept, not applied.
struct TBufferSizes {
  int32_t Input = 4096;
  int32_t Output = 2048;

  bool operator==(const TBufferSizes& o) const { return Input == o.Input && Output == o.Output; }
  bool operator!=(const TBufferSizes& o) const { return !(*this == o); }
};

// Milliseconds. A read may take ReadMultiplier * count + ReadConstant in
// all and ReadInterval between two bytes (0: no such limit); a write
// WriteMultiplier * count + WriteConstant. All zero: a transfer ends only
// when all its bytes have moved. ReadInterval kMaxTimeout with both read
// totals 0 returns at once with what has arrived; with ReadMultiplier also
// kMaxTimeout and a ReadConstant it waits up to ReadConstant for the first
// byte and returns with what has arrived.
struct TTimeouts {
  static constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;
  uint32_t ReadInterval = 0;
  uint32_t ReadMultiplier = 0;
  uint32_t ReadConstant = 0;
  uint32_t WriteMultiplier = 0;
  uint32_t WriteConstant = 0;
};

}  // namespace zylisp
