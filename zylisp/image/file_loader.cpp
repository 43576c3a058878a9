#include "image/file_loader.h"

#include "core/atomic_file.h"
#include "core/errors.h"
#include "image/binary_format.h"
#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/line_range.h"
#include "image/text_scan.h"

namespace zylisp {

namespace {

// Longest text file loaded into an image of imageSize bytes: twice the
// wordiest form per byte, plus room for headers and symbol blocks.
uint64_t MaxTextFileBytes(int32_t imageSize) {
  return (uint64_t{64} << 10) + 64 * static_cast<uint64_t>(imageSize > 0 ? imageSize : 0);
}

// The lines' verdict; a line that breaks the rules of the format the
// records claim raises EDamagedFile.
TTextVerdict SoundLines(const TLineRange& lines, const std::string& fileName) {
  TTextVerdict verdict = ScanLines(lines);
  if (verdict.DamagedLine != 0) throw EDamagedFile(DamagedLineDetail(fileName, verdict));
  return verdict;
}

int32_t IdentifyLines(const TLineRange& lines) {
  if (lines.Empty()) return kNoLines;
  return ScanLines(lines).Format;
}

// Clears the image and runs the reader the verdict names; lines of no
// format load nothing.
int32_t ReadLines(THexList& image, const TLineRange& lines, const TTextVerdict& verdict) {
  image.Clear();
  if (!verdict.Family) return 0;
  try {
    verdict.Family->Read(lines, image, verdict.Format);
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
  // Refused before the image changes, as a binary file too large for it
  // is, and so is damaged text.
  if (check == TTextCheck::kTooLong) return -1;
  const TTextVerdict verdict =
      check == TTextCheck::kText ? SoundLines(TLineRange(file), fileName) : TTextVerdict();
  image.SetFileName(fileName);
  return ReadLines(image, TLineRange(file), verdict);
}

int32_t TFileLoader::LoadFromLines(THexList& image, const TLines& lines) {
  return ReadLines(image, lines, SoundLines(lines, {}));
}

int32_t TFileLoader::LoadBinaryFile(const std::string& fileName, THexList& image) {
  return LoadBinaryImage(fileName, image);
}

bool TFileLoader::KnowsFormat(int32_t format) { return FamilyOfFormat(format) != nullptr; }

int32_t TFileLoader::SaveHexFile(const std::string& fileName, const THexList& image,
                                 int32_t format, std::string* reason) {
  // An unknown format number writes nothing, so an existing file stays.
  const TFormatFamily* family = FamilyOfFormat(format);
  if (!family) return 1;
  try {
    TLines lines;
    family->Write(lines, image, format);
    WriteFileAtomically(fileName, JoinLines(lines));
    return 0;
  } catch (const std::exception& e) {
    if (reason) *reason = e.what();
    return 1;
  } catch (...) {
    return 1;
  }
}

int32_t TFileLoader::SaveBinaryFile(const std::string& fileName, THexList& image,
                                    std::string* reason) {
  try {
    image.SetFileName(fileName);
    SaveBinaryImage(fileName, image);
    return 0;
  } catch (const std::exception& e) {
    if (reason) *reason = e.what();
    return 1;
  } catch (...) {
    return 1;
  }
}

}  // namespace zylisp
