// What the link benches share: the data files they program, and the erase
// unit of the SPI NOR flash they run on.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "zylisp.h"

namespace bench {

constexpr int kSparseSectors = 16;

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

inline std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) items.push_back(item);
  return items;
}

inline std::string Upper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The smallest erase unit of the SPI NOR flash named by device (its name
// or an alias); 0 when it is no such flash.
inline int32_t FlashEraseUnit(const std::string& device) {
  int32_t count = 0;
  if (Zyl_ListParts(nullptr, 0, &count) != 0 || count <= 0) return 0;
  std::vector<ZylPartInfo> parts(static_cast<std::size_t>(count));
  if (Zyl_ListParts(parts.data(), count, &count) != 0) return 0;
  const std::string wanted = Upper(device);
  for (const ZylPartInfo& p : parts) {
    if (p.family != ZYL_FAMILY_SPI_FLASH) continue;
    for (std::string name : SplitList(Upper(std::string(p.name) + "," + p.aliases))) {
      name.erase(0, name.find_first_not_of(' '));
      if (name == wanted) return std::max(p.eraseSizes[0], 0);
    }
  }
  return 0;
}

// A random file for program, verify and read; for the sparse job the chip
// starts as base and the file equals it but for new bytes in one sector of
// each sixteenth of the chip, so no two share a larger erase. The sector is
// the flash's erase unit, else 4 KiB; Unit is 0 when the chip is too small.
struct TBenchImages {
  std::vector<uint8_t> Input, Base, Sparse;
  int32_t Unit = 0;
};

inline TBenchImages MakeBenchImages(int32_t size, int32_t flashUnit) {
  TBenchImages images;
  images.Input.resize(static_cast<std::size_t>(size));
  std::mt19937 rng(1);
  for (auto& b : images.Input) b = static_cast<uint8_t>(rng());
  images.Base.resize(images.Input.size());
  for (auto& b : images.Base) b = static_cast<uint8_t>(rng());
  images.Sparse = images.Base;
  const int32_t region = size / kSparseSectors;
  images.Unit = std::min(flashUnit > 0 ? flashUnit : 4096, region);
  if (images.Unit <= 0) return images;
  for (int32_t r = 0; r < kSparseSectors; ++r) {
    const auto choices = static_cast<uint32_t>(region / images.Unit);
    const int32_t sector = r * region + static_cast<int32_t>(rng() % choices) * images.Unit;
    for (int32_t a = sector; a < sector + images.Unit; ++a)
      images.Sparse[static_cast<std::size_t>(a)] = static_cast<uint8_t>(rng());
  }
  return images;
}

}  // namespace bench
