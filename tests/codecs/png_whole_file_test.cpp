// The whole-file PNG decoding of --diff against the normal reader: whenever it takes
// a file, its pixels must be the normal reader's byte for byte; damaged files either
// are declined or decode the same. Files made here (every row filter, alpha, rows
// wider than the two-thread reader's batches, split image data) and the public test
// files with truncated and altered copies of each.

#include <png.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codecs/image_loader.h"
#include "codecs/png_codec.h"
#include "codecs/png_two_thread_rows.h"
#include "codecs/png_whole_file.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void PutBigEndian32(Bytes& to, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A chunk with its length and CRC.
void AppendChunk(Bytes& file, const char* name, const Bytes& contents) {
  PutBigEndian32(file, static_cast<std::uint32_t>(contents.size()));
  const std::size_t name_at = file.size();
  file.insert(file.end(), name, name + 4);
  file.insert(file.end(), contents.begin(), contents.end());
  const uLong crc = crc32(0, file.data() + name_at, static_cast<uInt>(4 + contents.size()));
  PutBigEndian32(file, static_cast<std::uint32_t>(crc));
}

struct RawPng {
  std::uint32_t width = 1, height = 1;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  Bytes filtered;                    // height rows: a filter byte, then the samples
  std::vector<Bytes> ancillary;      // each a name and contents, before the image data
  std::size_t idat_bytes = 1 << 20;  // image data split into chunks of this size
  Bytes after_rows;                  // compressed in the stream after the rows
  bool drop_stream_end = false;      // the zlib stream cut short of its checksum
};

Bytes Compress(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 6), Z_OK);
  out.resize(size);
  return out;
}

// A PNG written chunk by chunk, so that the filter bytes, the stream and the chunks
// are exactly what a test wants.
Bytes BuildPng(const RawPng& raw) {
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBigEndian32(ihdr, raw.width);
  PutBigEndian32(ihdr, raw.height);
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(raw.depth),
                           static_cast<std::uint8_t>(raw.colour_type), 0, 0, 0});
  AppendChunk(file, "IHDR", ihdr);
  for (const Bytes& chunk : raw.ancillary)
    AppendChunk(file, reinterpret_cast<const char*>(chunk.data()),
                Bytes(chunk.begin() + 4, chunk.end()));
  Bytes stream_input = raw.filtered;
  stream_input.insert(stream_input.end(), raw.after_rows.begin(), raw.after_rows.end());
  Bytes stream = Compress(stream_input);
  if (raw.drop_stream_end) stream.resize(stream.size() - 4);
  for (std::size_t at = 0; at < stream.size(); at += raw.idat_bytes)
    AppendChunk(file, "IDAT",
                Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                      stream.begin() + static_cast<std::ptrdiff_t>(
                                           std::min(stream.size(), at + raw.idat_bytes))));
  AppendChunk(file, "IEND", {});
  return file;
}

// Rows of random samples under random filter types 0..4 (what they unfilter to does
// not matter: both readers must agree on it). Alpha samples favour 0 and 255, the
// two values the composition treats apart.
RawPng RandomRows(int colour_type, std::uint32_t width, std::uint32_t height, unsigned seed) {
  RawPng raw;
  raw.width = width, raw.height = height, raw.colour_type = colour_type;
  const int channels = PngChannelsOf(colour_type);
  const bool alpha = colour_type == PNG_COLOR_TYPE_GRAY_ALPHA || colour_type == PNG_COLOR_TYPE_RGBA;
  std::mt19937 random(seed);
  for (std::uint32_t y = 0; y < height; ++y) {
    raw.filtered.push_back(static_cast<std::uint8_t>(y % 5));
    for (std::uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        std::uint8_t v = static_cast<std::uint8_t>(random());
        if (alpha && c == channels - 1 && v < 128) v = v < 64 ? 0 : 255;
        raw.filtered.push_back(v);
      }
  }
  return raw;
}

bool SameBytes(const Bitmap& a, const Bitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::memcmp(a.Data(), b.Data(), a.ByteSize()) == 0;
}

// Decodes it whole; true when that way took the file, which must then decode to the
// same bitmap, byte for byte and row padding included, through the normal reader and
// through libpng alone (whose row filters are not the ones the other two share).
bool TakenAndSame(const Bytes& file, const std::string& what) {
  Bitmap whole;
  if (!TryDecodePngWhole(file.data(), file.size(), whole)) return false;
  for (const bool second_thread : {true, false}) {
    RasterReadOptions options;
    options.second_thread = second_thread;
    Bitmap normal;
    try {
      ReadPngBytes(file.data(), file.size(), normal, options);
    } catch (const ImageError& e) {
      ADD_FAILURE() << what << ": taken whole but the normal reader says: " << e.what();
      return true;
    }
    EXPECT_TRUE(SameBytes(whole, normal)) << what << ": the pixels differ from "
                                          << (second_thread ? "the normal reader's" : "libpng's");
  }
  return true;
}

TEST(PngWholeFileTest, TakesEveryFilterAndColourTypeWithTheNormalReadersPixels) {
  if (!PngWholeFileAvailable()) GTEST_SKIP() << "built without libdeflate";
  unsigned seed = 1;
  for (int colour :
       {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGBA}) {
    // Odd widths leave row padding; 1 x 1 has no pixel to the left or above.
    // Widths 5, 6 and 301 give every relation of a filtered row's length to a bitmap
    // row's, which decides where the filtered rows are staged.
    for (auto [width, height] :
         {std::pair{1u, 1u}, std::pair{5u, 7u}, std::pair{6u, 9u}, std::pair{301u, 40u}}) {
      const std::string what = "colour type " + std::to_string(colour) + ", " +
                               std::to_string(width) + " x " + std::to_string(height);
      RawPng raw = RandomRows(colour, width, height, seed++);
      EXPECT_TRUE(TakenAndSame(BuildPng(raw), what));
      // Image data in many small chunks, after text and unknown ancillary chunks.
      raw.idat_bytes = 7;
      raw.ancillary = {Bytes{'t', 'E', 'X', 't', 'a', 0, 'b'}, Bytes{'i', 'D', 'O', 'T', 1, 2}};
      EXPECT_TRUE(TakenAndSame(BuildPng(raw), what + ", split"));
    }
  }
  // Rows wider than the two-thread reader's batches, which it reads piece by piece.
  EXPECT_TRUE(
      TakenAndSame(BuildPng(RandomRows(PNG_COLOR_TYPE_RGBA, 150000, 3, 9)), "150000 x 3 RGBA"));
}

TEST(PngWholeFileTest, LoadsAFileAsTheLoaderDoes) {
  if (!PngWholeFileAvailable()) GTEST_SKIP() << "built without libdeflate";
  const fs::path path = fs::path(testing::TempDir()) / "whole-file-test.png";
  const Bytes file = BuildPng(RandomRows(PNG_COLOR_TYPE_RGBA, 64, 33, 5));
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
  std::fclose(out);
  Bitmap whole, loaded;
  ASSERT_TRUE(TryLoadPngWhole(path.string(), whole));
  LoadImageFile(path.string(), loaded);
  ASSERT_EQ(whole.ByteSize(), loaded.ByteSize());
  EXPECT_EQ(std::memcmp(whole.Data(), loaded.Data(), loaded.ByteSize()), 0);
  fs::remove(path);
  EXPECT_FALSE(TryLoadPngWhole(path.string(), whole)) << "a missing file";
}

// What it must leave to the normal reader: pictures it does not convert itself, and
// files the normal reader reads differently or refuses.
TEST(PngWholeFileTest, DeclinesWhatItDoesNotReadExactly) {
  if (!PngWholeFileAvailable()) GTEST_SKIP() << "built without libdeflate";
  const RawPng rgb = RandomRows(PNG_COLOR_TYPE_RGB, 20, 10, 3);
  const auto declined = [](const RawPng& raw) {
    const Bytes file = BuildPng(raw);
    Bitmap out;
    return !TryDecodePngWhole(file.data(), file.size(), out);
  };
  RawPng with = rgb;
  with.ancillary = {Bytes{'t', 'R', 'N', 'S', 0, 1, 0, 2, 0, 3}};
  EXPECT_TRUE(declined(with)) << "tRNS";
  with.ancillary = {Bytes{'P', 'L', 'T', 'E', 1, 2, 3}};
  EXPECT_TRUE(declined(with)) << "a palette in an RGB file";
  with.ancillary = {Bytes{'a', 'c', 'T', 'L', 0, 0, 0, 1, 0, 0, 0, 0}};
  EXPECT_TRUE(declined(with)) << "animation";
  with = RandomRows(PNG_COLOR_TYPE_PALETTE, 20, 10, 3);
  with.ancillary = {Bytes{'P', 'L', 'T', 'E', 1, 2, 3}};
  EXPECT_TRUE(declined(with)) << "palette image";
  with = rgb;
  with.after_rows = {0, 1, 2, 3};
  EXPECT_TRUE(declined(with)) << "data after the rows (the normal reader ignores it)";
  with = rgb;
  with.drop_stream_end = true;
  EXPECT_TRUE(declined(with)) << "no checksum (the normal reader does without)";
  with = rgb;
  with.filtered.resize(with.filtered.size() - 1);
  EXPECT_TRUE(declined(with)) << "a sample short";
  with = rgb;
  with.filtered[with.filtered.size() / 2 / 61 * 61] = 5;
  EXPECT_TRUE(declined(with)) << "filter type 5";

  // 16-bit and interlaced: the same header bytes changed, CRC and all.
  Bytes file = BuildPng(rgb);
  for (const auto& [at, value] : {std::pair{24, 16}, std::pair{28, 1}}) {
    Bytes changed = file;
    changed[at] = static_cast<std::uint8_t>(value);
    const uLong crc = crc32(0, changed.data() + 12, 17);
    for (int i = 0; i < 4; ++i) changed[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    Bitmap out;
    EXPECT_FALSE(TryDecodePngWhole(changed.data(), changed.size(), out)) << "byte " << at;
  }
}

std::atomic<bool> memory_asked{false};

// A header claiming far more pixels than the file could hold, or more than the
// program accepts, is refused before the memory is even weighed, let alone taken; a
// picture larger than the memory there is is declined too.
TEST(PngWholeFileTest, DeclinesClaimedSizesBeforeWeighingMemory) {
  if (!PngWholeFileAvailable()) GTEST_SKIP() << "built without libdeflate";
  SetAvailableMemorySource([] {
    memory_asked = true;
    return std::optional<std::uint64_t>(std::uint64_t{1} << 50);
  });
  RawPng raw = RandomRows(PNG_COLOR_TYPE_RGBA, 4, 1, 1);
  for (auto [width, height] : {std::pair{40000u, 40000u}, std::pair{1u << 24, 1u << 24},
                               std::pair{1u << 24, 1u << 8}, std::pair{1u << 31, 1u}}) {
    raw.width = width, raw.height = height;
    const Bytes file = BuildPng(raw);
    Bitmap out;
    memory_asked = false;
    EXPECT_FALSE(TryDecodePngWhole(file.data(), file.size(), out)) << width << " x " << height;
    EXPECT_FALSE(memory_asked) << width << " x " << height;
  }
  SetAvailableMemorySource([] { return std::optional<std::uint64_t>(1000); });
  const Bytes small = BuildPng(RandomRows(PNG_COLOR_TYPE_RGB, 40, 40, 2));
  Bitmap out;
  EXPECT_FALSE(TryDecodePngWhole(small.data(), small.size(), out));
  SetAvailableMemorySource(nullptr);
  EXPECT_TRUE(TryDecodePngWhole(small.data(), small.size(), out));
}

Bytes ReadFile(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  Bytes data(static_cast<std::size_t>(fs::file_size(path)));
  const std::size_t got = std::fread(data.data(), 1, data.size(), f);
  std::fclose(f);
  data.resize(got);
  return data;
}

// Every public test PNG, and of each one it takes, cut copies and copies with one
// byte changed (the chunk's CRC made right again, so the change reaches the inflater
// and the filters): never a crash, never a picture that differs.
TEST(PngWholeFileTest, PublicFilesAndDamagedCopiesDecodeAsTheNormalReaderDoes) {
  if (!PngWholeFileAvailable()) GTEST_SKIP() << "built without libdeflate";
  const fs::path root = fs::path(ZELK_TESTDATA_DIR) / "png";
  if (!fs::exists(root)) GTEST_SKIP() << "no test data at " << root;
  int taken = 0, files = 0;
  std::mt19937 random(7);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".png") continue;
    ++files;
    const Bytes file = ReadFile(entry.path());
    const std::string name = entry.path().filename().string();
    if (!TakenAndSame(file, name)) continue;
    ++taken;
    for (std::size_t cut : {file.size() - 1, file.size() - 13, file.size() / 2, std::size_t{40}})
      if (cut < file.size()) TakenAndSame(Bytes(file.begin(), file.begin() + cut), name + " cut");
    for (int i = 0; i < 40; ++i) {
      Bytes changed = file;
      // Find the chunk holding a random byte past the header, change the byte, fix the CRC.
      const std::size_t target = 33 + random() % (file.size() - 33);
      std::size_t at = 33;
      while (at + 12 <= file.size()) {
        const std::uint32_t length = (std::uint32_t{file[at]} << 24) |
                                     (std::uint32_t{file[at + 1]} << 16) |
                                     (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
        if (length > file.size() - at - 12) break;
        if (target >= at + 8 && target < at + 8 + length) {
          changed[target] ^= static_cast<std::uint8_t>(1 + random() % 255);
          const uLong crc = crc32(0, changed.data() + at + 4, 4 + length);
          for (int k = 0; k < 4; ++k)
            changed[at + 8 + length + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
          break;
        }
        at += 12 + length;
      }
      TakenAndSame(changed, name + " changed at " + std::to_string(target));
    }
  }
  EXPECT_GT(files, 0);
  // PngSuite's 8-bit grey, grey+alpha, RGB and RGBA files at least.
  EXPECT_GE(taken, 4);
}

}  // namespace
}  // namespace zelk
