#include "ports/lpt_access.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "lpt_test_backend.h"
#include "ports/sim_io_space.h"
#include "support/test_files.h"

using lpt_test::MakeParport;
using lpt_test::TFakeConnector;
using lpt_test::TRecordingBackend;
using testing_support::TempDir;
using zylisp::TLptAccess;
using zylisp::TSimIoSpace;
using zylisp::TSimPortKind;

namespace {

// A TLptAccess on a simulated I/O space, every backend call recorded.
class TSimRig {
 public:
  explicit TSimRig(const std::string& parportDir = "") {
    auto space = std::make_unique<TSimIoSpace>();
    sim = space.get();
    auto recorder = std::make_unique<TRecordingBackend>(std::move(space));
    rec = recorder.get();
    lpt = std::make_unique<TLptAccess>(std::move(recorder), parportDir);
  }
  TSimIoSpace* sim;
  TRecordingBackend* rec;
  std::unique_ptr<TLptAccess> lpt;
};

const char* KindName(TSimPortKind kind) {
  switch (kind) {
    case TSimPortKind::spp: return "spp";
    case TSimPortKind::ps2: return "ps2";
    case TSimPortKind::epp: return "epp";
    case TSimPortKind::ecp: return "ecp";
  }
  return "?";
}

struct TKindResult {
  TSimPortKind kind;
  uint8_t capability;
  uint8_t mode;
};

constexpr TKindResult kDetected[] = {
    {TSimPortKind::spp, zylisp::lpt_spp, zylisp::lpt_spp},
    {TSimPortKind::ps2, zylisp::lpt_ps2, zylisp::lpt_ps2},
    {TSimPortKind::epp, zylisp::lpt_epp, zylisp::lpt_epp},
    // A fresh ECP port sits in its SPP mode (ECR 0x15).
    {TSimPortKind::ecp, zylisp::lpt_ecp, zylisp::lpt_spp},
};

}  // namespace

TEST(LptAccessDetection, EachPortModelAtTheFallbackBase) {
  for (const TKindResult& expected : kDetected) {
    SCOPED_TRACE(KindName(expected.kind));
    TSimRig rig;
    rig.sim->AddPort(0x378, expected.kind);
    rig.lpt->SetActive(1);
    ASSERT_EQ(rig.lpt->Active(), 1);
    EXPECT_EQ(rig.lpt->PortCount(), 1);
    EXPECT_EQ(rig.lpt->CurrentBase(), 0x378);
    EXPECT_EQ(rig.lpt->Capability(), expected.capability);
    EXPECT_EQ(rig.lpt->Mode(), expected.mode);
    EXPECT_TRUE(rig.lpt->PortAvailable());
    EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
  }
}

TEST(LptAccessDetection, EachPortModelAtADiscoveredBase) {
  for (const TKindResult& expected : kDetected) {
    SCOPED_TRACE(KindName(expected.kind));
    TempDir dir;
    MakeParport(dir.Path(), 1, "632 1656\n", "5", "-1");
    TSimRig rig(dir.Path());
    rig.sim->AddPort(0x278, expected.kind);
    rig.sim->AddPort(0x378, TSimPortKind::ecp);  // not in the table: never touched
    rig.lpt->SetActive(1);
    EXPECT_EQ(rig.lpt->CurrentBase(), 0x278);
    EXPECT_EQ(rig.lpt->Capability(), expected.capability);
    EXPECT_EQ(rig.lpt->Mode(), expected.mode);
    EXPECT_TRUE(rig.lpt->PortAvailable());
    EXPECT_EQ(rig.rec->CountPort(0x378), 0u);
    EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
  }
}

TEST(LptAccessDetection, NothingAtTheBaseIsNotAvailable) {
  TSimRig rig;
  rig.lpt->SetActive(1);
  EXPECT_EQ(rig.lpt->Active(), 1);
  EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_none);
  EXPECT_EQ(rig.lpt->Mode(), zylisp::lpt_none);
  EXPECT_FALSE(rig.lpt->PortAvailable());
}

TEST(LptAccessDetection, EcpModeComesFromTheEcr) {
  // ECR mode field 000..111 -> port kind.
  const uint8_t expected[8] = {1, 2, 4, 5, 3, 5, 5, 5};
  for (uint8_t field = 0; field < 8; ++field) {
    SCOPED_TRACE(int(field));
    TSimRig rig;
    rig.sim->AddPort(0x378, TSimPortKind::ecp);
    rig.lpt->SetActive(1);
    rig.lpt->WriteECR(static_cast<uint8_t>(field << 5 | 0x14));
    rig.lpt->SelectPort(1);  // the current slot: examined again
    EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_ecp);
    EXPECT_EQ(rig.lpt->Mode(), expected[field]);
    // The test puts the ECR back as it found it.
    EXPECT_EQ(rig.lpt->ReadECR(), field << 5 | 0x15);
  }
}

TEST(LptAccessDetection, PortAt3BCIsNeverTestedForEppOrEcp) {
  const TKindResult expected[] = {
      {TSimPortKind::spp, 1, 1},
      {TSimPortKind::ps2, 2, 2},
      {TSimPortKind::epp, 2, 2},  // only its PS/2 side can show
      {TSimPortKind::ecp, 1, 1},  // in SPP mode, and its ECR is never read
  };
  for (const TKindResult& e : expected) {
    SCOPED_TRACE(KindName(e.kind));
    TempDir dir;
    MakeParport(dir.Path(), 1, "956 0");
    TSimRig rig(dir.Path());
    rig.sim->AddPort(0x3BC, e.kind);
    rig.lpt->SetActive(1);
    EXPECT_EQ(rig.lpt->Capability(), e.capability);
    EXPECT_EQ(rig.lpt->Mode(), e.mode);
    EXPECT_TRUE(rig.lpt->PortAvailable());
    EXPECT_EQ(rig.lpt->ReadEPPAddressPort(), 0);
    EXPECT_EQ(rig.lpt->ReadECR(), 0);
    rig.lpt->WriteEPPAddressPort(0x55);
    rig.lpt->WriteECR(0x34);
    rig.lpt->SetECPMode(3);
    EXPECT_GT(rig.rec->log.size(), 0u);
    EXPECT_EQ(rig.rec->CountIn(0x3BC, 0x3BE), rig.rec->log.size());
    ASSERT_EQ(rig.rec->grants.size(), 1u);
    EXPECT_EQ(rig.rec->grants[0], std::make_pair(uint16_t{0x3BC}, uint16_t{0x3BE}));
  }
}

TEST(LptAccessPins, DocumentedExamples) {
  TFakeConnector device;
  TSimRig rig;
  rig.sim->AddPort(0x378, TSimPortKind::ecp, &device);
  rig.lpt->SetActive(1);

  rig.lpt->SetPin(1, true);
  EXPECT_EQ(rig.lpt->ReadControlPort() & 0x01, 0);
  rig.lpt->SetPin(1, false);
  EXPECT_EQ(rig.lpt->ReadControlPort() & 0x01, 0x01);

  rig.lpt->SetPin(2, true);
  EXPECT_EQ(rig.lpt->ReadDataPort() & 0x01, 0x01);
  rig.lpt->SetPin(2, false);
  EXPECT_EQ(rig.lpt->ReadDataPort() & 0x01, 0);

  device.DrivePin(11, true);
  EXPECT_EQ(rig.lpt->ReadStatusPort() & 0x80, 0);
  EXPECT_TRUE(rig.lpt->GetPin(11));
  device.DrivePin(11, false);
  EXPECT_EQ(rig.lpt->ReadStatusPort() & 0x80, 0x80);
  EXPECT_FALSE(rig.lpt->GetPin(11));
}

TEST(LptAccessPins, ConnectorSeesTheLevelsTheDriverSets) {
  TFakeConnector device;
  TSimRig rig;
  rig.sim->AddPort(0x378, TSimPortKind::ecp, &device);
  rig.lpt->SetActive(1);
  rig.lpt->SetECPMode(3);

  const int hostPins[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17};
  // The power-up pattern of the programmer driver: all low, then data high.
  for (int p = 1; p <= 17; ++p) rig.lpt->SetPin(p, false);
  for (int p = 2; p <= 9; ++p) rig.lpt->SetPin(p, true);
  for (int p : hostPins) {
    EXPECT_EQ(device.HostPin(p), p >= 2 && p <= 9) << "pin " << p;
  }
  // Every host pin both ways, the others staying put.
  for (int p : hostPins) {
    for (bool level : {true, false}) {
      const uint32_t before = device.hostLevels;
      rig.lpt->SetPin(p, level);
      EXPECT_EQ(device.HostPin(p), level) << "pin " << p;
      const uint32_t mask = ~(1u << p);
      EXPECT_EQ(device.hostLevels & mask, before & mask) << "pin " << p;
    }
  }
  for (int p : {10, 11, 12, 13, 15}) {
    device.DrivePin(p, true);
    EXPECT_TRUE(rig.lpt->GetPin(p)) << "pin " << p;
    device.DrivePin(p, false);
    EXPECT_FALSE(rig.lpt->GetPin(p)) << "pin " << p;
  }
  // A host pin reads back its own level.
  rig.lpt->SetPin(14, true);
  EXPECT_TRUE(rig.lpt->GetPin(14));
  rig.lpt->SetPin(16, true);
  EXPECT_TRUE(rig.lpt->GetPin(16));
}

TEST(LptAccessPins, OneBackendCallPerPinAndNothingOutOfRange) {
  TSimRig rig;
  rig.sim->AddPort(0x378, TSimPortKind::ecp);
  rig.lpt->SetActive(1);
  rig.rec->log.clear();
  rig.lpt->SetPin(14, true);
  ASSERT_EQ(rig.rec->log.size(), 1u);
  EXPECT_TRUE(rig.rec->log[0].write);
  EXPECT_EQ(rig.rec->log[0].address, 0x37A);
  rig.lpt->GetPin(10);
  ASSERT_EQ(rig.rec->log.size(), 2u);
  EXPECT_FALSE(rig.rec->log[1].write);
  EXPECT_EQ(rig.rec->log[1].address, 0x379);

  rig.rec->log.clear();
  for (int p : {-1, 0, 18, 25}) {
    rig.lpt->SetPin(p, true);
    EXPECT_FALSE(rig.lpt->GetPin(p));
  }
  EXPECT_TRUE(rig.rec->log.empty());
}

TEST(LptAccessSlots, SlotIsExaminedOncePerOpenUnlessReselected) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912");
  MakeParport(dir.Path(), 2, "632 1656");
  TSimRig rig(dir.Path());
  rig.sim->AddPort(0x378, TSimPortKind::ecp);
  rig.sim->AddPort(0x278, TSimPortKind::ps2);
  rig.lpt->SetActive(1);
  EXPECT_EQ(rig.lpt->PortCount(), 2);
  rig.rec->log.clear();

  rig.lpt->SelectPort(2);
  const std::size_t slot2 = rig.rec->CountPort(0x278);
  EXPECT_GT(slot2, 0u);
  EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_ps2);

  rig.lpt->SelectPort(1);
  EXPECT_EQ(rig.rec->CountPort(0x378), 0u);
  EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_ecp);
  rig.lpt->SelectPort(2);
  EXPECT_EQ(rig.rec->CountPort(0x278), slot2);
  EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_ps2);

  rig.lpt->SelectPort(1);
  EXPECT_EQ(rig.rec->CountPort(0x378), 0u);
  rig.lpt->SelectPort(1);
  const std::size_t first = rig.rec->CountPort(0x378);
  EXPECT_GT(first, 0u);
  rig.lpt->SelectPort(1);
  EXPECT_GT(rig.rec->CountPort(0x378), first);
  EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);

  // Closing forgets the cache: the next open examines again.
  rig.lpt->SetActive(0);
  rig.lpt->SetActive(1);
  rig.rec->log.clear();
  rig.lpt->SelectPort(2);
  EXPECT_GT(rig.rec->CountPort(0x278), 0u);
}

TEST(LptAccessSlots, ShadowsTravelWithTheirSlot) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912");
  MakeParport(dir.Path(), 2, "632 1656");
  TSimRig rig(dir.Path());
  rig.sim->AddPort(0x378, TSimPortKind::spp);
  rig.sim->AddPort(0x278, TSimPortKind::spp);
  rig.lpt->SetActive(1);
  for (int p = 2; p <= 9; ++p) rig.lpt->SetPin(p, false);
  rig.lpt->SelectPort(2);
  for (int p = 2; p <= 9; ++p) rig.lpt->SetPin(p, false);
  rig.lpt->SetPin(2, true);
  rig.lpt->SelectPort(1);
  rig.lpt->SetPin(3, true);
  rig.lpt->SelectPort(2);
  rig.lpt->SetPin(4, true);
  EXPECT_EQ(rig.lpt->ReadDataPort(), 0x05);
  rig.lpt->SelectPort(1);
  EXPECT_EQ(rig.lpt->ReadDataPort(), 0x02);
}

TEST(LptAccessSlots, GapTakesTheBaseBeforeItButIsNotAvailable) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912", "7", "3");
  MakeParport(dir.Path(), 3, "632 0");
  TSimRig rig(dir.Path());
  rig.sim->AddPort(0x378, TSimPortKind::ecp);
  rig.sim->AddPort(0x278, TSimPortKind::spp);
  rig.lpt->SetActive(1);
  EXPECT_EQ(rig.lpt->PortCount(), 3);
  EXPECT_TRUE(rig.lpt->PortAvailable());
  rig.lpt->SelectPort(2);
  EXPECT_EQ(rig.lpt->CurrentBase(), 0x378);
  EXPECT_FALSE(rig.lpt->PortAvailable());
  rig.lpt->SelectPort(3);
  EXPECT_EQ(rig.lpt->CurrentBase(), 0x278);
  EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_spp);
  EXPECT_TRUE(rig.lpt->PortAvailable());
  // Only found slots are handed to the backend.
  ASSERT_EQ(rig.rec->assigned.size(), 2u);
  EXPECT_EQ(rig.rec->assigned[0], std::make_pair(uint8_t{1}, uint16_t{0x378}));
  EXPECT_EQ(rig.rec->assigned[1], std::make_pair(uint8_t{3}, uint16_t{0x278}));
}

TEST(LptAccessSlots, SlotsWithoutABaseNeverReachTheHardware) {
  struct TCase {
    const char* name;
    const char* slot1;  // base-addr of parport0, nullptr for none
  };
  const TCase cases[] = {{"only a higher slot", nullptr}, {"slot 1 without a range", "garbage"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.slot1) MakeParport(dir.Path(), 1, c.slot1);
    MakeParport(dir.Path(), 3, "632 1656");
    TSimRig rig(dir.Path());
    // A port decoding the low addresses would answer if anything went there.
    rig.sim->AddPort(0x000, TSimPortKind::ecp);
    rig.sim->AddPort(0x278, TSimPortKind::ecp);
    rig.lpt->SetActive(1);
    EXPECT_EQ(rig.lpt->Active(), 1);
    EXPECT_EQ(rig.lpt->PortCount(), 3);
    for (uint8_t slot : {1, 2}) {
      rig.lpt->SelectPort(slot);
      EXPECT_EQ(rig.lpt->CurrentBase(), 0);
      EXPECT_FALSE(rig.lpt->PortAvailable());
      EXPECT_EQ(rig.lpt->Capability(), zylisp::lpt_none);
      rig.lpt->SetPin(2, true);
      EXPECT_FALSE(rig.lpt->GetPin(11));
      EXPECT_EQ(rig.lpt->ReadDataPort(), 0xFF);
      rig.lpt->SetECPMode(3);
      rig.lpt->AcquirePort(true);
    }
    EXPECT_EQ(rig.rec->CountPort(0x000), 0u);
    EXPECT_TRUE(rig.rec->acquires.empty());
    for (const auto& grant : rig.rec->grants) EXPECT_NE(grant.first, 0);
    rig.lpt->SelectPort(3);
    EXPECT_TRUE(rig.lpt->PortAvailable());
    EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
  }
}

TEST(LptAccessSlots, EmptyParportFolderFallsBackToSlot1At378) {
  TempDir dir;  // exists, holds no ports
  TSimRig rig(dir.Path());
  rig.sim->AddPort(0x378, TSimPortKind::epp);
  rig.lpt->SetActive(1);
  EXPECT_EQ(rig.lpt->PortCount(), 1);
  EXPECT_EQ(rig.lpt->CurrentBase(), 0x378);
  EXPECT_TRUE(rig.lpt->PortAvailable());
  // Slots past the table have no base.
  rig.lpt->SelectPort(3);
  EXPECT_FALSE(rig.lpt->PortAvailable());
  rig.lpt->SelectPort(0);
  rig.lpt->SelectPort(8);
  EXPECT_EQ(rig.lpt->CurrentPort(), 3);
}

TEST(LptAccessEcpMode, OnlyAnEcpPortIsSwitched) {
  {
    TSimRig rig;
    rig.sim->AddPort(0x378, TSimPortKind::ecp);
    rig.lpt->SetActive(1);
    rig.lpt->SetECPMode(3);
    EXPECT_EQ(rig.lpt->Mode(), zylisp::lpt_epp);
    EXPECT_EQ(rig.lpt->ReadECR(), 0x95);  // mode bits 100, the rest kept
    // Its EPP registers are live now.
    rig.lpt->WriteEPPAddressPort(0x5A);
    rig.lpt->WriteStatusPort(1);
    EXPECT_EQ(rig.lpt->ReadEPPAddressPort(), 0x5A);
    rig.lpt->SetECPMode(5);
    EXPECT_EQ(rig.lpt->ReadECR() >> 5, 3);
    rig.lpt->SetECPMode(0);
    rig.lpt->SetECPMode(6);
    EXPECT_EQ(rig.lpt->Mode(), zylisp::lpt_ecp);
    EXPECT_EQ(rig.lpt->ReadECR() >> 5, 3);
  }
  for (TSimPortKind kind : {TSimPortKind::spp, TSimPortKind::ps2, TSimPortKind::epp}) {
    SCOPED_TRACE(KindName(kind));
    TSimRig rig;
    rig.sim->AddPort(0x378, kind);
    rig.lpt->SetActive(1);
    const uint8_t mode = rig.lpt->Mode();
    rig.rec->log.clear();
    rig.lpt->SetECPMode(3);
    EXPECT_EQ(rig.lpt->Mode(), mode);
    EXPECT_EQ(rig.rec->Writes(), 0u);
  }
}

TEST(LptAccessLifecycle, ClosedAccessDoesNothing) {
  TFakeConnector device;
  TSimRig rig;
  rig.sim->AddPort(0x378, TSimPortKind::ecp, &device);
  EXPECT_EQ(rig.lpt->Active(), 0);
  EXPECT_EQ(rig.lpt->PortCount(), 1);
  EXPECT_EQ(rig.lpt->CurrentPort(), 1);
  EXPECT_EQ(rig.lpt->ReadPort(0x378), 0xFF);
  EXPECT_EQ(rig.lpt->ReadDataPort(), 0xFF);
  EXPECT_FALSE(rig.lpt->GetPin(11));
  rig.lpt->SetPin(2, true);
  rig.lpt->WritePort(0x378, 1);
  EXPECT_TRUE(rig.rec->log.empty());

  rig.lpt->SetActive(2);
  rig.lpt->SetActive(1);  // already open: nothing changes
  EXPECT_EQ(rig.lpt->Active(), 2);
  EXPECT_EQ(rig.rec->opens, 1);
  rig.lpt->WritePort(0x378, 0x3C);
  EXPECT_EQ(rig.lpt->ReadPort(0x378), 0x3C);

  rig.lpt->SetActive(0);
  EXPECT_EQ(rig.rec->closes, 1);
  EXPECT_EQ(rig.lpt->Active(), 0);
  EXPECT_FALSE(rig.lpt->PortAvailable());
  rig.rec->log.clear();
  EXPECT_EQ(rig.lpt->ReadPort(0x378), 0xFF);
  EXPECT_EQ(rig.lpt->ReadStatusPort(), 0xFF);
  EXPECT_FALSE(rig.lpt->GetPin(10));
  rig.lpt->SetPin(2, true);
  EXPECT_TRUE(rig.rec->log.empty());
  EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
}

TEST(LptAccessLifecycle, AcquiredDevicesAreReleasedAtClose) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912");
  MakeParport(dir.Path(), 2, "632 1656");
  TSimRig rig(dir.Path());
  rig.sim->AddPort(0x378, TSimPortKind::ecp);
  rig.sim->AddPort(0x278, TSimPortKind::spp);
  rig.lpt->SetActive(1);
  rig.lpt->AcquirePort(true);
  rig.lpt->AcquirePort(true);
  rig.lpt->SelectPort(2);
  rig.lpt->AcquirePort(true);
  rig.lpt->SelectPort(1);
  using A = std::pair<uint8_t, bool>;
  ASSERT_EQ(rig.rec->acquires.size(), 2u);
  EXPECT_EQ(rig.rec->acquires[0], A(1, true));
  EXPECT_EQ(rig.rec->acquires[1], A(2, true));
  rig.lpt->SetActive(0);
  ASSERT_EQ(rig.rec->acquires.size(), 4u);
  EXPECT_EQ(rig.rec->acquires[2], A(1, false));
  EXPECT_EQ(rig.rec->acquires[3], A(2, false));
}

TEST(LptAccessLifecycle, GrantsCoverEverySlotsRanges) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912");
  MakeParport(dir.Path(), 2, "956 0");
  TSimRig rig(dir.Path());
  rig.lpt->SetActive(1);
  using G = std::pair<uint16_t, uint16_t>;
  const std::vector<G> expected = {{0x378, 0x37F}, {0x778, 0x77A}, {0x3BC, 0x3BE}};
  ASSERT_GE(rig.rec->grants.size(), expected.size());
  EXPECT_EQ(std::vector<G>(rig.rec->grants.begin(), rig.rec->grants.begin() + 3), expected);
}
