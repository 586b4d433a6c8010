#include "core/text/field_scanner.h"

#include <array>

#include "support/support.h"

namespace zelk {

namespace {

// Characters of a field are gathered here and moved into the result in large
// pieces, so a very long field is not grown one character at a time.
constexpr std::size_t kWorkingBufferLimit = 50000;

struct ScanState {
  std::string text;
  std::size_t position = 0;
  int field = 1;
};

ScanState& State() {
  static ScanState state;
  return state;
}

}  // namespace

std::string NthDelimitedField(const std::string& text, const std::string& delimiters, int index) {
  ScanState& scan = State();
  if (index == 1) {
    scan.text = text;
    scan.position = 0;
    scan.field = 1;
  } else if (text != scan.text) {
    ReportMessage("Pointer mismatch in sqgetdelimel4");
  }

  std::array<bool, 256> is_delimiter{};
  for (unsigned char c : delimiters) is_delimiter[c] = true;

  std::string result;
  std::string buffer;
  const std::string& source = scan.text;
  std::size_t pos = scan.position;
  while (pos < source.size()) {
    const unsigned char c = static_cast<unsigned char>(source[pos]);
    if (is_delimiter[c]) {
      if (scan.field == index) break;  // the position stays on the delimiter
      ++scan.field;
    } else if (scan.field == index) {
      buffer.push_back(static_cast<char>(c));
      if (buffer.size() > kWorkingBufferLimit) {
        result += buffer;
        buffer.clear();
      }
    }
    ++pos;
  }
  scan.position = pos;
  if (pos >= source.size() && scan.field < index) return "\n";
  result += buffer;
  return result;
}

}  // namespace zelk
