// Saves and loads a 128 KiB image in every file format through the exports,
// and has srec_cat do the same conversions of the same data where it knows
// the format. Formats that carry 16-bit addresses only get 64 KiB.
// Each figure is the best of several runs; srec_cat's include starting it.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "zylisp.h"

namespace {

constexpr int kRuns = 5;

double BestOf(const std::function<bool()>& run) {
  double best = 1e9;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

bool Shell(const std::string& command) {
  return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> Image() {
  std::vector<uint8_t> bytes;
  const int32_t size = Zyl_GetBufferSize(ZYL_AREA_EEPROM);
  for (int32_t a = 0; a < size; ++a) bytes.push_back(Zyl_ANSI_ReadBuffer(ZYL_AREA_EEPROM, a));
  return bytes;
}

struct Format {
  uint8_t number;
  const char* name;
  const char* device;   // 24C1024: 128 KiB; 24C512: 64 KiB
  const char* srecord;  // srec_cat's name for the format, nullptr if it has none
};

}  // namespace

int main() {
  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  const bool haveSrecCat = Shell("command -v srec_cat");

  const Format formats[] = {
      {ZYL_FMT_INTEL_HEX, "Intel HEX", "24C1024", "-intel"},
      {ZYL_FMT_INTEL_HEX_SEGMENT, "Intel HEX segment", "24C1024", nullptr},
      {ZYL_FMT_INTEL_HEX_LINEAR, "Intel HEX linear", "24C1024", "-intel"},
      {ZYL_FMT_MOTOROLA_S1, "Motorola S1", "24C512", "-motorola -address-length=2"},
      {ZYL_FMT_MOTOROLA_S2, "Motorola S2", "24C1024", "-motorola -address-length=3"},
      {ZYL_FMT_MOTOROLA_S3, "Motorola S3", "24C1024", "-motorola -address-length=4"},
      {ZYL_FMT_EXTENDED_TEKTRONIX, "ext. Tektronix", "24C1024", "-tektronix-extended"},
      {ZYL_FMT_TEKTRONIX, "Tektronix", "24C512", "-tektronix"},
      {ZYL_FMT_BINARY, "binary", "24C1024", "-binary"},
      {ZYL_FMT_BYTE_LIST, "byte list", "24C512", nullptr},
  };
  std::printf("%-18s %8s %10s %10s %12s %12s\n", "format", "bytes", "save ms", "load ms",
              "srec_cat to", "srec_cat from");
  int status = 0;
  for (const Format& f : formats) {
    Zyl_SetDevice(f.device);
    Zyl_SetMode(ZYL_MODE_PARALLEL);
    Zyl_SetPort(1);
    const int32_t size = Zyl_GetBufferSize(ZYL_AREA_EEPROM);
    std::vector<uint8_t> data(static_cast<std::size_t>(size));
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    const std::string raw = folder + "/data.bin";
    FILE* out = std::fopen(raw.c_str(), "wb");
    if (!out || std::fwrite(data.data(), 1, data.size(), out) != data.size()) return 1;
    std::fclose(out);
    if (Zyl_LoadBuffer(ZYL_AREA_EEPROM, raw.c_str()) != 0) return 1;

    const std::string file = folder + "/data." + std::to_string(f.number);
    const double save = BestOf([&] { return Zyl_SaveBuffer(ZYL_AREA_EEPROM, file.c_str(), f.number) == 0; });
    Zyl_ClearBuffer(ZYL_AREA_EEPROM);
    const double load = BestOf([&] { return Zyl_LoadBuffer(ZYL_AREA_EEPROM, file.c_str()) == 0; });
    if (save < 0 || load < 0 || Image() != data) {
      std::printf("%-18s failed: %s\n", f.name, Zyl_GetLastError());
      status = 1;
      continue;
    }
    double to = -1, from = -1;
    if (haveSrecCat && f.srecord) {
      const std::string theirs = folder + "/srec." + std::to_string(f.number);
      to = BestOf([&] { return Shell("srec_cat " + raw + " -binary -o " + theirs + " " + f.srecord); });
      from = BestOf([&] { return Shell("srec_cat " + theirs + " " + f.srecord + " -o " + folder + "/back.bin -binary"); });
    }
    auto ms = [](double s, char* text) {
      if (s < 0)
        std::snprintf(text, 16, "-");
      else
        std::snprintf(text, 16, "%.2f", s * 1000);
    };
    char t1[16], t2[16];
    ms(to, t1);
    ms(from, t2);
    std::printf("%-18s %8d %10.2f %10.2f %12s %12s\n", f.name, size, save * 1000, load * 1000, t1, t2);
  }
  std::filesystem::remove_all(folder);
  return status;
}
