// Loading text and binary data files into the memory image.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "image/file_access.h"
#include "image/file_loader.h"
#include "image/hex_list.h"
#include "image/text_lines.h"
#include "support/test_files.h"
#include "zylisp.h"

using namespace zylisp;
using testing_support::TempDir;
using testing_support::WriteBytes;
using testing_support::WriteFile;

namespace {

THexList Image(int32_t size) {
  THexList image;
  image.SetSize(size);
  return image;
}

int32_t Load(THexList& image, const std::string& text) {
  const testing_support::TempDir dir;
  testing_support::WriteFile(dir.File("data"), text);
  return TFileLoader::LoadHexFile(dir.File("data"), image);
}

// The text in UTF-16 (unit 2) or UTF-32 (unit 4), its byte-order mark first.
std::string Encoded(const std::string& text, std::size_t unit, bool bigEndian) {
  std::string out;
  for (uint32_t c : std::u32string(U"\uFEFF") + std::u32string(text.begin(), text.end())) {
    for (std::size_t b = 0; b < unit; ++b)
      out += static_cast<char>(c >> (8 * (bigEndian ? unit - 1 - b : b)));
  }
  return out;
}

// Addresses whose byte is not blank, with their bytes.
std::vector<std::pair<uint32_t, uint8_t>> Used(const THexList& image) {
  std::vector<std::pair<uint32_t, uint8_t>> used;
  for (uint32_t a = 0; a < static_cast<uint32_t>(image.Size()); ++a) {
    if (image.GetValue(a) != 0xFF) used.emplace_back(a, image.GetValue(a));
  }
  return used;
}

using Bytes = std::vector<std::pair<uint32_t, uint8_t>>;

}  // namespace

TEST(ReadIntelHex, TextInAnyEncodingAnEditorMarks) {
  const std::string text = ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n";
  for (const std::string& file :
       {text, "\xEF\xBB\xBF" + text, Encoded(text, 2, false), Encoded(text, 2, true),
        Encoded(text, 4, false), Encoded(text, 4, true)}) {
    THexList image = Image(256);
    ASSERT_EQ(Load(image, file), 0);
    for (uint32_t a = 0; a < 16; ++a) EXPECT_EQ(image.GetValue(a), a);
    EXPECT_EQ(image.GetValue(16), 0xFF);
  }
}

TEST(ReadIntelHex, SegmentAndLinearAddressesAdd) {
  THexList image = Image(0x30000);
  ASSERT_EQ(Load(image, ":020000021000EC\n:0100100012DD\n:00000001FF"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0x10010, 0x12}}));

  ASSERT_EQ(Load(image, ":020000040001F9\n:020000020100FB\n:0100050034C6\n:00000001FF"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0x11005, 0x34}}));
}

TEST(ReadIntelHex, RecordsRunOverThe64KBoundaryWithoutWrapping) {
  THexList image = Image(0x20000);
  ASSERT_EQ(Load(image, ":02FFFF00ABCD88\n:00000001FF"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0xFFFF, 0xAB}, {0x10000, 0xCD}}));
}

TEST(ReadIntelHex, StopsAtTheEndRecord) {
  THexList image = Image(256);
  ASSERT_EQ(Load(image, ":0100000012ED\n:00000001FF\n:0100010034CA\nanything"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, 0x12}}));
}

TEST(ReadIntelHex, RecordOutsideTheImageKeepsWhatCameBefore) {
  THexList image = Image(256);
  EXPECT_EQ(Load(image, ":0100000012ED\n:0200FF00ABCD87\n:0100020034C9\n:00000001FF"), -1);
  // The record stops at the first address outside; its earlier bytes stay.
  EXPECT_EQ(Used(image), (Bytes{{0, 0x12}, {0xFF, 0xAB}}));
}

TEST(ReadIntelHex, ExtendedAddressesNeverWrapTo32Bits) {
  THexList image = Image(256);
  // FFFF0000 + FFFF0 + FFF0 would wrap round to 0xFFE0 in 32 bits.
  EXPECT_EQ(Load(image, ":02000004FFFFFC\n:02000002FFFFFE\n:01FFF00012FE\n:00000001FF"), -1);
  EXPECT_TRUE(Used(image).empty());
}

TEST(ReadMotorolaS, AllAddressWidths) {
  THexList image = Image(0x20000);
  ASSERT_EQ(Load(image, "S00600004844521B\nS10500101234A4\nS20601000034566E\n"
                        "S30700000100ABCD7F\nS5030003F9\nS9030000FC"),
            0);
  EXPECT_EQ(Used(image), (Bytes{{0x10, 0x12}, {0x11, 0x34}, {0x100, 0xAB}, {0x101, 0xCD},
                                {0x10000, 0x34}, {0x10001, 0x56}}));
}

TEST(ReadMotorolaS, S9StopsButS7AndS8DoNot) {
  THexList image = Image(256);
  ASSERT_EQ(Load(image, "S9030000FC"), 0);
  EXPECT_TRUE(Used(image).empty());
  ASSERT_EQ(Load(image, "S1040000AB50\nS9030000FC\nS1040001CD2D"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, 0xAB}}));
  ASSERT_EQ(Load(image, "S205000000AB4F\nS804000000FB\nS205000001CD2C"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, 0xAB}, {1, 0xCD}}));
}

TEST(LoadHexFile, DamagedFilesAreRefusedByLineAndTheImageKept) {
  const struct {
    std::string text;
    const char* detail;  // after the file's name
  } cases[] = {
      {"S1040000AB50\nS2030000FC", " line 2: wrong count for an S2 record"},
      {"S1040000AB50\nS4030000FC", " line 2: unknown record type S4"},
      {":0100000012EE\n:00000001FF", " line 1: checksum EE, expected ED"},
      {"S1040000AB51\nS9030000FC", " line 1: checksum 51, expected 50"},
      {"/00100102AB14\n/00000000", " line 1: data checksum 14, expected 15"},
      {"%0D62D500000AB\n%0E81F800000000", " line 2: checksum 1F, expected 1E"},
      {":0100000012ED\n", ": no end record: the file may be cut short"},
      {"S1040000AB50\nS1040001CD2D\nS5030001FB\nS9030000FC",
       " line 3: S5 counts 1 record, the file holds 2"},
      {"S1040000AB50\nS604000002F9", " line 2: S6 counts 2 records, the file holds 1"},
      {":0100100012DD\n:0100000000FF\n\n:0100100034BB\n:00000001FF",
       " lines 1 and 4 both give address 0010 (12, then 34)"},
      {"0010:AB\n0010:FF", " lines 1 and 2 both give address 0010 (AB, then FF)"},
      // The earlier line inside a run of records that follow each other.
      {":0100100012DD\n:0100110034BA\n:010012005697\n:010011007876\n:00000001FF",
       " lines 2 and 4 both give address 0011 (34, then 78)"},
      {"000008:1234\n000008:5678", " lines 1 and 2 both give address 0011 (12, then 56)"},
      {Encoded(":0100000012ED\n:00000001FF\n\xE9", 2, true),
       " is UTF-16 text with characters no data file holds: save it as ASCII"},
  };
  const TempDir dir;
  const std::string file = dir.File("data.hex");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    WriteFile(file, c.text);
    THexList image = Image(256);
    image.SetValue(0, 0x55);
    try {
      TFileLoader::LoadHexFile(file, image);
      ADD_FAILURE() << "loaded";
    } catch (const EDamagedFile& e) {
      EXPECT_EQ(e.Message(), file + c.detail);
    }
    EXPECT_EQ(Used(image), (Bytes{{0, 0x55}}));
    EXPECT_EQ(DataFileProblem(file), file + c.detail);
  }
}

TEST(LoadHexFile, SoundFilesLoadAndPassTheCheck) {
  const struct {
    std::string text;
    bool ignoreChecksums;
    Bytes bytes;
  } cases[] = {
      // An end record alone is a blank image, as the writers make one.
      {":00000001FF\r\n", false, {}},
      {"S9030000FC\r\n", false, {}},
      {":0100100012DD\n:0100100012DD\n:00000001FF", false, {{0x10, 0x12}}},
      {":0100000012EE\n:00000001FF", true, {{0, 0x12}}},
      {"S1040000AB51\nS5030001FB", true, {{0, 0xAB}}},
  };
  const TempDir dir;
  const std::string file = dir.File("data.hex");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(file, c.text);
    TLoadOptions options;
    options.IgnoreChecksums = c.ignoreChecksums;
    THexList image = Image(256);
    image.SetValue(0, 0x55);
    ASSERT_EQ(TFileLoader::LoadHexFile(file, image, options), 0);
    EXPECT_EQ(Used(image), c.bytes);
    EXPECT_EQ(DataFileProblem(file, options), "");
  }
}

TEST(LoadFiles, MoreThanTheDeviceHoldsIsNamed) {
  const struct {
    bool binary;
    std::string text;
    const char* device;
    const char* reason;  // after the file's name
  } cases[] = {
      {false, ":0100000012ED\n\n:0108000034C3\n:00000001FF", "24C16",
       " line 3: address 0800 is beyond the 24C16, which holds 2048 bytes"},
      {false, "0800:AB", "", " line 1: address 0800 is beyond the device, which holds 2048 bytes"},
      {true, std::string(4096, 'x'), "24C16", " holds 4096 bytes, the 24C16 only 2048"},
  };
  const TempDir dir;
  const std::string file = dir.File("data");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    WriteFile(file, c.text);
    TLoadOptions options;
    options.DeviceName = c.device;
    THexList image = Image(2048);
    std::string reason;
    EXPECT_EQ(c.binary ? TFileLoader::LoadBinaryFile(file, image, options, &reason)
                       : TFileLoader::LoadHexFile(file, image, options, &reason),
              -1);
    EXPECT_EQ(reason, file + c.reason);
  }
}

TEST(ReadTektronix, RecordsUntilCountZero) {
  THexList image = Image(256);
  ASSERT_EQ(Load(image, "/00100102AB15\n/0020020412340A\n/00000000\n"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0x10, 0xAB}, {0x20, 0x12}, {0x21, 0x34}}));
  ASSERT_EQ(Load(image, "/00000000"), 0);
  EXPECT_TRUE(Used(image).empty());
}

TEST(ReadExtendedTektronix, AddressLengthDigitAndSymbolBlocks) {
  THexList image = Image(256);
  ASSERT_EQ(Load(image, "%1A3xx symbols\n%0D62D500000AB\n%0D64D3010CDEF\n%0E81E800000000\n"
                        "%0D62D500002AB"),
            0);
  EXPECT_EQ(Used(image), (Bytes{{0x00, 0xAB}, {0x10, 0xCD}, {0x11, 0xEF}}));
  ASSERT_EQ(Load(image, "%0E81E800000000"), 0);
  EXPECT_TRUE(Used(image).empty());
}

TEST(ReadAddressList, ByteAndWordForms) {
  THexList image = Image(256);
  ASSERT_EQ(Load(image, "0010:AB\n0011:cd"), 0);
  EXPECT_EQ(Used(image), (Bytes{{0x10, 0xAB}, {0x11, 0xCD}}));
  ASSERT_EQ(Load(image, "000008:1234"), 0);
  EXPECT_EQ(Used(image), (Bytes{{16, 0x34}, {17, 0x12}}));
  ASSERT_EQ(Load(image, "0100:AB"), -1);
}

TEST(LoadFromLines, ClearsFirstAndLoadsNothingForUnknownText) {
  THexList image = Image(64);
  image.SetValue(3, 0);
  ASSERT_EQ(Load(image, "\n\n"), 0);
  EXPECT_TRUE(Used(image).empty());
  image.SetValue(3, 0);
  ASSERT_EQ(Load(image, "no format here"), 0);
  EXPECT_TRUE(Used(image).empty());
}

TEST(LoadHexFile, NamesTheImageAndRaisesForMissingFiles) {
  TempDir dir;
  THexList image = Image(256);
  WriteFile(dir.File("a.hex"), ":0100000012ED\r\n:00000001FF\r\n");
  ASSERT_EQ(TFileLoader::LoadHexFile(dir.File("a.hex"), image), 0);
  EXPECT_EQ(image.FileName(), dir.File("a.hex"));
  EXPECT_EQ(Used(image), (Bytes{{0, 0x12}}));
  EXPECT_THROW(TFileLoader::LoadHexFile(dir.File("missing.hex"), image), EFileError);
}

TEST(LoadBinaryFile, RawBytesUpToTheImageSize) {
  TempDir dir;
  THexList image = Image(256);
  std::vector<uint8_t> bytes(256);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i ^ 0x5A);
  WriteBytes(dir.File("full.bin"), bytes);
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("full.bin"), image), 0);
  for (uint32_t a = 0; a < 256; ++a) ASSERT_EQ(image.GetValue(a), bytes[a]);
  EXPECT_EQ(image.FileName(), dir.File("full.bin"));

  // One byte more: nothing changes, not even the file name.
  bytes.push_back(0);
  WriteBytes(dir.File("big.bin"), bytes);
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("big.bin"), image), -1);
  EXPECT_EQ(image.GetValue(0), 0x5A);
  EXPECT_EQ(image.FileName(), dir.File("full.bin"));

  // A short file blanks the rest.
  WriteBytes(dir.File("short.bin"), {0x00, 0x01});
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("short.bin"), image), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, 0x00}, {1, 0x01}}));
}

TEST(LoadBinaryFile, AsciiHexForm) {
  TempDir dir;
  THexList image = Image(16);
  WriteFile(dir.File("a.txt"), "0A1b");
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("a.txt"), image), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, 0x0A}, {1, 0x1B}}));
  // A last odd character is ignored.
  WriteFile(dir.File("b.txt"), "0A1");
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("b.txt"), image), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, 0x0A}}));
  // A line break makes it raw.
  WriteFile(dir.File("c.txt"), "0A\n");
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("c.txt"), image), 0);
  EXPECT_EQ(Used(image), (Bytes{{0, '0'}, {1, 'A'}, {2, '\n'}}));
  // The size test counts characters: 17 hex characters do not fit 16 bytes.
  WriteFile(dir.File("d.txt"), std::string(17, '0'));
  EXPECT_EQ(TFileLoader::LoadBinaryFile(dir.File("d.txt"), image), -1);
}

TEST(LoadBinaryFile, EmptyFileBlanksTheImage) {
  TempDir dir;
  THexList image = Image(16);
  image.SetValue(0, 1);
  WriteFile(dir.File("e.bin"), "");
  ASSERT_EQ(TFileLoader::LoadBinaryFile(dir.File("e.bin"), image), 0);
  EXPECT_TRUE(Used(image).empty());
  EXPECT_THROW(TFileLoader::LoadBinaryFile(dir.File("missing.bin"), image), EFileError);
}

TEST(LoadFile, ReadsTheFileOnce) {
  const struct {
    const char* kind;
    std::string text;
  } cases[] = {
      {"Intel HEX", ":0100000012ED\r\n:0100100012DD\r\n:00000001FF\r\n"},
      {"S-records", "S1040000AB50\r\nS9030000FC\r\n"},
      {"UTF-16 text", Encoded(":0100000012ED\n:00000001FF\n", 2, false)},
      {"damaged text", ":0100000012EE\n:00000001FF\n"},
      {"binary", std::string("\x01\x02\x00\xFF", 4)},
      {"ASCII hex", "0A1B2C"},
  };
  const TempDir dir;
  const std::string file = dir.File("data");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    WriteFile(file, c.text);
    THexList image = Image(256);
    const uint64_t before = TDataFile::BytesHandedOut();
    try {
      TFileLoader::LoadFile(file, image);
    } catch (const EDamagedFile&) {
    }
    EXPECT_EQ(TDataFile::BytesHandedOut() - before, c.text.size());
  }
}

// A session's load takes the file's image only when the file loads (up to
// a record beyond the device); a file refused unread leaves the image
// blank, a damaged one leaves the image it had.
TEST(SessionLoadFile, TheImageChangesOnlyWhenTheFileLoads) {
  using TBytes = std::vector<std::pair<uint32_t, uint8_t>>;
  const struct {
    const char* kind;
    std::string contents;
    int32_t result;
    TBytes after;
  } cases[] = {
      {"sound text", ":0100100042AD\r\n:00000001FF\r\n", ZYL_OK, {{0x10, 0x42}}},
      {"a wrong checksum", ":0100100042AE\r\n:00000001FF\r\n", ZYL_ERR_FILE, {{0, 0x12}}},
      {"a record beyond the device", ":0100100042AD\r\n:0102000055A8\r\n:00000001FF\r\n",
       ZYL_ERR_FILE_TOO_LARGE, {{0x10, 0x42}}},
      {"binary larger than the device", std::string(257, '\0'), ZYL_ERR_FILE_TOO_LARGE, {}},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    WriteFile(dir.File("data"), c.contents);
    ZylSession* session = nullptr;
    ASSERT_EQ(Zyl_SessionCreate(&session), ZYL_OK);
    ASSERT_EQ(Zyl_SessionSetDevice(session, "24C02"), ZYL_OK);
    const uint8_t old = 0x12;
    ASSERT_EQ(Zyl_SessionWriteImage(session, 0, &old, 1), ZYL_OK);
    EXPECT_EQ(Zyl_SessionLoadFile(session, dir.File("data").c_str()), c.result);
    uint8_t bytes[256];
    ASSERT_EQ(Zyl_SessionReadImage(session, 0, bytes, 256), ZYL_OK);
    TBytes used;
    for (uint32_t a = 0; a < 256; ++a) {
      if (bytes[a] != 0xFF) used.emplace_back(a, bytes[a]);
    }
    EXPECT_EQ(used, c.after);
    Zyl_SessionDestroy(session);
  }
}
