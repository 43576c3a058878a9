#include "image/file_loader.h"

#include <algorithm>

#include "core/atomic_file.h"
#include "core/errors.h"
#include "core/hex_text.h"
#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/file_text.h"
#include "image/hex_list.h"
#include "image/image_store.h"
#include "image/text_pass.h"

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

std::string EncodingProblem(const std::string& fileName, const TPassResult& pass,
                            TTextCheck check) {
  if (!pass.Decoded() || check != TTextCheck::kBinary) return {};
  return fileName + " is " + EncodingName(pass.Encoding) +
         " text with characters no data file holds: save it as ASCII";
}

// 0 when the contents that produce hands its sink are written, 1 on any
// failure, its reason (when known) in reason; an existing file then stays
// as it was.
int32_t WriteMade(const std::string& fileName, const TContentsProducer& produce,
                  std::string* reason) {
  try {
    WriteFileAtomically(fileName, produce);
    return 0;
  } catch (const std::exception& e) {
    if (reason) *reason = e.what();
  } catch (...) {
  }
  return 1;
}

// What IdentifyFile answers for the file the pass read.
int32_t Identified(const TPassResult& pass) {
  const TTextCheck check = pass.Check(kMaxTextFileBytes);
  if (check == TTextCheck::kEmpty) return kNoLines;
  // Decoded text holds a record, whatever else it holds.
  const bool lines = check == TTextCheck::kText || (pass.Decoded() && check == TTextCheck::kBinary);
  return lines && pass.Verdict.Family ? pass.PlainFormat : kUnknownFormat;
}

// A pass for loading into image: its lines stored aside while they are
// sound and the text not too long for it, and, when keep, the bytes a
// binary load needs.
TPassResult LoadPass(TDataFile& file, const THexList& image, const TLoadOptions& options,
                     bool identify, bool keep) {
  TPassRequest request;
  request.Rules.Checksums = !options.IgnoreChecksums;
  request.Rules.Counts = true;
  request.Store = TPassRequest::TStore::kImage;
  request.ImageSize = image.Size();
  request.StoreLimit = MaxTextFileBytes(image.Size());
  request.TextLimit = identify ? kMaxTextFileBytes : request.StoreLimit;
  // A file longer than the image is refused as binary by its length alone.
  const auto size = static_cast<uint64_t>(std::max(image.Size(), 0));
  request.KeepBytes = keep && file.Length() <= size ? size : 0;
  request.DecodedOnly = !identify && keep;
  return PassOverFile(file, request);
}

// LoadHexFile of the file the pass read.
int32_t LoadText(TPassResult& pass, const std::string& fileName, THexList& image,
                 const TLoadOptions& options, std::string* reason, bool* replaced = nullptr) {
  const TTextCheck check = pass.Check(MaxTextFileBytes(image.Size()));
  // Refused before the image changes, as a binary file too large for it
  // is, and so is damaged text.
  if (check == TTextCheck::kTooLong) {
    if (reason) *reason = fileName + " is longer than any text file for " + DeviceWords(options);
    return -1;
  }
  const std::string encoding = EncodingProblem(fileName, pass, check);
  if (!encoding.empty()) throw EDamagedFile(encoding);
  // Lines of no format, and bytes that are no text, load nothing.
  const bool lines = check == TTextCheck::kText && pass.Verdict.Family;
  if (lines && pass.Verdict.Damaged()) throw EDamagedFile(DamagedLineDetail(fileName, pass.Verdict));
  if (lines && !pass.Overlap.empty()) throw EDamagedFile(fileName + " " + pass.Overlap);
  // The bytes were stored aside, so records that disagree left the image
  // as it was.
  if (lines && pass.Image)
    image = std::move(*pass.Image);
  else
    image.Clear();
  image.SetFileName(fileName);
  if (replaced) *replaced = true;
  if (!lines || !pass.Beyond) return 0;
  // What came before the record stays.
  if (reason) {
    *reason = fileName + " line " + std::to_string(pass.BeyondLine) + ": address " +
              AddressText(pass.BeyondAddress) + " is beyond " + DeviceWords(options) +
              ", which holds " + std::to_string(image.Size()) + " bytes";
  }
  return -1;
}

// LoadBinaryFile of the file the pass read, keeping its bytes.
int32_t LoadBinary(TPassResult& pass, const std::string& fileName, THexList& image,
                   const TLoadOptions& options, std::string* reason, bool* replaced = nullptr) {
  // UTF-16 or UTF-32 text of records is that text, never a binary image.
  if (pass.Decoded()) return LoadText(pass, fileName, image, options, reason, replaced);
  const std::size_t size = static_cast<std::size_t>(std::max(image.Size(), 0));
  const auto tooLarge = [&](const std::string& holds) {
    if (reason) {
      *reason = fileName + " holds " + holds + " bytes, " + DeviceWords(options) + " only " +
                std::to_string(size);
    }
    return -1;
  };
  // A file whose length does not fit is refused before any of it is read.
  if (pass.FileLength > size) return tooLarge(std::to_string(pass.FileLength));
  // Devices report no length: one byte more than fits is enough to know.
  if (!pass.KeptAll || pass.Kept.size() > size) return tooLarge("more than " + std::to_string(size));

  const std::string bytes = std::move(pass.Kept);
  image.SetFileName(fileName);
  image.Clear();
  if (replaced) *replaced = true;
  uint8_t* data = image.Data();
  // A file of exactly the image's size is the image's raw bytes, as the
  // binary writer makes it, even when every byte is a hex digit character.
  if (bytes.size() != size && AllHexDigits(bytes)) {
    // ASCII hex: two characters per byte, a last odd character ignored.
    const auto digit = [](char c) { return HexDigitValue(c >= 'a' ? static_cast<char>(c - 32) : c); };
    for (std::size_t i = 0; i < bytes.size() / 2; ++i)
      data[i] = static_cast<uint8_t>(digit(bytes[2 * i]) * 16 + digit(bytes[2 * i + 1]));
  } else {
    std::copy(bytes.begin(), bytes.end(), data);
  }
  return 0;
}

}  // namespace

int32_t TFileLoader::IdentifyFile(const std::string& fileName) {
  TDataFile file(fileName);
  TPassRequest request;
  return Identified(PassOverFile(file, request));
}

int32_t TFileLoader::LoadHexFile(const std::string& fileName, THexList& image,
                                 const TLoadOptions& options, std::string* reason) {
  TDataFile file(fileName);
  TPassResult pass = LoadPass(file, image, options, false, false);
  return LoadText(pass, fileName, image, options, reason);
}

int32_t TFileLoader::LoadBinaryFile(const std::string& fileName, THexList& image,
                                    const TLoadOptions& options, std::string* reason) {
  TDataFile file(fileName);
  TPassResult pass = LoadPass(file, image, options, false, true);
  return LoadBinary(pass, fileName, image, options, reason);
}

int32_t TFileLoader::LoadFile(const std::string& fileName, THexList& image,
                              const TLoadOptions& options, std::string* reason, bool* replaced) {
  if (replaced) *replaced = false;
  // One reading of the file decides its kind and gives its bytes: a file
  // that changes meanwhile cannot be taken for text and then read as
  // something else.
  TDataFile file(fileName);
  TPassResult pass = LoadPass(file, image, options, true, true);
  return Identified(pass) > 0 ? LoadText(pass, fileName, image, options, reason, replaced)
                              : LoadBinary(pass, fileName, image, options, reason, replaced);
}

bool TFileLoader::KnowsFormat(int32_t format) { return FamilyOfFormat(format) != nullptr; }

int64_t TFileLoader::HighestAddress(int32_t format) {
  switch (format) {
    case ffIntelHex:
    case ffIntelHexSegment:
    case ffIntelHexLinear: return 0xFFFFFFFF;  // linear address records
    case ffMotorolaS1:
    case ffMotorolaS2:
    case ffMotorolaS3: return 0xFFFFFFFF;  // the writer widens to S2, then S3 records
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
  // The text goes to the file a piece at a time as it is made.
  return WriteMade(
      fileName,
      [&](const TContentsSink& sink) { WriteFamilyText(*family, image, format, sink); }, reason);
}

int32_t TFileLoader::SaveBinaryFile(const std::string& fileName, THexList& image,
                                    std::string* reason) {
  image.SetFileName(fileName);
  const auto* data = reinterpret_cast<const char*>(image.Data());
  // Straight from the image, without a copy.
  return WriteMade(
      fileName,
      [&](const TContentsSink& sink) { sink(data, static_cast<std::size_t>(image.Size())); },
      reason);
}

namespace {

// What DataFileProblem finds without a device: damage, or no data.
std::string FileShapeProblem(const std::string& fileName, const TLoadOptions& options) {
  try {
    TDataFile file(fileName);
    TPassRequest request;
    request.Rules.Checksums = !options.IgnoreChecksums;
    request.Rules.Counts = true;
    // An end record alone is a blank image, as the writers make one.
    request.Store = TPassRequest::TStore::kCompare;
    const TPassResult pass = PassOverFile(file, request);
    const TTextCheck check = pass.Check(kMaxTextFileBytes);
    const std::string encoding = EncodingProblem(fileName, pass, check);
    if (!encoding.empty()) return encoding;
    if (check == TTextCheck::kEmpty) return fileName + " holds no data";
    // A binary image, or text without a single record, loads as its bytes.
    if (check != TTextCheck::kText || !pass.Verdict.Family) return {};
    if (pass.Verdict.Damaged()) return DamagedLineDetail(fileName, pass.Verdict);
    if (!pass.Overlap.empty()) return fileName + " " + pass.Overlap;
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
