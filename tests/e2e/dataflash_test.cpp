// AT45DB DataFlash parts: the catalogue has none, so the test selects a
// device of bus kind 3 of its own and drives it through the exports.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "e2e/sim_fixture.h"
#include "image/hex_list.h"

namespace {

// A part of pages pages of 264 bytes; blocks erase blocks (none: a part
// whose geometry is not known).
std::unique_ptr<zylisp::TDevice> DataFlash(const std::string& name, int32_t pages,
                                           int32_t blocks) {
  return std::make_unique<zylisp::TDevice>(
      zylisp::TDevice{name, zylisp::kBusDataFlash, pages * 264, 264, 5, 0, blocks, 16});
}

class DataFlashParts : public SimulatedAdapterTest {
 protected:
  // Selects LPT1 as a client does, then puts the DataFlash part in place of
  // the catalogue device.
  void Select(zylisp::TDevice& device) {
    Connect("24C02");
    zylisp::CurrentSession().Device = &device;
    zylisp::CurrentSession().Buffer->SetSize(device.Size);
  }
};

TEST_F(DataFlashParts, ProgramVerifyReadEraseAndStatus) {
  // The first 64 pages of the part keep the test quick; the erase still
  // covers every block.
  auto flash = DataFlash("AT45DB011", 64, 64);
  UseChip("AT45DB011");
  Select(*flash);

  const std::vector<uint8_t> image = RandomImage(static_cast<std::size_t>(flash->Size), 45);
  testing_support::WriteBytes(File("in.bin"), image);
  ASSERT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), 0) << Zyl_GetLastError();
  const auto& chip = Sim().TargetChip().Memory();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));
  EXPECT_EQ(Zyl_VerifyEEPROM(nullptr), 0);

  zylisp::CurrentSession().Buffer->Clear();
  ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), zylisp::CurrentSession().Buffer->Data()));

  // Ready, with the part's density code.
  const int32_t status = Zyl_ReadStatus();
  EXPECT_EQ(status & 0x80, 0x80);

  ASSERT_EQ(Zyl_EraseAllDevice(), 0);
  const auto& erased = Sim().TargetChip().Memory();
  EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(DataFlashParts, UnknownPartIsRefusedInsteadOfGuessingItsBlocks) {
  auto known = DataFlash("AT45DB011", 64, 64);
  auto flash = DataFlash("AT45DB999", 512, 0);
  UseChip("AT45DB011");
  // A connection for a part other than the emulated one is refused at the
  // open, so the unknown part takes the known one's place once it is open.
  Select(*known);
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  zylisp::CurrentSession().Programmer->Params().Device = flash.get();
  Sim().ClearCommandLog();
  EXPECT_EQ(Zyl_EraseAllDevice(), 3);
  const auto& log = Sim().CommandLog();
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& c) { return c[0] == 'K'; }), 0);
}

int g_priorityDuringPass = 0;
void ZYL_CALL NotePriority(int32_t, int32_t) {
  g_priorityDuringPass = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

class ThreadPriority : public SimulatedAdapterTest {};

// An unprivileged caller could not raise its priority again: its thread
// keeps the priority it has instead of staying at the lowest for good.
TEST_F(ThreadPriority, UnprivilegedCallerKeepsItsPriority) {
  testing_support::TempDir shared;
  chmod(shared.Path().c_str(), 0777);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_NICE, &none);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
    setenv("XDG_CONFIG_HOME", shared.Path().c_str(), 1);
    setenv("ZYLISP_LPT_SIM", "device=24C02", 1);
    const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    if (Zyl_InitProgrammer("LPT1", "24C02", ZYL_MODE_PARALLEL) != 0) _exit(11);
    Zyl_SetProgressHandler(NotePriority);
    if (Zyl_ReadEEPROM(nullptr, 0) != 0) _exit(12);
    if (g_priorityDuringPass != before) _exit(13);
    const int after = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    _exit(after == before ? 0 : 14);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ThreadPriority, ReadsRunAtLowestAndRestoreItOnFailure) {
  const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
  UseChip("24C02", "fault=error:R:3:!");
  Connect("24C02");
  Zyl_SetProgressHandler(NotePriority);
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 3);  // fails in the middle of the pass
  Zyl_SetProgressHandler(nullptr);
  EXPECT_EQ(g_priorityDuringPass, 19);
  // Only a privileged caller may raise a thread's priority again.
  if (geteuid() == 0) {
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), before);
  }
}

}  // namespace
