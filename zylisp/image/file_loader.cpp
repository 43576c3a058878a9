#include "image/file_loader.h"

#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/errors.h"
#include "image/binary_format.h"
#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/line_range.h"

namespace zylisp {

namespace {

// Longest file taken as text at all. The largest chips hold 128 KiB; even
// at one byte per record with an address record before each, some 32
// characters per byte, a text file for them stays near 4 MiB.
constexpr uint64_t kMaxTextFileBytes = uint64_t{16} << 20;

// Longest text file loaded into an image of imageSize bytes: twice the
// wordiest form per byte, plus room for headers and symbol blocks.
uint64_t MaxTextFileBytes(int32_t imageSize) {
  return (uint64_t{64} << 10) + 64 * static_cast<uint64_t>(imageSize > 0 ? imageSize : 0);
}

enum class TTextCheck { kEmpty, kText, kBinary, kTooLong };

// Looks the file through once before any detector sees it: a NUL byte
// anywhere makes it binary, and a file longer than limit is not read past
// limit (nor at all when its length says so).
TTextCheck CheckText(const TDataFile& file, uint64_t limit) {
  if (file.Length() > limit) return TTextCheck::kTooLong;
  std::vector<char> piece(64 * 1024);
  uint64_t length = 0;
  for (;;) {
    const std::size_t n = file.ReadAt(length, piece.data(), piece.size());
    if (n == 0) break;
    if (std::memchr(piece.data(), '\0', n) != nullptr) return TTextCheck::kBinary;
    length += n;
    if (length > limit) return TTextCheck::kTooLong;
  }
  return length == 0 ? TTextCheck::kEmpty : TTextCheck::kText;
}

int32_t IdentifyLines(const TLineRange& lines) {
  if (lines.Empty()) return kNoLines;
  for (const TFormatFamily& family : FormatFamilies()) {
    const int32_t answer = family.Detect(lines);
    if (answer != 0) return answer;
  }
  return kUnknownFormat;
}

int32_t LoadLines(THexList& image, const TLineRange& lines) {
  image.Clear();
  const int32_t format = IdentifyLines(lines);
  const TFormatFamily* family = FamilyOfFormat(format);
  if (!family) return 0;
  try {
    family->Read(lines, image, format);
  } catch (const EISPException&) {
    return -1;  // an address outside the image; what came before stays
  }
  return 0;
}

}  // namespace

int32_t TFileLoader::IdentifyFile(const std::string& fileName, const TLines* lines) {
  if (lines) return IdentifyLines(*lines);
  const TDataFile file(fileName);
  switch (CheckText(file, kMaxTextFileBytes)) {
    case TTextCheck::kEmpty:
      return kNoLines;
    case TTextCheck::kText:
      return IdentifyLines(TLineRange(file));
    default:
      return kUnknownFormat;
  }
}

int32_t TFileLoader::LoadHexFile(const std::string& fileName, THexList& image) {
  const TDataFile file(fileName);
  const TTextCheck check = CheckText(file, MaxTextFileBytes(image.Size()));
  // Refused before the image changes, as a binary file too large for it is.
  if (check == TTextCheck::kTooLong) return -1;
  image.SetFileName(fileName);
  image.Clear();
  if (check != TTextCheck::kText) return 0;
  return LoadLines(image, TLineRange(file));
}

int32_t TFileLoader::LoadFromLines(THexList& image, const TLines& lines) {
  return LoadLines(image, lines);
}

int32_t TFileLoader::LoadBinaryFile(const std::string& fileName, THexList& image) {
  return LoadBinaryImage(fileName, image);
}

bool TFileLoader::KnowsFormat(int32_t format) { return FamilyOfFormat(format) != nullptr; }

int32_t TFileLoader::SaveHexFile(const std::string& fileName, const THexList& image,
                                 int32_t format) {
  // An unknown format number writes nothing, so an existing file stays.
  const TFormatFamily* family = FamilyOfFormat(format);
  if (!family) return 1;
  try {
    TLines lines;
    family->Write(lines, image, format);
    WriteFileAtomically(fileName, JoinLines(lines));
    return 0;
  } catch (...) {
    return 1;
  }
}

int32_t TFileLoader::SaveBinaryFile(const std::string& fileName, THexList& image) {
  try {
    image.SetFileName(fileName);
    SaveBinaryImage(fileName, image);
    return 0;
  } catch (...) {
    return 1;
  }
}

}  // namespace zylisp
