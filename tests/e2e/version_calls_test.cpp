// Which library and firmware the client works with, and the firmware update
// through the external updater on a held connection.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>
#include <ctime>
#include <regex>

#include "api/firmware_updater.h"
#include "e2e/sim_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

class VersionCalls : public SimulatedAdapterTest {};

TEST_F(VersionCalls, LibraryVersionAndProgramDate) {
  zylisp::CurrentSession().LastResult = 42;
  EXPECT_TRUE(std::regex_match(Zyl_GetDLLversion(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")))
      << Zyl_GetDLLversion();

  // The date of this test program's own file, in the C locale's format.
  testing_support::ScopedEnv noAll("LC_ALL", nullptr);
  testing_support::ScopedEnv cTime("LC_TIME", "C");
  struct stat st {};
  ASSERT_EQ(stat("/proc/self/exe", &st), 0);
  std::tm when{};
  localtime_r(&st.st_mtime, &when);
  char expected[64];
  strftime(expected, sizeof expected, "%m/%d/%y %H:%M:%S", &when);
  EXPECT_STREQ(Zyl_GetDLLDate(), expected);
  EXPECT_EQ(zylisp::CurrentSession().LastResult, 42);
}

TEST_F(VersionCalls, FirmwareVersionOrNotAvailable) {
  EXPECT_STREQ(Zyl_GetFWVersion(), "N/A");  // no programmer kind

  UseChip("24C02", "firmware=000A");
  Connect("24C02");
  zylisp::CurrentSession().LastResult = 42;
  EXPECT_STREQ(Zyl_GetFWVersion(), "000A");
  EXPECT_EQ(zylisp::CurrentSession().LastResult, 0);  // it opened a connection
  EXPECT_EQ(zylisp::CurrentSession().Programmer, nullptr);

  for (const char* unreachable : {"identity=NOBODY", "firmware=000B"}) {
    UseChip("24C02", unreachable);
    Connect("24C02");
    EXPECT_STREQ(Zyl_GetFWVersion(), "N/A") << unreachable;
  }
}

class FirmwareUpdate : public SimulatedAdapterTest {
 public:
  using SimulatedAdapterTest::File;
  void TearDown() override {
    zylisp::UpdaterTimeLimit() = std::chrono::minutes(5);
    SimulatedAdapterTest::TearDown();
  }

  // An updater in the folder "fw" under a name that differs in case from
  // the one looked for; it records its command line in fw/args.
  std::string Updater(const std::string& then, mode_t mode = 0755) {
    mkdir(File("fw").c_str(), 0755);
    const std::string path = File("fw/tarnwick.EXE");
    testing_support::WriteFile(path, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"" +
                                         File("fw/args") + "\"\n" + then + "\n");
    chmod(path.c_str(), mode);
    return path;
  }
  std::string Args() {
    return testing_support::FileExists(File("fw/args")) ? testing_support::ReadFile(File("fw/args"))
                                                        : "";
  }
};

TEST_F(FirmwareUpdate, RunsWithThePortReleasedAndTheConnectionComesBack) {
  UseChip("24C02", "", Transport::Serial);
  Connect("24C02");
  ASSERT_EQ(Zyl_PROG_Open(), 0) << Zyl_GetLastError();
  // While the updater runs, it can take the port for itself.
  const std::string port = std::getenv("ZYLISP_SERIAL_PORTS");
  const std::string path =
      Updater("exec 3<>'" + port + "' && flock -n 3 && echo free >> '" + File("fw/args") + "'");
  EXPECT_EQ(Zyl_UpdateFW(File("fw").c_str()), 0) << Zyl_GetLastError();
  EXPECT_EQ(Args(), path + "\nzylisp\n000A\nfree\n");
  EXPECT_TRUE(zylisp::CurrentSession().KeepOpen);
  EXPECT_STREQ(Zyl_GetFWVersion(), "000A");
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0) << Zyl_GetLastError();
  EXPECT_EQ(Zyl_PROG_Close(), 0);
}

TEST_F(FirmwareUpdate, RefusalsStartNothingAndKeepTheConnection) {
  UseChip("24C02");
  Connect("24C02");
  Updater("");
  EXPECT_EQ(Zyl_UpdateFW(File("fw").c_str()), 2);  // no held connection
  Zyl_SetMode(3);
  EXPECT_EQ(Zyl_UpdateFW(File("fw").c_str()), 2);  // no programmer kind
  EXPECT_EQ(Args(), "");

  Connect("24C02");
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  Sim().ClearCommandLog();
  EXPECT_EQ(Zyl_UpdateFW(File("nowhere").c_str()), 1);
  EXPECT_STREQ(Zyl_GetLastError(), "Invalid File type or File not found, access denied etc.");
  EXPECT_TRUE(Sim().CommandLog().empty());  // the link was not touched

  // An updater that cannot be started has not updated anything.
  Updater("", 0644);
  EXPECT_EQ(Zyl_UpdateFW(File("fw").c_str()), 1);
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0) << Zyl_GetLastError();
  EXPECT_EQ(Zyl_PROG_Close(), 0);
}

// An updater someone else could have put there is never started.
TEST_F(FirmwareUpdate, UpdatersOthersCouldReplaceAreNotStarted) {
  struct Row {
    const char* name;
    bool rootOnly;
    // Prepares fw with its updater; the folder to hand over (null for none).
    std::function<const char*(FirmwareUpdate&)> make;
    const char* detail;
  };
  static std::string folder;
  const std::vector<Row> rows = {
      {"no folder: never the current one", false,
       [](FirmwareUpdate& t) -> const char* {
         t.Updater("");
         EXPECT_EQ(chdir(t.File("fw").c_str()), 0);
         return nullptr;
       },
       "the updater needs the folder that holds it"},
      {"an empty folder name", false,
       [](FirmwareUpdate& t) -> const char* {
         t.Updater("");
         EXPECT_EQ(chdir(t.File("fw").c_str()), 0);
         return "";
       },
       "the updater needs the folder that holds it"},
      {"an updater others may write", false,
       [](FirmwareUpdate& t) {
         t.Updater("", 0757);
         return (folder = t.File("fw")).c_str();
       },
       "fw/tarnwick.EXE may be written by others: it is not run"},
      {"a folder others may write", false,
       [](FirmwareUpdate& t) {
         t.Updater("");
         EXPECT_EQ(chmod(t.File("fw").c_str(), 01777), 0);
         return (folder = t.File("fw")).c_str();
       },
       "fw may be written by others: its updater is not run"},
      {"a link in the updater's place", false,
       [](FirmwareUpdate& t) {
         const std::string real = t.Updater("");
         EXPECT_EQ(rename(real.c_str(), t.File("fw/real").c_str()), 0);
         EXPECT_EQ(symlink("real", real.c_str()), 0);
         return (folder = t.File("fw")).c_str();
       },
       "fw/tarnwick.EXE is not a regular file"},
      {"an updater of another user", true,
       [](FirmwareUpdate& t) {
         EXPECT_EQ(chown(t.Updater("").c_str(), 65534, 65534), 0);
         return (folder = t.File("fw")).c_str();
       },
       "fw/tarnwick.EXE belongs to another user: it is not run"},
  };
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.rootOnly && geteuid() != 0) continue;
    UseChip("24C02");
    Connect("24C02");
    ASSERT_EQ(Zyl_PROG_Open(), 0);
    const char* given = row.make(*this);
    EXPECT_EQ(Zyl_UpdateFW(given), 1);
    EXPECT_NE(std::string(Zyl_GetErrorDetail()).find(row.detail), std::string::npos)
        << Zyl_GetErrorDetail();
    EXPECT_EQ(Args(), "");  // not started
    EXPECT_EQ(chdir(here), 0);
    EXPECT_EQ(Zyl_PROG_Close(), 0);
    std::filesystem::remove_all(File("fw"));
  }
}

TEST_F(FirmwareUpdate, UpdaterThatNeverEndsIsStoppedAtTheLimit) {
  UseChip("24C02");
  Connect("24C02");
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  zylisp::UpdaterTimeLimit() = std::chrono::milliseconds(300);
  Updater("echo $$ > '" + File("fw/pid") + "'\nexec sleep 600");
  const auto start = Clock::now();
  // Stopped at the limit, it has not updated anything.
  EXPECT_EQ(Zyl_UpdateFW(File("fw").c_str()), 1);
  EXPECT_NE(std::string(Zyl_GetErrorDetail()).find("did not end within the time limit"),
            std::string::npos)
      << Zyl_GetErrorDetail();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
  const pid_t pid = std::stoi(testing_support::ReadFile(File("fw/pid")));
  EXPECT_NE(kill(pid, 0), 0);  // gone, and reaped
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0) << Zyl_GetLastError();
}

TEST_F(FirmwareUpdate, ProgrammerThatDoesNotComeBackGivesHardwareCode) {
  UseChip("24C02", "", Transport::Serial);
  Connect("24C02");
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  Updater("kill " + std::to_string(zylsim_->Pid()));
  EXPECT_EQ(Zyl_UpdateFW(File("fw").c_str()), 3);
  EXPECT_EQ(Zyl_PROG_Close(), 0);
}

}  // namespace
