// Data files through the exports. Header: the device, then the format of
// the save. The rest is the file. A file is identified and loaded; one that
// loads is saved in the chosen format, and a save that succeeds must load
// back to the same image, byte for byte, checksums compared. A refused save
// leaves the file that was there untouched. A text file with a well-formed
// record, also UTF-16 or UTF-32 text behind its byte-order mark, never loads
// as binary: it loads in a format or is refused naming the file (and the
// line, where one is to blame), the image kept, and the check before a run
// tells the same.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "api/session.h"
#include "fuzz/fuzz_support.h"
#include "image/file_loader.h"
#include "image/hex_list.h"
#include "zylisp.h"

namespace {

std::vector<uint8_t> Image() {
  const zylisp::THexList& image = *zylisp::CurrentSession().Buffer;
  return std::vector<uint8_t>(image.Data(), image.Data() + image.Size());
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Printable ASCII, tabs and line ends only.
bool IsText(const std::string& file) {
  return std::all_of(file.begin(), file.end(), [](char c) {
    return (c >= ' ' && c <= '~') || c == '\t' || c == '\r' || c == '\n';
  });
}

// An Intel data or end record, or an S1 or S9 record, by the book, blanks
// around it allowed: hex digits whose count field matches their number.
bool IsPlainRecord(const std::string& raw) {
  const std::size_t first = raw.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  const std::string line = raw.substr(first, raw.find_last_not_of(" \t") + 1 - first);
  const bool intel = line[0] == ':';
  const bool srec = line.size() > 1 && line[0] == 'S' && (line[1] == '1' || line[1] == '9');
  if (!intel && !srec) return false;
  const std::string body = line.substr(intel ? 1 : 2);
  if (body.size() < 2 || !std::all_of(body.begin(), body.end(), IsHexDigit)) return false;
  const std::size_t count = static_cast<std::size_t>(HexValue(body[0]) * 16 + HexValue(body[1]));
  if (srec) return body.size() == 2 * (count + 1) && (line[1] == '1' ? count >= 3 : count == 3);
  const int type = body.size() > 7 ? HexValue(body[6]) * 16 + HexValue(body[7]) : -1;
  return body.size() == 2 * (count + 5) && (type == 0 || (type == 1 && count == 0));
}

bool HasPlainRecord(const std::string& file) {
  std::size_t at = 0;
  while (at < file.size()) {
    const std::size_t end = std::min(file.find_first_of("\r\n", at), file.size());
    if (IsPlainRecord(file.substr(at, end - at))) return true;
    at = end + 1;
  }
  return false;
}

// The file's text after a UTF-16 or UTF-32 byte-order mark, for each mark
// it starts with; a code unit that is no text character becomes 0x80.
std::vector<std::string> DecodedTexts(const std::string& file) {
  static const struct {
    const char* mark;
    std::size_t size;
    std::size_t unit;
    bool big;
  } kMarks[] = {{"\xFF\xFE\0\0", 4, 4, false}, {"\0\0\xFE\xFF", 4, 4, true},
                {"\xFF\xFE", 2, 2, false}, {"\xFE\xFF", 2, 2, true}};
  std::vector<std::string> texts;
  for (const auto& m : kMarks) {
    if (file.compare(0, m.size, m.mark, m.size) != 0) continue;
    std::string text;
    for (std::size_t at = m.size; at < file.size(); at += m.unit) {
      uint32_t code = 0xFFFFFFFF;  // a last partial unit
      if (at + m.unit <= file.size()) {
        code = 0;
        for (std::size_t b = 0; b < m.unit; ++b)
          code = code << 8 | static_cast<uint8_t>(file[at + (m.big ? b : m.unit - 1 - b)]);
      }
      const bool isText = (code >= ' ' && code <= '~') || code == '\t' || code == '\r' || code == '\n';
      text += isText ? static_cast<char>(code) : '\x80';
    }
    texts.push_back(text);
  }
  return texts;
}

// What a refused load's detail starts with: the file and the line, or the
// file and what is wrong with it as a whole.
bool NamesFileAndLine(const std::string& detail, const std::string& file) {
  for (const char* tail : {" line ", " lines ", ": no end record", " is UTF-"}) {
    if (detail.rfind(file + tail, 0) == 0) return true;
  }
  return false;
}

// What a binary file of at most the image's size loads as: raw bytes, or,
// when shorter than the image and all hex digits, pairs of digits.
std::vector<uint8_t> BinaryImage(const std::string& file, std::size_t size) {
  std::vector<uint8_t> image(size, 0xFF);
  const bool asciiHex = !file.empty() && file.size() < size &&
                        std::all_of(file.begin(), file.end(), IsHexDigit);
  if (asciiHex) {
    for (std::size_t i = 0; i + 1 < file.size(); i += 2)
      image[i / 2] = static_cast<uint8_t>(HexValue(file[i]) * 16 + HexValue(file[i + 1]));
  } else {
    std::copy(file.begin(), file.end(), image.begin());
  }
  return image;
}

// Tektronix and the byte list carry 16-bit addresses.
bool FormatHolds(uint8_t format, const std::vector<uint8_t>& image) {
  if (format < ZYL_FMT_INTEL_HEX || format > ZYL_FMT_BYTE_LIST) return false;
  if (format != ZYL_FMT_TEKTRONIX && format != ZYL_FMT_BYTE_LIST) return true;
  const auto used = std::find_if(image.rbegin(), image.rend(), [](uint8_t b) { return b != 0xFF; });
  return used == image.rend() || image.rend() - used - 1 <= 0xFFFF;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput input(data, size);
  const std::string& device = fuzz::PickDevice(input.Byte());
  const uint8_t format = input.Byte();
  const std::string file = input.Rest();
  fuzz::Require(Zyl_SetDevice(device.c_str()) == 0 && Zyl_SetMode(ZYL_MODE_PARALLEL) == 0 &&
                    Zyl_SetPort(1) == 0,
                "a catalogue device can be selected");
  // A mark in the image shows whether a refused load touched it.
  Zyl_WriteBuffer(ZYL_AREA_EEPROM, 0, 0x5A);
  const std::vector<uint8_t> marked = Image();

  const std::string in = fuzz::ScratchFile("in");
  fuzz::WriteFile(in, file);
  const int32_t kind = Zyl_IdentifyFile(in.c_str());
  fuzz::Require(kind >= ZYL_FMT_INTEL_HEX && kind <= ZYL_FMT_BYTE_LIST, "a format number 1..10");
  const int32_t loaded = Zyl_LoadBuffer(ZYL_AREA_EEPROM, in.c_str());
  fuzz::Require(loaded == ZYL_OK || loaded == ZYL_ERR_FILE || loaded == ZYL_ERR_FILE_TOO_LARGE,
                "a load answers 0, 1 or 6");
  const std::string detail = loaded == ZYL_ERR_FILE ? Zyl_GetErrorDetail() : "";

  const bool binary = zylisp::TFileLoader::IdentifyFile(in) <= 0;
  const std::vector<std::string> decoded = DecodedTexts(file);
  // An editor's UTF-8 byte-order mark is no part of the text.
  const std::string text = file.rfind("\xEF\xBB\xBF", 0) == 0 ? file.substr(3) : file;
  fuzz::Require(binary || IsText(text) || !decoded.empty(), "only text loads in a text format");
  fuzz::Require(!binary || !IsText(text) || !HasPlainRecord(text),
                "a text file with a well-formed record never loads as binary");
  for (const std::string& lines : decoded) {
    fuzz::Require(!binary || !HasPlainRecord(lines),
                  "UTF-16 or UTF-32 text with a well-formed record never loads as binary");
  }
  if (loaded == ZYL_ERR_FILE) {
    fuzz::Require(!binary, "only damaged text is refused");
    fuzz::Require(Image() == marked, "a refused file leaves the image as it was");
    fuzz::Require(NamesFileAndLine(detail, in), "the detail names the file and the line");
  }
  if (loaded == ZYL_ERR_FILE_TOO_LARGE) {
    fuzz::Require(std::string(Zyl_GetErrorDetail()).rfind(in + " ", 0) == 0,
                  "what does not fit the device is told naming the file");
  }
  const int32_t checked = Zyl_CheckFile(in.c_str(), 0);
  fuzz::Require(
      loaded != ZYL_ERR_FILE || (checked == ZYL_ERR_FILE && Zyl_GetErrorDetail() == detail),
      "the check refuses a damaged file for the same line");
  // Only an empty file holds no data; an end record alone is a blank image.
  const bool empty = file.empty() || file == "\xEF\xBB\xBF";
  fuzz::Require(checked == ZYL_OK || loaded != ZYL_OK || empty,
                "the check passes every file that loads but an empty one");
  if (binary) {
    const bool fits = file.size() <= marked.size();
    fuzz::Require(loaded == (fits ? ZYL_OK : ZYL_ERR_FILE_TOO_LARGE),
                  "a binary file loads exactly when it fits");
    fuzz::Require(Image() == (fits ? BinaryImage(file, marked.size()) : marked),
                  "a binary file loads as its bytes, or not at all");
  }
  if (loaded != ZYL_OK) return 0;

  const std::vector<uint8_t> image = Image();
  uint8_t last = 0;
  fuzz::Require(Zyl_ReadBuffer(ZYL_AREA_EEPROM, static_cast<int32_t>(image.size() - 1), &last) ==
                        ZYL_OK &&
                    last == image.back() &&
                    Zyl_ReadBuffer(ZYL_AREA_EEPROM, static_cast<int32_t>(image.size()), &last) ==
                        ZYL_ERR_OUTSIDE_BUFFER,
                "the image reads back through the exports");

  const std::string out = fuzz::ScratchFile("out");
  const std::string before = "an older file\r\n";
  fuzz::WriteFile(out, before);
  const int32_t saved = Zyl_SaveBuffer(ZYL_AREA_EEPROM, out.c_str(), format);
  if (!FormatHolds(format, image)) {
    fuzz::Require(saved == ZYL_ERR_FILE, "a save in a format that cannot hold the image fails");
    fuzz::Require(fuzz::ReadFile(out) == before, "a refused save leaves the file alone");
    return 0;
  }
  fuzz::Require(saved == ZYL_OK, "a save in a format that holds the image succeeds");

  Zyl_ClearBuffer(ZYL_AREA_EEPROM);
  const std::string written = fuzz::ReadFile(out);
  // Raw bytes that begin with a byte-order mark and decode to records are
  // that text, whoever wrote them.
  if (format == ZYL_FMT_BINARY && !DecodedTexts(written).empty() &&
      zylisp::TFileLoader::IdentifyFile(out) > 0)
    return 0;
  fuzz::Require(Zyl_LoadBuffer(ZYL_AREA_EEPROM, out.c_str()) == ZYL_OK, "a saved file loads");
  fuzz::Require(Image() == image, "a saved file loads back to the same image");
  fuzz::Require(written.empty() || Zyl_CheckFile(out.c_str(), 0) == ZYL_OK,
                "a saved file passes the check");
  return 0;
}
