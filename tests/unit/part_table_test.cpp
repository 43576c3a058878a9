#include <gtest/gtest.h>

#include <set>

#include "core/text_case.h"
#include "devices/device_list.h"
#include "devices/part_table.h"

using namespace zylisp;

namespace {

uint8_t BusOf(EPartFamily family) {
  switch (family) {
    case EPartFamily::I2CEeprom: return kBusI2C;
    case EPartFamily::SpiEeprom: return kBusSPI;
    case EPartFamily::Microwire: return kBusMicrowire;
    case EPartFamily::DataFlash: return kBusDataFlash;
    case EPartFamily::SpiFlash: break;
  }
  return 0xFF;  // no classic bus kind
}

// Address bits carried outside the address bytes.
int HighBits(EHighAddress high) {
  switch (high) {
    case EHighAddress::I2CBlockBits1To3: return 3;
    case EHighAddress::I2CBits1To2: return 2;
    case EHighAddress::None: return 0;
    default: return 1;
  }
}

TEST(PartTable, ClassicCatalogueComesFirstUnchanged) {
  const auto& classic = DeviceCatalogue();
  const auto& rows = PartRows();
  ASSERT_GE(rows.size(), 150u);
  for (std::size_t i = 0; i < classic.size(); ++i) {
    SCOPED_TRACE(classic[i].Name);
    EXPECT_EQ(rows[i].Name, classic[i].Name);
    EXPECT_EQ(rows[i].Size, classic[i].Size);
    EXPECT_EQ(rows[i].PageSize, classic[i].PageSize);
    EXPECT_EQ(BusOf(rows[i].Family), classic[i].BusType);
    if (classic[i].BusType == kBusMicrowire) {
      EXPECT_EQ(rows[i].AddressBits8 + 3, classic[i].MicrowireBits);
    }
  }
}

TEST(PartTable, MarkingsAreUniqueIgnoringCase) {
  std::set<std::string> seen;
  for (const TPartRow& row : PartRows()) {
    EXPECT_TRUE(seen.insert(UpperCase(row.Name)).second) << row.Name;
    for (const std::string& alias : row.Aliases) EXPECT_TRUE(seen.insert(UpperCase(alias)).second) << alias;
  }
}

TEST(PartTable, GeometryIsConsistent) {
  for (const TPartRow& row : PartRows()) {
    SCOPED_TRACE(row.Name);
    ASSERT_GT(row.Size, 0);
    ASSERT_GT(row.PageSize, 0);
    EXPECT_EQ(row.Size % row.PageSize, 0);
    EXPECT_LE(row.Erase.size(), 4u);
    for (const TEraseKind& e : row.Erase) {
      EXPECT_EQ(uint64_t{e.Size} * e.Count, static_cast<uint64_t>(row.Size)) << "erase 0x" << std::hex << +e.Opcode;
      EXPECT_LE(e.TypMs, e.MaxMs);
    }
    EXPECT_LE(row.WriteTypUs, row.WriteMaxUs);
    EXPECT_GT(row.WriteMaxUs, 0u);
    EXPECT_LE(row.ChipEraseTypMs, row.ChipEraseMaxMs);
    const bool flash = row.Family == EPartFamily::SpiFlash || row.Family == EPartFamily::DataFlash;
    EXPECT_EQ(flash, row.JedecId != 0);
    if (row.Family == EPartFamily::Microwire) {
      const bool x8 = row.AddressBits8 != 0, x16 = row.AddressBits16 != 0;
      EXPECT_EQ(row.Organisation == EMicrowireOrg::Selectable, x8 && x16);
      EXPECT_EQ(row.Organisation == EMicrowireOrg::Fixed8, x8 && !x16);
      EXPECT_EQ(row.Organisation == EMicrowireOrg::Fixed16, !x8 && x16);
      if (x8) {
        EXPECT_GE(int64_t{1} << row.AddressBits8, row.Size);
      }
      if (x16) {
        EXPECT_GE(int64_t{2} << row.AddressBits16, row.Size);
      }
      continue;
    }
    ASSERT_GE(row.AddressBytes, 1);
    ASSERT_LE(row.AddressBytes, 4);
    EXPECT_GE((int64_t{1} << (8 * row.AddressBytes + HighBits(row.HighAddress))), row.Size);
    const bool big = row.Size > 16 * 1024 * 1024;
    EXPECT_EQ(big, row.FourByte != EFourByteMode::None);
    if (big) {
      EXPECT_EQ(row.AddressBytes, 4);
    }
  }
}

TEST(PartTable, FindsByNameOrAliasIgnoringCaseAndSpaces) {
  const struct {
    const char* typed;
    const char* row;
  } cases[] = {{"  at24c256 ", "24C256"}, {"24lc256", "24C256"}, {"M24c64\t", "24LC64"},
               {"cat24C02", "M24C02"},    {"25lc640", "25C640"}, {" m95m02", "M95M02"},
               {"w25q64jv", "W25Q64JV"},  {"mx25L6406E", "MX25L6406E"}, {"at45db041d", "AT45DB041"},
               {"25010 (at)", "25010 (AT)"}};
  for (const auto& c : cases) {
    const TPartRow* row = FindPart(c.typed);
    ASSERT_NE(row, nullptr) << c.typed;
    EXPECT_EQ(row->Name, c.row);
  }
  EXPECT_EQ(FindPart("AT90S1200"), nullptr);
  EXPECT_EQ(FindPart("   "), nullptr);
}

TEST(PartTable, SharedJedecIdListsEveryRow) {
  const auto rows = PartsWithJedecId(0xEF4017);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->Name, "W25Q64FV");
  EXPECT_EQ(rows[1]->Name, "W25Q64JV");
  EXPECT_TRUE(PartsWithJedecId(0).empty());
}

}  // namespace
