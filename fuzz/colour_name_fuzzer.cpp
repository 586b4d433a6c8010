// Naming a colour text and reordering a colour value's hex text. Both take any
// bytes; the checks compare against a plain search of the table.

#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>

#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"
#include "fuzz_support.h"

namespace {

using zelk::fuzz::Require;

bool IsSixHexDigits(const std::string& text) {
  if (text.size() != 6) return false;
  for (unsigned char c : text)
    if (!std::isxdigit(c)) return false;
  return true;
}

int Channel(const std::string& hex, int at) {
  return static_cast<int>(
      std::strtol(hex.substr(static_cast<std::size_t>(at), 2).c_str(), nullptr, 16));
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void CheckName(const std::string& html) {
  const std::string named = zelk::LookUpColourName(html);
  Require(named.compare(0, html.size(), html) == 0, "the name does not follow the text");
  const std::string suffix = named.substr(html.size());
  if (!IsSixHexDigits(html)) {
    Require(suffix == " [Unrecognised Colour]", "a text that is not a colour got a name");
    return;
  }
  const std::string wanted = Upper(html);
  const auto table = zelk::NamedColourTable();
  // The first exact row, else the first row at the least city-block distance.
  int best = INT_MAX;
  std::string best_name;
  bool exact = false;
  for (const zelk::NamedColour& row : table) {
    const std::string hex(row.Hex);
    if (hex == wanted) {
      best_name = std::string(row.Name);
      exact = true;
      break;
    }
    int distance = 0;
    for (int at = 0; at < 6; at += 2) distance += std::abs(Channel(hex, at) - Channel(wanted, at));
    if (distance < best) best = distance, best_name = std::string(row.Name);
  }
  const std::string expected = exact ? " [" + best_name + "]" : " [~" + best_name + "]";
  Require(suffix == expected, "the colour got another name than the table's");
}

void CheckHexToHtml(const std::string& hex) {
  const std::string html = zelk::ColourRefHexToHtml(hex);
  Require(html.size() == 6, "the HTML text is not six characters");
  std::string six = hex.substr(0, 6);
  six.insert(0, 6 - six.size(), '0');
  Require(html == six.substr(4, 2) + six.substr(2, 2) + six.substr(0, 2),
          "the byte pairs are not reversed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckName(text);
  CheckHexToHtml(text);
  // The readout's real road: a colour value's hex text, reordered, then named.
  if (size >= 4) {
    const std::uint32_t value = static_cast<std::uint32_t>(data[0]) | data[1] << 8 | data[2] << 16 |
                                static_cast<std::uint32_t>(data[3]) << 24;
    const std::string html = zelk::ColourRefHexToHtml(zelk::ColourRefHexText(value));
    if ((value >> 24) == 0) Require(IsSixHexDigits(html), "a colour value gave no colour text");
    CheckName(html);
  }
  return 0;
}
