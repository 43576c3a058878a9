#include "zylsim/sim_io_space.h"

#include <gtest/gtest.h>

#include "lpt_test_backend.h"

using lpt_test::TFakeConnector;
using zylsim::TSimIoSpace;
using zylsim::TSimPortKind;

namespace {

// An open space with one port at 0x378 and its ranges granted.
struct TOpenSpace {
  explicit TOpenSpace(TSimPortKind kind, zylsim::TConnectorDevice* device = nullptr) {
    space.AddPort(0x378, kind, device);
    space.Open(1);
    space.Grant(0x378, 0x37F);
    space.Grant(0x778, 0x77A);
  }
  TSimIoSpace space;
};

}  // namespace

TEST(SimIoSpace, AccessesNeedAnOpenSpaceAndAGrant) {
  TSimIoSpace space;
  space.AddPort(0x378, TSimPortKind::spp);
  EXPECT_EQ(space.Read(0x378), 0xFF);
  space.Write(0x378, 0x12);
  EXPECT_EQ(space.UngrantedAccesses(), 2u);
  EXPECT_FALSE(space.Grant(0x378, 0x37F));  // not open yet
  ASSERT_TRUE(space.Open(1));
  space.Write(0x378, 0x12);
  EXPECT_EQ(space.UngrantedAccesses(), 3u);
  ASSERT_TRUE(space.Grant(0x378, 0x37A));
  space.Write(0x378, 0x12);
  EXPECT_EQ(space.Read(0x378), 0x12);
  EXPECT_EQ(space.UngrantedAccesses(), 3u);
  space.Close();  // grants end with the session
  ASSERT_TRUE(space.Open(1));
  EXPECT_EQ(space.Read(0x378), 0xFF);
  EXPECT_EQ(space.UngrantedAccesses(), 4u);
}

TEST(SimIoSpace, UndecodedAddressesFloatHigh) {
  TOpenSpace s(TSimPortKind::spp);
  s.space.Grant(0x200, 0x2FF);
  EXPECT_EQ(s.space.Read(0x250), 0xFF);
  // An SPP has no EPP or ECP registers.
  EXPECT_EQ(s.space.Read(0x37B), 0xFF);
  EXPECT_EQ(s.space.Read(0x77A), 0xFF);
}

TEST(SimIoSpace, DataDirectionByKind) {
  struct TCase {
    TSimPortKind kind;
    bool turnsAround;
  };
  for (const TCase& c : {TCase{TSimPortKind::spp, false}, TCase{TSimPortKind::ps2, true},
                         TCase{TSimPortKind::epp, true}, TCase{TSimPortKind::ecp, false}}) {
    TFakeConnector device;
    TOpenSpace s(c.kind, &device);
    s.space.Write(0x378, 0x55);
    s.space.Write(0x37A, 0x2F);  // direction bit: input
    EXPECT_EQ(s.space.Read(0x378), c.turnsAround ? 0xFF : 0x55) << int(c.kind);
    // Lines switched to input are pulled high on the connector.
    EXPECT_EQ((device.hostLevels >> 2) & 0xFF, c.turnsAround ? 0xFFu : 0x55u) << int(c.kind);
    s.space.Write(0x37A, 0x0F);
    EXPECT_EQ(s.space.Read(0x378), 0x55);
  }
}

TEST(SimIoSpace, EcpPortTurnsAroundOnlyInBidirectionalModes) {
  TOpenSpace s(TSimPortKind::ecp);
  s.space.Write(0x378, 0x55);
  s.space.Write(0x37A, 0x20);
  EXPECT_EQ(s.space.Read(0x378), 0x55);  // mode 000
  s.space.Write(0x77A, 0x20);            // mode 001
  EXPECT_EQ(s.space.Read(0x378), 0xFF);
  s.space.Write(0x77A, 0x80);  // mode 100
  EXPECT_EQ(s.space.Read(0x378), 0xFF);
}

TEST(SimIoSpace, EppCyclesTimeOutWithoutAPeripheral) {
  TOpenSpace s(TSimPortKind::epp);
  EXPECT_EQ(s.space.Read(0x379) & 0x01, 0);
  s.space.Write(0x37B, 0x55);
  EXPECT_EQ(s.space.Read(0x379) & 0x01, 1);
  // While the flag stands, cycles do not run.
  s.space.Write(0x37B, 0x66);
  EXPECT_EQ(s.space.Read(0x37B), 0xFF);
  s.space.Write(0x379, 0x00);  // writing 0 does not clear it on this chip
  EXPECT_EQ(s.space.Read(0x379) & 0x01, 1);
  s.space.Write(0x379, 0x01);
  EXPECT_EQ(s.space.Read(0x379) & 0x01, 0);
  EXPECT_EQ(s.space.Read(0x37B), 0x55);
  s.space.Write(0x379, 0x01);
  s.space.Write(0x37C, 0xA5);  // data register, separate from the address
  s.space.Write(0x379, 0x01);
  EXPECT_EQ(s.space.Read(0x37C), 0xA5);
  s.space.Write(0x379, 0x01);
  EXPECT_EQ(s.space.Read(0x37B), 0x55);
}

TEST(SimIoSpace, EcrFlagsAndModes) {
  TOpenSpace s(TSimPortKind::ecp);
  EXPECT_EQ(s.space.Read(0x77A), 0x15);
  s.space.Write(0x77A, 0x34);
  EXPECT_EQ(s.space.Read(0x77A), 0x35);
  s.space.Write(0x77A, 0x37);  // FIFO flags are read-only
  EXPECT_EQ(s.space.Read(0x77A), 0x35);
  // EPP registers exist only in mode 100.
  EXPECT_EQ(s.space.Read(0x37B), 0xFF);
  s.space.Write(0x77A, 0x95);
  s.space.Write(0x37B, 0x42);
  s.space.Write(0x379, 0x01);
  EXPECT_EQ(s.space.Read(0x37B), 0x42);
  // Configuration mode shows cnfgA.
  s.space.Write(0x77A, 0xF4);
  EXPECT_EQ(s.space.Read(0x778), 0x10);
}

TEST(SimIoSpace, StatusFollowsTheDevicePins) {
  {
    TOpenSpace s(TSimPortKind::spp);
    // Nothing plugged in: every input high, BUSY inverted.
    EXPECT_EQ(s.space.Read(0x379) & 0xF8, 0x78);
  }
  TFakeConnector device;
  TOpenSpace s(TSimPortKind::spp, &device);
  EXPECT_EQ(s.space.Read(0x379) & 0xF8, 0x80);
  const struct {
    int pin;
    uint8_t bit;
  } pins[] = {{10, 0x40}, {12, 0x20}, {13, 0x10}, {15, 0x08}};
  for (const auto& p : pins) {
    device.deviceLevels = 1u << p.pin;
    EXPECT_EQ(s.space.Read(0x379) & 0xF8, 0x80 | p.bit) << p.pin;
  }
  device.deviceLevels = 1u << 11;
  EXPECT_EQ(s.space.Read(0x379) & 0xF8, 0x00);
}

TEST(SimIoSpace, ControlWritesReportElectricalLevels) {
  TFakeConnector device;
  TOpenSpace s(TSimPortKind::spp, &device);
  s.space.Write(0x37A, 0x00);
  // Pins 1, 14 and 17 are inverted: register 0 drives them high.
  EXPECT_TRUE(device.HostPin(1));
  EXPECT_TRUE(device.HostPin(14));
  EXPECT_FALSE(device.HostPin(16));
  EXPECT_TRUE(device.HostPin(17));
  s.space.Write(0x37A, 0x0F);
  EXPECT_FALSE(device.HostPin(1));
  EXPECT_FALSE(device.HostPin(14));
  EXPECT_TRUE(device.HostPin(16));
  EXPECT_FALSE(device.HostPin(17));
  EXPECT_EQ(device.hostCalls, 2);
}
