// The serial link sending commands ahead of their acknowledges: every
// operation on every bus kind puts the same bytes on the wire in lockstep
// and with any window, and a failure ends the pass as in lockstep. The
// adapter is the emulator's firmware in this process, behind a serial port
// of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/session.h"
#include "core/errors.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "drivers/isp_programmer.h"
#include "image/hex_list.h"
#include "e2e/firmware_rig.h"
#include "zylsim/emulator.h"

namespace {

using namespace zylisp;

using testing_support::TTraffic;
using TRig = testing_support::TFirmwareRig;

const TDevice kDataFlash{"AT45DB011", kBusDataFlash, 16 * 264, 264, 5, 0, 16, 16};

THexList RandomImage(int32_t size, unsigned seed) {
  THexList image;
  image.SetSize(size);
  for (int32_t a = 0; a < size; ++a)
    image.SetValue(static_cast<uint32_t>(a), static_cast<uint8_t>((a * 131 + seed) >> 3));
  return image;
}

const std::size_t kWindows[] = {0, kDefaultSerialWindow, 64, kMaxSerialWindow};

TEST(SendAhead, EveryOperationPutsTheSameBytesOnTheWireInEveryWindow) {
  struct Case {
    const char* device;
    uint8_t org;
    bool statusRegister;  // that can be read and written
  };
  const Case cases[] = {
      {"24C16", 8, false},  {"24C1024", 8, false}, {"25040", 8, true},
      {"25C640", 8, true},  {"93C46", 8, false},   {"93C86", 16, false},
      {"AT45DB011", 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    const TDevice* device = std::string(c.device) == "AT45DB011" ? &kDataFlash : FindDevice(c.device);
    ASSERT_NE(device, nullptr);
    TTraffic lockstep;
    for (std::size_t window : kWindows) {
      SCOPED_TRACE("window " + std::to_string(window));
      TRig rig("device=" + std::string(c.device) + ",org=" + std::to_string(c.org), *device, window,
               c.org);
      TISPProgrammer& p = *rig.programmer;
      THexList image = RandomImage(device->Size, 7);
      THexList back;
      back.SetSize(device->Size);
      p.Open();
      p.EraseAll();
      p.Program(image);
      p.Verify(image);
      p.Read(back);
      if (c.statusRegister) p.WriteStatus(p.ReadStatus() & 0x80);
      p.Close();
      for (int32_t a = 0; a < device->Size; ++a)
        ASSERT_EQ(back.GetValue(static_cast<uint32_t>(a)), image.GetValue(static_cast<uint32_t>(a)))
            << "at " << a;
      const std::vector<uint8_t>& chip = rig.emulator->TargetChip().Memory();
      EXPECT_TRUE(std::equal(back.Data(), back.Data() + device->Size, chip.begin()));
      if (window == 0) {
        lockstep = rig.traffic;
        continue;
      }
      EXPECT_TRUE(rig.traffic.host == lockstep.host) << "the host's bytes differ";
      EXPECT_TRUE(rig.traffic.replies == lockstep.replies) << "the adapter's replies differ";
      // The window was used: commands went out together.
      EXPECT_LT(rig.traffic.writes, lockstep.writes);
    }
  }
}

// What an operation raised: its kind and message.
std::string FailureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EZylError& e) {
    return std::string(typeid(e).name()) + ": " + e.Message();
  }
  return "";
}

TEST(SendAhead, AFailureEndsThePassWithTheLockstepFailure) {
  struct Case {
    const char* what;
    const char* device;
    const char* fault;
    bool program;      // else a read
    bool streamFault;  // a failure that bytes lost on the way also give
  };
  const Case cases[] = {
      {"error reply in the middle of a read", "24C64", "error:R:100:T", false, true},
      {"error reply to a page write", "25C640", "error:W:40:T", true, false},
      {"no acknowledge in the middle of a read", "24C64", "error:w:300:T", false, false},
      {"acknowledge replaced in a read", "24C64", "ack:R:7:A", false, true},
      {"adapter cut off in the middle of a read", "24C64", "cut:2000", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TDevice& device = *FindDevice(c.device);
    std::string lockstep;
    for (std::size_t window : kWindows) {
      SCOPED_TRACE("window " + std::to_string(window));
      TRig rig("device=" + std::string(c.device) + ",fault=" + c.fault, device, window);
      TISPProgrammer& p = *rig.programmer;
      THexList image = RandomImage(device.Size, 3);
      p.Open();
      const std::string failure = FailureOf([&] { c.program ? p.Program(image) : p.Read(image); });
      EXPECT_NE(failure, "");
      if (window == 0) lockstep = failure;
      // The same failure; one that a lost byte could also cause says so.
      EXPECT_EQ(failure.substr(0, lockstep.size()), lockstep);
      const bool hinted = failure.find("send-ahead window") != std::string::npos;
      EXPECT_EQ(hinted, window > 0 && c.streamFault);
      // The port works again once the adapter has been reset, as the
      // library does for the next operation; the cut-off adapter falls
      // silent again at the same reply byte, after it has answered.
      p.Close();
      p.Open();
      EXPECT_EQ(p.FirmwareVersion(), "000A");
      if (std::string(c.fault).rfind("cut", 0) == 0) continue;
      p.Read(image);
      EXPECT_EQ(rig.emulator->TargetChip().Memory(),
                std::vector<uint8_t>(image.Data(), image.Data() + device.Size));
    }
  }
}

}  // namespace
