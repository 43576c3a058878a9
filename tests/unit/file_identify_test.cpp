// Line splitting and format identification of data files.
#include <gtest/gtest.h>

#include <string>

#include "image/file_access.h"
#include "image/file_loader.h"
#include "image/text_lines.h"
#include "support/test_files.h"

using namespace zylisp;

namespace {

int32_t Identify(const std::string& text) {
  const testing_support::TempDir dir;
  testing_support::WriteFile(dir.File("data"), text);
  return TFileLoader::IdentifyFile(dir.File("data"));
}

// The text in UTF-16 (unit 2) or UTF-32 (unit 4), little-endian, its
// byte-order mark first.
std::string Encoded(const std::string& text, std::size_t unit) {
  std::string out;
  for (char32_t c : U"\uFEFF" + std::u32string(text.begin(), text.end()))
    out += std::string(reinterpret_cast<const char*>(&c), unit);
  return out;
}

}  // namespace

TEST(TextLines, JoinEndsEveryLineWithCrLf) {
  EXPECT_EQ(JoinLines({"A", "B"}), "A\r\nB\r\n");
  EXPECT_EQ(JoinLines({}), "");
}

TEST(IdentifyIntelHex, AnswersByRecordTypes) {
  // Wrong data checksum: checksums are not compared.
  EXPECT_EQ(Identify(":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n"), 1);
  EXPECT_EQ(Identify(":0100000012ED"), 1);
  EXPECT_EQ(Identify(":020000021000EC\n:0100100012DD\n:00000001FF"), 2);
  EXPECT_EQ(Identify(":020000040001F9\n:0100000012ED\n:00000001FF"), 3);
  EXPECT_EQ(Identify(":0400000300000000F9\n:00000001FF"), 3);
  EXPECT_EQ(Identify(":0400000500000010E7\n:00000001FF"), 3);
  // A later segment record does not lower a linear answer.
  EXPECT_EQ(Identify(":020000040001F9\n:020000021000EC\n:00000001FF"), 3);
  // Lower-case digits are accepted.
  EXPECT_EQ(Identify(":0100000012ed\n:00000001ff"), 1);
  // Empty lines are skipped.
  EXPECT_EQ(Identify("\n\n:0100000012ED\n\n"), 1);
}

TEST(IdentifyIntelHex, EndRecordEndsTheScan) {
  EXPECT_EQ(Identify(":0100000012ED\n:00000001FF\nanything at all\n"), 1);
}

TEST(IdentifyIntelHex, BrokenRecordsAreUnknown) {
  EXPECT_EQ(Identify(":0100000012E"), 0);        // odd body length
  EXPECT_EQ(Identify(":030000000012ED"), 0);     // count disagrees with the length
  EXPECT_EQ(Identify(":0100000612E7"), 0);       // unknown record type
  EXPECT_EQ(Identify(":01000000G2ED"), 0);       // not a digit
  EXPECT_EQ(Identify(":00000001F"), 0);          // too short
  EXPECT_EQ(Identify(":0100000112ED"), 0);       // an end record with data
}

TEST(IdentifyIntelHex, BlanksAroundRecordsAndAByteOrderMarkAreNoPartOfThem) {
  EXPECT_EQ(Identify(" :0100000012ED\t\n\t:00000001FF  "), 1);
  EXPECT_EQ(Identify("\xEF\xBB\xBF:0100000012ED\r\n:00000001FF\r\n"), 1);
  EXPECT_EQ(Identify(Encoded("S1050000123495\r\nS9030000FC\r\n", 2)), 4);
  EXPECT_EQ(Identify(Encoded(":020000040001F9\r\n:00000001FF\r\n", 4)), 3);
  // A character no data file holds: the file is refused, but is that text.
  EXPECT_EQ(Identify(Encoded("/00000000\n\xE9", 2)), 8);
  // The mark alone does not make a file text.
  EXPECT_EQ(Identify("\xFF\xFE:\x01S\x02"), 0);
}

TEST(IdentifyFile, ADamagedFileIsTheFormatOfItsFirstRecord) {
  EXPECT_EQ(Identify(":0100000012ED\n:010000"), 1);
  EXPECT_EQ(Identify("; made by hand\nS1040000AB50"), 4);
  EXPECT_EQ(Identify("/00100103AB15\n/00000000"), 8);  // header checksum wrong, then an end
  EXPECT_EQ(Identify("0010:AB\n000008:1234"), 10);
  EXPECT_EQ(Identify("000008:1234\n0010:AB"), 9);
}

TEST(IdentifyMotorola, AnswersByRecordKinds) {
  EXPECT_EQ(Identify("S9030000FC"), 4);
  EXPECT_EQ(Identify("S00600004844521B\nS1050000123495\nS9030000FC"), 4);
  EXPECT_EQ(Identify("S1050000123495\nS206010000123493\nS9030000FC"), 5);
  EXPECT_EQ(Identify("S30700000100123453\nS70500000000FA"), 6);
  EXPECT_EQ(Identify("s1050000123495"), 0);  // the 'S' must be upper case
  EXPECT_EQ(Identify("S1050000123495\nS9030000FC\nrubbish"), 4);
}

TEST(IdentifyMotorola, CountRecordsAndS8AreAccepted) {
  // Record counts (S5, S6) leave the answer as it is; S8 ends an S2 file.
  EXPECT_EQ(Identify("S1050000123495\nS5030001FB\nS9030000FC"), 4);
  EXPECT_EQ(Identify("S1050000123495\nS604000001FA\nS9030000FC"), 4);
  EXPECT_EQ(Identify("S206000000123494\nS5030001FB\nS804000000FB"), 5);
  EXPECT_EQ(Identify("S1050000123495\nS804000000FB"), 5);
}

TEST(IdentifyMotorola, BrokenRecordsAreUnknown) {
  EXPECT_EQ(Identify("S4030000FC"), 0);
  EXPECT_EQ(Identify("S1060000123495"), 0);  // count one too high
  EXPECT_EQ(Identify("S105000012349"), 0);   // odd length
  EXPECT_EQ(Identify("SX050000123495"), 0);
  EXPECT_EQ(Identify("S10300FC"), 0);        // shorter than 10 characters
}

TEST(IdentifyTektronix, HeaderChecksumIsChecked) {
  EXPECT_EQ(Identify("/00000000"), 8);
  EXPECT_EQ(Identify("/00100102AB15\n/00000000"), 8);
  EXPECT_EQ(Identify("/00100103AB15"), 0);             // header checksum wrong
  EXPECT_EQ(Identify("/00100102AB00\n/00000000"), 8);  // data checksum is not compared
  EXPECT_EQ(Identify("/00100202AB15"), 0);             // count disagrees with the length
  EXPECT_EQ(Identify("/0010010"), 0);                  // too short
}

TEST(IdentifyExtendedTektronix, BlockTypesAndLengths) {
  EXPECT_EQ(Identify("%0E81E800000000"), 7);
  EXPECT_EQ(Identify("%0D62D500000AB\n%0E81E800000000"), 7);
  EXPECT_EQ(Identify("%0F62D500000ABCD"), 7);
  EXPECT_EQ(Identify("%0D62D500000AB0"), 0);  // length 0D but 14 characters follow
  EXPECT_EQ(Identify("%0D62D500000A"), 0);
  EXPECT_EQ(Identify("%0D62D500000AX"), 0);
  // Symbol blocks are skipped without any check.
  EXPECT_EQ(Identify("%1A3xx symbols here!\n%0D62D500000AB"), 7);
  EXPECT_EQ(Identify("%1A3xx symbols here!"), 0);
  EXPECT_EQ(Identify("%xx3 anything\n%0F62D500000ABCD\n%0E81E800000000"), 7);
  EXPECT_EQ(Identify("%0E41E800000000"), 0);  // block type 4
  EXPECT_EQ(Identify("%0E8"), 0);
}

TEST(IdentifyAddressList, BothForms) {
  EXPECT_EQ(Identify("0010:AB\n0011:cd\n"), 10);
  EXPECT_EQ(Identify("000008:1234\n000009:5678"), 9);
  EXPECT_EQ(Identify("0010-AB"), 0);
  EXPECT_EQ(Identify("0:10:AB"), 0);
  EXPECT_EQ(Identify("0010:AG"), 0);
  EXPECT_EQ(Identify("0010:ABC"), 0);
  // A file of empty lines holds no list.
  EXPECT_EQ(Identify("\n\r\n\n"), 0);
}

TEST(IdentifyFile, EmptyAndUnknownFiles) {
  EXPECT_EQ(Identify(""), -2);
  EXPECT_EQ(Identify(std::string("\0:0100000012ED", 14)), 0);  // a NUL: binary
  EXPECT_EQ(Identify("hello world"), 0);
  EXPECT_EQ(Identify(std::string("\x7f" "ELF\x02\x01", 6)), 0);
}

TEST(IdentifyFile, ReadsTheNamedFile) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.File("a.hex"), ":0100000012ED\r\n:00000001FF\r\n");
  testing_support::WriteFile(dir.File("empty.bin"), "");
  EXPECT_EQ(TFileLoader::IdentifyFile(dir.File("a.hex")), 1);
  EXPECT_EQ(TFileLoader::IdentifyFile(dir.File("empty.bin")), -2);
}

TEST(IdentifyFile, MissingOrUnreadableFileRaises) {
  testing_support::TempDir dir;
  EXPECT_THROW(TFileLoader::IdentifyFile(dir.File("missing.hex")), EFileError);
  EXPECT_THROW(TFileLoader::IdentifyFile(dir.Path()), EFileError);
  EXPECT_THROW(TFileLoader::IdentifyFile(""), EFileError);
  try {
    TFileLoader::IdentifyFile(dir.File("missing.hex"));
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.hex"), std::string::npos);
  }
}
