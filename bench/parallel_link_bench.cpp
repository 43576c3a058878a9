// Works a chip over the simulated parallel link and prints how many pin
// accesses each byte costs and how fast it goes, beside the handshake's
// floor: the accesses the protocol's bytes need at the least (a byte to the
// adapter 66: two reads for ready, then per bit four writes, the
// acknowledge, the echo bit, the clock and ready again; a byte from it 42:
// two reads, then per bit ready, clock, ready, data, clock). Per byte means
// per byte of the chip.
//
// The step "sparse" programs a chip that already holds a random image with
// a file that differs from it in 16 scattered sectors of the part's
// smallest erase unit (4 KiB when it has none): a whole read, those erases,
// their pages and their verify. After program and sparse the chip is
// compared with the file.
//
//   parallel_link_bench [DEVICE] [--steps=LIST]
//     DEVICE  default 24C1024
//     steps   program, verify, read, sparse (default program,verify,read;
//             read,sparse for an SPI NOR flash)
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "api/lpt_backend_choice.h"
#include "zylisp.h"
#include "zylsim/emulator.h"
#include "bench_images.h"

using namespace bench;

namespace {

// What the chip holds before a step.
enum class Start { Kept, Base };

struct Step {
  const char* name;
  int32_t (*run)(const std::string& file);
  Start start;
  bool sparse;       // works on the sparse file
  bool checkResult;  // the chip must equal the file afterwards
};

int32_t Program(const std::string& f) { return Zyl_ProgramEEPROM(f.c_str()); }
int32_t Verify(const std::string& f) { return Zyl_VerifyEEPROM(f.c_str()); }
int32_t Read(const std::string&) { return Zyl_ReadEEPROM(nullptr, 0); }

// Program, verify and read work one chip in turn, as a user would.
const Step kSteps[] = {{"program", Program, Start::Kept, false, true},
                       {"verify", Verify, Start::Kept, false, false},
                       {"read", Read, Start::Kept, false, false},
                       {"sparse", Program, Start::Base, true, true}};

int Usage(const std::string& message) {
  std::fprintf(stderr,
               "parallel_link_bench: %s\n"
               "usage: parallel_link_bench [DEVICE] [--steps=program,verify,read,sparse]\n",
               message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string device = "24C1024";
  bool deviceGiven = false;
  std::vector<const Step*> steps;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--steps=", 0) == 0) {
      for (const std::string& name : SplitList(arg.substr(8))) {
        const Step* found = nullptr;
        for (const Step& s : kSteps) {
          if (name == s.name) found = &s;
        }
        if (!found) return Usage("unknown step '" + name + "' (known: program, verify, read, sparse)");
        steps.push_back(found);
      }
      if (steps.empty()) return Usage("--steps= names no step");
    } else if (arg.rfind("--", 0) == 0 || deviceGiven) {
      return Usage("unexpected argument '" + arg + "'");
    } else {
      device = arg;
      deviceGiven = true;
    }
  }
  int32_t size = 0;
  if (Zyl_GetDeviceInfo(device.c_str(), nullptr, &size, nullptr) != 0 || size <= 0)
    return Usage("unknown device '" + device + "'");
  const int32_t flashUnit = FlashEraseUnit(device);
  if (steps.empty()) {
    if (flashUnit > 0)
      steps = {&kSteps[2], &kSteps[3]};
    else
      steps = {&kSteps[0], &kSteps[1], &kSteps[2]};
  }

  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  const std::string input = folder + "/in.bin";
  const std::string sparseInput = folder + "/sparse.bin";

  const TBenchImages images = MakeBenchImages(size, flashUnit);
  const std::vector<uint8_t>& bytes = images.Input;
  const std::vector<uint8_t>& base = images.Base;
  const std::vector<uint8_t>& sparse = images.Sparse;
  const int32_t unit = images.Unit;
  if (!WriteFile(input, bytes)) return 1;
  const bool wantSparse = std::any_of(steps.begin(), steps.end(), [](const Step* s) { return s->sparse; });
  if (wantSparse) {
    if (unit <= 0) {
      std::filesystem::remove_all(folder);
      return Usage(device + " is too small for " + std::to_string(kSparseSectors) + " sectors");
    }
    if (!WriteFile(sparseInput, sparse)) return 1;
  }

  std::printf("%s (%d bytes) over the simulated parallel link\n", device.c_str(), size);
  if (wantSparse)
    std::printf("sparse: %d sectors of %d bytes differ from what the chip holds\n", kSparseSectors, unit);
  std::printf("%-8s %10s %10s %14s %10s %10s %7s %10s %19s %6s\n", "step", "seconds", "s per MiB",
              "pin accesses", "per byte", "floor", "ratio", "bytes/s", "erases 4k/32k/64k/c", "pages");
  std::fflush(stdout);
  int status = 0;
  // The emulator is made anew whenever its configuration changes: each
  // sparse step gets a chip image of its own, written before the connection.
  int sparseRuns = 0;
  for (const Step* step : steps) {
    std::string chip = folder + "/chip.bin";
    if (step->start == Start::Base) {
      chip = folder + "/sparse-chip-" + std::to_string(++sparseRuns) + ".bin";
      if (!WriteFile(chip, base)) return 1;
    }
    const std::string config = "device=" + device + ",image=" + chip;
    setenv("ZYLISP_LPT_SIM", config.c_str(), 1);
    if (Zyl_InitProgrammer("LPT1", device.c_str(), ZYL_MODE_PARALLEL) != 0 || Zyl_PROG_Open() != 0) {
      std::fprintf(stderr, "cannot open the simulated LPT1: %s\n", Zyl_GetLastError());
      return 1;
    }
    zylsim::Emulator& sim = *zylisp::SimulatedEmulator();
    const zylsim::Statistics before = sim.Stats();
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = step->run(step->sparse ? sparseInput : input);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const zylsim::Statistics after = sim.Stats();
    const bool holdsFile = sim.TargetChip().Memory() == (step->sparse ? sparse : bytes);
    Zyl_PROG_Close();
    if (result != 0) {
      std::fprintf(stderr, "%s failed: %s\n", step->name, Zyl_GetLastError());
      status = 1;
      continue;
    }
    if (step->checkResult && !holdsFile) {
      std::fprintf(stderr, "%s: the chip does not hold the file\n", step->name);
      status = 1;
      continue;
    }
    const uint64_t accesses = after.pinAccesses - before.pinAccesses;
    const uint64_t floor = 66 * (after.bytesFromHost - before.bytesFromHost) +
                           42 * (after.bytesToHost - before.bytesToHost);
    const std::string erases = std::to_string(after.flashErases4k - before.flashErases4k) + "/" +
                               std::to_string(after.flashErases32k - before.flashErases32k) + "/" +
                               std::to_string(after.flashErases64k - before.flashErases64k) + "/" +
                               std::to_string(after.flashChipErases - before.flashChipErases);
    std::printf("%-8s %10.3f %10.3f %14llu %10.1f %10.1f %7.3f %10.0f %19s %6llu\n", step->name, seconds,
                seconds * 1048576.0 / size, static_cast<unsigned long long>(accesses),
                static_cast<double>(accesses) / size, static_cast<double>(floor) / size,
                static_cast<double>(accesses) / static_cast<double>(floor), size / seconds, erases.c_str(),
                static_cast<unsigned long long>(after.flashPagePrograms - before.flashPagePrograms));
    std::fflush(stdout);
  }
  std::filesystem::remove_all(folder);
  return status;
}
