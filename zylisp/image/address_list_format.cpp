// The two plain address lists: "WWWWWW:HHLL" (16-bit words by word number,
// high byte first in the text) and "AAAA:BB" (bytes). They are two
// families, so a file never mixes their lines.

#include "core/errors.h"
#include "core/hex_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_records.h"
#include "image/image_store.h"

namespace zylisp {

namespace {

constexpr std::size_t kWordLineLength = 11;  // WWWWWW:HHLL
constexpr std::size_t kByteLineLength = 7;   // AAAA:BB

int32_t FormOf(const std::string& line) {
  if (line.size() == kWordLineLength && line[6] == ':') return ffWordList;
  if (line.size() == kByteLineLength && line[4] == ':') return ffByteList;
  return 0;
}

// A character that is not a hex digit counts as 0.
uint32_t AddressField(const std::string& line, std::size_t digits) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < digits; ++i) value = value * 16 + HexDigitValue(line[i]);
  return value;
}

// Bytes past the end of the image count as blank.
uint8_t ByteOrBlank(const THexList& image, uint64_t address) {
  return address < static_cast<uint64_t>(image.Size()) ? image.GetValue(static_cast<uint32_t>(address))
                                                       : 0xFF;
}

// A line of the form, its colon after addressDigits hex digits.
TLineCheck CheckListLine(const std::string& line, int32_t form, std::size_t addressDigits) {
  if (FormOf(line) != form) return BrokenLine(form == ffWordList ? "not a word list line"
                                                                 : "not a byte list line");
  const std::string problem =
      HexDigitProblem(line.substr(0, addressDigits) + line.substr(addressDigits + 1));
  return problem.empty() ? RecordLine(form, true) : BrokenLine(problem);
}

TLineCheck CheckWordListLine(const std::string& line) { return CheckListLine(line, ffWordList, 6); }
TLineCheck CheckByteListLine(const std::string& line) { return CheckListLine(line, ffByteList, 4); }

// format 9 reads the word form, any other the byte form.
bool ReadAddressListLine(const std::string& raw, TImageStore& image, TReadState& state) {
  const int32_t form = state.Format == ffWordList ? ffWordList : ffByteList;
  const std::string line = UpperCase(raw);
  if (FormOf(line) != form) return true;
  if (form == ffWordList) {
    // Words are stored low byte first.
    const uint64_t word = AddressField(line, 6);
    StoreHexBytes(image, 2 * word + 1, line, 7, 1);
    StoreHexBytes(image, 2 * word, line, 9, 1);
  } else {
    StoreHexBytes(image, AddressField(line, 4), line, 5, 1);
  }
  return true;
}

// Raises EISPException when an address does not fit the form's width.
void WriteAddressList(TTextOut& text, const THexList& image, int32_t format) {
  std::string& out = text.Text;
  const int64_t highest = HighestUsedAddress(image);
  const int64_t last = image.LastUsedAddress();
  if (format == ffWordList) {
    if (highest / 2 > 0xFFFFFF)
      throw EISPException("Image words above FFFFFF do not fit the word list");
    for (int64_t word = 0; word <= last / 2; ++word) {
      const uint8_t low = ByteOrBlank(image, static_cast<uint64_t>(2 * word));
      const uint8_t high = ByteOrBlank(image, static_cast<uint64_t>(2 * word + 1));
      if (low == 0xFF && high == 0xFF) continue;
      AppendHex(out, static_cast<uint32_t>(word), 6);
      out += ':';
      AppendHex(out, high, 2);
      AppendHex(out, low, 2);
      out += "\r\n";
      text.Pass();
    }
    return;
  }
  if (highest > 0xFFFF) throw EISPException("Image addresses above FFFF do not fit the byte list");
  const uint8_t* data = image.Data();
  for (int64_t address = 0; address <= last; ++address) {
    if (data[address] == 0xFF) continue;
    AppendHex(out, static_cast<uint32_t>(address), 4);
    out += ':';
    AppendHex(out, data[address], 2);
    out += "\r\n";
    text.Pass();
  }
}

}  // namespace

TFormatFamily WordListFamily() {
  return {"word list", ffWordList, ffWordList, CheckWordListLine, ReadAddressListLine,
          WriteAddressList, false};
}

TFormatFamily ByteListFamily() {
  return {"byte list", ffByteList, ffByteList, CheckByteListLine, ReadAddressListLine,
          WriteAddressList, false};
}

}  // namespace zylisp
