// The buffer and file exports: checks, result codes and what they record.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "api/session.h"
#include "support/test_files.h"
#include "zylisp.h"

using testing_support::ReadBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteBytes;
using testing_support::WriteFile;

namespace {

class BufferCalls : public ::testing::Test {
 protected:
  void SetUp() override { zylisp::ResetSession(); }
  void TearDown() override { zylisp::ResetSession(); }

  // A parallel programmer on port 1 with the device selected.
  static void Ready(const char* device) {
    ASSERT_EQ(Zyl_SetDevice(device), 0);
    ASSERT_EQ(Zyl_SetMode(2), 0);
    ASSERT_EQ(Zyl_SetPort(1), 0);
  }

  static int32_t Last() { return zylisp::CurrentSession().LastResult; }

  // Marks LastResult so that a call that must not record leaves it.
  static void MarkLast() { zylisp::CurrentSession().LastResult = 1234; }

  static std::vector<uint8_t> Buffer() {
    std::vector<uint8_t> bytes;
    const int32_t size = Zyl_GetBufferSize(1);
    for (int32_t a = 0; a < size; ++a) {
      uint8_t v = 0;
      EXPECT_EQ(Zyl_ReadBuffer(1, a, &v), 0);
      bytes.push_back(v);
    }
    return bytes;
  }

  TempDir dir_;
};

}  // namespace

TEST_F(BufferCalls, NotReadyGives2) {
  const std::string file = dir_.File("a.bin");
  WriteBytes(file, {1, 2, 3});
  ASSERT_EQ(Zyl_SetDevice("24C02"), 0);  // device, but no mode or port
  MarkLast();
  EXPECT_EQ(Zyl_LoadBuffer(1, file.c_str()), 2);
  EXPECT_EQ(Last(), 1234);  // loading records only its own outcomes
  EXPECT_EQ(Zyl_SaveBuffer(1, dir_.File("b.hex").c_str(), 1), 2);
  EXPECT_EQ(Last(), 2);
  EXPECT_FALSE(testing_support::FileExists(dir_.File("b.hex")));
  EXPECT_EQ(Zyl_ClearBuffer(1), 2);
  uint8_t value = 0x77;
  EXPECT_EQ(Zyl_ReadBuffer(1, 0, &value), 2);
  EXPECT_EQ(value, 0x77);  // not written when not ready
  EXPECT_EQ(Zyl_WriteBuffer(1, 0, 5), 2);
  EXPECT_EQ(Zyl_GetBufferSize(1), 0);
  EXPECT_EQ(Last(), 0);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 0), 0);
}

TEST_F(BufferCalls, OtherAreasGive5) {
  Ready("24C02");
  ASSERT_EQ(Zyl_WriteBuffer(1, 3, 0x42), 0);
  const std::string file = dir_.File("a.bin");
  WriteBytes(file, {1, 2, 3});
  MarkLast();
  EXPECT_EQ(Zyl_LoadBuffer(2, file.c_str()), 5);
  EXPECT_EQ(Last(), 1234);
  EXPECT_EQ(Zyl_SaveBuffer(0, dir_.File("b.bin").c_str(), 9), 5);
  EXPECT_EQ(Last(), 5);
  EXPECT_EQ(Zyl_ClearBuffer(2), 5);
  uint8_t value = 0x77;
  EXPECT_EQ(Zyl_ReadBuffer(2, 3, &value), 5);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Zyl_WriteBuffer(2, 3, 0), 5);
  EXPECT_EQ(Zyl_GetBufferSize(2), 0);
  // None of that touched the image.
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 3), 0x42);
}

TEST_F(BufferCalls, SizeAndByteAccess) {
  Ready("24C02");
  EXPECT_EQ(Zyl_GetBufferSize(1), 256);
  EXPECT_EQ(Last(), 256);
  EXPECT_EQ(Zyl_WriteBuffer(1, 255, 0x5A), 0);
  EXPECT_EQ(Last(), 0);
  uint8_t value = 0;
  EXPECT_EQ(Zyl_ReadBuffer(1, 255, &value), 0);
  EXPECT_EQ(value, 0x5A);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 255), 0x5A);
  EXPECT_EQ(Last(), 0x5A);  // the byte, not the inner code
  EXPECT_EQ(Zyl_ClearBuffer(1), 0);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 255), 0xFF);
}

TEST_F(BufferCalls, AccessOutsideTheImageGives7) {
  Ready("24C02");
  uint8_t value = 0x77;
  EXPECT_EQ(Zyl_ReadBuffer(1, 256, &value), 7);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Last(), 7);
  EXPECT_STREQ(Zyl_GetLastError(), "attempted to read outside buffer limits");
  value = 0x77;
  EXPECT_EQ(Zyl_ReadBuffer(1, -1, &value), 7);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Zyl_WriteBuffer(1, 256, 1), 7);
  EXPECT_EQ(Zyl_WriteBuffer(1, INT32_MIN, 1), 7);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 256), 0);
  EXPECT_EQ(Last(), 0);
}

TEST_F(BufferCalls, NullPointersDoNotCrash) {
  Ready("24C02");
  EXPECT_EQ(Zyl_ReadBuffer(1, 0, nullptr), 0);
  EXPECT_EQ(Zyl_ReadBuffer(1, 256, nullptr), 7);
  EXPECT_EQ(Zyl_LoadBuffer(1, nullptr), 1);
  EXPECT_EQ(Zyl_SaveBuffer(1, nullptr, 1), 1);
  EXPECT_EQ(Zyl_SaveBuffer(1, nullptr, 9), 1);
  EXPECT_EQ(Zyl_IdentifyFile(nullptr), 9);
  EXPECT_EQ(Last(), 9);
}

TEST_F(BufferCalls, BinaryFileOfExactlyTheSizeLoadsAndOneByteMoreGives6) {
  Ready("24C02");
  std::vector<uint8_t> bytes(256);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(255 - i);
  const std::string exact = dir_.File("exact.bin");
  WriteBytes(exact, bytes);
  MarkLast();
  EXPECT_EQ(Zyl_LoadBuffer(1, exact.c_str()), 0);
  EXPECT_EQ(Last(), 0);
  EXPECT_EQ(Buffer(), bytes);

  std::vector<uint8_t> larger(257, 0x11);
  const std::string big = dir_.File("big.bin");
  WriteBytes(big, larger);
  EXPECT_EQ(Zyl_LoadBuffer(1, big.c_str()), 6);
  EXPECT_EQ(Last(), 6);
  EXPECT_EQ(Buffer(), bytes);  // unchanged
}

TEST_F(BufferCalls, AsciiHexBinaries) {
  Ready("24C02");
  const std::string file = dir_.File("a.txt");
  WriteFile(file, "0A1bFF00");
  EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), 9);
  EXPECT_EQ(Zyl_LoadBuffer(1, file.c_str()), 0);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 0), 0x0A);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 1), 0x1B);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 2), 0xFF);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 3), 0x00);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 4), 0xFF);
}

TEST_F(BufferCalls, TextFileBeyondTheEndKeepsTheRecordsBefore) {
  Ready("24C02");
  ASSERT_EQ(Zyl_WriteBuffer(1, 0x80, 0x00), 0);
  const std::string file = dir_.File("a.hex");
  WriteFile(file, ":0100100012DD\r\n:0100FF0034CC\r\n:0101000056A8\r\n:010020007867\r\n:00000001FF\r\n");
  EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), 1);
  EXPECT_EQ(Zyl_LoadBuffer(1, file.c_str()), 6);
  EXPECT_EQ(Last(), 6);
  std::vector<uint8_t> expected(256, 0xFF);
  expected[0x10] = 0x12;
  expected[0xFF] = 0x34;
  EXPECT_EQ(Buffer(), expected);  // blanked first, nothing after the failing record
}

TEST_F(BufferCalls, TextFormatsLoadByContentWhateverTheName) {
  Ready("24C02");
  const std::string file = dir_.File("data.bin");
  WriteFile(file, "S1040010AB40\r\nS9030000FC\r\n");
  EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), 4);
  EXPECT_EQ(Last(), 4);
  EXPECT_EQ(Zyl_LoadBuffer(1, file.c_str()), 0);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 0x10), 0xAB);
  EXPECT_EQ(Zyl_ANSI_ReadBuffer(1, 0), 0xFF);
}

TEST_F(BufferCalls, MissingFile) {
  Ready("24C02");
  const std::string missing = dir_.File("missing.hex");
  EXPECT_EQ(Zyl_IdentifyFile(missing.c_str()), 9);
  EXPECT_EQ(Last(), 9);
  MarkLast();
  EXPECT_EQ(Zyl_LoadBuffer(1, missing.c_str()), 1);
  EXPECT_EQ(Last(), 1234);
  EXPECT_EQ(Zyl_CheckFile(missing.c_str(), 0), 1);
  EXPECT_EQ(Zyl_GetErrorDetail(), "Cannot read file " + missing + ": No such file or directory");
  EXPECT_EQ(Zyl_LoadBuffer(1, dir_.Path().c_str()), 1);
}

TEST_F(BufferCalls, IdentifyNeedsNoReadyState) {
  const std::string file = dir_.File("a.tek");
  WriteFile(file, "/00100102AB15\r\n/00000000\r\n");
  EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), 8);
  WriteFile(file, "");
  EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), 9);
}

TEST_F(BufferCalls, SaveAndLoadEveryFormat) {
  Ready("24C1024");
  ASSERT_EQ(Zyl_WriteBuffer(1, 0, 0x01), 0);
  ASSERT_EQ(Zyl_WriteBuffer(1, 0xFFFF, 0x02), 0);
  ASSERT_EQ(Zyl_WriteBuffer(1, 0x1FFFF, 0x03), 0);
  const std::vector<uint8_t> image = Buffer();
  for (uint8_t format : {1, 2, 3, 4, 5, 6, 7, 9}) {
    SCOPED_TRACE(format);
    const std::string file = dir_.File("out" + std::to_string(format));
    ASSERT_EQ(Zyl_SaveBuffer(1, file.c_str(), format), 0);
    EXPECT_EQ(Last(), 0);
    ASSERT_EQ(Zyl_ClearBuffer(1), 0);
    ASSERT_EQ(Zyl_LoadBuffer(1, file.c_str()), 0);
    EXPECT_EQ(Buffer(), image);
  }
  // Format 9 is the whole image as bytes.
  EXPECT_EQ(ReadBytes(dir_.File("out9")), image);
  // The 4-digit formats have no room for 0x1FFFF.
  EXPECT_EQ(Zyl_SaveBuffer(1, dir_.File("out8").c_str(), 8), 1);
  EXPECT_EQ(Last(), 1);
  EXPECT_EQ(Zyl_SaveBuffer(1, dir_.File("out10").c_str(), 10), 1);
  EXPECT_FALSE(testing_support::FileExists(dir_.File("out8")));
  EXPECT_FALSE(testing_support::FileExists(dir_.File("out10")));
}

TEST_F(BufferCalls, SaveFailureGives1) {
  Ready("24C02");
  EXPECT_EQ(Zyl_SaveBuffer(1, dir_.File("no/such/folder.hex").c_str(), 1), 1);
  EXPECT_EQ(Last(), 1);
  EXPECT_EQ(Zyl_SaveBuffer(1, dir_.File("no/such/folder.bin").c_str(), 9), 1);
}

TEST_F(BufferCalls, SaveInAnUnknownFormatFailsAndKeepsTheFile) {
  Ready("24C02");
  ASSERT_EQ(Zyl_WriteBuffer(1, 0, 0x12), 0);
  const std::string old = dir_.File("old.hex");
  const std::string fresh = dir_.File("new.hex");
  WriteFile(old, "old contents");
  for (uint8_t format : {0, 11, 12, 255}) {
    SCOPED_TRACE(int(format));
    MarkLast();
    EXPECT_EQ(Zyl_SaveBuffer(1, old.c_str(), format), 1);
    EXPECT_EQ(Last(), 1);
    EXPECT_EQ(ReadFile(old), "old contents");
    EXPECT_EQ(Zyl_SaveBuffer(1, fresh.c_str(), format), 1);
    EXPECT_FALSE(testing_support::FileExists(fresh));
  }
}

// A binary save loads back as the same image even when every byte is a hex
// digit character (a stored serial number, say): a file of exactly the
// image's size is raw bytes, while shorter ASCII-hex files still load.
TEST_F(BufferCalls, BinarySaveLoadsBackWhateverTheBytes) {
  std::string digits;
  while (digits.size() < 256) digits += "0123456789abcdef";
  const struct {
    const char* device;
    std::string bytes;
  } cases[] = {
      {"24C00", "0123456789ABCDEF"},
      {"24C02", digits},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    Ready(c.device);
    for (std::size_t a = 0; a < c.bytes.size(); ++a) {
      ASSERT_EQ(Zyl_WriteBuffer(1, static_cast<int32_t>(a), static_cast<uint8_t>(c.bytes[a])), 0);
    }
    const std::string file = dir_.File(std::string(c.device) + ".bin");
    ASSERT_EQ(Zyl_SaveBuffer(1, file.c_str(), 9), 0);
    ASSERT_EQ(Zyl_ClearBuffer(1), 0);
    ASSERT_EQ(Zyl_LoadBuffer(1, file.c_str()), 0);
    EXPECT_EQ(Buffer(), std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
  }
}

// A file with a NUL byte anywhere, or without a single text record, is a
// binary image: it never loads as an empty text, which would blank the image.
TEST_F(BufferCalls, FilesWithoutTextRecordsLoadAsTheirBytes) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"line feed, NUL", std::string("\x0A\x00\x12\x34", 4)},
      {"carriage return, NUL", std::string("\x0D\x00\xAB", 3)},
      {"line breaks only", "\r\n\r\n\n"},
      {"hex records, then a NUL", std::string(":0100000012ED\r\n:00000001FF\r\n") + '\0'},
      {"hex records, then a byte that is not text", ":0100000012ED\r\n:00000001FF\r\n\x1A"},
      {"text without a record", "; nothing but a note\r\n"},
  };
  Ready("24C02");
  const std::string file = dir_.File("data");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file, c.bytes);
    EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), 9);
    ASSERT_EQ(Zyl_LoadBuffer(1, file.c_str()), 0);
    std::vector<uint8_t> expected(c.bytes.begin(), c.bytes.end());
    expected.resize(256, 0xFF);
    EXPECT_EQ(Buffer(), expected);
  }
}

// Files far larger than any file for the image are refused with 6 and the
// image kept, without being read whole: a binary on its length alone.
TEST_F(BufferCalls, FilesFarLargerThanTheImageAreRefused) {
  const struct {
    const char* name;
    std::string text;
    off_t sparseLength;
  } cases[] = {
      {"sparse binary of 64 MiB", "", off_t{64} << 20},
      {"a record among a MiB of line breaks",
       ":0100000012ED\r\n" + std::string(1 << 20, '\n') + ":00000001FF\r\n", 0},
      {"2 MiB of line breaks", std::string(2 << 20, '\n'), 0},
  };
  Ready("24C02");
  ASSERT_EQ(Zyl_WriteBuffer(1, 5, 0x42), 0);
  const std::vector<uint8_t> before = Buffer();
  const std::string file = dir_.File("big");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file, c.text);
    if (c.sparseLength > 0) {
      ASSERT_EQ(truncate(file.c_str(), c.sparseLength), 0);
    }
    EXPECT_EQ(Zyl_LoadBuffer(1, file.c_str()), 6);
    EXPECT_EQ(Buffer(), before);
  }
}

// A text file whose first record names a format is loaded in that format
// or not at all: a line that breaks its rules fails the load with 1, the
// image kept, and the detail names the file and the line.
TEST_F(BufferCalls, DamagedTextFilesAreRefused) {
  const struct {
    const char* name;
    std::string text;
    int32_t format;  // what Zyl_IdentifyFile answers
    const char* where;
  } cases[] = {
      {"not a hex digit", ":0100000012ED\r\n:01000100G4CA\r\n:00000001FF\r\n", 1,
       "line 2: 'G' is not a hex digit"},
      {"last record cut off", ":10000000000102030405060708090A0B0C0D0E0F78\r\n:1000100000010203", 1,
       "line 2: record cut short"},
      {"a comment among records", ":0100000012ED\r\n; comment\r\n:00000001FF\r\n", 1,
       "line 2: not an Intel HEX record"},
      {"two formats mixed", ":0100000012ED\r\nS1040000AB50\r\n", 1,
       "line 2: not an Intel HEX record"},
      {"unknown record type", ":0100000012ED\r\n:0100000612E7\r\n", 1,
       "line 2: unknown record type 06"},
      {"address record of the wrong count", ":0100000012ED\r\n:0300000400010012\r\n", 1,
       "line 2: wrong count for a type 04 record"},
      {"S-record longer than its count", "S1040000AB50\r\nS1040001CD2C00\r\n", 4,
       "line 2: record longer than its count says"},
      {"Tektronix header checksum", "/00100103AB15\r\n/00000000\r\n", 8,
       "line 1: header checksum does not match"},
      {"odd extended Tektronix data", "%0D62D500000AB\r\n%0E62D500000ABC\r\n", 7,
       "line 2: odd number of data digits"},
      {"byte and word lists mixed", "0010:AB\r\n000008:1234\r\n", 10,
       "line 2: not a byte list line"},
  };
  Ready("24C02");
  ASSERT_EQ(Zyl_WriteBuffer(1, 5, 0x42), 0);
  const std::vector<uint8_t> before = Buffer();
  const std::string file = dir_.File("data.hex");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file, c.text);
    EXPECT_EQ(Zyl_IdentifyFile(file.c_str()), c.format);
    EXPECT_EQ(Zyl_LoadBuffer(1, file.c_str()), 1);
    EXPECT_EQ(Last(), 1);
    EXPECT_EQ(Zyl_GetErrorDetail(), file + " " + c.where);
    EXPECT_EQ(Buffer(), before);
    EXPECT_EQ(Zyl_CheckFile(file.c_str(), 0), 1);
    EXPECT_EQ(Zyl_GetErrorDetail(), file + " " + c.where);
  }
}

// A file is read once and the same bytes are checked and loaded: text
// from a pipe (a shell's <(...)) loads, though it cannot be read twice.
TEST_F(BufferCalls, TextFromAPipeLoadsFromOneReading) {
  Ready("24C02");
  const std::string fifo = dir_.File("data.hex");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Held open for reading, so the writer need not wait and its bytes stay.
  const int keeper = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(keeper, 0);
  const pid_t writer = fork();
  if (writer == 0) {
    const std::string text = ":0100100012DD\r\n:00000001FF\r\n";
    const int fd = open(fifo.c_str(), O_WRONLY);
    _exit(fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(Zyl_LoadBuffer(1, fifo.c_str()), 0) << Zyl_GetErrorDetail();
  std::vector<uint8_t> expected(256, 0xFF);
  expected[0x10] = 0x12;
  EXPECT_EQ(Buffer(), expected);
  close(keeper);
}
