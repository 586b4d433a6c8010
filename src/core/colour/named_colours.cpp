#include "core/colour/named_colours.h"

#include <array>
#include <cstdint>
#include <cstdlib>

namespace zelk {
namespace {

constexpr std::array<NamedColour, 277> kTable = {{
    {"Black", "000000"},
    {"Navy", "000080"},
    {"NavyBlue", "000080"},
    {"WebDarkBlue", "00008B"},
    {"DarkBlue", "0000C8"},
    {"MediumBlue", "0000CD"},
    {"Blue", "0000FF"},
    {"KleinBlue", "002FA7"},
    {"PrussianBlue", "003153"},
    {"MidnightBlue", "003366"},
    {"Smalt", "003399"},
    {"DarkPowderBlue", "003399"},
    {"Cobalt", "0047AB"},
    {"DarkGreen", "006400"},
    {"Cerulean", "007BA7"},
    {"Azure", "007FFF"},
    {"WebGreen", "008000"},
    {"Teal", "008080"},
    {"DarkCyan", "008B8B"},
    {"BondiBlue", "0095B6"},
    {"PersianGreen", "00A693"},
    {"Jade", "00A86B"},
    {"DeepSkyBlue", "00BFFF"},
    {"RobinEggBlue", "00CCCC"},
    {"DarkTurquoise", "00CED1"},
    {"MediumSpringGreen", "00FA9A"},
    {"Green", "00FF00"},
    {"SpringGreen", "00FF7F"},
    {"Aqua", "00FFFF"},
    {"Cyan", "00FFFF"},
    {"PineGreen", "01796F"},
    {"Sapphire", "082567"},
    {"BrightTurquoise", "08E8DE"},
    {"Malachite", "0BDA51"},
    {"Ultramarine", "120A8F"},
    {"Denim", "1560BD"},
    {"WebMidnightBlue", "191970"},
    {"PersianBlue", "1C39BB"},
    {"DodgerBlue", "1E90FF"},
    {"LightSeaGreen", "20B2AA"},
    {"ForestGreen", "228B22"},
    {"CeruleanBlue", "2A52BE"},
    {"SeaGreen", "2E8B57"},
    {"DarkSlateGrey", "2F4F4F"},
    {"Turquoise", "30D5C8"},
    {"PersianIndigo", "32127A"},
    {"LimeGreen", "32CD32"},
    {"MediumSeaGreen", "3CB371"},
    {"Bistre", "3D2B1F"},
    {"Harlequin", "3FFF00"},
    {"Viridian", "40826D"},
    {"WebTurquoise", "40E0D0"},
    {"RoyalBlue", "4169E1"},
    {"GreyAsparagus", "465945"},
    {"SteelBlue", "4682B4"},
    {"Taupe", "483C32"},
    {"DarkSlateBlue", "483D8B"},
    {"MediumTurquoise", "48D1CC"},
    {"Indigo", "4B0082"},
    {"FernGreen", "4F7942"},
    {"Emerald", "50C878"},
    {"DarkOliveGreen", "556B2F"},
    {"CadetBlue", "5F9EA0"},
    {"CornflowerBlue", "6495ED"},
    {"Purple", "660099"},
    {"TyrianPurple", "66023C"},
    {"MediumAquaMarine", "66CDAA"},
    {"BrightGreen", "66FF00"},
    {"DimGrey", "696969"},
    {"SlateBlue", "6A5ACD"},
    {"OliveDrab", "6B8E23"},
    {"Sepia", "704214"},
    {"SlateGrey", "708090"},
    {"RawUmber", "734A12"},
    {"LightSlateGrey", "778899"},
    {"PastelGreen", "77DD77"},
    {"CamouflageGreen", "78866B"},
    {"OldLavender", "796878"},
    {"Chocolate", "7B3F00"},
    {"MediumSlateBlue", "7B68EE"},
    {"Asparagus", "7BA05B"},
    {"LawnGreen", "7CFC00"},
    {"Chartreuse", "7FFF00"},
    {"Aquamarine", "7FFFD4"},
    {"Maroon", "800000"},
    {"WebPurple", "800080"},
    {"FaluRed", "801818"},
    {"Russet", "80461B"},
    {"Olive", "808000"},
    {"Grey", "808080"},
    {"SkyBlue", "87CEEB"},
    {"LightSkyBlue", "87CEFA"},
    {"BlueViolet", "8A2BE2"},
    {"BurntUmber", "8A3324"},
    {"DarkRed", "8B0000"},
    {"DarkMagenta", "8B008B"},
    {"Violet", "8B00FF"},
    {"SaddleBrown", "8B4513"},
    {"DarkSeaGreen", "8FBC8F"},
    {"Burgundy", "900020"},
    {"LightGreen", "90EE90"},
    {"Sangria", "92000A"},
    {"WebMediumPurple", "9370D8"},
    {"MediumPurple", "9370DB"},
    {"DarkViolet", "9400D3"},
    {"Carmine", "960018"},
    {"Brown", "964B00"},
    {"LavenderPurple", "967BB6"},
    {"PaleGreen", "98FB98"},
    {"MintGreen", "98FF98"},
    {"Eggplant", "990066"},
    {"EggplantViolet", "991199"},
    {"DarkOrchid", "9932CC"},
    {"CopperRose", "996666"},
    {"Amethyst", "9966CC"},
    {"MountbattenPink", "997A8D"},
    {"Olivine", "9AB973"},
    {"YellowGreen", "9ACD32"},
    {"Sienna", "A0522D"},
    {"WebBrown", "A52A2A"},
    {"DarkGrey", "A9A9A9"},
    {"SwampGreen", "ACB78E"},
    {"Celadon", "ACE1AF"},
    {"LightBlue", "ADD8E6"},
    {"MossGreen", "ADDFAD"},
    {"GreenYellow", "ADFF2F"},
    {"MediumCarmine", "AF4035"},
    {"PaleTurquoise", "AFEEEE"},
    {"LightSteelBlue", "B0C4DE"},
    {"PowderBlue", "B0E0E6"},
    {"FireBrick", "B22222"},
    {"Lavender", "B57EDC"},
    {"Rust", "B7410E"},
    {"Copper", "B87333"},
    {"DarkGoldenRod", "B8860B"},
    {"MediumOrchid", "BA55D3"},
    {"RosyBrown", "BC8F8F"},
    {"DarkKhaki", "BDB76B"},
    {"LavenderGrey", "BDBBD7"},
    {"Lime", "BFFF00"},
    {"OldRose", "C08081"},
    {"Silver", "C0C0C0"},
    {"Khaki", "C3B091"},
    {"Cardinal", "C41E3A"},
    {"MediumVioletRed", "C71585"},
    {"RedViolet", "C71585"},
    {"Lilac", "C8A2C8"},
    {"Wisteria", "C9A0DC"},
    {"PersianRed", "CC3333"},
    {"BurntOrange", "CC5500"},
    {"Ochre", "CC7722"},
    {"Puce", "CC8899"},
    {"LavenderBlue", "CCCCFF"},
    {"Periwinkle", "CCCCFF"},
    {"Tawny", "CD5700"},
    {"IndianRed", "CD5C5C"},
    {"Chestnut", "CD5C5C"},
    {"Peru", "CD853F"},
    {"OldGold", "CFB53B"},
    {"TeaGreen", "D0F0C0"},
    {"Pear", "D1E231"},
    {"Cinnamon", "D2691E"},
    {"Tan", "D2B48C"},
    {"LightGrey", "D3D3D3"},
    {"PaleVioletRed", "D87093"},
    {"Thistle", "D8BFD8"},
    {"Orchid", "DA70D6"},
    {"Goldenrod", "DAA520"},
    {"Crimson", "DC143C"},
    {"Gainsboro", "DCDCDC"},
    {"Plum", "DDA0DD"},
    {"Cerise", "DE3163"},
    {"BurlyWood", "DEB887"},
    {"Heliotrope", "DF73FF"},
    {"ChartreuseYellow", "DFFF00"},
    {"Mauve", "E0B0FF"},
    {"LightCyan", "E0FFFF"},
    {"BabyBlue", "E0FFFF"},
    {"TerraCotta", "E2725B"},
    {"AlizarinCrimson", "E32636"},
    {"Cinnabar", "E34234"},
    {"Gamboge", "E49B0F"},
    {"Amaranth", "E52B50"},
    {"WebLavender", "E6E6FA"},
    {"BurntSienna", "E97451"},
    {"DarkSalmon", "E9967A"},
    {"Zinnwaldite", "EBC2AF"},
    {"CarrotOrange", "ED9121"},
    {"LavenderMagenta", "EE82EE"},
    {"Flax", "EEDC82"},
    {"PaleGoldenRod", "EEE8AA"},
    {"LightCoral", "F08080"},
    {"Buff", "F0DC82"},
    {"WebKhaki", "F0E68C"},
    {"X11Khaki", "F0E68C"},
    {"AliceBlue", "F0F8FF"},
    {"HoneyDew", "F0FFF0"},
    {"WebAzure", "F0FFFF"},
    {"Tangerine", "F28500"},
    {"Pomegranate", "F34723"},
    {"HollywoodCerise", "F400A1"},
    {"SandyBrown", "F4A460"},
    {"Saffron", "F4C430"},
    {"Wheat", "F5DEB3"},
    {"Beige", "F5F5DC"},
    {"WhiteSmoke", "F5F5F5"},
    {"MintCream", "F5FFFA"},
    {"FrenchRose", "F64A8A"},
    {"PersianPink", "F77FBE"},
    {"GhostWhite", "F8F8FF"},
    {"Carnation", "F95A61"},
    {"WebSalmon", "FA8072"},
    {"PeachYellow", "FADFAD"},
    {"AntiqueWhite", "FAEBD7"},
    {"Linen", "FAF0E6"},
    {"LightGoldenRodYellow", "FAFAD2"},
    {"LavenderRose", "FBA0E3"},
    {"LavenderPink", "FBAED2"},
    {"Apricot", "FBCEB1"},
    {"Corn", "FBEC5D"},
    {"ShockingPink", "FC0FC0"},
    {"Lemon", "FDE910"},
    {"OldLace", "FDF5E6"},
    {"PersianRose", "FE28A2"},
    {"Red", "FF0000"},
    {"Rose", "FF007F"},
    {"HotMagenta", "FF00CC"},
    {"Fuchsia", "FF00FF"},
    {"Magenta", "FF00FF"},
    {"DeepPink", "FF1493"},
    {"Scarlet", "FF2400"},
    {"CoralRed", "FF4040"},
    {"OrangeRed", "FF4500"},
    {"Vermilion", "FF4D00"},
    {"InternationalOrange", "FF4F00"},
    {"Tomato", "FF6347"},
    {"BlazeOrange", "FF6600"},
    {"SafetyOrange", "FF6600"},
    {"HotPink", "FF69B4"},
    {"Pumpkin", "FF7518"},
    {"ColorWheelOrange", "FF7F00"},
    {"Coral", "FF7F50"},
    {"DarkOrange", "FF8C00"},
    {"Salmon", "FF8C69"},
    {"PinkOrange", "FF9966"},
    {"OrangePeel", "FFA000"},
    {"LightSalmon", "FFA07A"},
    {"Orange", "FFA500"},
    {"LightPink", "FFB6C1"},
    {"SelectiveYellow", "FFBA00"},
    {"Amber", "FFBF00"},
    {"Pink", "FFC0CB"},
    {"TangerineYellow", "FFCC00"},
    {"PeachOrange", "FFCC99"},
    {"PastelPink", "FFD1DC"},
    {"Gold", "FFD700"},
    {"SchoolBusYellow", "FFD800"},
    {"PeachPuff", "FFDAB9"},
    {"Mustard", "FFDB58"},
    {"NavajoWhite", "FFDEAD"},
    {"Moccasin", "FFE4B5"},
    {"Bisque", "FFE4C4"},
    {"MistyRose", "FFE4E1"},
    {"Peach", "FFE5B4"},
    {"BlanchedAlmond", "FFEBCD"},
    {"PapayaWhip", "FFEFD5"},
    {"LavenderBlush", "FFF0F5"},
    {"Seashell", "FFF5EE"},
    {"Cornsilk", "FFF8DC"},
    {"LemonChiffon", "FFFACD"},
    {"FloralWhite", "FFFAF0"},
    {"Snow", "FFFAFA"},
    {"Cream", "FFFDD0"},
    {"Yellow", "FFFF00"},
    {"LightYellow", "FFFFE0"},
    {"Ivory", "FFFFF0"},
    {"White", "FFFFFF"},
}};

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr int HexByte(std::string_view hex, std::size_t at) {
  return HexDigit(hex[at]) * 16 + HexDigit(hex[at + 1]);
}

// The components of every row, parsed once at compile time and laid out one array per
// component so the distance pass vectorises. Rows past the table's end are padding that
// never wins (a distance far above the largest real one, 765).
constexpr std::size_t kPadded = (kTable.size() + 15) / 16 * 16;
struct Components {
  std::array<std::int16_t, kPadded> red{}, green{}, blue{};
};

constexpr Components MakeComponents() {
  Components c;
  for (std::size_t i = 0; i < kPadded; ++i) {
    const bool real = i < kTable.size();
    c.red[i] = static_cast<std::int16_t>(real ? HexByte(kTable[i].Hex, 0) : 4000);
    c.green[i] = static_cast<std::int16_t>(real ? HexByte(kTable[i].Hex, 2) : 4000);
    c.blue[i] = static_cast<std::int16_t>(real ? HexByte(kTable[i].Hex, 4) : 4000);
  }
  return c;
}

constexpr Components kComponents = MakeComponents();

// The first row nearest to (r, g, b) and its distance; distance 0 is an exact match,
// and the first row with a value is the one an exact search finds.
std::size_t NearestRow(int r, int g, int b, int& distance) {
  std::array<std::int16_t, kPadded> d;
  for (std::size_t i = 0; i < kPadded; ++i) {
    const int dr = kComponents.red[i] - r, dg = kComponents.green[i] - g,
              db = kComponents.blue[i] - b;
    d[i] =
        static_cast<std::int16_t>((dr < 0 ? -dr : dr) + (dg < 0 ? -dg : dg) + (db < 0 ? -db : db));
  }
  std::int16_t best = 0x7FFF;
  for (std::size_t i = 0; i < kPadded; ++i) best = d[i] < best ? d[i] : best;
  std::size_t row = 0;
  while (d[row] != best) ++row;
  distance = best;
  return row;
}

}  // namespace

std::span<const NamedColour> NamedColourTable() {
  return kTable;
}

std::string LookUpColourName(const std::string& html) {
  int digits[6];
  bool hex = html.size() == 6;
  for (std::size_t i = 0; hex && i < 6; ++i) {
    digits[i] = HexDigit(html[i]);
    hex = digits[i] >= 0;
  }
  if (!hex) return html + " [Unrecognised Colour]";
  int distance = 0;
  const std::size_t row = NearestRow(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3],
                                     digits[4] * 16 + digits[5], distance);
  std::string result = html;
  result += distance == 0 ? " [" : " [~";
  result += kTable[row].Name;
  result += ']';
  return result;
}

}  // namespace zelk
