#include "image/file_loader.h"

#include <algorithm>

#include "core/atomic_file.h"
#include "core/errors.h"
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

// 0 when the contents that make() gives are written, 1 on any failure, its
// reason (when known) in reason; an existing file then stays as it was.
template <typename TMake>
int32_t WriteMade(const std::string& fileName, TMake make, std::string* reason) {
  try {
    WriteFileAtomically(fileName, make());
    return 0;
  } catch (const std::exception& e) {
    if (reason) *reason = e.what();
  } catch (...) {
  }
  return 1;
}

}  // namespace

int32_t TFileLoader::IdentifyFile(const std::string& fileName) {
  const TDataFile file(fileName);
  const TTextCheck check = CheckText(file, kMaxTextFileBytes);
  if (check == TTextCheck::kEmpty) return kNoLines;
  return check == TTextCheck::kText ? ScanLines(TLineRange(file)).Format : kUnknownFormat;
}

int32_t TFileLoader::LoadHexFile(const std::string& fileName, THexList& image,
                                 const TLoadOptions& /*options*/, std::string* /*reason*/) {
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

int32_t TFileLoader::LoadBinaryFile(const std::string& fileName, THexList& image,
                                    const TLoadOptions& /*options*/, std::string* /*reason*/) {
  const TDataFile file(fileName);
  const std::size_t size = static_cast<std::size_t>(image.Size());
  // A file whose length does not fit is refused before any of it is read.
  if (file.Length() > size) return -1;
  // Devices report no length: one byte more than fits is enough to know.
  std::string bytes(size + 1, '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  if (bytes.size() > size) return -1;

  image.SetFileName(fileName);
  image.Clear();
  uint8_t* data = image.Data();
  // A file of exactly the image's size is the image's raw bytes, as the
  // binary writer makes it, even when every byte is a hex digit character.
  if (bytes.size() != size && AllHexDigits(bytes)) {
    // ASCII hex: two characters per byte, a last odd character ignored.
    const std::string upper = UpperCase(bytes);
    for (std::size_t i = 0; i < upper.size() / 2; ++i) data[i] = HexPairAt(upper, 2 * i);
  } else {
    std::copy(bytes.begin(), bytes.end(), data);
  }
  return 0;
}

bool TFileLoader::KnowsFormat(int32_t format) { return FamilyOfFormat(format) != nullptr; }

int64_t TFileLoader::HighestAddress(int32_t format) {
  switch (format) {
    case ffIntelHex:
    case ffIntelHexSegment:
    case ffIntelHexLinear: return 0xFFFFFFFF;  // linear address records
    case ffMotorolaS1:
    case ffMotorolaS2:
    case ffMotorolaS3: return 0xFFFFFF;  // the writer widens to S2 records
    case ffExtendedTektronix: return 0xFFFFF;
    case ffTektronix: return 0xFFFF;
    case ffWordList: return 2 * int64_t{0xFFFFFF} + 1;
    case ffByteList: return 0xFFFF;
    default: return 0;
  }
}

int32_t TFileLoader::SaveHexFile(const std::string& fileName, const THexList& image,
                                 int32_t format, std::string* reason) {
  // An unknown format number writes nothing, so an existing file stays.
  const TFormatFamily* family = FamilyOfFormat(format);
  if (!family) return 1;
  return WriteMade(
      fileName,
      [&] {
        TLines lines;
        family->Write(lines, image, format);
        return JoinLines(lines);
      },
      reason);
}

int32_t TFileLoader::SaveBinaryFile(const std::string& fileName, THexList& image,
                                    std::string* reason) {
  image.SetFileName(fileName);
  const auto* data = reinterpret_cast<const char*>(image.Data());
  return WriteMade(
      fileName, [&] { return std::string(data, static_cast<std::size_t>(image.Size())); }, reason);
}

std::string DataFileProblem(const std::string& fileName, const TLoadOptions& /*options*/) {
  try {
    const TDataFile file(fileName);
    const TTextCheck check = CheckText(file, kMaxTextFileBytes);
    // A binary image, or text without a single record, loads as its bytes.
    const TTextVerdict verdict =
        check == TTextCheck::kText ? ScanLines(TLineRange(file)) : TTextVerdict();
    if (verdict.DamagedLine != 0) return DamagedLineDetail(fileName, verdict);
    if (check == TTextCheck::kEmpty || (verdict.Family && !verdict.HoldsData))
      return fileName + " holds no data";
    return {};
  } catch (const EFileError& e) {
    return e.what();
  }
}

}  // namespace zylisp
