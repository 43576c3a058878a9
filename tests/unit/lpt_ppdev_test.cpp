#include "ports/ppdev_backend.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "api/lpt_backend_choice.h"
#include "ports/lpt_access.h"
#include "support/test_files.h"

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
using zylisp::TLptAccess;
using zylisp::TPpdevBackend;

namespace {

void ExpectClosedAnswers(TLptAccess& lpt) {
  EXPECT_EQ(lpt.Active(), 0);
  for (int p = 1; p <= 17; ++p) EXPECT_FALSE(lpt.GetPin(p)) << "pin " << p;
  EXPECT_FALSE(lpt.PortAvailable());
}

}  // namespace

TEST(PpdevBackend, NoDeviceMeansTheDriverDoesNotOpen) {
  TempDir dir;
  TLptAccess lpt(std::make_unique<TPpdevBackend>(dir.File("missing/parport")), "");
  lpt.SetActive(1);
  ExpectClosedAnswers(lpt);
  lpt.SetPin(2, true);
  lpt.SetActive(0);
  ExpectClosedAnswers(lpt);
}

TEST(PpdevBackend, FilesThatAreNotParportsAreNotUsable) {
  TempDir dir;
  WriteFile(dir.File("parport0"), "not a port");
  ASSERT_EQ(symlink("/dev/null", dir.File("parport1").c_str()), 0);
  TPpdevBackend backend(dir.File("parport"));
  EXPECT_FALSE(backend.Open());
  backend.Grant(1, 0x378);
  EXPECT_EQ(backend.Read(0x378), 0xFF);
  backend.Write(0x378, 0);  // harmless
}

TEST(PpdevBackend, DefaultAccessUsesPpdevWithoutTheSimulation) {
  if (access("/dev/parport0", F_OK) == 0) GTEST_SKIP() << "this machine has a parallel port";
  ScopedEnv sim("ZYLISP_LPT_SIM", nullptr);
  auto lpt = zylisp::CreateLptAccess();
  lpt->SetActive(1);
  ExpectClosedAnswers(*lpt);
}

TEST(LptAccessFactory, SimulationGivesAnEcpPortAt378) {
  ScopedEnv sim("ZYLISP_LPT_SIM", "device=24C16");
  ScopedEnv dir("ZYLISP_PARPORT_DIR", nullptr);
  auto lpt = zylisp::CreateLptAccess();
  lpt->SetActive(1);
  ASSERT_EQ(lpt->Active(), 1);
  EXPECT_EQ(lpt->PortCount(), 1);
  EXPECT_TRUE(lpt->PortAvailable());
  lpt->SetActive(0);
}

TEST(LptAccessFactory, SimulationReadsAParportFolderOnlyWhenNamed) {
  TempDir folder;
  ASSERT_EQ(mkdir(folder.File("parport0").c_str(), 0755), 0);
  WriteFile(folder.File("parport0/base-addr"), "632 1656\n");
  ScopedEnv sim("ZYLISP_LPT_SIM", "device=24C16");
  ScopedEnv dir("ZYLISP_PARPORT_DIR", folder.Path().c_str());
  auto lpt = zylisp::CreateLptAccess();
  lpt->SetActive(1);
  ASSERT_EQ(lpt->Active(), 1);
  EXPECT_FALSE(lpt->PortAvailable());  // the simulated port sits at 0x378
}
