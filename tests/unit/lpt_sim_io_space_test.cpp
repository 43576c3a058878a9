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
    space.Open();
    space.Grant(1, 0x378);
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
  space.Grant(1, 0x378);  // not open yet: no grant
  ASSERT_TRUE(space.Open());
  space.Write(0x378, 0x12);
  EXPECT_EQ(space.UngrantedAccesses(), 3u);
  space.Grant(1, 0x378);
  space.Write(0x378, 0x12);
  EXPECT_EQ(space.Read(0x378), 0x12);
  EXPECT_EQ(space.Read(0x380), 0xFF);  // beyond the port's registers
  EXPECT_EQ(space.UngrantedAccesses(), 4u);
  space.Close();  // grants end with the session
  ASSERT_TRUE(space.Open());
  EXPECT_EQ(space.Read(0x378), 0xFF);
  EXPECT_EQ(space.UngrantedAccesses(), 5u);
}

TEST(SimIoSpace, UndecodedAddressesFloatHigh) {
  TOpenSpace s(TSimPortKind::spp);
  s.space.Grant(2, 0x200);
  EXPECT_EQ(s.space.Read(0x203), 0xFF);
  // An SPP has no ECR.
  EXPECT_EQ(s.space.Read(0x77A), 0xFF);
}

TEST(SimIoSpace, EcpPortTurnsAroundOnlyInBidirectionalModes) {
  for (TSimPortKind kind : {TSimPortKind::spp, TSimPortKind::ecp}) {
    TFakeConnector device;
    TOpenSpace s(kind, &device);
    const bool ecp = kind == TSimPortKind::ecp;
    s.space.Write(0x378, 0x55);
    s.space.Write(0x37A, 0x20);
    EXPECT_EQ(s.space.Read(0x378), 0x55);  // mode 000
    s.space.Write(0x77A, 0x20);            // mode 001
    EXPECT_EQ(s.space.Read(0x378), ecp ? 0xFF : 0x55);
    s.space.Write(0x77A, 0x80);  // mode 100
    s.space.Write(0x37A, 0x2F);
    EXPECT_EQ(s.space.Read(0x378), ecp ? 0xFF : 0x55);
    // Lines switched to input are pulled high on the connector.
    EXPECT_EQ((device.hostLevels >> 2) & 0xFF, ecp ? 0xFFu : 0x55u);
    s.space.Write(0x37A, 0x0F);
    EXPECT_EQ(s.space.Read(0x378), 0x55);
  }
}

TEST(SimIoSpace, EcrFlagsAndModes) {
  TOpenSpace s(TSimPortKind::ecp);
  EXPECT_EQ(s.space.Read(0x77A), 0x15);
  s.space.Write(0x77A, 0x34);
  EXPECT_EQ(s.space.Read(0x77A), 0x35);
  s.space.Write(0x77A, 0x37);  // FIFO flags are read-only
  EXPECT_EQ(s.space.Read(0x77A), 0x35);
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
