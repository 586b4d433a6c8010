#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"

namespace zelk {
namespace {

TEST(NamedColourTableTest, RowsCountOrderAndDuplicatePairs) {
  const auto table = NamedColourTable();
  ASSERT_EQ(table.size(), 277u);
  std::set<std::string> values;
  std::set<std::string> names;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::string hex(table[i].Hex);
    ASSERT_EQ(hex.size(), 6u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    EXPECT_EQ(
        std::string(table[i].Name)
            .find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
        std::string::npos);
    if (i > 0) {
      EXPECT_LE(table[i - 1].Hex, table[i].Hex) << "row " << i + 1;
    }
    values.insert(hex);
    names.insert(std::string(table[i].Name));
  }
  EXPECT_EQ(values.size(), 267u);
  EXPECT_EQ(names.size(), 277u);
  const char* pairs[][3] = {{"000080", "Navy", "NavyBlue"},
                            {"003399", "Smalt", "DarkPowderBlue"},
                            {"00FFFF", "Aqua", "Cyan"},
                            {"C71585", "MediumVioletRed", "RedViolet"},
                            {"CCCCFF", "LavenderBlue", "Periwinkle"},
                            {"CD5C5C", "IndianRed", "Chestnut"},
                            {"E0FFFF", "LightCyan", "BabyBlue"},
                            {"F0E68C", "WebKhaki", "X11Khaki"},
                            {"FF00FF", "Fuchsia", "Magenta"},
                            {"FF6600", "BlazeOrange", "SafetyOrange"}};
  for (const auto& pair : pairs) {
    int found = 0;
    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
      if (table[i].Hex != pair[0]) continue;
      EXPECT_EQ(table[i].Name, pair[1]);
      EXPECT_EQ(table[i + 1].Name, pair[2]);
      EXPECT_EQ(table[i + 1].Hex, pair[0]);
      ++found;
      break;
    }
    EXPECT_EQ(found, 1) << pair[0];
  }
  // Spot checks through the table, first and last rows included.
  EXPECT_EQ(table[0].Name, "Black");
  EXPECT_EQ(table[8].Name, "PrussianBlue");
  EXPECT_EQ(table[8].Hex, "003153");
  EXPECT_EQ(table[99].Name, "Burgundy");
  EXPECT_EQ(table[158].Hex, "CFB53B");
  EXPECT_EQ(table[224].Name, "Red");
  EXPECT_EQ(table[275].Name, "Ivory");
  EXPECT_EQ(table[276].Name, "White");
  EXPECT_EQ(table[276].Hex, "FFFFFF");
}

TEST(LookUpColourNameTest, ExactMatchesTakeTheFirstRowOfAPair) {
  EXPECT_EQ(LookUpColourName("000080"), "000080 [Navy]");
  EXPECT_EQ(LookUpColourName("00FFFF"), "00FFFF [Aqua]");
  EXPECT_EQ(LookUpColourName("FF6600"), "FF6600 [BlazeOrange]");
  EXPECT_EQ(LookUpColourName("ff0000"), "ff0000 [Red]");
  EXPECT_EQ(LookUpColourName("cD5c5C"), "cD5c5C [IndianRed]");
  EXPECT_EQ(LookUpColourName("FFFFFF"), "FFFFFF [White]");
}

TEST(LookUpColourNameTest, NearestByCityBlockWithTiesToTheEarlierRow) {
  EXPECT_EQ(LookUpColourName("FE0000"), "FE0000 [~Red]");
  EXPECT_EQ(LookUpColourName("FFFFFE"), "FFFFFE [~White]");
  EXPECT_EQ(LookUpColourName("000040"), "000040 [~Black]");
  EXPECT_EQ(LookUpColourName("123456"), "123456 [~PrussianBlue]");
  EXPECT_EQ(LookUpColourName("abcdef"), "abcdef [~LightBlue]");
  // Against a plain search over the table for a sweep of colours.
  const auto table = NamedColourTable();
  for (unsigned rgb = 0; rgb < 0x1000000u; rgb += 0x00F1D3u) {
    char html[7];
    std::snprintf(html, sizeof html, "%06X", rgb);
    int best = 1000;
    std::string name;
    for (const NamedColour& row : table) {
      const unsigned v =
          static_cast<unsigned>(std::strtoul(std::string(row.Hex).c_str(), nullptr, 16));
      const int d =
          std::abs(static_cast<int>(v >> 16) - static_cast<int>(rgb >> 16)) +
          std::abs(static_cast<int>((v >> 8) & 255) - static_cast<int>((rgb >> 8) & 255)) +
          std::abs(static_cast<int>(v & 255) - static_cast<int>(rgb & 255));
      if (d < best) best = d, name = std::string(row.Name);
    }
    EXPECT_EQ(LookUpColourName(html), std::string(html) + (best == 0 ? " [" : " [~") + name + "]");
  }
}

TEST(LookUpColourNameTest, TextsThatAreNotSixHexDigits) {
  EXPECT_EQ(LookUpColourName("GG0000"), "GG0000 [Unrecognised Colour]");
  EXPECT_EQ(LookUpColourName("#FF000"), "#FF000 [Unrecognised Colour]");
  EXPECT_EQ(LookUpColourName(""), " [Unrecognised Colour]");
  EXPECT_EQ(LookUpColourName("FFF"), "FFF [Unrecognised Colour]");
  EXPECT_EQ(LookUpColourName("FF00001"), "FF00001 [Unrecognised Colour]");
  EXPECT_EQ(LookUpColourName(std::string("FF\0"
                                         "000",
                                         6)),
            std::string("FF\0"
                        "000",
                        6) +
                " [Unrecognised Colour]");
}

TEST(ColourHexTest, ByteOrderConversion) {
  EXPECT_EQ(ColourRefHexToHtml("0080FF"), "FF8000");
  EXPECT_EQ(ColourRefHexText(ColourRefOfRgb(0xFF8000)), "0080FF");
  EXPECT_EQ(ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(0xFF8000))), "FF8000");
  EXPECT_EQ(ColourRefHexText(0x12), "000012");
  EXPECT_EQ(ColourRefHexToHtml("12"), "120000");  // padded on the left, then reordered
  // The invalid colour value reads as white.
  EXPECT_EQ(ColourRefHexText(0xFFFFFFFFu), "FFFFFFFF");
  EXPECT_EQ(ColourRefHexToHtml("FFFFFFFF"), "FFFFFF");
  EXPECT_EQ(ColourRefHexToHtml("ABCDEF99"), "EFCDAB");
  EXPECT_EQ(ColourRefHexToHtml(""), "000000");
}

}  // namespace
}  // namespace zelk
