// Files the library writes in folders that other users may write too: a
// link another user planted is not followed, a file swapped during the
// write is not renamed over, leftovers of a killed writer go, and the
// settings file is never written through a link of someone else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api/session.h"
#include "support/test_files.h"
#include "zylisp.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr uid_t kNobody = 65534;

// A 24C02 image holding 0x12 at 0, saved in binary to path.
int32_t SaveImage(const std::string& path) {
  zylisp::ResetSession();
  EXPECT_EQ(Zyl_SetDevice("24C02") | Zyl_SetMode(2) | Zyl_SetPort(1), 0);
  EXPECT_EQ(Zyl_WriteBuffer(1, 0, 0x12), 0);
  return Zyl_SaveBuffer(1, path.c_str(), ZYL_FMT_BINARY);
}

// A folder like /tmp: everyone may write it, the sticky bit protects names.
struct SharedFolder {
  TempDir dir;
  TempDir secret;  // root's own: 0700
  std::string shared = dir.File("shared");
  std::string guarded = secret.File("guarded");
  SharedFolder() {
    EXPECT_EQ(mkdir(shared.c_str(), 01777), 0);
    EXPECT_EQ(chmod(shared.c_str(), 01777), 0);
    WriteFile(guarded, "root's own");
    EXPECT_EQ(chmod(guarded.c_str(), 0600), 0);
  }
  // A link of nobody's at name in the shared folder.
  std::string PlantLink(const std::string& name, const std::string& to) const {
    const std::string at = shared + "/" + name;
    EXPECT_EQ(symlink(to.c_str(), at.c_str()), 0);
    EXPECT_EQ(lchown(at.c_str(), kNobody, kNobody), 0);
    return at;
  }
};

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) found.push_back(name);
  }
  return found;
}

// A process id that no process has now: a child that has ended.
pid_t EndedPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

struct WriteCase {
  const char* name;
  // Makes the situation; the path the library writes.
  std::function<std::string(SharedFolder&)> make;
  int32_t result;
  const char* detail;  // what follows "cannot write <path>: "
  std::function<void(SharedFolder&, const std::string&)> after;
};

class SharedFolderWrites : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "planting another user's links needs root";
  }
  void TearDown() override { zylisp::ResetSession(); }
};

TEST_F(SharedFolderWrites, OnlyWhatTheKernelWouldFollowIsWritten) {
  const std::string notFollowed = "it is a link of another user in a shared folder, which is not followed";
  const std::vector<WriteCase> rows = {
      {"another user's link to root's file", [](SharedFolder& f) { return f.PlantLink("x.hex", f.guarded); },
       1, notFollowed.c_str(),
       [](SharedFolder& f, const std::string& path) {
         EXPECT_EQ(ReadFile(f.guarded), "root's own");
         EXPECT_EQ(std::filesystem::status(f.guarded).permissions(),
                   std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
         EXPECT_TRUE(std::filesystem::is_symlink(path));
       }},
      {"another user's dangling link into root's folder",
       [](SharedFolder& f) { return f.PlantLink("y.hex", f.secret.File("made")); }, 1,
       notFollowed.c_str(),
       [](SharedFolder& f, const std::string&) { EXPECT_FALSE(Exists(f.secret.File("made"))); }},
      {"root's own link in the shared folder is followed",
       [](SharedFolder& f) {
         const std::string at = f.shared + "/mine.bin";
         EXPECT_EQ(symlink(f.guarded.c_str(), at.c_str()), 0);
         return at;
       },
       0, "",
       [](SharedFolder& f, const std::string& path) {
         EXPECT_EQ(ReadFile(f.guarded).substr(0, 1), "\x12");
         EXPECT_TRUE(std::filesystem::is_symlink(path));
       }},
      {"a killed writer's leftover goes, a live writer's stays",
       [](SharedFolder& f) {
         WriteFile(f.shared + "/.z.bin.tmp-" + std::to_string(EndedPid()) + "-0123456789abcdef",
                   "left");
         WriteFile(f.shared + "/.z.bin.tmp-" + std::to_string(getpid()) + "-fedcba9876543210",
                   "busy");
         return f.shared + "/z.bin";
       },
       0, "",
       [](SharedFolder& f, const std::string& path) {
         EXPECT_EQ(ReadFile(path).size(), 256u);
         EXPECT_EQ(Leftovers(f.shared),
                   std::vector<std::string>{".z.bin.tmp-" + std::to_string(getpid()) +
                                            "-fedcba9876543210"});
         std::filesystem::remove(f.shared + "/" + Leftovers(f.shared).front());
       }},
  };
  for (const WriteCase& row : rows) {
    SCOPED_TRACE(row.name);
    SharedFolder folder;
    const std::string path = row.make(folder);
    const int32_t check = Zyl_CheckFile(path.c_str(), 1);
    EXPECT_EQ(SaveImage(path), row.result);
    EXPECT_EQ(check, row.result);
    EXPECT_EQ(std::string(Zyl_GetErrorDetail()),
              row.result == 0 ? "" : "cannot write " + path + ": " + row.detail);
    row.after(folder, path);
    EXPECT_TRUE(Leftovers(folder.shared).empty());
  }
}

// Another user swaps the name between a link to root's file and nothing,
// as fast as it can, while root writes there: root's file never changes.
TEST_F(SharedFolderWrites, ALinkRaceNeverReachesAnotherFile) {
  SharedFolder folder;
  const std::string target = folder.shared + "/race.bin";
  const pid_t attacker = fork();
  if (attacker == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(1);
    for (;;) {
      symlink(folder.guarded.c_str(), target.c_str());
      unlink(target.c_str());
    }
  }
  ASSERT_GT(attacker, 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int writes = 0, refused = 0;
  while (std::chrono::steady_clock::now() < end) {
    (SaveImage(target) == 0 ? writes : refused)++;
    // A file root made there is root's: the attacker cannot unlink it.
    std::filesystem::remove(target);
  }
  kill(attacker, SIGKILL);
  waitpid(attacker, nullptr, 0);
  EXPECT_EQ(ReadFile(folder.guarded), "root's own");
  EXPECT_TRUE(Leftovers(folder.shared).empty());
  EXPECT_GT(writes + refused, 0);
}

// The settings of a user's folder, written by root (sudo -E keeps HOME):
// a link there that is not root's own is not followed.
TEST_F(SharedFolderWrites, SettingsAreNeverWrittenThroughAnotherUsersLink) {
  TempDir home;
  TempDir secret;
  const std::string guarded = secret.File("shadow");
  WriteFile(guarded, "root's own");
  const std::string folder = home.File("norvex/ZYLISP0001");
  std::filesystem::create_directories(folder);
  const std::string ini = folder + "/COMMANDLINE.ini";
  ASSERT_EQ(symlink(guarded.c_str(), ini.c_str()), 0);
  ASSERT_EQ(lchown(ini.c_str(), kNobody, kNobody), 0);
  testing_support::ScopedEnv config("XDG_CONFIG_HOME", home.Path().c_str());
  zylisp::ResetSession();
  ASSERT_EQ(Zyl_SetMode(ZYL_MODE_PARALLEL), 0);
  EXPECT_EQ(Zyl_PROG_Speed(5), 1);
  EXPECT_EQ(std::string(Zyl_GetErrorDetail()),
            "cannot write " + ini + ": it is a link of another user in a shared folder, which "
            "is not followed");
  EXPECT_EQ(ReadFile(guarded), "root's own");

  // Without the link the settings file is made private.
  ASSERT_EQ(unlink(ini.c_str()), 0);
  EXPECT_EQ(Zyl_PROG_Speed(5), 0);
  EXPECT_EQ(std::filesystem::status(ini).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
