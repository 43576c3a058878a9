// The serial port list and the COMk names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "api/port_list.h"
#include "ports/serial_enumeration.h"
#include "ports/serial_error.h"
#include "support/test_files.h"
#include "zylisp.h"

using namespace zylisp;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

using Names = std::vector<std::string>;

// The names one scan of the serial ports gives.
Names PortNames() {
  Names names;
  for (const zylisp::TPortInfo& port : zylisp::ScanSerialPorts()) names.push_back(port.Name);
  return names;
}

TEST(SerialEnumerationTest, ConfiguredListGivesComNamesInOrder) {
  ScopedEnv ports("ZYLISP_SERIAL_PORTS", "/dev/zz-b::/dev/zz-a:/dev/zz-c:");
  EXPECT_EQ((Names{"/dev/zz-b", "/dev/zz-a", "/dev/zz-c"}), SerialDevicePaths());

  EXPECT_EQ((Names{"COM1", "COM2", "COM3"}), PortNames());

  EXPECT_EQ("/dev/zz-b", SerialDevicePath("COM1"));
  EXPECT_EQ("/dev/zz-a", SerialDevicePath("com2"));
  EXPECT_EQ("/dev/zz-c", SerialDevicePath("\\\\.\\COM3"));

  // Clients outside the library ask through its export.
  char path[16] = {};
  EXPECT_EQ(Zyl_GetPortDevice("COM2", path, sizeof path), 0);
  EXPECT_STREQ(path, "/dev/zz-a");
  EXPECT_EQ(Zyl_GetPortDevice("COM4", path, sizeof path), ZYL_ERR_PORT);
  EXPECT_NE(std::string(Zyl_GetErrorDetail()).find("3 serial ports found"), std::string::npos);
  EXPECT_EQ(Zyl_GetPortDevice("COM1", path, 9), 1);  // "/dev/zz-b" needs 10 bytes
}

TEST(SerialEnumerationTest, EmptyConfiguredListHasNoPorts) {
  ScopedEnv ports("ZYLISP_SERIAL_PORTS", "");
  EXPECT_TRUE(PortNames().empty());
  EXPECT_THROW(SerialDevicePath("COM1"), ESerialError);
}

TEST(SerialEnumerationTest, BadOrUnknownNamesFailClearly) {
  ScopedEnv ports("ZYLISP_SERIAL_PORTS", "/dev/zz-a:/dev/zz-b");
  for (const char* name : {"COM0", "COM3", "COM10", "LPT1", "COM", "COMx", "COM1x", "COM-1", "",
                           "COM99999999999999999999"}) {
    try {
      SerialDevicePath(name);
      ADD_FAILURE() << "accepted " << name;
    } catch (const ESerialError& e) {
      EXPECT_EQ(ENODEV, e.ErrorCode());
      EXPECT_NE(std::string::npos, std::string(e.what()).find(name)) << e.what();
    }
  }
}

TEST(SerialEnumerationTest, ScanKeepsRealUartsThenUsbThenAcmInNumericOrder) {
  TempDir dev;
  TempDir sys;
  for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyS3", "ttyS4", "ttySx", "ttyS",
                           "ttyUSB10", "ttyUSB2", "ttyUSB", "ttyACM1", "ttyACM0", "tty5",
                           "ttyAMA0"})
    WriteFile(dev.File(name), "");

  auto uart = [&](const std::string& name, const char* type, bool device) {
    mkdir(sys.File(name).c_str(), 0777);
    if (device) mkdir(sys.File(name + "/device").c_str(), 0777);
    if (type) WriteFile(sys.File(name + "/type"), type);
  };
  uart("ttyS0", "4\n", true);
  uart("ttyS1", "0\n", true);   // placeholder without a UART
  uart("ttyS2", "4\n", true);
  uart("ttyS10", "16\n", true);
  uart("ttyS3", "4\n", false);  // no device behind it
  uart("ttyS4", nullptr, true); // type unreadable

  EXPECT_EQ((Names{dev.File("ttyS0"), dev.File("ttyS2"), dev.File("ttyS10"), dev.File("ttyUSB2"),
                   dev.File("ttyUSB10"), dev.File("ttyACM0"), dev.File("ttyACM1")}),
            ScanSerialDevices(dev.Path(), sys.Path()));

  EXPECT_TRUE(ScanSerialDevices(dev.File("missing"), sys.Path()).empty());
}

}  // namespace
