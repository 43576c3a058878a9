// Runs a harness without the fuzzer: every file named, and every file of
// every folder named, goes once through LLVMFuzzerTestOneInput. The test
// suite replays the seed corpora this way.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

void Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so that reading past it is caught.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  static uint8_t none = 0;
  LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  // A harness may change the working folder when it starts.
  std::vector<std::filesystem::path> named;
  for (int i = 1; i < argc; ++i) named.push_back(std::filesystem::absolute(argv[i]));
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::size_t count = 0;
  for (const auto& path : named) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(path);
    }
    for (const auto& file : files) {
      Replay(file);
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return count > 0 ? 0 : 1;
}
