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

namespace {

constexpr int kSparseSectors = 16;

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

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

std::string Upper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The smallest erase unit of the SPI NOR flash named by device (its name
// or an alias); 0 when it is no such flash.
int32_t FlashEraseUnit(const std::string& device) {
  int32_t count = 0;
  if (Zyl_ListParts(nullptr, 0, &count) != 0 || count <= 0) return 0;
  std::vector<ZylPartInfo> parts(static_cast<std::size_t>(count));
  if (Zyl_ListParts(parts.data(), count, &count) != 0) return 0;
  const std::string wanted = Upper(device);
  for (const ZylPartInfo& p : parts) {
    if (p.family != ZYL_FAMILY_SPI_FLASH) continue;
    std::istringstream names(Upper(std::string(p.name) + "," + p.aliases));
    std::string name;
    while (std::getline(names, name, ',')) {
      name.erase(0, name.find_first_not_of(' '));
      if (name == wanted) return std::max(p.eraseSizes[0], 0);
    }
  }
  return 0;
}

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
      std::istringstream list(arg.substr(8));
      std::string name;
      while (std::getline(list, name, ',')) {
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

  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  if (!WriteFile(input, bytes)) return 1;

  // The sparse job: the chip starts as base; the file has new bytes in one
  // sector of each sixteenth of the chip, so no two share a larger erase.
  std::vector<uint8_t> base(bytes.size());
  for (auto& b : base) b = static_cast<uint8_t>(rng());
  std::vector<uint8_t> sparse = base;
  const int32_t region = size / kSparseSectors;
  const int32_t unit = std::min(flashUnit > 0 ? flashUnit : 4096, region);
  const bool wantSparse = std::any_of(steps.begin(), steps.end(), [](const Step* s) { return s->sparse; });
  if (wantSparse) {
    if (unit <= 0) {
      std::filesystem::remove_all(folder);
      return Usage(device + " is too small for " + std::to_string(kSparseSectors) + " sectors");
    }
    for (int32_t r = 0; r < kSparseSectors; ++r) {
      const auto choices = static_cast<uint32_t>(region / unit);
      const int32_t sector = r * region + static_cast<int32_t>(rng() % choices) * unit;
      for (int32_t a = sector; a < sector + unit; ++a)
        sparse[static_cast<std::size_t>(a)] = static_cast<uint8_t>(rng());
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
