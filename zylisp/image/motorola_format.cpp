// Motorola S-records: S1, S2 and S3 data records, S9 ends the data.

#include "core/hex_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_records.h"
#include "image/image_store.h"

namespace zylisp {

namespace {

// Address bytes of each kind S0..S9: the header and data records carry
// bytes after them, the count and end records none.
constexpr std::size_t kAddressBytes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// "S", kind, count, address, data, and the ones' complement of the sum of
// count, address and data bytes, then CR LF.
void AppendSRecord(std::string& out, char kind, uint32_t address, std::size_t addressBytes,
                   const uint8_t* data, std::size_t n) {
  const std::size_t count = addressBytes + n + 1;
  unsigned sum = static_cast<unsigned>(count);
  for (std::size_t i = 0; i < addressBytes; ++i) sum += (address >> (8 * i)) & 0xFF;
  out += 'S';
  out += kind;
  AppendHex(out, static_cast<uint32_t>(count), 2);
  AppendHex(out, address, static_cast<int>(2 * addressBytes));
  for (std::size_t i = 0; i < n; ++i) {
    AppendHex(out, data[i], 2);
    sum += data[i];
  }
  AppendHex(out, ~sum & 0xFF, 2);
  out += "\r\n";
}

// What a well-formed record of the kind is, apart from its checksum.
TLineCheck RecordKind(char kind, bool carriesData) {
  switch (kind) {
    case '0':
      return RecordLine(ffMotorolaS1);
    case '1':
    case '2':
    case '3': {
      TLineCheck check = RecordLine(ffMotorolaS1 + (kind - '1'), carriesData);
      check.DataRecord = true;
      return check;
    }
    case '7':
      return RecordLine(ffMotorolaS3);
    case '8':  // end of an S2 file; S9 alone ends the data
      return RecordLine(ffMotorolaS2);
    case '9':
      return RecordLine(ffMotorolaS1, false, true);
    default:
      // Record counts carry no data and say nothing about address widths.
      return RecordLine(0);
  }
}

TLineCheck CheckMotorolaLine(const std::string& line) {
  if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
    return BrokenLine("not a Motorola S-record");
  const char kind = line[1];
  const std::size_t addressBytes = kAddressBytes[kind - '0'];
  if (addressBytes == 0) return BrokenLine(std::string("unknown record type S") + kind);
  const std::string body = UpperCase(line.substr(2));
  const std::size_t count = HexPairAt(body, 0);
  std::string problem = HexDigitProblem(body);
  if (problem.empty()) problem = LengthProblem(body.size(), 2 * (count + 1));
  if (!problem.empty()) return BrokenLine(problem);
  const bool carriesBytes = kind <= '3';
  if (carriesBytes ? count < addressBytes + 1 : count != addressBytes + 1)
    return BrokenLine(std::string("wrong count for an S") + kind + " record");
  TLineCheck check = RecordKind(kind, count > addressBytes + 1);
  // The checksum is the ones' complement of the sum of the bytes before it.
  unsigned sum = 0;
  for (std::size_t pos = 0; pos + 2 < body.size(); pos += 2) sum += HexPairAt(body, pos);
  check.ChecksumProblem = ChecksumProblem(HexPairAt(body, body.size() - 2), ~sum & 0xFF);
  if (kind == '5' || kind == '6') {
    int64_t counted = 0;
    for (std::size_t i = 0; i < addressBytes; ++i) counted = counted * 256 + HexPairAt(body, 2 + 2 * i);
    check.CountedRecords = counted;
    check.Kind = std::string("S") + kind;
  }
  return check;
}

bool ReadMotorolaLine(const std::string& line, TImageStore& image, TReadState& /*state*/) {
  if (line.size() < 2) return true;
  const char kind = line[1];
  if (kind == '9') return false;
  if (kind < '1' || kind > '3') return true;  // only data records store bytes
  const std::size_t addressBytes = kAddressBytes[kind - '0'];
  const std::string body = UpperCase(line.substr(2));
  const std::size_t count = HexPairAt(body, 0);
  // A count too small for its own address and checksum carries no data.
  if (count < addressBytes + 1) return true;
  uint64_t address = 0;
  for (std::size_t i = 0; i < addressBytes; ++i) address = address * 256 + HexPairAt(body, 2 + 2 * i);
  StoreHexBytes(image, address, body, 2 + 2 * addressBytes, count - addressBytes - 1);
  return true;
}

void WriteMotorolaS(TTextOut& text, const THexList& image, int32_t /*format*/) {
  std::string& out = text.Text;
  // Images past 16 MB take S3 records throughout, ended by S7; smaller ones
  // S1, then S2 once past 64 KB, so the file keeps one width from there.
  const bool s3 = HighestUsedAddress(image) > 0xFFFFFF;
  bool wide = false;
  ForEachDataRecord(image, [&](uint32_t address, const uint8_t* bytes, std::size_t n) {
    if (address >= 0x10000) wide = true;
    if (s3)
      AppendSRecord(out, '3', address, 4, bytes, n);
    else if (wide)
      AppendSRecord(out, '2', address, 3, bytes, n);
    else
      AppendSRecord(out, '1', address, 2, bytes, n);
    text.Pass();
  });
  out += s3 ? "S70500000000FA\r\n" : "S9030000FC\r\n";
}

}  // namespace

TFormatFamily MotorolaFamily() {
  return {"Motorola S-record", ffMotorolaS1, ffMotorolaS3, CheckMotorolaLine, ReadMotorolaLine,
          WriteMotorolaS, false};
}

}  // namespace zylisp
