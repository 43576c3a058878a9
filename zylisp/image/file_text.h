// The characters of a data file as the line reader takes them: its bytes
// (after a UTF-8 byte-order mark), or the characters of UTF-16 or UTF-32
// text decoded from its code units.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zylisp {

class TDataFile;

// Longest file taken as text at all. The largest parts hold 64 MiB: their
// Intel HEX or S-record files of 16-byte records take some 3 characters
// per byte, near 200 MiB; this leaves room for shorter records.
constexpr uint64_t kMaxTextFileBytes = uint64_t{512} << 20;

enum class TTextEncoding { kBytes, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };

// The byte-order mark of an encoding ("" for kBytes) and its name.
const char* EncodingMark(TTextEncoding encoding, std::size_t* length);
const char* EncodingName(TTextEncoding encoding);

class TFileText {
 public:
  // kBytes passes over a UTF-8 mark, the others over their own mark. The
  // file must outlive the text.
  TFileText(const TDataFile& file, TTextEncoding encoding);

  TTextEncoding Encoding() const { return encoding_; }
  bool Decoded() const { return encoding_ != TTextEncoding::kBytes; }

  // Characters after the mark as the file's length tells (a last partial
  // code unit counts as one); 0 for devices.
  uint64_t Length() const;

  // Up to n characters from character offset into buffer; fewer only at the
  // end. A decoded code unit that is no text character (printable ASCII,
  // tab, CR, LF) comes as 0x80, never as a NUL, so the lines after it are
  // still read; decoded text ends after kMaxTextFileBytes + 1 characters,
  // which is enough to find it too long.
  std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t n) const;

 private:
  const TDataFile* file_;
  TTextEncoding encoding_;
  uint64_t start_ = 0;  // bytes of the mark
  unsigned unit_ = 1;   // bytes per code unit
};

}  // namespace zylisp
