// Command framing, replies and error codes of the emulated firmware.
#include <gtest/gtest.h>

#include "firmware_host.h"

namespace {

using simtest::B;
using simtest::Bytes;
using simtest::Cat;
using simtest::Err;
using simtest::FirmwareHost;
using simtest::kAck;

TEST(FirmwareProtocol, IdentityVersionAndSync) {
  FirmwareHost host("device=24C16");
  EXPECT_EQ(host.Send("S"), Cat(B("EEPROMISP"), kAck));
  EXPECT_EQ(host.Send("v"), Cat(B("000A"), kAck));
  EXPECT_EQ(host.Send("*"), kAck);
  EXPECT_EQ(host.Send("%"), kAck);
  EXPECT_EQ(host.Send("$"), kAck);
}

TEST(FirmwareProtocol, IdentityAndVersionAreConfigurable) {
  FirmwareHost host("device=24C16,identity=EEPROMISQ,firmware=000a");
  EXPECT_EQ(host.Send("S"), Cat(B("EEPROMISQ"), kAck));
  EXPECT_EQ(host.Send("v"), Cat(B("000a"), kAck));
}

TEST(FirmwareProtocol, ParallelBootAnnouncesIdentityWithoutAcknowledge) {
  FirmwareHost host("device=24C16");
  host.Emu().PowerOn(true);
  EXPECT_EQ(host.Send(Bytes{}), B("EEPROMISP"));
}

TEST(FirmwareProtocol, UnknownCommandsAreRefusedAndTheStreamStaysInStep) {
  FirmwareHost host("device=24C16");
  for (uint8_t c : Bytes{'A', 'q', 0x00, 0x0D, 0xFF, 'T'}) {
    EXPECT_EQ(host.Send(Bytes{c}), Err('!')) << int(c);
  }
  EXPECT_EQ(host.Send("v"), Cat(B("000A"), kAck));
}

TEST(FirmwareProtocol, HexArgumentsMustBeTwoHexDigits) {
  FirmwareHost host("device=24C16");
  for (char cmd : std::string("MDEP")) {
    EXPECT_EQ(host.Send(std::string{cmd} + "0G"), Err('#')) << cmd;
    EXPECT_EQ(host.Send(std::string{cmd} + " 1"), Err('#')) << cmd;
    EXPECT_EQ(host.Send(std::string{cmd} + "01"), kAck) << cmd;
  }
  // Either case is read as hex.
  EXPECT_EQ(host.Send("D0a"), kAck);
  EXPECT_EQ(host.Emu().Adapter().WriteTimeMs(), 10u);
  EXPECT_EQ(host.Send("E1F"), kAck);
  EXPECT_EQ(host.Emu().Adapter().ClockSetting(), 0x1Fu);
  EXPECT_EQ(host.Send("P01"), kAck);
  EXPECT_EQ(host.Emu().Adapter().ResetPolarity(), 1u);
}

TEST(FirmwareProtocol, BusKindsZeroToThreeOnly) {
  FirmwareHost host("device=24C16");
  for (int kind = 0; kind <= 3; ++kind) {
    EXPECT_EQ(host.Hex('M', static_cast<unsigned>(kind)), kAck);
    EXPECT_EQ(host.Emu().Adapter().BusKind(), kind);
  }
  EXPECT_EQ(host.Send("M04"), Err('#'));
  EXPECT_EQ(host.Emu().Adapter().BusKind(), 3);
}

TEST(FirmwareProtocol, DataFlashCommandsOnOtherBusesTakeTheirArgumentsThenRefuse) {
  FirmwareHost host("device=24C16");
  host.Send("M00");
  EXPECT_EQ(host.Send(Bytes{'H', 0, 0, 0, 0, 2, 0x11, 0x22}), Err('!'));
  EXPECT_EQ(host.Send(Bytes{'I', 0, 0, 0, 0, 2}), Err('!'));
  EXPECT_EQ(host.Send(Bytes{'K', 0, 16}), Err('!'));
  EXPECT_EQ(host.Send("G"), Err('!'));
  EXPECT_EQ(host.Send("v"), Cat(B("000A"), kAck));
}

TEST(FirmwareProtocol, MicrowireBitCountOutOfRange) {
  FirmwareHost host("device=93C46");
  host.Send("M02");
  EXPECT_EQ(host.Send(Bytes{'W', 17, 0x98, 0x00}), Err('M'));
  EXPECT_EQ(host.Send(Bytes{'W', 0, 0x98, 0x00}), Err('M'));
  // Two data bytes were taken each time: the next command is understood.
  EXPECT_EQ(host.Send(Bytes{'W', 10, 0x98, 0x00}), kAck);
}

TEST(FirmwareProtocol, InjectedErrorHitsTheNthOccurrenceOnly) {
  FirmwareHost host("device=24C16,fault=error:v:2:V+error:W:1:T");
  EXPECT_EQ(host.Send("v"), Cat(B("000A"), kAck));
  EXPECT_EQ(host.Send("v"), Err('V'));
  EXPECT_EQ(host.Send("v"), Cat(B("000A"), kAck));
  // The failed write took its arguments and did not touch the chip.
  host.Send("M00");
  EXPECT_EQ(host.Send("X"), kAck);
  host.w(0xA0);
  host.w(0x00);
  EXPECT_EQ(host.W({1, 2, 3, 4}), Err('T'));
  EXPECT_EQ(host.Memory()[0], 0xFF);
  EXPECT_EQ(host.Send("S"), Cat(B("EEPROMISP"), kAck));
}

TEST(FirmwareProtocol, BusyFaultTimesOutWaits) {
  FirmwareHost host("device=24C16,fault=busy");
  host.Send("M00");
  EXPECT_EQ(host.Send("Z"), Err('T'));
  host.Send("X");
  host.w(0xA0);
  host.w(0x10);
  EXPECT_EQ(host.W({0x55}), Err('T'));
}

TEST(FirmwareProtocol, CommandLogHoldsCommandsWithTheirArguments) {
  FirmwareHost host("device=24C16");
  host.Send("M00");
  host.Send("X");
  host.w(0xA0);
  host.W({0x10, 0x20});
  host.Send("?");
  const std::deque<Bytes> expected = {B("M00"), B("X"), Bytes{'w', 0xA0}, Bytes{'W', 2, 0x10, 0x20}, B("?")};
  EXPECT_EQ(host.Emu().CommandLog(), expected);
  host.Emu().ClearCommandLog();
  EXPECT_TRUE(host.Emu().CommandLog().empty());

  // A long-lived emulator keeps only the most recent commands.
  const std::size_t limit = zylsim::Firmware::kCommandLogLimit;
  for (std::size_t i = 0; i < limit + 5; ++i) host.Send("X");
  host.w(0x42);
  EXPECT_EQ(host.Emu().CommandLog().size(), limit);
  EXPECT_EQ(host.Emu().CommandLog().back(), (Bytes{'w', 0x42}));
}

TEST(FirmwareProtocol, StatisticsCountTraffic) {
  FirmwareHost host("device=24C16");
  host.Send("%");
  host.Send("M00");
  host.Send("X");
  host.w(0xA0);
  host.Send("x");
  host.Send("$");
  host.Send("!");
  const zylsim::Statistics& s = host.Emu().Stats();
  EXPECT_EQ(s.bytesFromHost, 10u);
  EXPECT_EQ(s.bytesToHost, 8u);
  EXPECT_EQ(s.commands, 7u);
  EXPECT_EQ(s.passes, 1u);
  EXPECT_EQ(s.errorReplies, 1u);
  EXPECT_GT(s.busBitTimes, 9u);
}

}  // namespace
