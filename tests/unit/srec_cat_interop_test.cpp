// Round trips through srecord's srec_cat: files we write must read back
// there with checksums checked, and files it writes must load here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "image/file_loader.h"
#include "image/hex_list.h"
#include "support/test_files.h"

extern char** environ;

using namespace zylisp;
using testing_support::ReadBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

std::string FindSrecCat() {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/srec_cat";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

struct TRun {
  int Status = -1;
  std::string Output;  // standard output and error together
};

TRun RunSrecCat(const std::string& program, const std::vector<std::string>& args,
                const TempDir& dir) {
  const std::string log = dir.File("srec_cat.log");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  TRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.Output = testing_support::FileExists(log) ? ReadFile(log) : std::string();
  return run;
}

struct TCase {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

int64_t HighestUsed(const std::vector<uint8_t>& bytes) {
  for (int64_t a = static_cast<int64_t>(bytes.size()) - 1; a >= 0; --a) {
    if (bytes[static_cast<std::size_t>(a)] != 0xFF) return a;
  }
  return -1;
}

// Lines of 16 bytes that are blank, partly blank or full, so records of
// every length and gaps of every size occur.
std::vector<uint8_t> RandomImage(std::size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size, 0xFF);
  for (std::size_t line = 0; line < size; line += 16) {
    const unsigned kind = rng() % 5;
    if (kind == 0) continue;
    for (std::size_t i = 0; i < 16; ++i) {
      if (kind == 1 && rng() % 3 == 0) continue;
      bytes[line + i] = static_cast<uint8_t>(rng());
    }
  }
  return bytes;
}

std::vector<uint8_t> Sparse(std::size_t size, const std::vector<uint32_t>& addresses) {
  std::vector<uint8_t> bytes(size, 0xFF);
  uint8_t v = 0;
  for (uint32_t a : addresses) bytes[a] = v++;
  return bytes;
}

std::vector<TCase> Cases() {
  return {
      {"24C02 random", RandomImage(256, 1)},
      {"24C02 blank", std::vector<uint8_t>(256, 0xFF)},
      {"24C512 random", RandomImage(65536, 2)},
      {"24C512 sparse", Sparse(65536, {0, 0x7FFF, 0xFFF0, 0xFFFF})},
      {"24C512 blank", std::vector<uint8_t>(65536, 0xFF)},
      {"24C1024 random", RandomImage(131072, 3)},
      {"24C1024 sparse", Sparse(131072, {0x10, 0xFFFF, 0x10000, 0x10005, 0x1FFFF})},
      {"24C1024 upper page only", Sparse(131072, {0x10000, 0x18000, 0x1FFF0})},
      {"24C1024 blank", std::vector<uint8_t>(131072, 0xFF)},
  };
}

THexList ImageOf(const std::vector<uint8_t>& bytes) {
  THexList image;
  image.SetSize(static_cast<int32_t>(bytes.size()));
  for (std::size_t a = 0; a < bytes.size(); ++a) image.SetValue(static_cast<uint32_t>(a), bytes[a]);
  return image;
}

class SrecCatInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = FindSrecCat();
    if (program_.empty()) {
      FAIL() << "srec_cat (Debian package srecord) is not installed; run scripts/install-deps";
    }
  }

  // srec_cat's reading of the file as the image's bytes, holes as 0xFF.
  std::vector<uint8_t> ReadBack(const std::string& file, const std::string& format,
                                std::size_t size, const TempDir& dir) {
    const std::string out = dir.File("back.bin");
    const TRun run = RunSrecCat(program_,
                                {file, format, "-fill", "0xFF", "0", std::to_string(size), "-o",
                                 out, "-binary"},
                                dir);
    // srec_cat refuses an Intel or Tektronix file with an end record only;
    // it has then read the whole file and found no data, which is right for
    // a blank image.
    if (run.Status != 0 && run.Output.find("file contains no data") != std::string::npos)
      return std::vector<uint8_t>(size, 0xFF);
    EXPECT_EQ(run.Status, 0) << run.Output;
    return run.Status == 0 ? ReadBytes(out) : std::vector<uint8_t>();
  }

  std::string program_;
};

}  // namespace

TEST_F(SrecCatInterop, FilesWeWriteReadBackWithCheckedChecksums) {
  struct TFormat {
    int32_t Number;
    const char* SrecName;
    int64_t MaxAddress;
  };
  const TFormat formats[] = {{1, "-intel", 0xFFFFFFFF},
                             {4, "-motorola", 0xFFFFFF},
                             {7, "-tektronix-extended", 0xFFFFF},
                             {8, "-tektronix", 0xFFFF}};
  for (const TCase& c : Cases()) {
    const THexList image = ImageOf(c.Bytes);
    for (const TFormat& f : formats) {
      SCOPED_TRACE(c.Name + " as " + f.SrecName);
      TempDir dir;
      const std::string file = dir.File("ours.txt");
      if (HighestUsed(c.Bytes) > f.MaxAddress) {
        EXPECT_EQ(TFileLoader::SaveHexFile(file, image, f.Number), 1);
        continue;
      }
      ASSERT_EQ(TFileLoader::SaveHexFile(file, image, f.Number), 0);
      EXPECT_EQ(ReadBack(file, f.SrecName, c.Bytes.size(), dir), c.Bytes);
    }
  }
}

TEST_F(SrecCatInterop, ACorruptChecksumIsNoticed) {
  // Keeps the round trip above honest: srec_cat does check what we write.
  TempDir dir;
  testing_support::WriteFile(dir.File("bad.hex"), ":0300000012FF34B9\r\n:00000001FF\r\n");
  const TRun run = RunSrecCat(program_, {dir.File("bad.hex"), "-intel", "-o", dir.File("x.bin"),
                                         "-binary"},
                              dir);
  EXPECT_NE(run.Status, 0) << run.Output;
}

TEST_F(SrecCatInterop, FilesSrecCatWritesLoadIntoTheSameImage) {
  struct TVariant {
    std::vector<std::string> Options;
    int64_t MaxAddress;
  };
  const std::vector<TVariant> variants = {
      {{"-intel"}, 0xFFFFFFFF},
      {{"-intel", "-execution-start-address=0"}, 0xFFFFFFFF},
      {{"-intel", "-output-block-size=16"}, 0xFFFFFFFF},
      {{"-motorola"}, 0xFFFFFFFF},
      {{"-motorola", "-execution-start-address=0x10"}, 0xFFFFFFFF},
      {{"-motorola", "-address-length=3", "-execution-start-address=0"}, 0xFFFFFFFF},
      {{"-motorola", "-address-length=4", "-execution-start-address=0"}, 0xFFFFFFFF},
      {{"-motorola", "-data-only"}, 0xFFFFFFFF},
      {{"-tektronix"}, 0xFFFF},
      {{"-tektronix", "-execution-start-address=0x10"}, 0xFFFF},
      {{"-tektronix-extended"}, 0xFFFFFFFF},
      {{"-tektronix-extended", "-execution-start-address=0x10"}, 0xFFFFFFFF},
  };
  for (const TCase& c : Cases()) {
    TempDir dir;
    const std::string source = dir.File("source.bin");
    WriteBytes(source, c.Bytes);
    for (const TVariant& v : variants) {
      std::string name;
      for (const std::string& o : v.Options) name += o + " ";
      SCOPED_TRACE(c.Name + " from srec_cat " + name);
      if (HighestUsed(c.Bytes) > v.MaxAddress) continue;
      const std::string file = dir.File("theirs.txt");
      // Blank bytes are left out, as a sparse file from another tool would.
      std::vector<std::string> args = {source, "-binary", "-unfill", "0xFF", "1", "-o", file};
      args.insert(args.end(), v.Options.begin(), v.Options.end());
      const TRun run = RunSrecCat(program_, args, dir);
      ASSERT_EQ(run.Status, 0) << run.Output;

      if (HighestUsed(c.Bytes) >= 0) {
        EXPECT_GT(TFileLoader::IdentifyFile(file), 0) << ReadFile(file);
      }
      THexList image;
      image.SetSize(static_cast<int32_t>(c.Bytes.size()));
      image.SetValue(0, 0x00);  // loading starts from a blank image
      ASSERT_EQ(TFileLoader::LoadHexFile(file, image), 0);
      EXPECT_TRUE(std::equal(c.Bytes.begin(), c.Bytes.end(), image.Data())) << ReadFile(file);
    }
  }
}
