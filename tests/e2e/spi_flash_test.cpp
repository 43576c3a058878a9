// SPI NOR flash through the programmer on the in-process emulator: jobs
// that erase only what must change, protection refused and cleared, the
// part left in 3-byte mode, and detection by JEDEC ID, SFDP and I2C scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "devices/part_table.h"
#include "drivers/isp_programmer.h"
#include "e2e/firmware_rig.h"
#include "image/hex_list.h"
#include "zylsim/chip_spi_flash.h"
#include "zylsim/emulator.h"

namespace {

using namespace zylisp;

// The in-process rig, opened, with the flash model at hand.
struct TRig : testing_support::TFirmwareRig {
  TRig(const std::string& config, const TDevice& device) : TFirmwareRig(config, device) {
    traffic.keep = false;
    programmer->Open();
  }
  zylsim::SpiFlash& Flash() { return dynamic_cast<zylsim::SpiFlash&>(emulator->TargetChip()); }
  std::vector<uint8_t>& Memory() { return emulator->TargetChip().Memory(); }
  // Commands straight on the model's bus, then time for their cycles.
  void OnChip(std::initializer_list<std::vector<uint8_t>> commands) {
    zylsim::SpiFlash& f = Flash();
    for (const std::vector<uint8_t>& command : commands) {
      f.Select();
      for (uint8_t b : command) f.Transfer(b);
      f.Deselect();
    }
    f.Advance(1000000);
  }
};

const TDevice& Device(const char* name) {
  const TDevice* device = FindDevice(name);
  if (!device) throw std::runtime_error(std::string("no device ") + name);
  return *device;
}

uint8_t Pattern(uint32_t a, unsigned seed) { return static_cast<uint8_t>((a * seed) % 251); }

THexList Blank(int32_t size) {
  THexList image;
  image.SetSize(size);
  image.Fill(0, size - 1, 0xFF);
  return image;
}

void ExpectChipHolds(TRig& rig, TISPProgrammer& p, const THexList& image) {
  const std::vector<uint8_t>& chip = rig.Memory();
  EXPECT_TRUE(std::equal(chip.begin(), chip.end(), image.Data())) << "the chip differs from the image";
  THexList back = Blank(image.Size());
  p.Read(back);
  EXPECT_TRUE(std::equal(chip.begin(), chip.end(), back.Data())) << "the read differs from the chip";
}

TEST(SpiFlash, ReprogrammingErasesOnlyTheChangedUnitsWithTheLargestErase) {
  struct Case {
    const char* device;
    const char* chip;
    uint32_t at;  // where the changes lie
    uint64_t erases4k, erases32k, erases64k;
  };
  // 64 KiB rewritten, 32 KiB blanked, one byte raised in a 4 KiB sector, one
  // byte lowered. 0x52 has no 4-byte form: above 16 MiB the 4-byte-opcode
  // parts blank the 32 KiB with 4 KiB erases.
  const Case cases[] = {
      {"W25Q64JV", "W25Q64JV", 0x10000, 1, 1, 1},
      {"GD25Q64C", "GD25Q64C", 0x7E0000, 1, 1, 1},
      {"W25Q256JV", "W25Q256JV", 0x1800000, 9, 0, 1},
      {"W25Q256FV", "W25Q256JV", 0x1800000, 1, 1, 1},  // enters and leaves 4-byte mode
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    const TDevice& device = Device(c.device);
    TRig rig("device=" + std::string(c.chip), device);
    TISPProgrammer& p = *rig.programmer;
    THexList first = Blank(device.Size);
    for (uint32_t a = c.at; a < c.at + 0x20000; ++a) first.SetValue(a, Pattern(a, 1));
    p.Program(first);
    const zylsim::Statistics& s = rig.emulator->Stats();
    EXPECT_EQ(s.flashErases4k + s.flashErases32k + s.flashErases64k, 0u) << "a blank chip needs no erase";
    EXPECT_EQ(s.flashPagePrograms, 512u);
    EXPECT_TRUE(std::equal(rig.Memory().begin(), rig.Memory().end(), first.Data()));

    THexList second = first;
    for (uint32_t a = c.at; a < c.at + 0x10000; ++a) second.SetValue(a, Pattern(a, 3));
    second.Fill(static_cast<int32_t>(c.at + 0x10000), static_cast<int32_t>(c.at + 0x17FFF), 0xFF);
    second.SetValue(c.at + 0x18010, 0xFF);
    second.SetValue(c.at + 0x1C020, 0x00);
    std::vector<std::pair<int32_t, int32_t>> progress;
    p.SetOnProgress([&](int32_t done, int32_t total) {
      if (total > 0) progress.emplace_back(done, total);
    });
    p.Program(second);
    p.SetOnProgress(nullptr);
    // One job from 0 to its total: read, erase, program, verify.
    ASSERT_FALSE(progress.empty());
    const int32_t total = progress.front().second;
    EXPECT_EQ(total, 4 * device.Size);
    EXPECT_GE(progress.back().first, 3 * device.Size);
    for (std::size_t i = 1; i < progress.size(); ++i) {
      EXPECT_EQ(progress[i].second, total);
      ASSERT_GE(progress[i].first, progress[i - 1].first) << "at " << i;
    }
    EXPECT_EQ(s.flashErases4k, c.erases4k);
    EXPECT_EQ(s.flashErases32k, c.erases32k);
    EXPECT_EQ(s.flashErases64k, c.erases64k);
    EXPECT_EQ(s.flashPagePrograms, 512u + 256 + 16 + 1);
    EXPECT_FALSE(s.flashFourByteMode);
    ExpectChipHolds(rig, p, second);
    EXPECT_FALSE(rig.Flash().FourByteMode());
  }
}

TEST(SpiFlash, ProtectionIsRefusedWithItsRangeUntilUnprotected) {
  struct Case {
    const char* device;
    uint8_t sr1;
    int sr2;  // -1: left alone
    const char* range;
    const char* cure;
  };
  const Case cases[] = {
      {"W25Q64JV", 0x04, -1, "0x7E0000 to 0x7FFFFF", "--unprotect"},
      {"W25Q64JV", 0x00, 0x40, "0x000000 to 0x7FFFFF", "--unprotect"},  // CMP
      {"W25Q64JV", 0x64, -1, "0x000000 to 0x000FFF", "--unprotect"},   // SEC, TB
      {"GD25Q64C", 0x44, -1, "0x7FF000 to 0x7FFFFF", "--unprotect"},
      {"GD25Q64C", 0x00, 0x40, "0x000000 to 0x7FFFFF", "--unprotect"},  // CMP, cleared by 0x31
      {"MX25L3233F", 0x04, -1, "0x3F0000 to 0x3FFFFF", "--unprotect"},  // TB in CR (0x15)
      {"MX25L6406E", 0x3C, -1, "0x000000 to 0x7FFFFF", "write the status register 00"},
      {"AT25DF321A", 0x3C, -1, "sector at 0x000000 to 0x00FFFF is locked", "--unprotect"},  // global lock
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.device) + " SR1 " + std::to_string(c.sr1));
    const TDevice& device = Device(c.device);
    TRig rig("device=" + std::string(c.device), device);
    TISPProgrammer& p = *rig.programmer;
    p.WriteStatus(c.sr1);
    if (c.sr2 >= 0) rig.OnChip({{0x06}, {0x31, static_cast<uint8_t>(c.sr2)}});
    THexList image = Blank(device.Size);
    for (uint32_t a : {0u, static_cast<uint32_t>(device.Size) - 300}) image.SetValue(a, 0x5A);
    try {
      p.Program(image);
      ADD_FAILURE() << "programmed a protected part";
    } catch (const EWriteProtected& e) {
      EXPECT_NE(e.Message().find(c.range), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find(c.cure), std::string::npos) << e.Message();
    }
    EXPECT_THROW(p.EraseAll(), EWriteProtected);
    EXPECT_EQ(std::count(rig.Memory().begin(), rig.Memory().end(), 0xFF), device.Size);
    p.Unprotect();
    EXPECT_EQ(p.ReadStatus() & 0x7C, 0);
    p.Program(image);
    ExpectChipHolds(rig, p, image);
    p.EraseAll();
    EXPECT_EQ(rig.emulator->Stats().flashChipErases, 1u);
    EXPECT_EQ(std::count(rig.Memory().begin(), rig.Memory().end(), 0xFF), device.Size);
  }
}

TEST(SpiFlash, UnprotectSaysWhichBitsStaySet) {
  const TDevice& device = Device("MX25L3233F");
  TRig rig("device=MX25L3233F", device);
  rig.OnChip({{0x06}, {0x01, 0x0C, 0x08}});  // BP0-1 and the one-time TB
  try {
    rig.programmer->Unprotect();
    ADD_FAILURE() << "TB cannot be cleared";
  } catch (const EWriteProtected& e) {
    EXPECT_NE(e.Message().find("CR bits 08"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("one-time programmable"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(rig.programmer->ReadStatus() & 0x3C, 0);  // BP cleared all the same
}

TEST(SpiFlash, FailuresAndStopsLeaveThePartInThreeByteModeAndSayWhy) {
  struct Case {
    const char* what;
    const char* fault;
    int stopAfter;  // stop checks answered "no" before a "yes"; -1 never
    const char* failure;
  };
  const Case cases[] = {
      {"stop in the page writes", "", 40, "Operation cancelled"},
      {"garbled reply to a read in 4-byte mode", "ack:R:100:T", -1, "Communications with ISP failed"},
      {"a bit that does not take", "stuck:0x1000010:0x01:0x00", -1, "Verification Failed - 1 bytes"},
  };
  const TDevice& device = Device("W25Q256FV");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRig rig(std::string("device=W25Q256JV") + (*c.fault ? ",fault=" : "") + c.fault, device);
    TISPProgrammer& p = *rig.programmer;
    p.Params().SerialWindow = 0;  // a failure shows at the command that failed
    std::fill_n(rig.Memory().begin() + 0x1000000, 0x20000, 0x00);
    int checks = 0;
    p.SetStopCheck([&] { return c.stopAfter >= 0 && checks++ >= 8192 + c.stopAfter; });
    THexList image = Blank(device.Size);
    for (uint32_t a = 0x1000000; a < 0x1010000; ++a) image.SetValue(a, Pattern(a, 5));
    std::string failure;
    try {
      p.Program(image);
    } catch (const EZylError& e) {
      failure = e.Message();
    }
    EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    EXPECT_FALSE(rig.Flash().FourByteMode());
  }
}

TEST(SpiFlash, DetectionFindsTheIdTheSfdpGeometryAndI2CAddresses) {
  struct Case {
    const char* config;
    const char* device;
    uint32_t id;  // 0: nothing answers on SPI
    uint32_t sfdpSize;  // 0: no SFDP
    const char* row;    // the table's row for the ID; "" for a generic one
    std::vector<uint8_t> i2c;
  };
  const std::vector<Case> cases = {
      {"device=W25Q64JV", "W25Q64JV", 0xEF4017, 8u << 20, "W25Q64JV", {}},
      {"device=W25Q64JV,jedecid=0x5E4017", "W25Q64JV", 0x5E4017, 8u << 20, "", {}},
      {"device=MX25L6406E", "MX25L6406E", 0xC22017, 0, "MX25L6406E", {}},
      {"device=24C64", "24C64", 0, 0, "", {0x50}},
      {"device=24C16", "W25Q64JV", 0, 0, "", {0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57}},
      {"device=W25Q64JV,fitted=none", "W25Q64JV", 0, 0, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    TRig rig(c.config, Device(c.device));
    TISPProgrammer& p = *rig.programmer;
    const TSpiFlashIdentity found = p.DetectSpiFlash();
    EXPECT_EQ(found.JedecId.value_or(0), c.id);
    EXPECT_EQ(found.Sfdp ? found.Sfdp->Size : 0, c.sfdpSize);
    EXPECT_EQ(p.ScanI2C(), c.i2c);
    if (c.id == 0) continue;
    const std::vector<const TPartRow*> rows = PartsWithJedecId(c.id);
    if (*c.row) {
      ASSERT_FALSE(rows.empty());
      EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const TPartRow* r) { return r->Name == c.row; }));
      continue;
    }
    // A part the table does not know is programmed by the row SFDP gives.
    EXPECT_TRUE(rows.empty());
    ASSERT_TRUE(found.Sfdp.has_value());
    const TPartRow row = GenericFlashRow(c.id, *found.Sfdp);
    EXPECT_EQ(row.Name, "SFDP 5E4017");
    EXPECT_EQ(row.Size, 8 << 20);
    ASSERT_EQ(row.Erase.size(), 3u);
    EXPECT_EQ(row.Erase[1].Size, 32768u);
    EXPECT_EQ(row.Erase[1].Opcode, 0x52);
    TDevice generic{row.Name, kBusSPI, row.Size, row.PageSize, 5, 0, 0, 0, &row};
    TRig onRow(c.config, generic);
    THexList image = Blank(row.Size);
    for (uint32_t a = 0x400000; a < 0x408000; ++a) image.SetValue(a, Pattern(a, 7));
    onRow.Memory()[0x400000] = 0x00;
    onRow.programmer->Program(image);
    ExpectChipHolds(onRow, *onRow.programmer, image);
    EXPECT_EQ(onRow.emulator->Stats().flashErases4k, 1u);
  }
}

}  // namespace
