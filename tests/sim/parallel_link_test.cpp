// The parallel connector, driven pin by pin by a small host-side bit-banger
// that follows the host's rules of the handshake.
#include "zylsim/parallel_link.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "firmware_host.h"
#include "support/test_files.h"

namespace {

using simtest::B;
using simtest::Bytes;
using zylsim::ParallelLink;

constexpr int kRun = 1, kReady = 10, kDataIn = 11, kClock = 14, kDataOut = 16, kSelect = 17;

class PinHost {
 public:
  explicit PinHost(ParallelLink& link) : link_(link) {}

  void Set(int pin, bool level) {
    levels_ = level ? (levels_ | (1u << pin)) : (levels_ & ~(1u << pin));
    link_.HostPins(levels_);
  }
  bool Get(int pin) { return (link_.DevicePins() >> pin) & 1u; }

  // Power-up as the host's Open does it, without the waits.
  void PowerUp() {
    for (int p = 1; p <= 17; ++p) Set(p, false);
    for (int p = 2; p <= 9; ++p) Set(p, true);
    Set(kClock, false);
    Set(kSelect, false);
    Set(kRun, false);
    Set(kRun, true);
  }

  // Polls until Ready is high; returns whether the adapter has a byte.
  // Counts the reads that saw Ready low.
  bool WaitReady() {
    for (long polls = 0; polls < kPollBound; ++polls) {
      if (Get(kReady)) return !Get(kDataIn);
      ++busyReads;
    }
    throw std::runtime_error("ready never rose");
  }

  uint8_t SendByte(uint8_t b) {
    if (WaitReady()) throw std::runtime_error("adapter has data to send");
    uint8_t echo = 0;
    for (int bit = 7; bit >= 0; --bit) {
      echo = static_cast<uint8_t>(echo << 1);
      Set(kSelect, false);
      Set(kClock, false);
      Set(kDataOut, ((b >> bit) & 1) != 0);
      Set(kClock, true);
      PollLow();
      if (Get(kDataIn)) echo |= 1;
      Set(kClock, false);
      PollHigh();
    }
    return echo;
  }

  uint8_t ReceiveByte() {
    if (!WaitReady()) throw std::runtime_error("no byte pending");
    uint8_t v = 0;
    for (int bit = 0; bit < 8; ++bit) {
      v = static_cast<uint8_t>(v << 1);
      PollHigh();
      Set(kClock, true);
      PollLow();
      if (Get(kDataIn)) v |= 1;
      Set(kClock, false);
    }
    return v;
  }

  // Sends the command with its arguments, expecting the echo for each byte.
  void Command(const Bytes& bytes) {
    for (uint8_t b : bytes) {
      const uint8_t echo = SendByte(b);
      if (echo != 0x2A) throw std::runtime_error("bad echo " + std::to_string(echo));
    }
  }
  // A command that answers with the acknowledge alone.
  void Acknowledged(const Bytes& bytes) {
    Command(bytes);
    if (Receive(1) != Bytes{0x0D}) throw std::runtime_error("no acknowledge");
  }
  Bytes Receive(std::size_t n) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(ReceiveByte());
    return out;
  }

  long busyReads = 0;

 private:
  static constexpr long kPollBound = 10'000'000;
  void PollLow() {
    for (long polls = 0; polls < 65535; ++polls)
      if (!Get(kReady)) return;
    throw std::runtime_error("bit not acknowledged");
  }
  void PollHigh() {
    for (long polls = 0; polls < kPollBound; ++polls) {
      if (Get(kReady)) return;
      ++busyReads;
    }
    throw std::runtime_error("ready stuck low");
  }

  ParallelLink& link_;
  uint32_t levels_ = 0;
};

struct Rig {
  explicit Rig(const std::string& config) : emu(zylsim::MakeEmulator(config)), link(*emu), host(link) {}
  std::unique_ptr<zylsim::Emulator> emu;
  ParallelLink link;
  PinHost host;
};

TEST(ParallelLink, BootsWithIdentityThenAnswersCommands) {
  Rig rig("device=24C16");
  rig.host.PowerUp();
  EXPECT_EQ(rig.host.Receive(9), B("EEPROMISP"));
  EXPECT_FALSE(rig.host.WaitReady());  // nothing more pending
  rig.host.Command(B("v"));
  EXPECT_EQ(rig.host.Receive(5), B("000A\r"));
  rig.host.Command(B("M00"));
  EXPECT_EQ(rig.host.Receive(1), B("\r"));
  rig.host.Command(B("Q"));
  EXPECT_EQ(rig.host.Receive(2), B("?!"));
  EXPECT_GT(rig.emu->Stats().pinAccesses, 500u);
}

TEST(ParallelLink, WriteCycleKeepsReadyLowForItsVirtualTime) {
  Rig rig("device=24C02");
  rig.host.PowerUp();
  rig.host.Receive(9);
  rig.host.Acknowledged(B("M00"));
  rig.host.Acknowledged(B("D05"));
  rig.host.Acknowledged(Bytes{'X'});
  rig.host.Acknowledged(Bytes{'w', 0xA0});
  rig.host.Acknowledged(Bytes{'w', 0x08});
  rig.host.busyReads = 0;
  rig.host.Command(Bytes{'W', 4, 9, 8, 7, 6});
  // About one pin access per microsecond of the 5 ms cycle.
  EXPECT_GE(rig.host.busyReads, 4000);
  EXPECT_EQ(rig.host.Receive(1), B("\r"));
  EXPECT_EQ(Bytes(rig.emu->TargetChip().Memory().begin() + 8, rig.emu->TargetChip().Memory().begin() + 12),
            Bytes({9, 8, 7, 6}));
  // And back through a random read.
  rig.host.Acknowledged(Bytes{'X'});
  rig.host.Acknowledged(Bytes{'w', 0xA0});
  rig.host.Acknowledged(Bytes{'w', 0x08});
  rig.host.Acknowledged(Bytes{'X'});
  rig.host.Acknowledged(Bytes{'w', 0xA1});
  rig.host.Command(Bytes{'R', 4});
  EXPECT_EQ(rig.host.Receive(5), Bytes({9, 8, 7, 6, 0x0D}));
}

TEST(ParallelLink, HostWaitsLetTheChipsCyclesRunOn) {
  Rig rig("device=93C46");
  rig.host.PowerUp();
  rig.host.Receive(9);
  rig.host.Acknowledged(B("M02"));
  for (uint8_t high : {0x98, 0x90}) {  // write enable, erase all
    rig.host.Acknowledged(B("X"));
    rig.host.Acknowledged(Bytes{'W', 10, high, 0x00});
    rig.host.Acknowledged(B("x"));
  }
  EXPECT_TRUE(rig.emu->TargetChip().Busy());
  rig.link.Elapse(10000);  // the host sleeps 10 ms
  EXPECT_FALSE(rig.emu->TargetChip().Busy());
}

TEST(ParallelLink, HostMustNotSendWhileAByteIsPending) {
  Rig rig("device=24C16");
  rig.host.PowerUp();
  EXPECT_THROW(rig.host.SendByte('v'), std::runtime_error);
}

TEST(ParallelLink, BadEchoFault) {
  Rig rig("device=24C16,fault=badecho");
  rig.host.PowerUp();
  EXPECT_EQ(rig.host.Receive(9), B("EEPROMISP"));
  EXPECT_EQ(rig.host.SendByte('v'), 0xD5);
  EXPECT_EQ(rig.host.Receive(5), B("000A\r"));  // the command itself went through
}

TEST(ParallelLink, SilentAdapterNeverRaisesReady) {
  Rig rig("device=24C16,fault=silent");
  rig.host.PowerUp();
  for (int i = 0; i < 100000; ++i) ASSERT_FALSE(rig.host.Get(kReady));
}

TEST(ParallelLink, ResetHoldsReadyLowAndRunFallingPersistsTheImage) {
  testing_support::TempDir dir;
  const std::string path = dir.File("chip.bin");
  Rig rig("device=24C02,image=" + path);
  rig.host.PowerUp();
  rig.host.Receive(9);
  rig.host.Acknowledged(B("M00"));
  rig.host.Acknowledged(Bytes{'X'});
  rig.host.Acknowledged(Bytes{'w', 0xA0});
  rig.host.Acknowledged(Bytes{'w', 0x00});
  rig.host.Acknowledged(Bytes{'W', 1, 0x77});
  EXPECT_FALSE(testing_support::FileExists(path));
  rig.host.Set(kRun, false);  // the host closes the link
  EXPECT_FALSE(rig.host.Get(kReady));
  const Bytes saved = testing_support::ReadBytes(path);
  ASSERT_EQ(saved.size(), 256u);
  EXPECT_EQ(saved[0], 0x77);
  // A fresh boot announces itself again; the chip kept its contents.
  rig.host.Set(kRun, true);
  EXPECT_EQ(rig.host.Receive(9), B("EEPROMISP"));
  EXPECT_EQ(rig.emu->TargetChip().Memory()[0], 0x77);
}

}  // namespace
