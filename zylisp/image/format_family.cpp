#include "image/format_family.h"

#include "core/hex_text.h"
#include "image/image_store.h"

namespace zylisp {

TLineCheck BrokenLine(std::string problem) {
  TLineCheck check;
  check.Problem = std::move(problem);
  return check;
}

TLineCheck RecordLine(int32_t format, bool holdsData, bool endsData) {
  TLineCheck check;
  check.Record = true;
  check.Format = format;
  check.HoldsData = holdsData;
  check.EndsData = endsData;
  return check;
}

std::string LengthProblem(std::size_t digits, std::size_t expected) {
  if (digits < expected) return "record cut short";
  if (digits > expected) return "record longer than its count says";
  return {};
}

std::string HexDigitProblem(const std::string& text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (IsHexDigit(c)) continue;
    // Only visible characters are shown; a line never holds a line break.
    if (c > ' ' && c < 0x7F) return std::string("'") + c + "' is not a hex digit";
    return "a blank or control character inside the record";
  }
  return {};
}

std::string ChecksumProblem(unsigned found, unsigned expected, const char* what) {
  if (found == expected) return {};
  return std::string(what) + " " + HexDigits(found & 0xFF, 2) + ", expected " +
         HexDigits(expected & 0xFF, 2);
}

void ReadFamilyLines(const TFormatFamily& family, const TLineRange& lines, TImageStore& image,
                     int32_t format) {
  TReadState state;
  state.Format = format;
  for (const std::string& line : lines) {
    image.NextLine();
    if (!line.empty() && !family.ReadLine(line, image, state)) return;
  }
}

void WriteFamilyText(const TFormatFamily& family, const THexList& image, int32_t format,
                     const TTextSink& sink) {
  TTextOut out(sink);
  family.Write(out, image, format);
  out.Finish();
}

TLines WrittenLines(const TFormatFamily& family, const THexList& image, int32_t format) {
  std::string text;
  WriteFamilyText(family, image, format,
                  [&text](const char* data, std::size_t size) { text.append(data, size); });
  TLines lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t end = text.find("\r\n", from);
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

}  // namespace zylisp
