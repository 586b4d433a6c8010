// The stateful field scanner against a plain model of its promises: fields split at
// any delimiter, a higher index moves on, the same or a lower one gives "", past the
// end gives "\n", and another text than the scanned one is reported and ignored.
//
// Input: byte 0 = number of delimiters (low 3 bits), then the delimiters; then the
// number of calls (low 4 bits) and one signed byte per call, its index; the rest is
// the text.

#include <string>
#include <vector>

#include "core/text/field_scanner.h"
#include "fuzz_support.h"

namespace {

using zelk::fuzz::Require;

struct Model {
  std::vector<std::string> fields;
  int current = 1;

  void Start(const std::string& text, const std::string& delimiters) {
    fields.assign(1, std::string());
    for (char c : text) {
      if (delimiters.find(c) != std::string::npos)
        fields.emplace_back();
      else
        fields.back().push_back(c);
    }
    current = 1;
  }
  int Count() const { return static_cast<int>(fields.size()); }

  std::string Next(int index) {
    if (index == 1) {
      current = 1;
      return fields[0];
    }
    if (index > current) {
      if (index <= Count()) {
        current = index;
        return fields[static_cast<std::size_t>(index - 1)];
      }
      current = Count();
      return "\n";
    }
    // The same field again stays put; a lower one runs the scan to the end.
    if (index < current) current = Count();
    return "";
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::QuietDesktop desktop;
  std::size_t at = 0;
  auto take = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
  std::string delimiters;
  for (int n = take() & 7; n > 0 && at < size; --n) delimiters.push_back(static_cast<char>(take()));
  std::vector<int> indexes;
  for (int n = take() & 15; n > 0 && at < size; --n)
    indexes.push_back(static_cast<int>(static_cast<std::int8_t>(take())));
  const std::string text(reinterpret_cast<const char*>(data) + at, size - at);

  Model model;
  model.Start(text, delimiters);
  Require(zelk::NthDelimitedField(text, delimiters, 1) == model.Next(1), "first field differs");
  int mismatches = 0;
  for (int index : indexes) {
    // An odd index is asked with another text once in a while: reported, ignored.
    const bool other_text = index != 1 && (index & 0x40) != 0;
    const std::string asked = other_text ? text + "x" : text;
    if (other_text) ++mismatches;
    if (index == 1) model.Start(text, delimiters);
    const std::string got = zelk::NthDelimitedField(asked, delimiters, index);
    Require(got == model.Next(index), "field differs from the model");
  }
  Require(desktop.MessagesShown() == mismatches, "a text mismatch was not reported once");
  return 0;
}
