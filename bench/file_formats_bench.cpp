// Saves and loads (through the classic calls and through a session) images
// of 128 KiB, 16 MiB and 64 MiB of random bytes as
// Intel HEX, Motorola S-records and binary, and has srec_cat convert the
// same data the same ways. Every step runs in a child process of its own,
// so its peak resident memory (the kernel's high-water mark of the child,
// the image and the library included) is its own; our times are of the
// save or load call alone, srec_cat's of its whole run. A load is checked
// against the data before its figures count.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "zylisp.h"

namespace {

struct TFigures {
  bool Ok = false;
  double Seconds = 0;
  double PeakMiB = 0;
};

// Runs step in a child, which times the part of it that counts (step
// returns those seconds, or a negative number when it failed) and hands the
// figure back through a pipe.
TFigures InChild(const std::function<double()>& step) {
  std::fflush(stdout);
  int link[2];
  if (pipe(link) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(link[0]);
    const double seconds = step();
    const bool written = write(link[1], &seconds, sizeof seconds) == sizeof seconds;
    _exit(written && seconds >= 0 ? 0 : 1);
  }
  close(link[1]);
  double seconds = -1;
  const bool got = pid > 0 && read(link[0], &seconds, sizeof seconds) == sizeof seconds;
  close(link[0]);
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return {};
  TFigures f;
  f.Seconds = seconds;
  f.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
  f.Ok = got && seconds >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return f;
}

double Timed(const std::function<bool()>& work) {
  const auto start = std::chrono::steady_clock::now();
  if (!work()) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// srec_cat with these arguments, its output thrown away, timed from the
// fork to its end.
TFigures SrecCat(const std::vector<std::string>& args) {
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<std::string> copies = args;
    copies.insert(copies.begin(), "srec_cat");
    std::vector<char*> argv;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp("srec_cat", argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return {};
  TFigures f;
  f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
  f.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return f;
}

ZylSession* SessionFor(const char* device) {
  ZylSession* session = nullptr;
  if (Zyl_SessionCreate(&session) != 0 || Zyl_SessionSetDevice(session, device) != 0) return nullptr;
  return session;
}

// The image that read(at, into, n) gives, n bytes from at, equals the
// file's bytes.
bool ImageIs(const std::string& raw, int32_t size,
             const std::function<bool(int32_t, uint8_t*, int32_t)>& read) {
  FILE* in = std::fopen(raw.c_str(), "rb");
  if (!in) return false;
  std::vector<uint8_t> want(1 << 20), got(want.size());
  bool same = true;
  for (int32_t at = 0; same && at < size; at += static_cast<int32_t>(want.size())) {
    const auto n = static_cast<int32_t>(std::min<std::size_t>(want.size(), size - at));
    same = std::fread(want.data(), 1, n, in) == static_cast<std::size_t>(n) &&
           read(at, got.data(), n) && std::equal(want.begin(), want.begin() + n, got.begin());
  }
  std::fclose(in);
  return same;
}

// The default session's image, a byte at a time as the classic calls give it.
bool ReadClassic(int32_t at, uint8_t* into, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (Zyl_ReadBuffer(ZYL_AREA_EEPROM, at + i, into + i) != 0) return false;
  }
  return true;
}

// The file's bytes into the session's image, a block at a time, so that a
// save's figures hold the image and what the save itself needs.
bool FillImage(ZylSession* session, const std::string& raw, int32_t size) {
  FILE* in = std::fopen(raw.c_str(), "rb");
  if (!in) return false;
  std::vector<uint8_t> block(1 << 20);
  bool ok = true;
  for (int32_t at = 0; ok && at < size; at += static_cast<int32_t>(block.size())) {
    const auto n = static_cast<int32_t>(std::min<std::size_t>(block.size(), size - at));
    ok = std::fread(block.data(), 1, n, in) == static_cast<std::size_t>(n) &&
         Zyl_SessionWriteImage(session, at, block.data(), n) == 0;
  }
  std::fclose(in);
  return ok;
}

bool WriteRandom(const std::string& raw, int32_t size) {
  std::mt19937 rng(static_cast<unsigned>(size));
  std::vector<uint8_t> block(1 << 20);
  FILE* out = std::fopen(raw.c_str(), "wb");
  if (!out) return false;
  for (int32_t at = 0; at < size; at += static_cast<int32_t>(block.size())) {
    const std::size_t n = std::min<std::size_t>(block.size(), size - at);
    for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<uint8_t>(rng());
    if (std::fwrite(block.data(), 1, n, out) != n) return false;
  }
  return std::fclose(out) == 0;
}

struct TFormat {
  uint8_t Number;
  const char* Name;
  std::vector<std::string> Srec;  // srec_cat's words for the format
};

std::string Cell(const TFigures& f, bool memory) {
  char text[32];
  if (!f.Ok) return "failed";
  if (memory)
    std::snprintf(text, sizeof text, "%.0f", f.PeakMiB);
  else
    std::snprintf(text, sizeof text, "%.2f", f.Seconds);
  return text;
}

}  // namespace

int main() {
  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  const bool haveSrecCat = std::system("command -v srec_cat > /dev/null 2>&1") == 0;

  struct TSize {
    const char* Device;
    int32_t Bytes;
  };
  const TSize sizes[] = {{"24C1024", 128 << 10}, {"W25Q128JV", 16 << 20}, {"W25Q512JV", 64 << 20}};
  const TFormat formats[] = {
      {ZYL_FMT_INTEL_HEX, "Intel HEX", {"-intel"}},
      {ZYL_FMT_MOTOROLA_S1, "S-record", {"-motorola"}},
      {ZYL_FMT_BINARY, "binary", {"-binary"}},
  };
  std::printf("Times in seconds, peak memory (resident high-water mark) in MiB.\n");
  std::printf("%-10s %-10s %9s | %8s %6s %8s %6s %8s %6s | %8s %6s %8s %6s\n", "size", "format",
              "file MiB", "save s", "MiB", "load s", "MiB", "session", "MiB", "srec to", "MiB",
              "from", "MiB");
  int status = 0;
  for (const TSize& size : sizes) {
    const std::string raw = folder + "/data.bin";
    if (!InChild([&] { return WriteRandom(raw, size.Bytes) ? 0.0 : -1.0; }).Ok) return 1;
    for (const TFormat& f : formats) {
      const std::string file = folder + "/ours." + std::to_string(f.Number);
      const TFigures save = InChild([&] {
        ZylSession* s = SessionFor(size.Device);
        if (!s || !FillImage(s, raw, size.Bytes)) return -1.0;
        return Timed([&] { return Zyl_SessionSaveFile(s, file.c_str(), f.Number) == 0; });
      });
      // Through the classic calls, which load into the image itself.
      const TFigures load = InChild([&] {
        if (Zyl_SetDevice(size.Device) != 0 || Zyl_SetMode(ZYL_MODE_PARALLEL) != 0 ||
            Zyl_SetPort(1) != 0)
          return -1.0;
        const double seconds = Timed([&] { return Zyl_LoadBuffer(ZYL_AREA_EEPROM, file.c_str()) == 0; });
        return ImageIs(raw, size.Bytes, ReadClassic) ? seconds : -1.0;
      });
      // Through a session, which keeps its image when a load fails.
      const TFigures sessionLoad = InChild([&] {
        ZylSession* s = SessionFor(size.Device);
        if (!s) return -1.0;
        const double seconds = Timed([&] { return Zyl_SessionLoadFile(s, file.c_str()) == 0; });
        const auto read = [&](int32_t at, uint8_t* into, int32_t n) {
          return Zyl_SessionReadImage(s, at, into, n) == 0;
        };
        return ImageIs(raw, size.Bytes, read) ? seconds : -1.0;
      });
      TFigures to, from;
      if (haveSrecCat) {
        const std::string theirs = folder + "/srec." + std::to_string(f.Number);
        std::vector<std::string> args = {raw, "-binary", "-o", theirs};
        args.insert(args.end(), f.Srec.begin(), f.Srec.end());
        to = SrecCat(args);
        args = {theirs};
        args.insert(args.end(), f.Srec.begin(), f.Srec.end());
        args.insert(args.end(), {"-o", folder + "/back.bin", "-binary"});
        from = SrecCat(args);
      }
      std::error_code error;
      const double fileMiB = static_cast<double>(std::filesystem::file_size(file, error)) / (1 << 20);
      char label[16];
      std::snprintf(label, sizeof label, "%d KiB", size.Bytes >> 10);
      std::printf("%-10s %-10s %9.1f | %8s %6s %8s %6s %8s %6s | %8s %6s %8s %6s\n", label,
                  f.Name, error ? 0.0 : fileMiB, Cell(save, false).c_str(), Cell(save, true).c_str(),
                  Cell(load, false).c_str(), Cell(load, true).c_str(),
                  Cell(sessionLoad, false).c_str(), Cell(sessionLoad, true).c_str(),
                  haveSrecCat ? Cell(to, false).c_str() : "-", haveSrecCat ? Cell(to, true).c_str() : "-",
                  haveSrecCat ? Cell(from, false).c_str() : "-",
                  haveSrecCat ? Cell(from, true).c_str() : "-");
      if (!save.Ok || !load.Ok || !sessionLoad.Ok) status = 1;
      std::filesystem::remove(file, error);
    }
  }
  std::filesystem::remove_all(folder);
  return status;
}
