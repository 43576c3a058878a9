// Programs, verifies and reads a 24C1024 over the simulated parallel link
// and prints how many pin accesses each byte costs and how fast it goes,
// beside the handshake's floor: the accesses the protocol's bytes need at
// the least (a byte to the adapter 66: two reads for ready, then per bit four
// writes, the acknowledge, the echo bit, the clock and ready again; a byte
// from it 42: two reads, then per bit ready, clock, ready, data, clock).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "api/lpt_backend_choice.h"
#include "zylisp.h"
#include "zylsim/emulator.h"

namespace {

struct Step {
  const char* name;
  int32_t (*run)(const std::string& file);
};

int32_t Program(const std::string& f) { return Zyl_ProgramEEPROM(f.c_str()); }
int32_t Verify(const std::string& f) { return Zyl_VerifyEEPROM(f.c_str()); }
int32_t Read(const std::string&) { return Zyl_ReadEEPROM(nullptr, 0); }

}  // namespace

int main() {
  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  const std::string image = folder + "/in.bin";
  const std::string config = "device=24C1024,image=" + folder + "/chip.bin";
  setenv("ZYLISP_LPT_SIM", config.c_str(), 1);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

  const int32_t size = 131072;
  std::vector<uint8_t> bytes(size);
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  FILE* out = std::fopen(image.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
  std::fclose(out);

  if (Zyl_InitProgrammer("LPT1", "24C1024", ZYL_MODE_PARALLEL) != 0) {
    std::fprintf(stderr, "no simulated LPT1\n");
    return 1;
  }
  if (Zyl_PROG_Open() != 0) {
    std::fprintf(stderr, "open failed: %s\n", Zyl_GetLastError());
    return 1;
  }
  zylsim::Emulator& sim = *zylisp::SimulatedEmulator();

  std::printf("24C1024 (%d bytes) over the simulated parallel link\n", size);
  std::printf("%-8s %10s %14s %10s %10s %10s\n", "step", "seconds", "pin accesses", "per byte",
              "floor", "bytes/s");
  const Step steps[] = {{"program", Program}, {"verify", Verify}, {"read", Read}};
  for (const Step& step : steps) {
    const zylsim::Statistics before = sim.Stats();
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = step.run(image);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const zylsim::Statistics& after = sim.Stats();
    const uint64_t accesses = after.pinAccesses - before.pinAccesses;
    const uint64_t floor = 66 * (after.bytesFromHost - before.bytesFromHost) +
                           42 * (after.bytesToHost - before.bytesToHost);
    if (result != 0) {
      std::fprintf(stderr, "%s failed: %s\n", step.name, Zyl_GetLastError());
      return 1;
    }
    std::printf("%-8s %10.3f %14llu %10.1f %10.1f %10.0f\n", step.name, seconds,
                static_cast<unsigned long long>(accesses), static_cast<double>(accesses) / size,
                static_cast<double>(floor) / size, size / seconds);
  }
  Zyl_PROG_Close();
  std::filesystem::remove_all(folder);
  return 0;
}
