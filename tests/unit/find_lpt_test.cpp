#include "ports/find_lpt.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "lpt_test_backend.h"
#include "support/test_files.h"

using lpt_test::MakeParport;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
using zylisp::TFindLpt;

TEST(FindLpt, ReadsBothRangesIrqAndDma) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888\t1912\n", "7\n", "3\n");
  TFindLpt find(dir.Path());
  ASSERT_TRUE(find.FindPort(1));
  EXPECT_EQ(find.PortName, "LPT1");
  EXPECT_EQ(find.DeviceCount, 1);
  EXPECT_EQ(find.RangeCount, 2);
  EXPECT_EQ(find.RangeStart[0], 0x378);
  EXPECT_EQ(find.RangeEnd[0], 0x37F);
  EXPECT_EQ(find.RangeStart[1], 0x778);
  EXPECT_EQ(find.RangeEnd[1], 0x77A);
  EXPECT_EQ(find.IrqCount, 1);
  EXPECT_EQ(find.Irq, 7);
  EXPECT_EQ(find.DmaCount, 1);
  EXPECT_EQ(find.Dma, 3);
  EXPECT_EQ(find.PortBase(1), 0x378);
  EXPECT_EQ(find.PortBase(2), 0x778);
  EXPECT_EQ(find.PortBase(0), 0xFFFF);
  EXPECT_EQ(find.PortBase(3), 0xFFFF);
}

TEST(FindLpt, SlotNMeansParportNMinusOne) {
  TempDir dir;
  MakeParport(dir.Path(), 3, "632 0\n");
  TFindLpt find(dir.Path());
  EXPECT_FALSE(find.FindPort(1));
  EXPECT_FALSE(find.FindPort(2));
  ASSERT_TRUE(find.FindPort(3));
  EXPECT_EQ(find.PortName, "LPT3");
  EXPECT_EQ(find.PortBase(1), 0x278);
  EXPECT_FALSE(find.FindPort(0));
}

TEST(FindLpt, NoEcpBaseAndNoChannels) {
  TempDir dir;
  // ECP base 0, irq and dma -1: one range, nothing else.
  MakeParport(dir.Path(), 1, "956 0\n", "-1\n", "-1\n");
  // Only a base, no irq or dma files at all.
  MakeParport(dir.Path(), 2, "632\n");
  TFindLpt find(dir.Path());
  ASSERT_TRUE(find.FindPort(1));
  EXPECT_EQ(find.RangeCount, 1);
  EXPECT_EQ(find.RangeStart[0], 0x3BC);
  EXPECT_EQ(find.RangeEnd[0], 0x3C3);
  EXPECT_EQ(find.PortBase(2), 0xFFFF);
  EXPECT_EQ(find.IrqCount, 0);
  EXPECT_EQ(find.DmaCount, 0);
  ASSERT_TRUE(find.FindPort(2));
  EXPECT_EQ(find.RangeCount, 1);
  EXPECT_EQ(find.PortBase(1), 0x278);
  EXPECT_EQ(find.IrqCount, 0);
  EXPECT_EQ(find.DmaCount, 0);
}

TEST(FindLpt, MissingSlotClearsWhatTheLastSearchFound) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888 1912", "7", "3");
  TFindLpt find(dir.Path());
  ASSERT_TRUE(find.FindPort(1));
  EXPECT_FALSE(find.FindPort(5));
  EXPECT_EQ(find.PortName, "LPT5");
  EXPECT_EQ(find.DeviceCount, 0);
  EXPECT_EQ(find.RangeCount, 0);
  EXPECT_EQ(find.IrqCount, 0);
  EXPECT_EQ(find.DmaCount, 0);
  EXPECT_EQ(find.PortBase(1), 0xFFFF);
}

TEST(FindLpt, GarbageBaseAddrGivesNoRange) {
  const std::vector<std::string> garbage = {
      "",                      // empty
      "   \n",                 // blank
      "abc\n",                 // words
      "0x378 0\n",             // not decimal
      "-888 0\n",              // negative
      "+888\n",                // sign
      "888 -1\n",              // negative ECP base
      "99999999999999999999999 0\n",  // overflow
      "70000 0\n",             // beyond the I/O space
      "65535 0\n",             // range would wrap
      "888 65534\n",           // ECP range would wrap
      "888 1912 3000\n",       // too many numbers
      "888,1912\n",            // wrong separator
      "0 1912\n",              // no base
      std::string("888\0 1912", 9),            // embedded NUL
      std::string("\x89PNG\r\n\x1a\n\xff\xfe", 10),  // binary
      std::string(100000, '8'),                // huge
      std::string(4096, ' ') + "888",          // longer than any real file
  };
  for (const std::string& text : garbage) {
    TempDir dir;
    MakeParport(dir.Path(), 1, text, "7", "1");
    TFindLpt find(dir.Path());
    SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)));
    EXPECT_TRUE(find.FindPort(1));  // the port exists; its base is unknown
    EXPECT_EQ(find.RangeCount, 0);
    EXPECT_EQ(find.PortBase(1), 0xFFFF);
    EXPECT_EQ(find.IrqCount, 1);  // the other files still count
  }
}

TEST(FindLpt, GarbageIrqAndDmaMeanNone) {
  const std::vector<std::string> garbage = {"seven", "-2", "300", "7 8", "", "0x7",
                                            std::string("\0\0\0", 3), std::string(5000, '1')};
  for (const std::string& text : garbage) {
    TempDir dir;
    MakeParport(dir.Path(), 1, "888 1912");
    WriteFile(dir.Path() + "/parport0/irq", text);
    WriteFile(dir.Path() + "/parport0/dma", text);
    TFindLpt find(dir.Path());
    SCOPED_TRACE(testing::PrintToString(text.substr(0, 20)));
    ASSERT_TRUE(find.FindPort(1));
    EXPECT_EQ(find.IrqCount, 0);
    EXPECT_EQ(find.DmaCount, 0);
    EXPECT_EQ(find.PortBase(1), 0x378);
  }
}

TEST(FindLpt, FilesThatAreNotPlainFilesAreNotRead) {
  TempDir dir;
  const std::string folder = dir.Path() + "/parport0";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  // An endless device and a folder in place of the files: no hang, no range.
  ASSERT_EQ(symlink("/dev/zero", (folder + "/base-addr").c_str()), 0);
  ASSERT_EQ(mkdir((folder + "/irq").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((folder + "/dma").c_str(), 0644), 0);
  TFindLpt find(dir.Path());
  ASSERT_TRUE(find.FindPort(1));
  EXPECT_EQ(find.PortBase(1), 0xFFFF);
  EXPECT_EQ(find.IrqCount, 0);
  EXPECT_EQ(find.DmaCount, 0);

  // A plain file where the port's folder should be is no port.
  WriteFile(dir.Path() + "/parport1", "888 1912");
  EXPECT_FALSE(find.FindPort(2));
}

TEST(FindLpt, FolderComesFromTheEnvironment) {
  TempDir dir;
  MakeParport(dir.Path(), 2, "632 1656");
  {
    ScopedEnv env("ZYLISP_PARPORT_DIR", dir.Path().c_str());
    TFindLpt find;
    EXPECT_EQ(find.Directory(), dir.Path());
    ASSERT_TRUE(find.FindPort(2));
    EXPECT_EQ(find.PortBase(2), 0x678);
  }
  {
    ScopedEnv env("ZYLISP_PARPORT_DIR", nullptr);
    EXPECT_EQ(TFindLpt().Directory(), "/proc/sys/dev/parport");
  }
  TFindLpt none("");
  EXPECT_FALSE(none.FindPort(1));
}
