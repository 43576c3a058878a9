#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/hex_text.h"

using namespace zylisp;

namespace {

TEST(HexText, DigitAndByteRules) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('f'), 0);  // upper case only
  EXPECT_EQ(HexDigitValue('G'), 0);
  EXPECT_EQ(HexByte("A5"), 0xA5);
  EXPECT_EQ(HexByte("a5"), 0xA5);
  EXPECT_EQ(HexByte("G5"), 0);
  EXPECT_EQ(HexByte("5"), 0);
  EXPECT_EQ(HexDigits(0xAB, 4), "00AB");
}

TEST(FailureFamily, AllShareOneBaseAndNoneDerivesFromAnother) {
  static_assert(std::is_base_of_v<EZylError, EISPException>);
  static_assert(std::is_base_of_v<EZylError, EFirmwareMisMatch>);
  static_assert(std::is_base_of_v<EZylError, EVerifyError>);
  static_assert(!std::is_base_of_v<EISPException, EVerifyError>);
  static_assert(!std::is_base_of_v<EISPException, EFirmwareMisMatch>);
  EISPException e("Command not known here", "ZYL ISP (LPT)");
  EXPECT_EQ(e.Message(), "Command not known here");
  EXPECT_EQ(e.Source(), "ZYL ISP (LPT)");
  EXPECT_STREQ(EVerifyError("x").what(), "x");
}

}  // namespace
