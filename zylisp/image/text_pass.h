// One reading of a data file that gives everything the loaders decide on:
// its encoding, whether it is text and how long, the verdict on its lines
// and, while they are sound, their bytes stored into an image aside. The
// file is read a block at a time and each line looked at once, as it
// comes; only the bytes a binary load may need are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/file_text.h"
#include "image/hex_list.h"
#include "image/text_scan.h"

namespace zylisp {

class TDataFile;

struct TPassRequest {
  TScanRules Rules;
  // Where the bytes of sound lines go: nowhere, into an image of ImageSize
  // bytes made when the first line is read, or compared with each other
  // only (as TImageStore does without an image).
  enum class TStore { kNone, kImage, kCompare } Store = TStore::kNone;
  int32_t ImageSize = 0;
  // Nothing is stored once the text is longer than this: it will not load.
  uint64_t StoreLimit = UINT64_MAX;
  // The longest text that matters: the file is not read far past it.
  uint64_t TextLimit = kMaxTextFileBytes;
  // The file's first bytes are kept up to this many (and one more, to know
  // that more came), for a binary load.
  uint64_t KeepBytes = 0;
  // Lines matter only in UTF-16 or UTF-32 text (a binary load's).
  bool DecodedOnly = false;
};

struct TPassResult {
  // The encoding of the text: decoded only when a line of the decoded text
  // is a record.
  TTextEncoding Encoding = TTextEncoding::kBytes;
  uint64_t FileLength = 0;   // as the file system told, 0 for a FIFO
  uint64_t TextLength = 0;   // characters read after the mark
  uint64_t KnownLength = 0;  // characters the file's length promises
  uint64_t NonText = UINT64_MAX;  // the first character that is no text
  // The verdict under the request's rules, and the format a scan without
  // rules names (what identification answers).
  TTextVerdict Verdict;
  int32_t PlainFormat = kUnknownFormat;
  // The stored image; null when no byte of a sound line was stored.
  std::unique_ptr<THexList> Image;
  // Why storing stopped: a byte beyond the image, or two lines that
  // disagree (the store's message); then the image holds what came before.
  bool Beyond = false;
  std::size_t BeyondLine = 0;
  uint64_t BeyondAddress = 0;
  std::string Overlap;
  // The first bytes of the file, and whether they are all of it.
  std::string Kept;
  bool KeptAll = false;

  bool Decoded() const { return Encoding != TTextEncoding::kBytes; }
  // What the text is with that limit: too long when the file's length
  // says so, else binary when a piece starting within it holds a byte that
  // is no text, else too long when longer.
  TTextCheck Check(uint64_t limit) const;
};

// Reads the file once from its start. Raises EFileError when it cannot be
// read.
TPassResult PassOverFile(TDataFile& file, const TPassRequest& request);

}  // namespace zylisp
