// Hostile raster files, made here byte by byte: each one is loaded in a child
// process, which must finish within a time bound and stay within a memory bound
// (its peak resident size, from wait4). The table of what each case cost is
// printed, so a regression shows its numbers.

#include <png.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/image_loader.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Set by the build for the sanitized configuration (this file itself is compiled
// without sanitizers there, the readers it calls with them).
#ifdef ZELK_SANITIZED_BUILD
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

void Put8(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
}
void PutBe16(Bytes& b, unsigned v) {
  Put8(b, v >> 8), Put8(b, v);
}
void PutBe32(Bytes& b, std::uint32_t v) {
  PutBe16(b, v >> 16), PutBe16(b, v & 0xFFFF);
}
void PutLe16(Bytes& b, unsigned v) {
  Put8(b, v), Put8(b, v >> 8);
}
void PutLe32(Bytes& b, std::uint32_t v) {
  PutLe16(b, v & 0xFFFF), PutLe16(b, v >> 16);
}

// --- JPEG: greyscale frames with the smallest valid tables ---------------------

// SOI, a quantisation table of ones, the frame header and two Huffman tables of
// one 1-bit code each (DC difference 0, and ac_symbol: end of block, or 0xE0 for
// an end-of-band run of up to 32767 blocks).
Bytes GreyJpegHeader(bool progressive, unsigned width, unsigned height, unsigned ac_symbol = 0) {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xDB};
  PutBe16(b, 67), Put8(b, 0);
  for (int i = 0; i < 64; ++i) Put8(b, 1);
  Put8(b, 0xFF), Put8(b, progressive ? 0xC2 : 0xC0);
  PutBe16(b, 11), Put8(b, 8), PutBe16(b, height), PutBe16(b, width);
  Put8(b, 1), Put8(b, 1), Put8(b, 0x11), Put8(b, 0);
  Put8(b, 0xFF), Put8(b, 0xC4), PutBe16(b, 2 + 2 * 18);
  for (int table_class : {0x00, 0x10}) {
    Put8(b, table_class), Put8(b, 1);
    for (int i = 1; i < 16; ++i) Put8(b, 0);
    Put8(b, table_class == 0 ? 0 : ac_symbol);
  }
  return b;
}

void PutComments(Bytes& b, std::size_t padding) {
  while (padding > 0) {
    const std::size_t n = std::min<std::size_t>(padding, 65000);
    Put8(b, 0xFF), Put8(b, 0xFE), PutBe16(b, static_cast<unsigned>(n + 2));
    b.insert(b.end(), n, 'x');
    padding -= n;
  }
}

void PutScanHeader(Bytes& b, int ss, int se, int ah, int al) {
  Put8(b, 0xFF), Put8(b, 0xDA), PutBe16(b, 8), Put8(b, 1), Put8(b, 1), Put8(b, 0);
  Put8(b, ss), Put8(b, se), Put8(b, ah << 4 | al);
}

// A progressive file of `scans` DC scans with no data at all: each costs a pass
// over every block, the file ten bytes. `padding` bytes of comments come first.
Bytes EmptyScansJpeg(unsigned side, int scans, std::size_t padding = 0) {
  Bytes b = GreyJpegHeader(true, side, side);
  PutComments(b, padding);
  for (int i = 0; i < scans; ++i) PutScanHeader(b, 0, 0, 0, 0);
  Put8(b, 0xFF), Put8(b, 0xD9);
  return b;
}

// Entropy data of end-of-band runs (the 1-bit code, then 14 one bits: 32767
// blocks each) covering `blocks`, its 0xFF bytes stuffed.
void PutEndOfBandRuns(Bytes& b, std::uint64_t blocks) {
  std::vector<bool> bits;
  for (std::uint64_t n = 0; n < blocks; n += 32767) {
    bits.push_back(false);
    bits.insert(bits.end(), 14, true);
  }
  while (bits.size() % 8 != 0) bits.push_back(true);
  for (std::size_t i = 0; i < bits.size(); i += 8) {
    unsigned v = 0;
    for (std::size_t j = 0; j < 8; ++j) v = v << 1 | (bits[i + j] ? 1 : 0);
    Put8(b, v);
    if (v == 0xFF) Put8(b, 0);
  }
}

// A progressive file whose scans after the first two all refine AC coefficients
// 1-63 in end-of-band runs: some twenty bytes each, but each one walks the whole
// band of every block. The file is padded with comments to `file_bytes`.
Bytes RefinementScansJpeg(unsigned side, int scans, std::size_t file_bytes) {
  const std::uint64_t blocks = std::uint64_t{side / 8} * (side / 8);
  Bytes b = GreyJpegHeader(true, side, side, 0xE0);
  Bytes body;
  PutScanHeader(body, 0, 0, 0, 1);
  PutScanHeader(body, 1, 63, 0, 2);
  PutEndOfBandRuns(body, blocks);
  for (int i = 0; i < scans; ++i) {
    PutScanHeader(body, 1, 63, 2, 1);
    PutEndOfBandRuns(body, blocks);
  }
  Put8(body, 0xFF), Put8(body, 0xD9);
  if (file_bytes > b.size() + body.size() + 4)
    PutComments(b, file_bytes - b.size() - body.size() - 4);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// A baseline file that ends right after its scan header.
Bytes TruncatedBaselineJpeg(unsigned side) {
  Bytes b = GreyJpegHeader(false, side, side);
  PutScanHeader(b, 0, 63, 0, 0);
  return b;
}

// An arithmetic-coded baseline frame of width x height and a scan header: a few
// hundred bytes that no rule on bytes can refuse.
Bytes ArithmeticJpeg(unsigned width, unsigned height) {
  Bytes b = GreyJpegHeader(false, width, height);
  b[2 + 2 + 67 + 1] = 0xC9;  // the frame marker after the DQT: SOF9, arithmetic
  PutScanHeader(b, 0, 63, 0, 0);
  b.insert(b.end(), 64, 0);
  Put8(b, 0xFF), Put8(b, 0xD9);
  return b;
}

// --- PNG ------------------------------------------------------------------------

void OnPngWrite(png_structp png, png_bytep data, std::size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void OnPngFlush(png_structp) {}

// A one-colour PNG (RGB, or 1-bit palette) of width x height, compressed hard.
Bytes FlatPng(int width, int height, bool palette) {
  Bytes file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(png, &file, OnPngWrite, OnPngFlush);
  png_set_IHDR(png, info, width, height, palette ? 1 : 8,
               palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color colour = {200, 30, 10};
  if (palette) png_set_PLTE(png, info, &colour, 1);
  png_set_filter(png, 0, PNG_FILTER_NONE);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  const Bytes row(palette ? (width + 7) / 8 : width * 3, 0);
  for (int y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return file;
}

// Only the signature and the header of a PNG of width x height, then a scrap of data.
Bytes HeaderOnlyPng(std::uint32_t width, std::uint32_t height) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutBe32(b, 13);
  const std::size_t crc_from = b.size();
  b.insert(b.end(), {'I', 'H', 'D', 'R'});
  PutBe32(b, width), PutBe32(b, height);
  b.insert(b.end(), {8, 2, 0, 0, 0});
  PutBe32(b, static_cast<std::uint32_t>(
                 crc32(0, b.data() + crc_from, static_cast<unsigned>(b.size() - crc_from))));
  PutBe32(b, 2), b.insert(b.end(), {'I', 'D', 'A', 'T', 0x78, 0x9C, 0, 0, 0, 0});
  return b;
}

// An RGBA PNG of width x 1, every byte zero: 4 bytes a pixel, so the row as
// stored is larger than the working bitmap of the whole picture.
Bytes OneRowRgbaPng(std::uint32_t width) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&b](const char* type, const Bytes& data) {
    PutBe32(b, static_cast<std::uint32_t>(data.size()));
    const std::size_t crc_from = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    PutBe32(b, static_cast<std::uint32_t>(
                   crc32(0, b.data() + crc_from, static_cast<unsigned>(b.size() - crc_from))));
  };
  Bytes header;
  PutBe32(header, width), PutBe32(header, 1);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  chunk("IHDR", header);
  const Bytes row(std::size_t{width} * 4 + 1, 0);
  uLongf size = compressBound(static_cast<uLong>(row.size()));
  Bytes z(size);
  compress2(z.data(), &size, row.data(), static_cast<uLong>(row.size()), 9);
  z.resize(size);
  chunk("IDAT", z);
  chunk("IEND", {});
  return b;
}

// --- ICO ------------------------------------------------------------------------

// An icon whose directory holds `count` entries, entry i at offset_of(i) with
// size_of(i) bytes; `body` follows the directory.
Bytes Icon(int count, const Bytes& body, const std::function<std::uint32_t(int)>& size_of) {
  Bytes b;
  PutLe16(b, 0), PutLe16(b, 1), PutLe16(b, static_cast<unsigned>(count));
  const std::uint32_t body_at = 6 + 16 * static_cast<std::uint32_t>(count);
  for (int i = 0; i < count; ++i) {
    Put8(b, 0), Put8(b, 0), Put8(b, 0), Put8(b, 0), PutLe16(b, 1), PutLe16(b, 32);
    PutLe32(b, size_of(i)), PutLe32(b, body_at);
  }
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// A BITMAPINFOHEADER entry of 16 x 16 (32 rows with the mask) whose bits are a PNG.
Bytes PngInDibEntry(const Bytes& png) {
  Bytes b;
  PutLe32(b, 40), PutLe32(b, 16), PutLe32(b, 32), PutLe16(b, 1), PutLe16(b, 32);
  PutLe32(b, 5);  // BI_PNG
  for (int i = 0; i < 5; ++i) PutLe32(b, 0);
  b.insert(b.end(), png.begin(), png.end());
  return b;
}

Bytes HugeBmp() {
  Bytes b = {'B', 'M'};
  PutLe32(b, 0), PutLe32(b, 0), PutLe32(b, 54);
  PutLe32(b, 40), PutLe32(b, 30000), PutLe32(b, 30000), PutLe16(b, 1), PutLe16(b, 24);
  for (int i = 0; i < 6; ++i) PutLe32(b, 0);
  b.insert(b.end(), 1024, 0x55);
  return b;
}

// --- Running a load in a child -------------------------------------------------

struct Outcome {
  bool finished = false;  // false: killed at the deadline
  int status = -1;        // 0 loaded, 1 refused (ImageError), 2 anything else
  std::string reason;     // the refusal's text
  double seconds = 0;
  long peak_kib = 0;
  long start_kib = 0;  // the child's resident size before loading (its parent's pages)
};

// The resident size of this process, from /proc/self/status; 0 when unknown.
long ResidentKib() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
  std::fclose(status);
  return kib;
}

Outcome LoadInChild(const std::string& path, double deadline_seconds,
                    AvailableMemorySource memory = nullptr) {
  Outcome outcome;
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return outcome;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipe_ends[0]);
    int code = 2;
    if (memory != nullptr) SetAvailableMemorySource(memory);
    // What the child holds already, as one line before any reason: a sanitized
    // parent's quarantine of freed memory is resident in the child too.
    const std::string held = std::to_string(ResidentKib()) + "\n";
    if (write(pipe_ends[1], held.data(), held.size()) < 0) _exit(3);
    try {
      Bitmap out;
      LoadImageFile(path, out);
      code = 0;
    } catch (const ImageError& e) {
      code = 1;
      const ssize_t written = write(pipe_ends[1], e.what(), std::strlen(e.what()));
      (void)written;
    } catch (...) {
    }
    _exit(code);
  }
  close(pipe_ends[1]);
  if (pid < 0) {
    close(pipe_ends[0]);
    return outcome;
  }
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) {
      outcome.finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() - start >
        std::chrono::duration<double>(deadline_seconds)) {
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.peak_kib = usage.ru_maxrss;
  if (outcome.finished && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  char buffer[512];
  ssize_t n;
  while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
    outcome.reason.append(buffer, static_cast<std::size_t>(n));
  close(pipe_ends[0]);
  const std::size_t line_end = outcome.reason.find('\n');
  if (line_end != std::string::npos) {
    outcome.start_kib = std::atol(outcome.reason.c_str());
    outcome.reason.erase(0, line_end + 1);
  }
  return outcome;
}

struct Case {
  const char* name;
  const char* extension;
  std::function<Bytes()> make;
  const char* refusal;  // part of the reason it is refused for; nullptr: it loads
};

TEST(HostileInput, EveryCaseEndsQuicklyInBoundedMemory) {
  // Release-build bounds: the slowest case takes under a second alone, the rest is
  // room for a loaded machine running tests side by side. Sanitized builds are
  // slower and hold freed memory in quarantine, so there only the time is checked,
  // more loosely.
  const double seconds_bound = kSanitized ? 30.0 : 3.0;
  const long memory_bound_kib = 256 * 1024;  // every case stays within 16 Mi pixels' worth
  const double deadline = std::getenv("ZELK_HOSTILE_DEADLINE") != nullptr
                              ? std::atof(std::getenv("ZELK_HOSTILE_DEADLINE"))
                              : seconds_bound * 2;

  const Bytes truncated_png = [] {
    Bytes png = FlatPng(4096, 4096, false);
    png.resize(png.size() * 9 / 10);
    return png;
  }();
  const char* const kTooShort = "far too short";
  const char* const kTooCostly = "too costly to draw";
  const char* const kEnds = "ends before";
  const Case cases[] = {
      {"jpeg: 998 empty scans, 16384 x 16384", ".jpg", [] { return EmptyScansJpeg(16384, 998); },
       kTooShort},
      {"jpeg: 998 empty scans, 4096 x 4096", ".jpg", [] { return EmptyScansJpeg(4096, 998); },
       kTooCostly},
      {"jpeg: 998 empty scans, 8192 x 8192, 20 KB", ".jpg",
       [] { return EmptyScansJpeg(8192, 998, 20000); }, kTooCostly},
      {"jpeg: 998 AC refinement scans, 4096 x 4096, 1 MB", ".jpg",
       [] { return RefinementScansJpeg(4096, 998, 1 << 20); }, kTooCostly},
      {"jpeg: 998 AC refinement scans, 4096 x 4096, 52 KB", ".jpg",
       [] { return RefinementScansJpeg(4096, 998, 52 << 10); }, kTooCostly},
      {"jpeg: 20 AC refinement scans, 1024 x 1024", ".jpg",
       [] { return RefinementScansJpeg(1024, 20, 0); }, nullptr},
      {"jpeg: ends after the scan header, 46340 x 46340", ".jpg",
       [] { return TruncatedBaselineJpeg(46340); }, kTooShort},
      {"jpeg: two empty scans, 23170 x 23170", ".jpg", [] { return EmptyScansJpeg(23170, 2); },
       kTooShort},
      {"jpeg: ends after the scan header, 4096 x 4096", ".jpg",
       [] { return TruncatedBaselineJpeg(4096); }, nullptr},
      {"png: header of 20000 x 20000 and a scrap", ".png",
       [] { return HeaderOnlyPng(20000, 20000); }, kTooShort},
      {"png: 4096 x 4096 cut at 90%", ".png", [&] { return truncated_png; }, kEnds},
      {"ico: 65535 entries of one cut 4096² PNG", ".ico",
       [&] {
         return Icon(65535, truncated_png,
                     [&](int) { return static_cast<std::uint32_t>(truncated_png.size()); });
       },
       kEnds},
      {"ico: 65535 entries of one cut PNG, each its own length", ".ico",
       [&] {
         return Icon(65535, truncated_png, [&](int i) {
           return static_cast<std::uint32_t>(truncated_png.size() - static_cast<std::size_t>(i));
         });
       },
       kEnds},
      {"ico: 16 x 16 entry holding a 20000² PNG", ".ico",
       [] {
         const Bytes entry = PngInDibEntry(FlatPng(20000, 20000, true));
         return Icon(1, entry, [&](int) { return static_cast<std::uint32_t>(entry.size()); });
       },
       "larger than"},
      {"bmp: 30000 x 30000 header, 1 KB of bits", ".bmp", HugeBmp, kTooShort},
  };

  char folder[] = "/tmp/zelk_hostile_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::printf("%-56s %8s %10s %s\n", "case", "seconds", "peak MiB", "outcome");
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string(folder) + "/case" + std::to_string(index++) + c.extension;
    const Bytes bytes = c.make();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const Outcome o = LoadInChild(path, deadline);
    std::printf("%-56s %8.2f %10.1f %s %s\n", c.name, o.seconds, o.peak_kib / 1024.0,
                !o.finished     ? "killed"
                : o.status == 0 ? "loaded"
                : o.status == 1 ? "refused:"
                                : "??",
                o.reason.c_str());
    std::fflush(stdout);
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.status, c.refusal == nullptr ? 0 : 1);
    if (c.refusal != nullptr) {
      EXPECT_NE(o.reason.find(c.refusal), std::string::npos) << o.reason;
    }
    EXPECT_LT(o.seconds, seconds_bound);
    if (!kSanitized) {
      EXPECT_LT(o.peak_kib, memory_bound_kib);
    }
  }
  fs::remove_all(folder);
}

std::optional<std::uint64_t> OneGibibyte() {
  return std::uint64_t{1} << 30;
}

TEST(HostileInput, BitmapsLargerThanTheAvailableMemoryAreRefusedBeforeAllocating) {
  // A 46340 x 46340 picture needs 6 GiB; with 1 GiB available each reader refuses
  // it before allocating, whatever the format.
  char folder[] = "/tmp/zelk_memory_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const struct {
    const char* name;
    Bytes bytes;
  } files[] = {
      {"arith.jpg", ArithmeticJpeg(46340, 46340)},
      {"huge.png", FlatPng(20000, 20000, true)},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    const std::string path = std::string(folder) + "/" + file.name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.bytes.data()),
               static_cast<std::streamsize>(file.bytes.size()));
    const Outcome o = LoadInChild(path, kSanitized ? 120.0 : 20.0, OneGibibyte);
    std::printf("%s (%zu bytes): %.2f s, peak %.1f MiB: %s\n", file.name, file.bytes.size(),
                o.seconds, o.peak_kib / 1024.0, o.reason.c_str());
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.reason.find("more than the 1.0 GiB the system has available"), std::string::npos)
        << o.reason;
    EXPECT_NE(o.reason.find("needs "), std::string::npos) << o.reason;
    EXPECT_LT(o.seconds, kSanitized ? 30.0 : 3.0);
    if (!kSanitized) {
      EXPECT_LT(o.peak_kib, 64 * 1024);
    }
  }
  fs::remove_all(folder);
}

TEST(HostileInput, ARowWiderThanThePictureIsNotHeldManyTimesOver) {
  // 16,777,216 x 1 RGBA: a 48 MiB bitmap from a 65 KB file. One row as stored is
  // 64 MiB, which the decoder must keep once (the next row's filters need it) but
  // not as a ring of row batches: that took 464 MiB.
  char folder[] = "/tmp/zelk_wide_row_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/wide.png";
  const Bytes bytes = OneRowRgbaPng(1u << 24);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const Outcome o = LoadInChild(path, kSanitized ? 60.0 : 6.0);
  const long grown_kib = o.peak_kib - o.start_kib;
  std::printf("wide row: %.2f s, peak %.1f MiB, %.1f MiB over the child's start, file %zu bytes\n",
              o.seconds, o.peak_kib / 1024.0, grown_kib / 1024.0, bytes.size());
  EXPECT_TRUE(o.finished);
  EXPECT_EQ(o.status, 0) << o.reason;
  // The bitmap (48 MiB), one stored row (64 MiB) and a few pieces; sanitizers add
  // their shadow memory, an eighth.
  EXPECT_LT(grown_kib, (kSanitized ? 180 : 150) * 1024);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace zelk
