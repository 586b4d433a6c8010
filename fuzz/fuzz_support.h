#pragma once
// Shared pieces of the fuzz targets: the entry points every target defines, a check
// that a decoded image is whole, a silent desktop for code that may report, and a
// GUI application for the metafile players.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace zelk::fuzz {

// Stops the run with a message on stderr: an input broke a promise of the code
// under test (the fuzzer then keeps that input as a crash).
[[noreturn]] void Fail(const std::string& what);

inline void Require(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// With ZELK_FUZZ_VERBOSE set, each decode's outcome (size or reason) goes to stderr:
// handy to see that seeds decode, and what a replayed file does.
bool Verbose();
void ReportOutcome(const std::string& outcome);

// A decoder either throws ImageError or hands back a bitmap of sane size; every row
// of it is read, so a short allocation shows under AddressSanitizer. Returns a sum
// of the pixels so the reads cannot be optimised away.
std::uint32_t CheckDecodedImage(const Bitmap& image);

// Runs reader(data, size, out) as the loader does; any exception but ImageError
// escapes and ends the run.
template <typename Reader>
void DecodeLikeTheLoader(Reader reader, const std::uint8_t* data, std::size_t size) {
  Bitmap out;
  try {
    reader(data, size, out);
  } catch (const ImageError& error) {
    if (Verbose()) ReportOutcome(error.what());
    return;
  }
  volatile std::uint32_t sink = CheckDecodedImage(out);
  (void)sink;
  if (Verbose()) ReportOutcome(std::to_string(out.Width()) + " x " + std::to_string(out.Height()));
}

// A QGuiApplication on the offscreen platform for the whole run (fonts and QPainter
// need one).
void EnsureGuiApplication();

// Installs a desktop that answers every dialog with "cancel", never sleeps and
// counts the messages shown; the previous one is restored afterwards.
class QuietDesktop {
 public:
  QuietDesktop();
  ~QuietDesktop();
  QuietDesktop(const QuietDesktop&) = delete;
  QuietDesktop& operator=(const QuietDesktop&) = delete;
  int MessagesShown() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace zelk::fuzz
