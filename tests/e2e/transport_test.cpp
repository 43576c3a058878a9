// Behaviour that must not depend on the link: held connections, status
// registers, verify failures, run over the simulated LPT1 and over zylsim
// on COM1.
#include "core/errors.h"
#include "drivers/isp_programmer.h"
#include "e2e/sim_fixture.h"
#include "image/hex_list.h"

namespace {

class OverEachTransport : public SimulatedAdapterTest,
                          public ::testing::WithParamInterface<Transport> {
 protected:
  // Runs op on the held connection's driver; the message of the verify
  // failure it raises, "" when it raises none.
  template <typename Op>
  std::string VerifyFailure(Op op) {
    try {
      op(*zylisp::CurrentSession().Programmer, *zylisp::CurrentSession().Buffer);
    } catch (const zylisp::EVerifyError& e) {
      return e.Message();
    }
    return "";
  }
};

TEST_P(OverEachTransport, SpiStatusRegisterAndBlockProtectionOnAHeldConnection) {
  UseChip("25C16", "", GetParam());
  Connect("25C16");
  ASSERT_EQ(Zyl_PROG_Open(), 0) << Zyl_GetLastError();
  // Only a session on a parallel port makes a parallel-port object.
  EXPECT_EQ(zylisp::CurrentSession().Lpt != nullptr, GetParam() == Transport::Parallel);
  const std::vector<uint8_t> image = RandomImage(2048, 16);
  testing_support::WriteBytes(File("in.bin"), image);
  // Any protected block refuses the program before a page is written: the
  // part would drop those writes without a word.
  for (const uint8_t bits : {0x04, 0x08, 0x0C}) {
    SCOPED_TRACE(int{bits});
    ASSERT_EQ(Zyl_WriteStatus(bits), 0);
    EXPECT_EQ(Zyl_ReadStatus() & 0x0C, bits);
    EXPECT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), ZYL_ERR_WRITE_PROTECTED);
    EXPECT_STREQ(Zyl_GetLastError(), "device write-protected by its status register");
    EXPECT_NE(std::string(Zyl_GetErrorDetail()).find("status register 00"), std::string::npos);
    ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0);
    EXPECT_EQ(Zyl_ANSI_ReadBuffer(ZYL_AREA_EEPROM, 0), 0xFF);
    EXPECT_EQ(Zyl_ANSI_ReadBuffer(ZYL_AREA_EEPROM, 2047), 0xFF);
  }
  ASSERT_EQ(Zyl_LoadBuffer(ZYL_AREA_EEPROM, File("in.bin").c_str()), 0);
  EXPECT_EQ(Zyl_VerifyEEPROM(nullptr), 10);
  EXPECT_EQ(VerifyFailure([](auto& p, auto& b) { p.Verify(b); }),
            "EEPROM: Verification Failed - Block protection may be enabled");

  ASSERT_EQ(Zyl_WriteStatus(0x00), 0);
  EXPECT_EQ(Zyl_ReadStatus() & 0x0C, 0);
  ASSERT_EQ(Zyl_ProgramEEPROM(nullptr), 0);
  EXPECT_EQ(Zyl_VerifyEEPROM(nullptr), 0);
  ASSERT_EQ(Zyl_ReadEEPROM(File("out.bin").c_str(), ZYL_FMT_BINARY), 0);
  EXPECT_EQ(testing_support::ReadBytes(File("out.bin")), image);
  EXPECT_EQ(Zyl_PROG_Close(), 0);
  ExpectChipHolds(image);
}

TEST_P(OverEachTransport, StuckCellsFailVerifyWithTheirCount) {
  UseChip("24C02", "fault=stuck:0x10:0xFF:0x00+stuck:0x11:0x01:0x00+stuck:0xFE:0x80:0x00",
          GetParam());
  Connect("24C02");
  const std::vector<uint8_t> image(256, 0xA5);
  testing_support::WriteBytes(File("in.bin"), image);
  ASSERT_EQ(Zyl_PROG_Open(), 0) << Zyl_GetLastError();
  ASSERT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), 0);
  EXPECT_EQ(Zyl_VerifyEEPROM(File("in.bin").c_str()), 10);
  EXPECT_STREQ(Zyl_GetLastError(), "verify failure");
  const zylisp::THexList& buffer = *zylisp::CurrentSession().Buffer;
  for (uint32_t a = 0; a < 256; ++a) {
    const bool bad = a == 0x10 || a == 0x11 || a == 0xFE;
    EXPECT_EQ(buffer.StatusAt(a), bad ? zylisp::ps_failed : zylisp::ps_verified) << a;
  }
  EXPECT_EQ(VerifyFailure([](auto& p, auto& b) { p.Verify(b); }),
            "EEPROM: Verification Failed - 3 bytes had errors");
}

// Parts without a status register say so instead of answering with a byte
// nobody read, or with success for nothing done; Microwire parts take the
// value into every location.
TEST_P(OverEachTransport, StatusCallsFollowTheBusKind) {
  struct Case {
    const char* device;
    int32_t read;   // -1: a status byte
    int32_t write;
  };
  const Case cases[] = {{"24C02", 11, 11}, {"93C46", 11, 0}, {"25C02", -1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    UseChip(c.device, "", GetParam());
    Connect(c.device);
    ASSERT_EQ(Zyl_PROG_Open(), 0) << Zyl_GetLastError();
    const int32_t status = Zyl_ReadStatus();
    if (c.read < 0) {
      EXPECT_EQ(status & 0x01, 0);  // not busy
    } else {
      EXPECT_EQ(status, c.read);
      EXPECT_STREQ(Zyl_GetLastError(), "funtion not supported on device");
    }
    EXPECT_EQ(Zyl_WriteStatus(0x00), c.write);
    EXPECT_EQ(Zyl_WriteAllValue(0x5A), c.write);
    if (std::string(c.device) == "93C46") {
      ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0);
      EXPECT_EQ(Zyl_ANSI_ReadBuffer(ZYL_AREA_EEPROM, 0), 0x5A);
      EXPECT_EQ(Zyl_ANSI_ReadBuffer(ZYL_AREA_EEPROM, 127), 0x5A);
    }
    EXPECT_EQ(Zyl_PROG_Close(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Links, OverEachTransport,
                         ::testing::Values(Transport::Parallel, Transport::Serial),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::Parallel ? "LPT" : "COM";
                         });

}  // namespace
