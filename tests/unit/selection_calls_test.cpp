// The exports that need no connection, called as a client calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "api/session.h"
#include "devices/device.h"
#include "image/hex_list.h"
#include "zylisp.h"

namespace {

class SelectionCalls : public ::testing::Test {
 protected:
  void SetUp() override { zylisp::ResetSession(); }
  void TearDown() override { zylisp::ResetSession(); }
};

TEST_F(SelectionCalls, StateAtLoadReportsSuccess) {
  EXPECT_STREQ(Zyl_GetLastError(), "Operation Successful");
  EXPECT_EQ(zylisp::CurrentSession().Device, nullptr);
  EXPECT_EQ(zylisp::CurrentSession().Mode, 0);
  EXPECT_EQ(zylisp::CurrentSession().Port, 0);
  EXPECT_FALSE(zylisp::IsReady());
}

TEST_F(SelectionCalls, SelectingADeviceIgnoresCaseAndSizesTheImage) {
  EXPECT_EQ(Zyl_SetDevice("24wc16"), 0);
  EXPECT_EQ(zylisp::CurrentSession().Device->Name, "24WC16");
  EXPECT_EQ(Zyl_SetDevice("25010 (at)"), 0);
  EXPECT_EQ(zylisp::CurrentSession().Device->Name, "25010 (AT)");
  ASSERT_NE(zylisp::CurrentSession().Buffer, nullptr);
  EXPECT_EQ(zylisp::CurrentSession().Buffer->Size(), 128);
}

TEST_F(SelectionCalls, UnknownDeviceLeavesNoDeviceAndNoImage) {
  ASSERT_EQ(Zyl_SetDevice("24C02"), 0);
  EXPECT_EQ(Zyl_SetDevice("AT90S1200"), 8);
  EXPECT_EQ(zylisp::CurrentSession().Device, nullptr);
  EXPECT_EQ(zylisp::CurrentSession().Buffer, nullptr);
  EXPECT_STREQ(Zyl_GetLastError(), "device not supported or recognises");
  EXPECT_EQ(Zyl_SetDevice(nullptr), 8);
}

TEST_F(SelectionCalls, ModeAcceptsOneToThreeOnly) {
  EXPECT_EQ(Zyl_SetMode(2), 0);
  EXPECT_EQ(Zyl_SetMode(4), 1);
  EXPECT_EQ(zylisp::CurrentSession().Mode, 2);
  EXPECT_EQ(Zyl_SetMode(0), 1);
  EXPECT_EQ(Zyl_SetMode(3), 0);
  EXPECT_EQ(Zyl_SetDevice("24C02"), 0);
  EXPECT_EQ(Zyl_SetPort(1), 0);
  EXPECT_TRUE(zylisp::IsReady());  // mode 3 counts as ready though it has no kind
}

TEST_F(SelectionCalls, GetDeviceListsByBusKindAndRejectsBigIndexes) {
  EXPECT_EQ(Zyl_GetDeviceCount(0), 21);
  EXPECT_EQ(Zyl_GetDeviceCount(1), 23);
  EXPECT_EQ(Zyl_GetDeviceCount(2), 7);
  EXPECT_EQ(Zyl_GetDeviceCount(3), 0);
  EXPECT_EQ(Zyl_GetDeviceCount(-1), 0);

  char name[ZYL_DEVICE_NAME_SIZE] = {};
  EXPECT_EQ(Zyl_GetDevice(0, 20, name), 0);
  EXPECT_STREQ(name, "24C1024");
  EXPECT_EQ(Zyl_GetDevice(1, 2, name), 0);
  EXPECT_STREQ(name, "25010 (AT)");
  EXPECT_EQ(Zyl_GetDevice(2, 6, name), 0);
  EXPECT_STREQ(name, "93C86");

  std::strcpy(name, "keep");
  EXPECT_EQ(Zyl_GetDevice(0, 21, name), 1);
  EXPECT_STREQ(name, "keep");
  for (uint32_t index : {0x80000000u, 0xFFFFFFFFu, 0x80000001u}) {
    EXPECT_EQ(Zyl_GetDevice(0, index, name), 1);
    EXPECT_STREQ(name, "keep");
  }
  EXPECT_EQ(Zyl_GetDevice(3, 0, name), 1);
  EXPECT_EQ(Zyl_GetDevice(0, 0, nullptr), 1);
}

TEST_F(SelectionCalls, ResultTextsCoverTheTableAndAreEmptyBeyondIt) {
  EXPECT_STREQ(zylisp::ResultText(3), "Hardware not responding, check connections and port settings");
  EXPECT_STREQ(zylisp::ResultText(12),
               "Firmware update is required for the DLL to work with this programmer");
  for (int code = 13; code <= 16; ++code) EXPECT_STREQ(zylisp::ResultText(code), "");
  EXPECT_STREQ(zylisp::ResultText(17), "Port in use or not available");
  EXPECT_STREQ(zylisp::ResultText(18), "Operation cancelled");
  EXPECT_STREQ(zylisp::ResultText(19), "device write-protected by its status register");
  EXPECT_STREQ(zylisp::ResultText(20), "");
  EXPECT_STREQ(zylisp::ResultText(-1), "");
  // A value above 19 recorded as the last result reads as the empty text.
  zylisp::CurrentSession().LastResult = 256;
  EXPECT_STREQ(Zyl_GetLastError(), "");
}

int g_calls = 0;
void ZYL_CALL CountingHandler(int32_t, int32_t) { ++g_calls; }

TEST_F(SelectionCalls, ProgressHandlerCanBeRemoved) {
  g_calls = 0;
  EXPECT_EQ(Zyl_SetProgressHandler(CountingHandler), 0);
  zylisp::CurrentSession().ProgressHandler(1, 2);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(Zyl_SetProgressHandler(nullptr), 0);
  EXPECT_EQ(zylisp::CurrentSession().ProgressHandler, nullptr);
}

}  // namespace
