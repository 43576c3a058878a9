// Whole jobs through the exports on both links: every catalogue device on
// the simulated LPT1, one device per bus kind and size class on a zylsim
// pseudo-terminal as COM1. Each operation opens and closes its own
// connection, as a client without a held connection works; SPI NOR flash
// at 8 and 32 MiB on both links.
#include <algorithm>

#include "e2e/sim_fixture.h"

namespace {

struct DeviceCase {
  Transport transport;
  std::string name;
  int org;
};

void PrintTo(const DeviceCase& c, std::ostream* os) {
  *os << c.transport << " " << c.name << " org " << c.org;
}

std::vector<DeviceCase> Cases() {
  std::vector<DeviceCase> cases;
  char name[ZYL_DEVICE_NAME_SIZE];
  for (int bus = 0; bus < 3; ++bus) {
    for (uint32_t i = 0; Zyl_GetDevice(bus, i, name) == 0; ++i) {
      cases.push_back({Transport::Parallel, name, 8});
      if (bus == ZYL_BUS_MICROWIRE) cases.push_back({Transport::Parallel, name, 16});
    }
  }
  // Page of one byte; block bits; two address bytes; address bit 16; one
  // SPI address byte; A8 in the opcode; two SPI address bytes;
  // Microwire parts in both organisations.
  for (const char* device : {"24C00", "24C04", "24C64", "24C1024", "25010", "25040", "25C64"})
    cases.push_back({Transport::Serial, device, 8});
  for (const char* device : {"93C06", "93C56"}) {
    cases.push_back({Transport::Serial, device, 8});
    cases.push_back({Transport::Serial, device, 16});
  }
  // Parts beyond the classic catalogue, on both links: a 2-Mbit I2C part
  // (address bits 16-17 in the control byte, 256-byte pages), the 1025's
  // block select in bit 3, a 4-Mbit SPI part with three address bytes and
  // 512-byte pages, a DataFlash part; and a small SPI NOR flash erased
  // whole on the serial link (FlashSizes below takes both links).
  for (Transport t : {Transport::Parallel, Transport::Serial})
    for (const char* device : {"M24M02", "24LC1025", "M95M04", "AT45DB041"})
      cases.push_back({t, device, 8});
  cases.push_back({Transport::Serial, "W25Q80DV", 8});
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<DeviceCase>& info) {
  std::string s = (info.param.transport == Transport::Parallel ? "LPT_" : "COM_") +
                  info.param.name + "_org" + std::to_string(info.param.org);
  for (char& c : s)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

class EveryDevice : public SimulatedAdapterTest,
                    public ::testing::WithParamInterface<DeviceCase> {
 protected:
  // Reads the chip through the exports into a binary file.
  std::vector<uint8_t> ReadBack(const std::string& name) {
    EXPECT_EQ(Zyl_ReadEEPROM(File(name).c_str(), ZYL_FMT_BINARY), 0) << Zyl_GetLastError();
    return testing_support::ReadBytes(File(name));
  }
};

TEST_P(EveryDevice, ProgramEraseAndProgramAgainReadingBackEachTime) {
  const DeviceCase& dc = GetParam();
  UseChip(dc.name, "org=" + std::to_string(dc.org), dc.transport);
  Connect(dc.name, static_cast<uint8_t>(dc.org));
  const int32_t size = Zyl_GetBufferSize(ZYL_AREA_EEPROM);
  ASSERT_GT(size, 0);
  const auto bytes = static_cast<std::size_t>(size);

  const std::vector<uint8_t> first = RandomImage(bytes, static_cast<unsigned>(size) + dc.org);
  testing_support::WriteBytes(File("first.bin"), first);
  ASSERT_EQ(Zyl_ProgramEEPROM(File("first.bin").c_str()), 0) << Zyl_GetLastError();
  ExpectChipHolds(first);

  // Erased, the chip reads back blank, and takes new data at once.
  ASSERT_EQ(Zyl_EraseAllDevice(), 0) << Zyl_GetLastError();
  const std::vector<uint8_t> blank(bytes, 0xFF);
  EXPECT_EQ(ReadBack("blank.bin"), blank);
  ExpectChipHolds(blank);

  const std::vector<uint8_t> second = RandomImage(bytes, static_cast<unsigned>(size) * 3 + 1);
  testing_support::WriteBytes(File("second.bin"), second);
  ASSERT_EQ(Zyl_ProgramEEPROM(File("second.bin").c_str()), 0) << Zyl_GetLastError();
  EXPECT_EQ(Zyl_VerifyEEPROM(File("second.bin").c_str()), 0) << Zyl_GetLastError();
  EXPECT_EQ(ReadBack("second-read.bin"), second);
  ExpectChipHolds(second);

  // The connection of each operation was closed again.
  EXPECT_EQ(zylisp::CurrentSession().Programmer, nullptr);
  EXPECT_EQ(zylisp::CurrentSession().Lpt, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryDevice, ::testing::ValuesIn(Cases()), CaseName);

TEST(EveryDeviceList, CoversTheWholeCatalogueOnTheParallelLink) {
  const auto cases = Cases();
  EXPECT_EQ(std::count_if(cases.begin(), cases.end(),
                          [](const DeviceCase& c) { return c.transport == Transport::Parallel; }),
            51 + 7 + 4);  // the classic parts, Microwire also in 16 bits, the further parts
}

}  // namespace

// SPI NOR flash at 8 and 32 MiB (4-byte addresses) through the exports on
// both links: a file with data at the start, across the middle (the 16 MiB
// line of the larger part) and at the end is programmed onto a part that
// holds old data in one 64 KiB block, verified and read back.
class FlashSizes : public EveryDevice {};

TEST_P(FlashSizes, ProgramVerifyAndReadBackASparseFile) {
  const DeviceCase& dc = GetParam();
#if defined(__SANITIZE_ADDRESS__)
  // Megabytes through the simulated pins take many minutes unoptimised; the
  // sanitizers see the same flash code on the serial link.
  if (dc.transport == Transport::Parallel)
    GTEST_SKIP() << "flash sizes through the simulated pins: the release variant runs them";
#endif
  const int32_t size = dc.name == "W25Q256JV" ? 32 << 20 : 8 << 20;
  const auto bytes = static_cast<std::size_t>(size);
  std::vector<uint8_t> old(bytes, 0xFF);
  std::fill_n(old.begin() + size / 4, 0x10000, 0x00);
  UseChip(dc.name, "", dc.transport);
  testing_support::WriteBytes(Image(), old);
  Connect(dc.name);
  ASSERT_EQ(Zyl_GetBufferSize(ZYL_AREA_EEPROM), size);

  std::vector<uint8_t> wanted(bytes, 0xFF);
  const std::vector<uint8_t> data = RandomImage(0x10000, static_cast<unsigned>(size));
  for (std::size_t at : {std::size_t{0}, bytes / 2 - 0x8000, bytes - 0x10000})
    std::copy(data.begin(), data.end(), wanted.begin() + static_cast<std::ptrdiff_t>(at));
  testing_support::WriteBytes(File("wanted.bin"), wanted);
  ASSERT_EQ(Zyl_ProgramEEPROM(File("wanted.bin").c_str()), 0) << Zyl_GetLastError();
  if (dc.transport == Transport::Parallel) {
    const zylsim::Statistics& s = Sim().Stats();
    EXPECT_EQ(s.flashErases4k + s.flashErases32k + s.flashChipErases, 0u);
    EXPECT_EQ(s.flashErases64k, 1u) << "only the block of old data is erased";
    EXPECT_EQ(s.flashPagePrograms, 3u * 256);
  }
  EXPECT_EQ(Zyl_VerifyEEPROM(File("wanted.bin").c_str()), 0) << Zyl_GetLastError();
  EXPECT_TRUE(ReadBack("read.bin") == wanted) << "the read differs from the file";
  ExpectChipHolds(wanted);
}

INSTANTIATE_TEST_SUITE_P(Flash, FlashSizes,
                         ::testing::Values(DeviceCase{Transport::Parallel, "W25Q64JV", 8},
                                           DeviceCase{Transport::Serial, "W25Q64JV", 8},
                                           DeviceCase{Transport::Parallel, "W25Q256JV", 8},
                                           DeviceCase{Transport::Serial, "W25Q256JV", 8}),
                         CaseName);
