// Configuration strings, image loading and atomic write-back.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <sstream>

#include "chip_bus.h"
#include "firmware_host.h"
#include "support/test_files.h"
#include "zylsim/emulator.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using zylsim::ConfigError;
using zylsim::EmulatorConfig;
using zylsim::MakeEmulator;

std::string ErrorOf(const std::string& config) {
  try {
    MakeEmulator(config);
  } catch (const ConfigError& e) {
    return e.what();
  }
  return "";
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  return names;
}

TEST(EmulatorConfig, ParsesEveryKey) {
  const EmulatorConfig c = EmulatorConfig::Parse(
      " device=25010 (AT) ,fitted=none,org=16,firmware=000B,identity=XYZ,pace=1,latency=20,"
      "fault=silent+badecho;busy+error:W:3:T+stuck:0x10:0xFF:0");
  EXPECT_EQ(c.device, "25010 (AT)");
  EXPECT_TRUE(c.EmptySocket());
  EXPECT_EQ(c.org, 16);
  EXPECT_EQ(c.version, "000B");
  EXPECT_EQ(c.identity, "XYZ");
  EXPECT_TRUE(c.pace);
  EXPECT_EQ(c.latencyMs, 20u);
  EXPECT_TRUE(c.silent && c.badEcho && c.neverReady);
  ASSERT_EQ(c.errors.size(), 1u);
  EXPECT_EQ(c.errors[0].command, 'W');
  EXPECT_EQ(c.errors[0].occurrence, 3u);
  EXPECT_EQ(c.errors[0].code, 'T');
  ASSERT_EQ(c.stuck.size(), 1u);
  EXPECT_EQ(c.stuck[0].address, 0x10u);
  EXPECT_EQ(c.stuck[0].mask, 0xFF);
  EXPECT_EQ(c.stuck[0].value, 0);
}

TEST(EmulatorConfig, JedecIdOverridesTheFlashIdAndFlashCountsReachTheStatistics) {
  auto emulator = MakeEmulator("device=W25Q64JV,jedecid=0x1A2B3C");
  auto& flash = static_cast<zylsim::SpiChip&>(emulator->TargetChip());
  EXPECT_EQ(chiptest::SpiRead(flash, {0x9F}, 3), (chiptest::Bytes{0x1A, 0x2B, 0x3C}));
  chiptest::SpiFrame(flash, {0x06});
  chiptest::SpiFrame(flash, {0x20, 0x00, 0x10, 0x00});
  std::ostringstream out;
  emulator->PrintStatistics(out);
  EXPECT_NE(out.str().find("rx_overruns 0\nflash_erases_4k 1\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("flash_four_byte_mode 0\n"), std::string::npos);
}

TEST(EmulatorConfig, DefaultsMatchTheRealAdapter) {
  const EmulatorConfig c = EmulatorConfig::Parse("device=24C16");
  EXPECT_EQ(c.org, 8);
  EXPECT_EQ(c.version, "000A");
  EXPECT_EQ(c.identity, "EEPROMISP");
  EXPECT_FALSE(c.pace);
  EXPECT_EQ(c.latencyMs, 0u);
}

TEST(EmulatorConfig, BadSettingsGiveClearErrors) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "device= is required"},
      {"image=/tmp/x", "device= is required"},
      {"device=", "device= needs"},
      {"device=24C99", "unknown device '24C99'"},
      {"device=24C16,colour=red", "unknown setting 'colour'"},
      {"device=24C16,org=12", "bad org '12'"},
      {"device=24C16,pace=yes", "bad pace"},
      {"device=24C16,latency=-1", "bad latency"},
      {"device=24C16,latency=5ms", "bad latency"},
      {"device=24C16,device=24C02", "given twice"},
      {"device=24C16,oops", "expected key=value"},
      {"device=24C16,fault=melt", "unknown fault 'melt'"},
      {"device=24C16,fault=error:W:0:T", "bad fault"},
      {"device=24C16,fault=error:WW:1:T", "bad fault"},
      {"device=24C16,fault=stuck:1:0x100:0", "bad fault"},
      {"device=24C16,fault=stuck:4096:1:0", "outside the chip"},
      {"device=24C16,identity=", "bad identity"},
      {"device=24C16,fitted=", "fitted= needs"},
      {"device=24C16,fitted=24C99", "unknown fitted chip '24C99'"},
      {"device=W25Q64JV,jedecid=0xEF40", "bad jedecid '0xEF40'"},
      {"device=W25Q64JV,jedecid=15679511", "bad jedecid"},
      {"device=24C16,jedecid=0xEF4017", "jedecid= needs an SPI NOR flash part in the socket, not '24C16'"},
      {"device=24C16,image=/nonexist/x.bin",
       "cannot write image /nonexist/x.bin: folder /nonexist: No such file or directory"},
  };
  for (const auto& [config, message] : cases) {
    EXPECT_NE(ErrorOf(config).find(message), std::string::npos) << config << " -> " << ErrorOf(config);
  }
}

TEST(EmulatorImage, MissingFileIsABlankChipAndIsCreatedOnlyWhenWritten) {
  TempDir dir;
  const std::string path = dir.File("chip.bin");
  {
    auto emu = MakeEmulator("device=24C02,image=" + path);
    EXPECT_EQ(emu->TargetChip().Memory(), std::vector<uint8_t>(256, 0xFF));
    emu->Persist();
    EXPECT_FALSE(FileExists(path));  // nothing changed, nothing written
    emu->TargetChip().Memory()[7] = 0x42;
  }
  // The destructor wrote it back.
  const std::vector<uint8_t> saved = ReadBytes(path);
  ASSERT_EQ(saved.size(), 256u);
  EXPECT_EQ(saved[7], 0x42);
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"chip.bin"});
}

TEST(EmulatorImage, LoadedContentsAreTheChipsAndWrongSizesAreRefusedUntouched) {
  TempDir dir;
  const std::string path = dir.File("chip.bin");
  std::vector<uint8_t> contents(256);
  for (int i = 0; i < 256; ++i) contents[i] = static_cast<uint8_t>(i);
  WriteBytes(path, contents);
  auto emu = MakeEmulator("device=24C02,image=" + path);
  EXPECT_EQ(emu->TargetChip().Memory(), contents);

  const std::string shortFile = dir.File("short.bin");
  WriteBytes(shortFile, std::vector<uint8_t>(100, 0x11));
  const std::string message = ErrorOf("device=24C02,image=" + shortFile);
  EXPECT_NE(message.find("holds 100 bytes, the chip 256"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(shortFile), std::vector<uint8_t>(100, 0x11));
  EXPECT_NE(ErrorOf("device=24C02,image=" + dir.Path()).find("not a regular file"), std::string::npos);
}

TEST(EmulatorImage, ProgrammedDataIsWrittenBackAtomically) {
  TempDir dir;
  const std::string path = dir.File("chip.bin");
  WriteBytes(path, std::vector<uint8_t>(2048, 0x00));
  simtest::FirmwareHost host("device=24C16,image=" + path);
  host.Send("M00");
  host.Send("X");
  host.w(0xA0);
  host.w(0x00);
  host.W({1, 2, 3});
  host.Emu().Persist();
  std::vector<uint8_t> expected(2048, 0x00);
  expected[0] = 1;
  expected[1] = 2;
  expected[2] = 3;
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"chip.bin"});
}

TEST(EmulatorImage, UnwritableFolderReportsAndKeepsTheChip) {
  TempDir dir;
  const std::string folder = dir.File("gone");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  auto emu = MakeEmulator("device=24C02,image=" + folder + "/chip.bin");
  // The folder goes away after the start, which checked it.
  ASSERT_EQ(rmdir(folder.c_str()), 0);
  emu->TargetChip().Memory()[0] = 0;
  EXPECT_THROW(emu->Persist(), std::runtime_error);
  EXPECT_EQ(emu->TargetChip().Memory()[0], 0);
}

TEST(EmulatorImage, StuckCellsShowInLoadedContentsButAreNotWrittenUnlessProgrammed) {
  TempDir dir;
  const std::string path = dir.File("chip.bin");
  WriteBytes(path, std::vector<uint8_t>(256, 0xFF));
  {
    auto emu = MakeEmulator("device=24C02,image=" + path + ",fault=stuck:0x10:0x0F:0x05");
    EXPECT_EQ(emu->TargetChip().Memory()[0x10], 0xF5);
  }
  EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>(256, 0xFF));
}

}  // namespace
