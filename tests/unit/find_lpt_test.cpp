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
using zylisp::FindLptBase;

TEST(FindLpt, BaseOfSlotNIsReadFromParportNMinusOne) {
  TempDir dir;
  MakeParport(dir.Path(), 1, "888\t1912\n");
  MakeParport(dir.Path(), 3, "632 0\n");  // ECP base 0: no ECP registers
  MakeParport(dir.Path(), 4, "956\n");    // only a base
  EXPECT_EQ(FindLptBase(dir.Path(), 1), 0x378);
  EXPECT_EQ(FindLptBase(dir.Path(), 2), 0);
  EXPECT_EQ(FindLptBase(dir.Path(), 3), 0x278);
  EXPECT_EQ(FindLptBase(dir.Path(), 4), 0x3BC);
  EXPECT_EQ(FindLptBase(dir.Path(), 0), 0);
  EXPECT_EQ(FindLptBase("", 1), 0);
}

TEST(FindLpt, GarbageBaseAddrGivesNoBase) {
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
    MakeParport(dir.Path(), 1, text);
    SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)));
    EXPECT_EQ(FindLptBase(dir.Path(), 1), 0);
  }
}

TEST(FindLpt, FilesThatAreNotPlainFilesAreNotRead) {
  TempDir dir;
  // An endless device, a pipe and a folder in place of base-addr: no hang,
  // no base.
  for (const std::string folder : {"/parport0", "/parport1", "/parport2"})
    ASSERT_EQ(mkdir((dir.Path() + folder).c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir.Path() + "/parport0/base-addr").c_str()), 0);
  ASSERT_EQ(mkfifo((dir.Path() + "/parport1/base-addr").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir.Path() + "/parport2/base-addr").c_str(), 0755), 0);
  // A plain file where the port's folder should be is no port.
  WriteFile(dir.Path() + "/parport3", "888 1912");
  for (uint8_t slot = 1; slot <= 4; ++slot) EXPECT_EQ(FindLptBase(dir.Path(), slot), 0) << +slot;
}

TEST(FindLpt, FolderComesFromTheEnvironment) {
  {
    ScopedEnv env("ZYLISP_PARPORT_DIR", "/somewhere/else");
    EXPECT_EQ(zylisp::ParportDirFromEnvironment(zylisp::kDefaultParportDir), "/somewhere/else");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnv env("ZYLISP_PARPORT_DIR", unset);
    EXPECT_EQ(zylisp::ParportDirFromEnvironment(zylisp::kDefaultParportDir),
              "/proc/sys/dev/parport");
  }
}
