// The exact records the writers produce, and what a failed save leaves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "api/session.h"
#include "core/atomic_file.h"
#include "image/file_loader.h"
#include "image/hex_list.h"
#include "support/child_process.h"
#include "support/test_files.h"
#include "zylisp.h"

using namespace zylisp;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

THexList Image(int32_t size) {
  THexList image;
  image.SetSize(size);
  return image;
}

// What SaveHexFile writes for the image in the format.
std::string Saved(const THexList& image, int32_t format) {
  TempDir dir;
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("out"), image, format), 0);
  return ReadFile(dir.File("out"));
}

std::size_t FilesIn(const std::string& dir) {
  std::size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++n;
  }
  return n;
}

}  // namespace

TEST(WriteIntelHex, ThreeByteRecordWithBlankInside) {
  THexList image = Image(256);
  image.SetValue(0, 0x12);
  image.SetValue(2, 0x34);
  EXPECT_EQ(Saved(image, 1), ":0300000012FF34B8\r\n:00000001FF\r\n");
  // The three Intel numbers write the same file.
  EXPECT_EQ(Saved(image, 2), Saved(image, 1));
  EXPECT_EQ(Saved(image, 3), Saved(image, 1));
}

TEST(WriteIntelHex, RecordsHoldUpTo16BytesFromLineStarts) {
  THexList image = Image(256);
  image.Fill(0x0E, 0x12, 0x00);
  EXPECT_EQ(Saved(image, 1),
            ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFF0000FE\r\n"
            ":03001000000000ED\r\n"
            ":00000001FF\r\n");
}

TEST(WriteIntelHex, PageRecordsAbove64K) {
  THexList image = Image(0x20000);
  image.SetValue(0x10005, 0xAB);
  EXPECT_EQ(Saved(image, 1),
            ":020000040000FA\r\n:020000040001F9\r\n:06000000FFFFFFFFFFAB54\r\n:00000001FF\r\n");
}

TEST(WriteIntelHex, BlankPagesStillGetTheirRecords) {
  THexList image = Image(0x30000);
  image.SetValue(0x10, 0x01);
  image.SetValue(0x20000, 0x02);
  EXPECT_EQ(Saved(image, 1),
            ":020000040000FA\r\n:0100100001EE\r\n:020000040001F9\r\n:020000040002F8\r\n"
            ":0100000002FD\r\n:00000001FF\r\n");
}

TEST(WriteIntelHex, PagesBeyondThree) {
  THexList image = Image(0x50000);
  image.SetValue(0x40001, 0x07);
  const std::string text = Saved(image, 1);
  EXPECT_NE(text.find(":020000040003F7\r\n:020000040004F6\r\n:02000000FF07F8\r\n"),
            std::string::npos)
      << text;
}

TEST(WriteMotorolaS, S1ThenS2From64K) {
  THexList image = Image(0x20000);
  image.SetValue(0xF0, 0x12);
  image.SetValue(0x10000, 0x34);
  EXPECT_EQ(Saved(image, 4), "S10400F012F9\r\nS20501000034C5\r\nS9030000FC\r\n");
  EXPECT_EQ(Saved(image, 5), Saved(image, 4));
  EXPECT_EQ(Saved(image, 6), Saved(image, 4));
}

TEST(WriteExtendedTektronix, OneByteBlock) {
  THexList image = Image(256);
  image.SetValue(0, 0xAB);
  EXPECT_EQ(Saved(image, 7), "%0D62D500000AB\r\n%0E81E800000000\r\n");
}

TEST(WriteExtendedTektronix, FiveDigitAddressesAbove64K) {
  THexList image = Image(0x20000);
  image.SetValue(0x1FFF0, 0x00);
  // 0+D+6+5+1+F+F+F+0+0+0+0+0 = 0x46
  EXPECT_EQ(Saved(image, 7), "%0D64651FFF000\r\n%0E81E800000000\r\n");
}

TEST(WriteTektronix, OneByteRecord) {
  THexList image = Image(256);
  image.SetValue(0x10, 0xAB);
  EXPECT_EQ(Saved(image, 8), "/00100102AB15\r\n/00000000\r\n");
}

TEST(WriteAddressList, ByteAndWordForms) {
  THexList image = Image(256);
  image.SetValue(0x10, 0xAB);
  image.SetValue(0x11, 0xCD);
  EXPECT_EQ(Saved(image, 10), "0010:AB\r\n0011:CD\r\n");
  EXPECT_EQ(Saved(image, 9), "000008:CDAB\r\n");
  image.SetValue(0x11, 0xFF);
  image.SetValue(0x21, 0x01);
  EXPECT_EQ(Saved(image, 9), "000008:FFAB\r\n000010:01FF\r\n");
}

TEST(SaveHexFile, AllBlankImageWritesOnlyTheEndRecord) {
  const THexList image = Image(256);
  EXPECT_EQ(Saved(image, 1), ":00000001FF\r\n");
  EXPECT_EQ(Saved(image, 4), "S9030000FC\r\n");
  EXPECT_EQ(Saved(image, 7), "%0E81E800000000\r\n");
  EXPECT_EQ(Saved(image, 8), "/00000000\r\n");
  EXPECT_EQ(Saved(image, 9), "");
  EXPECT_EQ(Saved(image, 10), "");
}

TEST(SaveHexFile, UnknownFormatNumbersWriteNothing) {
  TempDir dir;
  THexList image = Image(256);
  image.SetValue(0, 1);
  testing_support::WriteFile(dir.File("old"), "old");
  for (int32_t format : {0, 11, 255, -1}) {
    EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("old"), image, format), 1) << format;
    EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("new"), image, format), 1) << format;
  }
  EXPECT_EQ(ReadFile(dir.File("old")), "old");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SaveHexFile, FourDigitFormatsRefuseAddressesAbove64K) {
  TempDir dir;
  THexList image = Image(0x20000);
  image.SetValue(0xFFFF, 0x01);
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("ok.tek"), image, 8), 0);
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("ok.lst"), image, 10), 0);
  image.SetValue(0x10000, 0x02);
  testing_support::WriteFile(dir.File("old.tek"), "old");
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("old.tek"), image, 8), 1);
  EXPECT_EQ(ReadFile(dir.File("old.tek")), "old");
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("new.lst"), image, 10), 1);
  EXPECT_FALSE(testing_support::FileExists(dir.File("new.lst")));
  // The other formats have room for it.
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("a.hex"), image, 1), 0);
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("a.s"), image, 4), 0);
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("a.xtek"), image, 7), 0);
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("a.words"), image, 9), 0);
}

TEST(SaveHexFile, DoesNotRenameTheImage) {
  TempDir dir;
  THexList image = Image(16);
  image.SetFileName("kept");
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("a.hex"), image, 1), 0);
  EXPECT_EQ(image.FileName(), "kept");
}

TEST(SaveBinaryFile, WritesEveryByteAndNamesTheImage) {
  TempDir dir;
  THexList image = Image(32);
  image.SetValue(1, 0x00);
  ASSERT_EQ(TFileLoader::SaveBinaryFile(dir.File("a.bin"), image), 0);
  std::string expected(32, '\xFF');
  expected[1] = '\0';
  EXPECT_EQ(ReadFile(dir.File("a.bin")), expected);
  EXPECT_EQ(image.FileName(), dir.File("a.bin"));
}

TEST(SaveFiles, FailedSaveLeavesNoPartialFile) {
  TempDir dir;
  THexList image = Image(64);
  image.SetValue(0, 0x12);
  EXPECT_EQ(TFileLoader::SaveHexFile(dir.File("missing/a.hex"), image, 1), 1);
  EXPECT_EQ(TFileLoader::SaveBinaryFile(dir.File("missing/a.bin"), image), 1);
  // A folder in the way: the rename fails and the temporary file goes again.
  const std::string folder = dir.File("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  testing_support::WriteFile(folder + "/inside", "x");
  EXPECT_EQ(TFileLoader::SaveHexFile(folder, image, 1), 1);
  EXPECT_EQ(TFileLoader::SaveBinaryFile(folder, image), 1);
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
  EXPECT_EQ(ReadFile(folder + "/inside"), "x");
}

// Contents that fail while they are made, after a block of them reached
// the file, leave an existing file as it was and no new one.
TEST(SaveFiles, AProducerFailingHalfWayLeavesNoTrace) {
  TempDir dir;
  testing_support::WriteFile(dir.File("old"), "old");
  for (const char* name : {"old", "new"}) {
    SCOPED_TRACE(name);
    const auto produce = [](const TContentsSink& sink) {
      const std::string block(200 << 10, 'x');
      sink(block.data(), block.size());
      throw std::runtime_error("made up half way");
    };
    EXPECT_THROW(WriteFileAtomically(dir.File(name), produce), std::runtime_error);
  }
  EXPECT_EQ(ReadFile(dir.File("old")), "old");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SaveFiles, UnwritableFolderKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  TempDir dir;
  THexList image = Image(64);
  image.SetValue(0, 0x12);
  const std::string sub = dir.File("ro");
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  testing_support::WriteFile(sub + "/a.hex", "old contents");
  ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
  EXPECT_EQ(TFileLoader::SaveHexFile(sub + "/a.hex", image, 1), 1);
  EXPECT_EQ(TFileLoader::SaveBinaryFile(sub + "/a.hex", image), 1);
  EXPECT_EQ(ReadFile(sub + "/a.hex"), "old contents");
  EXPECT_EQ(FilesIn(sub), 1u);
}

TEST(SaveFiles, ReplacesAnExistingFileWhole) {
  TempDir dir;
  THexList image = Image(16);
  testing_support::WriteFile(dir.File("a.hex"), std::string(1000, 'x'));
  ASSERT_EQ(TFileLoader::SaveHexFile(dir.File("a.hex"), image, 1), 0);
  EXPECT_EQ(ReadFile(dir.File("a.hex")), ":00000001FF\r\n");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

namespace {

struct SaveOutcome {
  int32_t check = -1;  // Zyl_CheckFile for writing, before the save
  int32_t result = -1;
  std::string detail;
};

// Zyl_CheckFile and Zyl_SaveBuffer of a 24C02 image in binary; with
// asNobody a root caller first drops to nobody in a child process.
SaveOutcome SaveImage(const std::string& path, bool asNobody) {
  zylisp::ResetSession();
  EXPECT_EQ(Zyl_SetDevice("24C02") | Zyl_SetMode(2) | Zyl_SetPort(1), 0);
  EXPECT_EQ(Zyl_WriteBuffer(1, 0, 0x12), 0);
  if (!asNobody) {
    const int32_t check = Zyl_CheckFile(path.c_str(), 1);
    return {check, Zyl_SaveBuffer(1, path.c_str(), ZYL_FMT_BINARY), Zyl_GetErrorDetail()};
  }
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    const int32_t check = Zyl_CheckFile(path.c_str(), 1);
    const int32_t result = Zyl_SaveBuffer(1, path.c_str(), ZYL_FMT_BINARY);
    const std::string detail = Zyl_GetErrorDetail();
    _exit(write(fds[1], detail.data(), detail.size()) < 0 ? 101 : check << 4 | result);
  }
  close(fds[1]);
  SaveOutcome out;
  out.detail = testing_support::ReadUntil(fds[0], [](const std::string&) { return false; });
  close(fds[0]);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 100) << status;
  out.check = WEXITSTATUS(status) >> 4;
  out.result = WEXITSTATUS(status) & 15;
  return out;
}

mode_t ModeOf(const std::string& path, bool follow = true) {
  struct stat st {};
  EXPECT_EQ(follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

struct SaveTarget {
  const char* name;
  bool rootOnly;
  bool asNobody;
  // Makes the target in the folder; its path.
  std::function<std::string(const std::string& dir)> make;
  int32_t result;
  const char* reason;      // the system's reason in the detail
  bool checkSaysWritable;  // what Zyl_CheckFile told before
  std::function<void(const std::string& path)> after;
};

const std::string kSaved = [] {
  std::string bytes(256, '\xFF');
  bytes[0] = '\x12';
  return bytes;
}();

std::string OldFile(const std::string& path, mode_t mode) {
  testing_support::WriteFile(path, "old");
  EXPECT_EQ(chmod(path.c_str(), mode), 0);
  return path;
}

}  // namespace

// Only what the caller could replace is replaced, and what it had is kept.
TEST(SaveTargets, ReplaceOnlyWhatTheCallerCould) {
  static int fifoReader = -1;
  const std::vector<SaveTarget> rows = {
      {"0600 file keeps its mode", false, false,
       [](const std::string& d) { return OldFile(d + "/a.bin", 0600); }, 0, "", true,
       [](const std::string& p) {
         EXPECT_EQ(ModeOf(p) & 07777, 0600u);
         EXPECT_EQ(ReadFile(p), kSaved);
       }},
      {"a symbolic link stays a link to the new contents", false, false,
       [](const std::string& d) {
         OldFile(d + "/real.bin", 0644);
         EXPECT_EQ(symlink("real.bin", (d + "/link.bin").c_str()), 0);
         return d + "/link.bin";
       },
       0, "", true,
       [](const std::string& p) {
         EXPECT_TRUE(S_ISLNK(ModeOf(p, false)));
         EXPECT_EQ(ReadFile(p), kSaved);
       }},
      {"a character device is written in place", false, false,
       [](const std::string& d) { return testing_support::MemoryDevice(d, "null", 3); }, 0, "",
       true, [](const std::string& p) { EXPECT_TRUE(S_ISCHR(ModeOf(p, false))); }},
      {"a FIFO is written in place", false, false,
       [](const std::string& d) {
         EXPECT_EQ(mkfifo((d + "/fifo").c_str(), 0600), 0);
         fifoReader = open((d + "/fifo").c_str(), O_RDONLY | O_NONBLOCK);
         return d + "/fifo";
       },
       0, "", true,
       [](const std::string& p) {
         EXPECT_TRUE(S_ISFIFO(ModeOf(p, false)));
         std::string got(300, '\0');
         got.resize(
             static_cast<std::size_t>(std::max<ssize_t>(0, read(fifoReader, got.data(), 300))));
         close(fifoReader);
         EXPECT_EQ(got, kSaved);
       }},
      {"a read-only file is not replaced by a user who cannot write it", false, true,
       [](const std::string& d) { return OldFile(d + "/ro.bin", 0444); }, 1, "Permission denied",
       false, [](const std::string& p) { EXPECT_EQ(ReadFile(p), "old"); }},
      {"root replaces a read-only file, as the kernel lets it", true, false,
       [](const std::string& d) { return OldFile(d + "/ro.bin", 0444); }, 0, "", true,
       [](const std::string& p) {
         EXPECT_EQ(ModeOf(p) & 07777, 0444u);
         EXPECT_EQ(ReadFile(p), kSaved);
       }},
      {"a new file gets 0666 less the umask", false, false,
       [](const std::string& d) { return d + "/new.bin"; }, 0, "", true,
       [](const std::string& p) { EXPECT_EQ(ModeOf(p) & 07777, 0640u); }},
      {"a missing folder", false, false, [](const std::string& d) { return d + "/missing/a.bin"; },
       1, "No such file or directory", false, nullptr},
      {"a full disk is found by the write", false, false,
       [](const std::string& d) { return testing_support::MemoryDevice(d, "full", 7); }, 1,
       "No space left on device", true, nullptr},
  };
  const mode_t mask = umask(027);
  for (const SaveTarget& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.rootOnly && geteuid() != 0) continue;
    TempDir dir;
    EXPECT_EQ(chmod(dir.Path().c_str(), 0777), 0);  // open to nobody
    const std::string path = row.make(dir.Path());
    if (path.empty()) continue;  // no device node can be made here
    const SaveOutcome out = SaveImage(path, row.asNobody);
    EXPECT_EQ(out.check, row.checkSaysWritable ? 0 : 1);
    EXPECT_EQ(out.result, row.result);
    EXPECT_EQ(out.detail, row.result == 0 ? "" : "cannot write " + path + ": " + row.reason);
    if (row.after) row.after(path);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
  }
  umask(mask);
  zylisp::ResetSession();
}

TEST(SaveHexFile, ImagesOfEverySizeClassLoadBackEqual) {
  // Bytes at the ends of the image and a full 64 KB block at its middle.
  const struct {
    int32_t size;
    int32_t format;
    const char* first;  // how the first record starts
    const char* last;   // the end record
  } cases[] = {
      {128 << 10, 1, ":020000040000FA", ":00000001FF"},
      {64 << 20, 1, ":020000040000FA", ":00000001FF"},
      {128 << 10, 4, "S1", "S9030000FC"},
      {16 << 20, 4, "S1", "S9030000FC"},
      {64 << 20, 4, "S3", "S70500000000FA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes, format " + std::to_string(c.format));
    THexList image = Image(c.size);
    for (int32_t a = 0; a < 0x10000; ++a)
      image.SetValue(static_cast<uint32_t>(c.size / 2 + a), static_cast<uint8_t>(a * 7));
    image.SetValue(0, 0x00);
    image.SetValue(static_cast<uint32_t>(c.size - 1), 0x5A);
    TempDir dir;
    const std::string file = dir.File("out");
    ASSERT_EQ(TFileLoader::SaveHexFile(file, image, c.format), 0);
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind(c.first, 0), 0u) << text.substr(0, 40);
    EXPECT_EQ(text.substr(text.size() - std::string(c.last).size() - 2), c.last + std::string("\r\n"));
    THexList back = Image(c.size);
    ASSERT_EQ(TFileLoader::LoadFile(file, back), 0);
    EXPECT_TRUE(std::equal(image.Data(), image.Data() + c.size, back.Data()));
  }
}
