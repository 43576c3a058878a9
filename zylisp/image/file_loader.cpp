#include "image/file_loader.h"

#include <limits>

#include "core/atomic_file.h"
#include "core/errors.h"
#include "image/binary_format.h"
#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

TLines ReadLines(const std::string& fileName) {
  return SplitLines(ReadFileBytes(fileName, std::numeric_limits<std::size_t>::max(), true));
}

int32_t IdentifyLines(const TLines& lines) {
  if (lines.empty()) return kNoLines;
  for (const TFormatFamily& family : FormatFamilies()) {
    const int32_t answer = family.Detect(lines);
    if (answer != 0) return answer;
  }
  return kUnknownFormat;
}

}  // namespace

int32_t TFileLoader::IdentifyFile(const std::string& fileName, const TLines* lines) {
  if (lines) return IdentifyLines(*lines);
  return IdentifyLines(ReadLines(fileName));
}

int32_t TFileLoader::LoadHexFile(const std::string& fileName, THexList& image) {
  image.SetFileName(fileName);
  image.Clear();
  return LoadFromLines(image, ReadLines(fileName));
}

int32_t TFileLoader::LoadFromLines(THexList& image, const TLines& lines) {
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

int32_t TFileLoader::LoadBinaryFile(const std::string& fileName, THexList& image) {
  return LoadBinaryImage(fileName, image);
}

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
