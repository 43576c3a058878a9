// TLptAccess on a simulated I/O space: slots, port kinds, pins and their
// shadows, as the parallel driver and the port enumeration use them.
#include "ports/lpt_access.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "lpt_test_backend.h"
#include "support/test_files.h"
#include "zylsim/sim_io_space.h"

using lpt_test::MakeParport;
using lpt_test::TFakeConnector;
using lpt_test::TRecordingBackend;
using testing_support::TempDir;
using zylisp::TLptAccess;
using zylsim::TSimPortKind;

namespace {

// A TLptAccess on a simulated I/O space, every backend call recorded.
class TSimRig {
 public:
  explicit TSimRig(const std::string& parportDir = "") {
    auto space = std::make_unique<zylsim::TSimIoSpace>();
    sim = space.get();
    auto recorder = std::make_unique<TRecordingBackend>(std::move(space));
    rec = recorder.get();
    lpt = std::make_unique<TLptAccess>(std::move(recorder), parportDir);
  }
  zylsim::TSimIoSpace* sim;
  TRecordingBackend* rec;
  std::unique_ptr<TLptAccess> lpt;
};

TEST(LptAccess, PortKindsAndWhereTheyAreLookedFor) {
  struct Row {
    const char* name;
    const char* baseAddr;  // parport0/base-addr, nullptr for no parport folder
    uint16_t modelBase;    // 0: nothing there
    TSimPortKind kind;
    bool refuseGrants;
    bool available;
  };
  const Row rows[] = {
      {"spp at the fallback", nullptr, 0x378, TSimPortKind::spp, false, true},
      {"ecp at the fallback", nullptr, 0x378, TSimPortKind::ecp, false, true},
      {"spp found at 278", "632 1656\n", 0x278, TSimPortKind::spp, false, true},
      {"ecp found at 278", "632 1656\n", 0x278, TSimPortKind::ecp, false, true},
      {"nothing at the base", nullptr, 0, TSimPortKind::spp, false, false},
      {"backend refuses the grant", nullptr, 0x378, TSimPortKind::ecp, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    if (row.baseAddr) MakeParport(dir.Path(), 1, row.baseAddr);
    TSimRig rig(dir.Path());
    rig.rec->refuseGrants = row.refuseGrants;
    if (row.modelBase != 0) rig.sim->AddPort(row.modelBase, row.kind);
    if (row.baseAddr) rig.sim->AddPort(0x378, TSimPortKind::ecp);  // not in the table: untouched
    rig.lpt->SetActive(1);
    ASSERT_EQ(rig.lpt->Active(), 1);
    EXPECT_EQ(rig.lpt->PortCount(), 1);
    EXPECT_EQ(rig.lpt->PortAvailable(), row.available);
    rig.lpt->SetECPMode(zylisp::lpt_epp);
    rig.lpt->WriteECR(0x34);
    if (row.refuseGrants) continue;
    EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
    if (row.baseAddr) {
      EXPECT_EQ(rig.rec->CountPort(0x378), 0u);
    }
  }
}

TEST(LptAccess, OnlyAnEcpPortSwitchesToEpp) {
  for (TSimPortKind kind : {TSimPortKind::ecp, TSimPortKind::spp}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TSimRig rig;
    rig.sim->AddPort(0x378, kind);
    rig.lpt->SetActive(1);
    rig.rec->log.clear();
    rig.lpt->SetECPMode(zylisp::lpt_epp);
    if (kind == TSimPortKind::ecp) {
      EXPECT_EQ(rig.sim->Read(0x77A), 0x95);  // mode bits 100, the rest kept
    } else {
      EXPECT_EQ(rig.rec->Writes(), 0u);
    }
  }
}

TEST(LptAccess, ConnectorSeesTheLevelsTheDriverSets) {
  TFakeConnector device;
  TSimRig rig;
  rig.sim->AddPort(0x378, TSimPortKind::ecp, &device);
  rig.lpt->SetActive(1);
  rig.lpt->SetECPMode(zylisp::lpt_epp);

  const int hostPins[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17};
  // The power-up pattern of the parallel driver: all low, then data high.
  for (int p = 1; p <= 17; ++p) rig.lpt->SetPin(p, false);
  for (int p = 2; p <= 9; ++p) rig.lpt->SetPin(p, true);
  for (int p : hostPins) EXPECT_EQ(device.HostPin(p), p >= 2 && p <= 9) << "pin " << p;
  // Every host pin both ways with one register write, the others staying put.
  for (int p : hostPins) {
    for (bool level : {true, false}) {
      const uint32_t before = device.hostLevels;
      rig.rec->log.clear();
      rig.lpt->SetPin(p, level);
      EXPECT_EQ(rig.rec->log.size(), 1u);
      EXPECT_EQ(device.HostPin(p), level) << "pin " << p;
      const uint32_t others = ~(1u << p);
      EXPECT_EQ(device.hostLevels & others, before & others) << "pin " << p;
    }
  }
  for (int p : {10, 11, 12, 13, 15}) {
    device.DrivePin(p, true);
    EXPECT_TRUE(rig.lpt->GetPin(p)) << "pin " << p;
    device.DrivePin(p, false);
    EXPECT_FALSE(rig.lpt->GetPin(p)) << "pin " << p;
  }
  rig.lpt->SetPin(14, true);
  EXPECT_TRUE(rig.lpt->GetPin(14));  // a host pin reads back its own level

  rig.rec->log.clear();
  for (int p : {-1, 0, 18, 25}) {
    rig.lpt->SetPin(p, true);
    EXPECT_FALSE(rig.lpt->GetPin(p));
  }
  EXPECT_TRUE(rig.rec->log.empty());
}

TEST(LptAccess, SlotTable) {
  struct Row {
    const char* name;
    std::vector<std::pair<int, const char*>> parports;  // slot, base-addr
    uint8_t portCount;
    std::vector<bool> available;  // slot 1, 2, ...
    std::vector<std::pair<uint8_t, uint16_t>> grants;
  };
  const Row rows[] = {
      {"empty folder: slot 1 at 378", {}, 1, {true, false}, {{1, 0x378}}},
      {"gap takes the base before it", {{1, "888 1912"}, {3, "632 0"}}, 3,
       {true, false, true}, {{1, 0x378}, {3, 0x278}}},
      {"only a higher slot", {{3, "632 1656"}}, 3, {false, false, true}, {{3, 0x278}}},
      {"slot 1 without a range", {{1, "garbage"}, {3, "632 1656"}}, 3, {false, false, true},
       {{3, 0x278}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    for (const auto& [slot, baseAddr] : row.parports) MakeParport(dir.Path(), slot, baseAddr);
    TSimRig rig(dir.Path());
    // A port decoding the low addresses would answer if anything went there.
    rig.sim->AddPort(0x000, TSimPortKind::ecp);
    rig.sim->AddPort(0x378, TSimPortKind::ecp);
    rig.sim->AddPort(0x278, TSimPortKind::spp);
    rig.lpt->SetActive(1);
    EXPECT_EQ(rig.lpt->PortCount(), row.portCount);
    EXPECT_EQ(rig.rec->grants, row.grants);
    for (std::size_t i = 0; i < row.available.size(); ++i) {
      rig.lpt->SelectPort(static_cast<uint8_t>(i + 1));
      EXPECT_EQ(rig.lpt->PortAvailable(), row.available[i]) << "slot " << i + 1;
      rig.lpt->SetPin(2, true);
    }
    rig.lpt->SelectPort(0);  // not a slot: nothing changes
    rig.lpt->SelectPort(8);
    EXPECT_EQ(rig.lpt->PortAvailable(), row.available.back());
    EXPECT_EQ(rig.rec->CountPort(0x000), 0u);
    EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
  }
}

TEST(LptAccess, ClosedAccessDoesNothingAndCloseLetsGo) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912");
  MakeParport(dir.Path(), 2, "632 0");
  TSimRig rig(dir.Path());
  rig.sim->AddPort(0x378, TSimPortKind::ecp);
  rig.sim->AddPort(0x278, TSimPortKind::spp);
  EXPECT_EQ(rig.lpt->Active(), 0);
  EXPECT_FALSE(rig.lpt->GetPin(11));
  rig.lpt->SetPin(2, true);
  rig.lpt->WriteECR(0);
  EXPECT_TRUE(rig.rec->log.empty());

  rig.lpt->SetActive(2);
  rig.lpt->SetActive(1);  // already open: nothing changes
  EXPECT_EQ(rig.lpt->Active(), 2);
  EXPECT_EQ(rig.rec->opens, 1);
  using G = std::pair<uint8_t, uint16_t>;
  EXPECT_EQ(rig.rec->grants, (std::vector<G>{{1, 0x378}, {2, 0x278}}));

  rig.lpt->SelectPort(2);
  rig.lpt->SetActive(0);
  EXPECT_EQ(rig.rec->closes, 1);
  EXPECT_EQ(rig.lpt->Active(), 0);
  EXPECT_FALSE(rig.lpt->PortAvailable());
  rig.rec->log.clear();
  EXPECT_FALSE(rig.lpt->GetPin(10));
  rig.lpt->SetPin(2, true);
  EXPECT_TRUE(rig.rec->log.empty());
  EXPECT_EQ(rig.sim->UngrantedAccesses(), 0u);
}

}  // namespace
