#include "image/file_loader.h"

#include <algorithm>

#include "core/atomic_file.h"
#include "core/errors.h"
#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/file_text.h"
#include "image/hex_list.h"
#include "image/image_store.h"
#include "image/line_range.h"
#include "image/text_scan.h"

namespace zylisp {

namespace {

// Longest text file loaded into an image of imageSize bytes: twice the
// wordiest form per byte, plus room for headers and symbol blocks.
uint64_t MaxTextFileBytes(int32_t imageSize) {
  return (uint64_t{64} << 10) + 64 * static_cast<uint64_t>(imageSize > 0 ? imageSize : 0);
}

std::string DeviceWords(const TLoadOptions& options) {
  return options.DeviceName.empty() ? "the device" : "the " + options.DeviceName;
}

TScanRules LoadRules(const TLoadOptions& options) {
  TScanRules rules;
  rules.Checksums = !options.IgnoreChecksums;
  rules.Counts = true;
  return rules;
}

// Decoded text with a character no data file holds cannot be read as text,
// and is never a binary image either.
bool BadlyDecoded(const TFileText& text, TTextCheck check) {
  return text.Decoded() && check == TTextCheck::kBinary;
}

std::string EncodingProblem(const std::string& fileName, const TFileText& text,
                            TTextCheck check) {
  if (!BadlyDecoded(text, check)) return {};
  return fileName + " is " + EncodingName(text.Encoding()) +
         " text with characters no data file holds: save it as ASCII";
}

// The lines' verdict; lines that break the rules of the format the records
// claim raise EDamagedFile.
TTextVerdict SoundLines(const TFileText& text, const std::string& fileName,
                        const TLoadOptions& options) {
  TTextVerdict verdict = ScanLines(TLineRange(text), LoadRules(options));
  if (verdict.Damaged()) throw EDamagedFile(DamagedLineDetail(fileName, verdict));
  return verdict;
}

// Runs the reader the verdict names into store; lines of no format store
// nothing. Two records giving one address different bytes raise
// EDamagedFile.
void ReadLines(TImageStore& store, const TFileText& text, const TTextVerdict& verdict,
               const std::string& fileName) {
  if (!verdict.Family) return;
  try {
    verdict.Family->Read(TLineRange(text), store, verdict.Format);
  } catch (const EOverlappingRecords& e) {
    throw EDamagedFile(fileName + " " + e.what());
  }
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

// IdentifyFile, LoadHexFile and LoadBinaryFile of a file already open.
int32_t IdentifyOpenFile(const TDataFile& file) {
  const TFileText text = OpenText(file);
  const TTextCheck check = CheckText(text, kMaxTextFileBytes);
  if (check == TTextCheck::kEmpty) return kNoLines;
  // Decoded text holds a record, whatever else it holds.
  const bool lines = check == TTextCheck::kText || BadlyDecoded(text, check);
  return lines ? ScanLines(TLineRange(text)).Format : kUnknownFormat;
}

int32_t LoadText(const TDataFile& file, const std::string& fileName, THexList& image,
                 const TLoadOptions& options, std::string* reason) {
  const TFileText text = OpenText(file);
  const TTextCheck check = CheckText(text, MaxTextFileBytes(image.Size()));
  // Refused before the image changes, as a binary file too large for it
  // is, and so is damaged text.
  if (check == TTextCheck::kTooLong) {
    if (reason) *reason = fileName + " is longer than any text file for " + DeviceWords(options);
    return -1;
  }
  const std::string encoding = EncodingProblem(fileName, text, check);
  if (!encoding.empty()) throw EDamagedFile(encoding);
  const TTextVerdict verdict =
      check == TTextCheck::kText ? SoundLines(text, fileName, options) : TTextVerdict();

  // Read aside, so that records that disagree leave the image as it was.
  THexList loaded = image;
  loaded.SetFileName(fileName);
  loaded.Clear();
  int32_t result = 0;
  try {
    TImageStore store(&loaded);
    ReadLines(store, text, verdict, fileName);
  } catch (const EBeyondImage& e) {
    // What came before the record stays.
    if (reason) {
      *reason = fileName + " line " + std::to_string(e.Line()) + ": address " +
                AddressText(e.Address()) + " is beyond " + DeviceWords(options) + ", which holds " +
                std::to_string(image.Size()) + " bytes";
    }
    result = -1;
  }
  image = std::move(loaded);
  return result;
}

int32_t LoadBinary(const TDataFile& file, const std::string& fileName, THexList& image,
                   const TLoadOptions& options, std::string* reason) {
  // UTF-16 or UTF-32 text of records is that text, never a binary image.
  if (OpenText(file).Decoded()) return LoadText(file, fileName, image, options, reason);
  const std::size_t size = static_cast<std::size_t>(image.Size());
  const auto tooLarge = [&](const std::string& holds) {
    if (reason) {
      *reason = fileName + " holds " + holds + " bytes, " + DeviceWords(options) + " only " +
                std::to_string(size);
    }
    return -1;
  };
  // A file whose length does not fit is refused before any of it is read.
  if (file.Length() > size) return tooLarge(std::to_string(file.Length()));
  // Devices report no length: one byte more than fits is enough to know.
  std::string bytes(size + 1, '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  if (bytes.size() > size) return tooLarge("more than " + std::to_string(size));

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

}  // namespace

int32_t TFileLoader::IdentifyFile(const std::string& fileName) {
  return IdentifyOpenFile(TDataFile(fileName));
}

int32_t TFileLoader::LoadHexFile(const std::string& fileName, THexList& image,
                                 const TLoadOptions& options, std::string* reason) {
  return LoadText(TDataFile(fileName), fileName, image, options, reason);
}

int32_t TFileLoader::LoadBinaryFile(const std::string& fileName, THexList& image,
                                    const TLoadOptions& options, std::string* reason) {
  return LoadBinary(TDataFile(fileName), fileName, image, options, reason);
}

int32_t TFileLoader::LoadFile(const std::string& fileName, THexList& image,
                              const TLoadOptions& options, std::string* reason) {
  // One look at the file decides its kind and gives its bytes: a file that
  // changes meanwhile cannot be taken for text and then read as something
  // else.
  const TDataFile file(fileName);
  return IdentifyOpenFile(file) > 0 ? LoadText(file, fileName, image, options, reason)
                                    : LoadBinary(file, fileName, image, options, reason);
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

namespace {

// What DataFileProblem finds without a device: damage, or no data.
std::string FileShapeProblem(const std::string& fileName, const TLoadOptions& options) {
  try {
    const TDataFile file(fileName);
    const TFileText text = OpenText(file);
    const TTextCheck check = CheckText(text, kMaxTextFileBytes);
    const std::string encoding = EncodingProblem(fileName, text, check);
    if (!encoding.empty()) return encoding;
    if (check == TTextCheck::kEmpty) return fileName + " holds no data";
    // A binary image, or text without a single record, loads as its bytes.
    if (check != TTextCheck::kText) return {};
    const TTextVerdict verdict = ScanLines(TLineRange(text), LoadRules(options));
    if (verdict.Damaged()) return DamagedLineDetail(fileName, verdict);
    // An end record alone is a blank image, as the writers make one.
    TImageStore store(nullptr);
    ReadLines(store, text, verdict, fileName);
    return {};
  } catch (const EZylError& e) {
    return e.what();
  } catch (const EFileError& e) {
    return e.what();
  }
}

}  // namespace

std::string DataFileProblem(const std::string& fileName, const TLoadOptions& options) {
  const std::string problem = FileShapeProblem(fileName, options);
  if (!problem.empty() || options.DeviceSize <= 0) return problem;
  // For a device, the load itself with its limits, into an image aside.
  try {
    THexList scratch;
    scratch.SetSize(options.DeviceSize);
    std::string reason;
    if (TFileLoader::LoadFile(fileName, scratch, options, &reason) == -1)
      return reason.empty() ? fileName + " is larger than " + DeviceWords(options) : reason;
    return {};
  } catch (const EZylError& e) {
    return e.what();
  } catch (const EFileError& e) {
    return e.what();
  }
}

}  // namespace zylisp
