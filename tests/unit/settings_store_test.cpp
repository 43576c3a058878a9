// The settings table and its INI store under $XDG_CONFIG_HOME.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>
#include <string>

#include "core/errors.h"
#include "core/isp_settings.h"
#include "core/settings_store_file.h"
#include "support/test_files.h"

using namespace zylisp;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
  std::string StoreFile() const { return dir_.Path() + "/norvex/ZYLISP0001/COMMANDLINE.ini"; }
  void MakeStoreFolder() const {
    mkdir((dir_.Path() + "/norvex").c_str(), 0777);
    mkdir((dir_.Path() + "/norvex/ZYLISP0001").c_str(), 0777);
  }
};

TEST_F(SettingsStoreTest, KeyPathMapsIntoConfigFolder) {
  EXPECT_EQ(StoreFile(), SettingsFilePath(kCommandLineKey, false));
  EXPECT_EQ(dir_.Path() + "/a/b.ini", SettingsFilePath("a\\b", false));
  EXPECT_EQ("/some/file.ini", SettingsFilePath("/some/file.ini", true));
  {
    ScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ("/home/someone/.config/norvex/ZYLISP0001/COMMANDLINE.ini",
              SettingsFilePath(kCommandLineKey, false));
  }
  // Key paths that would leave the settings folder are refused.
  EXPECT_THROW(SettingsFilePath("Software\\..\\..\\etc", false), ESettingsFileError);
  EXPECT_THROW(SettingsFilePath("Software\\a/b", false), ESettingsFileError);
  EXPECT_THROW(SettingsFilePath("Software", false), ESettingsFileError);
}

TEST_F(SettingsStoreTest, MissingKeyIsCreatedEmpty) {
  TISPSettings settings;
  settings.SetValue("Zyl ISP (LPT)", "Clockspeed", 1, 5);
  settings.LoadStore(kCommandLineKey, false, 1);
  EXPECT_EQ(0, settings.Count());
  ASSERT_TRUE(FileExists(StoreFile()));
  EXPECT_EQ("", ReadFile(StoreFile()));
  EXPECT_EQ(1, settings.GetValue("Zyl ISP (LPT)", "Clockspeed", 1).ToInteger());
}

TEST_F(SettingsStoreTest, ClockSpeedSavedAsStringAndReloaded) {
  TISPSettings settings;
  settings.LoadStore(kCommandLineKey, false, 1);
  settings.SetValue("Zyl ISP (LPT)", "Clockspeed", 1, 3);
  settings.SaveStore(kCommandLineKey, false, 1);
  EXPECT_EQ("[Zyl ISP (LPT)]\nClockspeed=3\n", ReadFile(StoreFile()));

  TISPSettings again;
  again.LoadStore(kCommandLineKey, false, 1);
  ASSERT_EQ(1, again.Count());
  const TSetting& s = again.Items(0);
  EXPECT_EQ("Zyl ISP (LPT)", s.Section);
  EXPECT_EQ("Clockspeed", s.Ident);
  EXPECT_EQ(1, s.Store);
  EXPECT_EQ("3", s.Value.AsString());
  EXPECT_EQ(3, again.GetValue("zyl isp (lpt)", "CLOCKSPEED", 1).ToInteger());
}

TEST_F(SettingsStoreTest, NamesMatchIgnoringCaseForWritingAsForReading) {
  TISPSettings settings;
  settings.SetValue("Zyl ISP (LPT)", "BASEPORT", 1, 0);
  settings.SetValue("ZYL isp (lpt)", "baseport", 2, 7);
  // One setting, which keeps its names and store and takes the value.
  ASSERT_EQ(1, settings.Count());
  EXPECT_EQ("Zyl ISP (LPT)", settings.Items(0).Section);
  EXPECT_EQ("BASEPORT", settings.Items(0).Ident);
  EXPECT_EQ(1, settings.Items(0).Store);
  EXPECT_EQ(7, settings.GetValue("zyl isp (LPT)", "BasePort", -1).ToInteger());
  EXPECT_EQ(-1, settings.GetValue("Zyl ISP (COM)", "BASEPORT", -1).ToInteger());

  // In a stored file, the last of the names differing in case wins, and a
  // save writes each name and section once.
  MakeStoreFolder();
  WriteFile(StoreFile(), "[Zyl ISP (LPT)]\nclockspeed=7\n[ZYL ISP (LPT)]\nBASEPORT=2\nCLOCKSPEED=6\n");
  settings.LoadStore(kCommandLineKey, false, 1);
  EXPECT_EQ(6, settings.GetValue("Zyl ISP (LPT)", "Clockspeed", 1).ToInteger());
  settings.SetValue("Zyl ISP (LPT)", "Clockspeed", 1, 5);
  settings.SaveStore(kCommandLineKey, false, 1);
  EXPECT_EQ("[Zyl ISP (LPT)]\nclockspeed=5\nBASEPORT=2\n", ReadFile(StoreFile()));
}

TEST_F(SettingsStoreTest, StoresAreClearedAndSavedSeparately) {
  TISPSettings settings;
  settings.SetValue("A", "one", 1, 1);
  settings.SetValue("A", "two", 2, 2);
  settings.SetValue("B", "three", 1, 3);
  settings.SaveStore(kCommandLineKey, false, 1);
  EXPECT_EQ("[A]\none=1\n\n[B]\nthree=3\n", ReadFile(StoreFile()));

  settings.ClearStore(1);
  ASSERT_EQ(1, settings.Count());
  EXPECT_EQ("two", settings.Items(0).Ident);

  // Loading store 1 leaves store 2 alone.
  settings.LoadStore(kCommandLineKey, false, 1);
  EXPECT_EQ(3, settings.Count());
  EXPECT_EQ(2, settings.GetValue("A", "two", 0).ToInteger());
}

TEST_F(SettingsStoreTest, SaveRemovesSectionsTheTableNoLongerHolds) {
  MakeStoreFolder();
  WriteFile(StoreFile(),
            "[Zyl ISP (COM)]\r\nBASEPORT=2\r\n[Zyl ISP (LPT)]\r\nClockspeed=1\r\nEEPROMtime=10\r\n");
  TISPSettings settings;
  settings.LoadStore(kCommandLineKey, false, 1);
  ASSERT_EQ(3, settings.Count());
  settings.ClearStore(1);
  settings.SetValue("Zyl ISP (LPT)", "Clockspeed", 1, 4);
  settings.SaveStore(kCommandLineKey, false, 1);
  EXPECT_EQ("[Zyl ISP (LPT)]\nClockspeed=4\n", ReadFile(StoreFile()));
}

TEST_F(SettingsStoreTest, LoadSkipsLinesItCannotParse) {
  MakeStoreFolder();
  WriteFile(StoreFile(),
            "\xEF\xBB\xBF[Zyl ISP (LPT)]\n"
            "first=1\n"
            "[]\n"
            "unnamed=1\n"
            "[Zyl ISP (LPT)]\n"
            "; a comment\n"
            "no equals sign\n"
            "=novalue\n"
            "  Clockspeed = 2  \n"
            "bad\x01line=1\n"
            "[broken\n"
            "lost=1\n"
            "[Zyl ISP (COM)]\n"
            "BASEPORT=1\n"
            "EEPROMtime=\n");
  TISPSettings settings;
  settings.LoadStore(kCommandLineKey, false, 1);
  ASSERT_EQ(4, settings.Count());
  EXPECT_EQ("1", settings.GetValue("Zyl ISP (LPT)", "first", 0).AsString());
  EXPECT_EQ("2", settings.GetValue("Zyl ISP (LPT)", "Clockspeed", 0).AsString());
  EXPECT_EQ("1", settings.GetValue("Zyl ISP (COM)", "BASEPORT", 0).AsString());
  EXPECT_EQ("", settings.GetValue("Zyl ISP (COM)", "EEPROMtime", 0).AsString());
  EXPECT_EQ(-1, settings.GetValue("Zyl ISP (LPT)", "lost", -1).ToInteger());

  // Lines before the first section belong to none.
  const auto entries = ParseStoreText("orphan=1\r\n[S]\r\na=1");
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("S", entries[0].Section);
  EXPECT_EQ("a", entries[0].Name);
  EXPECT_EQ("1", entries[0].Value);
}

TEST_F(SettingsStoreTest, DamagedFilesLoadAsEmptyUnreadableOnesAreRefused) {
  MakeStoreFolder();
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37 + 11) & 0xFF);
  binary += std::string("\0[Zyl ISP (LPT)]\0\nClock\x7Fspeed=3\n", 31);
  WriteFile(StoreFile(), binary);

  TISPSettings settings;
  settings.SetValue("X", "y", 1, 1);
  settings.LoadStore(kCommandLineKey, false, 1);
  EXPECT_EQ(0, settings.Count());

  // A folder where the file should be might hide settings: it is named,
  // not read as empty and later replaced.
  std::remove(StoreFile().c_str());
  mkdir(StoreFile().c_str(), 0777);
  try {
    settings.LoadStore(kCommandLineKey, false, 1);
    ADD_FAILURE() << "a folder was read as a settings file";
  } catch (const ESettingsFileError& e) {
    EXPECT_EQ("cannot read " + StoreFile() + ": it is not a regular file", e.Message());
  }

  // A store whose folder path is blocked by a file holds nothing: it loads
  // as empty, and only a save fails.
  TempDir other;
  WriteFile(other.File("norvex"), "not a folder");
  ScopedEnv xdg("XDG_CONFIG_HOME", other.Path().c_str());
  EXPECT_NO_THROW(settings.LoadStore(kCommandLineKey, false, 1));
  EXPECT_EQ(0, settings.Count());
  settings.SetValue("Zyl ISP (LPT)", "Clockspeed", 1, 3);
  EXPECT_THROW(settings.SaveStore(kCommandLineKey, false, 1), ESettingsFileError);
  EXPECT_EQ("not a folder", ReadFile(other.File("norvex")));
}

TEST_F(SettingsStoreTest, FailedSaveLeavesOldFileIntact) {
  MakeStoreFolder();
  const std::string old = "[Zyl ISP (LPT)]\nClockspeed=1\n";
  WriteFile(StoreFile(), old);

  TISPSettings settings;
  settings.LoadStore(kCommandLineKey, false, 1);
  settings.SetValue("Zyl ISP (LPT)", "Clockspeed", 1, 7);
  settings.SetValue("Zyl ISP (LPT)", "Padding", 1, std::string(200, 'x'));

  // A file size limit makes the write fail even for root, like a full disk.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  bool threw = false;
  try {
    settings.SaveStore(kCommandLineKey, false, 1);
  } catch (const ESettingsFileError& e) {
    threw = true;
    EXPECT_NE(std::string::npos, std::string(e.what()).find("COMMANDLINE.ini"));
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_TRUE(threw);
  EXPECT_EQ(old, ReadFile(StoreFile()));
  // No temporary file is left beside it.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path() + "/norvex/ZYLISP0001"))
    files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(1, files);
}

TEST_F(SettingsStoreTest, UnstorableTextIsRefusedBeforeWriting) {
  MakeStoreFolder();
  WriteFile(StoreFile(), "[S]\na=1\n");
  TISPSettings settings;
  settings.SetValue("S", "a=b", 1, 1);
  EXPECT_THROW(settings.SaveStore(kCommandLineKey, false, 1), ESettingsFileError);
  settings.ClearStore(1);
  settings.SetValue("S", "a", 1, "two\nlines");
  EXPECT_THROW(settings.SaveStore(kCommandLineKey, false, 1), ESettingsFileError);
  EXPECT_EQ("[S]\na=1\n", ReadFile(StoreFile()));
}

TEST_F(SettingsStoreTest, IniFlagUsesThePathAsTheFile) {
  const std::string ini = dir_.File("plain.ini");
  TISPSettings settings;
  settings.LoadStore(ini, true, 1);
  EXPECT_EQ(0, settings.Count());
  EXPECT_FALSE(FileExists(ini));

  settings.SetValue("Zyl ISP (COM)", "EEPROMtime", 1, 12);
  settings.SaveStore(ini, true, 1);
  EXPECT_EQ("[Zyl ISP (COM)]\nEEPROMtime=12\n", ReadFile(ini));
  EXPECT_FALSE(FileExists(StoreFile()));

  TISPSettings again;
  again.LoadStore(ini, true, 1);
  EXPECT_EQ(12, again.GetValue("Zyl ISP (COM)", "EEPROMtime", 0).ToInteger());
}

// Eight processes of eight threads each change the store at once, every
// thread its own key, again and again: every key is there at the end.
TEST_F(SettingsStoreTest, WritersOfOtherKeysAtOnceLoseNothing) {
  constexpr int kProcesses = 8, kThreads = 8, kRounds = 4;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      bool failed = false;
      std::vector<std::thread> threads;
      std::atomic<bool> anyFailed{false};
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
          for (int round = 1; round <= kRounds; ++round) {
            try {
              TISPSettings store;
              store.UpdateStore(kCommandLineKey, false, 1, [&](TISPSettings& settings) {
                settings.SetValue("Writers", "k" + std::to_string(p) + "_" + std::to_string(t),
                                  1, round);
              });
            } catch (...) {
              anyFailed = true;
            }
          }
        });
      }
      for (std::thread& thread : threads) thread.join();
      failed = anyFailed;
      _exit(failed ? 1 : 0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TISPSettings store;
  store.LoadStore(kCommandLineKey, false, 1);
  for (int p = 0; p < kProcesses; ++p) {
    for (int t = 0; t < kThreads; ++t) {
      const std::string key = "k" + std::to_string(p) + "_" + std::to_string(t);
      EXPECT_EQ(store.GetValue("Writers", key, "lost").AsString(), std::to_string(kRounds)) << key;
    }
  }
}

TEST(SettingValueTest, IntegerConversion) {
  EXPECT_EQ("42", TSettingValue(42).AsString());
  EXPECT_EQ("-5", TSettingValue(int64_t{-5}).AsString());
  EXPECT_EQ(17, TSettingValue("+17").ToInteger());
  EXPECT_EQ(-17, TSettingValue("-17").ToInteger());
  EXPECT_EQ(INT64_MIN, TSettingValue("-9223372036854775808").ToInteger());
  EXPECT_EQ(INT64_MAX, TSettingValue("9223372036854775807").ToInteger());
  for (const char* bad : {"", "abc", "3x", "0x10", " 3", "-", "+", "+-3", "9223372036854775808"})
    EXPECT_FALSE(TSettingValue(bad).ToInteger()) << bad;
}

}  // namespace
