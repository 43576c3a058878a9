#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "core/errors.h"
#include "image/hex_list.h"

using namespace zylisp;

namespace {

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EISPException& e) {
    return e.Message();
  }
  return "no exception";
}

TEST(HexList, NewAndClearedImagesAreBlank) {
  THexList image;
  EXPECT_EQ(image.Size(), 0);
  EXPECT_EQ(image.LastUsedAddress(), -1);
  image.SetSize(256);
  for (uint32_t a = 0; a < 256; ++a) {
    EXPECT_EQ(image.GetValue(a), 0xFF);
    EXPECT_EQ(image.StatusAt(a), ps_normal);
  }
  EXPECT_EQ(image.LastUsedAddress(), -1);
  image.SetValue(7, 0);
  image.SetStatus(7, ps_failed);
  image.Clear();
  EXPECT_EQ(image.GetValue(7), 0xFF);
  EXPECT_EQ(image.StatusAt(7), ps_normal);
}

TEST(HexList, RangeErrorsNameTheAddressAndChangeNothing) {
  THexList image;
  image.SetSize(256);
  EXPECT_EQ(image.GetValue(255), 0xFF);
  EXPECT_EQ(MessageOf([&] { image.GetValue(256); }), "THexList:GetValue:00000100 out of range");
  EXPECT_EQ(MessageOf([&] { image.SetValue(256, 1); }),
            "Set Value of Address: 00000100 out of range");
  EXPECT_EQ(MessageOf([&] { image.SetStatus(0x200, ps_verified); }),
            "Set Status of Address: 00000200 out of range");
  // A negative address from a caller is a very large unsigned one.
  EXPECT_EQ(MessageOf([&] { image.GetValue(static_cast<uint32_t>(-1)); }),
            "THexList:GetValue:FFFFFFFF out of range");
  EXPECT_EQ(image.LastUsedAddress(), -1);

  THexList empty;
  EXPECT_THROW(empty.GetValue(0), EISPException);
  EXPECT_THROW(empty.SetValue(0, 0), EISPException);
}

TEST(HexList, LastUsedAddressEndsTheLineAndStaysInsideTheImage) {
  THexList image;
  image.SetSize(0x200);
  image.SetValue(0, 0x00);
  EXPECT_EQ(image.LastUsedAddress(), 15);
  image.SetValue(0x1F0, 0x12);
  EXPECT_EQ(image.LastUsedAddress(), 0x1FF);
  image.SetValue(0x1F0, 0xFF);  // blank again
  EXPECT_EQ(image.LastUsedAddress(), 15);

  // Sizes that are not a multiple of 16 never name an address past the end.
  THexList odd;
  odd.SetSize(20);
  odd.SetValue(17, 1);
  EXPECT_EQ(odd.LastUsedAddress(), 19);
}

TEST(HexList, FillWritesUpToTheFirstAddressOutOfRange) {
  THexList image;
  image.SetSize(16);
  image.Fill(5, 4, 0x00);
  EXPECT_EQ(image.LastUsedAddress(), -1);
  image.Fill(2, 4, 0x11);
  EXPECT_EQ(image.GetValue(1), 0xFF);
  EXPECT_EQ(image.GetValue(2), 0x11);
  EXPECT_EQ(image.GetValue(4), 0x11);
  EXPECT_EQ(image.GetValue(5), 0xFF);
  EXPECT_THROW(image.Fill(14, 17, 0x22), EISPException);
  EXPECT_EQ(image.GetValue(14), 0x22);
  EXPECT_EQ(image.GetValue(15), 0x22);
}

}  // namespace

TEST(HexList, StatusesOfAVerifyReadBackAtEverySize) {
  // A verify marks every address in order: verified, or failed where the
  // chip differs.
  const struct {
    int32_t size;
    std::vector<uint32_t> failed;
  } cases[] = {
      {16, {}},
      {4096, {0, 255, 256, 4095}},
      {1000, {999}},
      {64 << 20, {0x1234, (64 << 20) - 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    THexList image;
    image.SetSize(c.size);
    for (uint32_t a = 0; a < static_cast<uint32_t>(c.size); ++a) {
      const bool bad = std::find(c.failed.begin(), c.failed.end(), a) != c.failed.end();
      image.SetStatus(a, bad ? ps_failed : ps_verified);
    }
    for (uint32_t a = 0; a < static_cast<uint32_t>(c.size); ++a) {
      const bool bad = std::find(c.failed.begin(), c.failed.end(), a) != c.failed.end();
      ASSERT_EQ(image.StatusAt(a), bad ? ps_failed : ps_verified) << a;
    }
    EXPECT_THROW(image.StatusAt(static_cast<uint32_t>(c.size)), std::out_of_range);
    image.Clear();
    EXPECT_EQ(image.StatusAt(static_cast<uint32_t>(c.size) - 1), ps_normal);
  }
}
