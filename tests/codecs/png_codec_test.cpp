// PNG reading and writing on files the tests make with libpng itself: every colour
// type and depth, interlaced or not, with and without tRNS, compared pixel by pixel
// with the source samples; damaged and hostile files; the writer's round trip.

#include <png.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "codecs/png_codec.h"

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What a test PNG holds: raw samples, one per channel, at the file's bit depth.
struct PngSource {
  int width = 1, height = 1;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  bool interlaced = false;
  std::vector<unsigned> samples;  // width * height * channels
  std::vector<png_color> palette;
  std::vector<png_byte> palette_alpha;  // tRNS of a palette image
  bool has_trans_colour = false;
  png_color_16 trans_colour{};  // tRNS of a grey or RGB image
};

int ChannelsOf(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

// Deterministic samples covering the whole range of the depth, with some repeats
// so that a tRNS colour actually occurs.
PngSource MakeSource(int colour_type, int depth, int width, int height, bool interlaced) {
  PngSource s;
  s.width = width, s.height = height, s.colour_type = colour_type, s.depth = depth;
  s.interlaced = interlaced;
  const unsigned max = (1u << depth) - 1;
  const int channels = ChannelsOf(colour_type);
  std::uint32_t seed = 12345u + colour_type * 31u + depth;
  for (int i = 0; i < width * height * channels; ++i) {
    seed = seed * 1103515245u + 12345u;
    unsigned v = (seed >> 8) % (max + 1);
    if (i % 7 == 0) v = max;  // opaque / full runs
    if (i % 11 == 0) v = 0;   // transparent / empty runs
    s.samples.push_back(v);
  }
  if (colour_type == PNG_COLOR_TYPE_PALETTE) {
    for (unsigned i = 0; i <= max; ++i)
      s.palette.push_back({static_cast<png_byte>(i * 37), static_cast<png_byte>(255 - i * 3),
                           static_cast<png_byte>(i * 91 + 5)});
  }
  return s;
}

void OnWrite(png_structp png, png_bytep data, std::size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// Packs the samples the way the PNG format stores them and lets libpng write them.
Bytes EncodePng(const PngSource& s) {
  Bytes file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(png, &file, OnWrite, nullptr);
  png_set_IHDR(png, info, s.width, s.height, s.depth, s.colour_type,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty())
    png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.palette_alpha.empty())
    png_set_tRNS(png, info, s.palette_alpha.data(), static_cast<int>(s.palette_alpha.size()),
                 nullptr);
  if (s.has_trans_colour) png_set_tRNS(png, info, nullptr, 0, &s.trans_colour);
  png_write_info(png, info);

  const int channels = ChannelsOf(s.colour_type);
  const std::size_t row_bits = static_cast<std::size_t>(s.width) * channels * s.depth;
  std::vector<Bytes> rows(s.height, Bytes((row_bits + 7) / 8, 0));
  for (int y = 0; y < s.height; ++y) {
    for (int i = 0; i < s.width * channels; ++i) {
      const unsigned v = s.samples[static_cast<std::size_t>(y) * s.width * channels + i];
      Bytes& row = rows[y];
      if (s.depth == 16) {
        row[i * 2] = static_cast<png_byte>(v >> 8);
        row[i * 2 + 1] = static_cast<png_byte>(v);
      } else if (s.depth == 8) {
        row[i] = static_cast<png_byte>(v);
      } else {
        const std::size_t bit = static_cast<std::size_t>(i) * s.depth;
        row[bit / 8] |= static_cast<png_byte>(v << (8 - s.depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return file;
}

unsigned To8(unsigned v, int depth) {
  if (depth == 16) return (v * 255 + 32767) / 65535;
  return v * 255 / ((1u << depth) - 1);
}

unsigned OverWhite(unsigned c, unsigned a) {
  return (a * c + (255 - a) * 255 + 127) / 255;
}

// The colour each pixel should have, worked out from the samples.
std::uint32_t ExpectedPixel(const PngSource& s, int x, int y) {
  const int channels = ChannelsOf(s.colour_type);
  const unsigned* p = &s.samples[(static_cast<std::size_t>(y) * s.width + x) * channels];
  unsigned r, g, b, a = 255;
  switch (s.colour_type) {
    case PNG_COLOR_TYPE_PALETTE:
      r = s.palette[p[0]].red, g = s.palette[p[0]].green, b = s.palette[p[0]].blue;
      if (p[0] < s.palette_alpha.size()) a = s.palette_alpha[p[0]];
      break;
    case PNG_COLOR_TYPE_GRAY:
      r = g = b = To8(p[0], s.depth);
      if (s.has_trans_colour && p[0] == s.trans_colour.gray) a = 0;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      r = g = b = To8(p[0], s.depth);
      a = To8(p[1], s.depth);
      break;
    case PNG_COLOR_TYPE_RGB:
      r = To8(p[0], s.depth), g = To8(p[1], s.depth), b = To8(p[2], s.depth);
      if (s.has_trans_colour && p[0] == s.trans_colour.red && p[1] == s.trans_colour.green &&
          p[2] == s.trans_colour.blue)
        a = 0;
      break;
    default:
      r = To8(p[0], s.depth), g = To8(p[1], s.depth), b = To8(p[2], s.depth);
      a = To8(p[3], s.depth);
  }
  return (OverWhite(r, a) << 16) | (OverWhite(g, a) << 8) | OverWhite(b, a);
}

void ExpectDecodesToSource(const PngSource& s) {
  const Bytes file = EncodePng(s);
  Bitmap out;
  ASSERT_NO_THROW(ReadPngBytes(file.data(), file.size(), out));
  ASSERT_EQ(out.Width(), s.width);
  ASSERT_EQ(out.Height(), s.height);
  int wrong = 0;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width && wrong < 5; ++x) {
      if (out.PixelRgb(x, y) != ExpectedPixel(s, x, y)) {
        ++wrong;
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << out.PixelRgb(x, y)
                      << " instead of " << ExpectedPixel(s, x, y);
      }
    }
    for (std::ptrdiff_t i = s.width * 3; i < out.Stride(); ++i)
      EXPECT_EQ(out.Row(y)[i], 0) << "row padding of row " << y;
  }
}

struct TypeDepth {
  int colour_type;
  int depth;
};
constexpr TypeDepth kAllFormats[] = {
    {PNG_COLOR_TYPE_GRAY, 1},       {PNG_COLOR_TYPE_GRAY, 2},        {PNG_COLOR_TYPE_GRAY, 4},
    {PNG_COLOR_TYPE_GRAY, 8},       {PNG_COLOR_TYPE_GRAY, 16},       {PNG_COLOR_TYPE_PALETTE, 1},
    {PNG_COLOR_TYPE_PALETTE, 2},    {PNG_COLOR_TYPE_PALETTE, 4},     {PNG_COLOR_TYPE_PALETTE, 8},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_RGB, 8},
    {PNG_COLOR_TYPE_RGB, 16},       {PNG_COLOR_TYPE_RGBA, 8},        {PNG_COLOR_TYPE_RGBA, 16}};

TEST(PngReadTest, EveryColourTypeAndDepthMatchesTheSourcePixelByPixel) {
  // Sizes chosen so that interlace passes are empty, partial and full, and rows need
  // padding.
  const int sizes[][2] = {{1, 1}, {3, 2}, {9, 13}, {33, 17}};
  for (const TypeDepth& format : kAllFormats) {
    for (bool interlaced : {false, true}) {
      for (const auto& size : sizes) {
        SCOPED_TRACE("colour type " + std::to_string(format.colour_type) + ", depth " +
                     std::to_string(format.depth) + (interlaced ? ", interlaced " : ", ") +
                     std::to_string(size[0]) + "x" + std::to_string(size[1]));
        ExpectDecodesToSource(
            MakeSource(format.colour_type, format.depth, size[0], size[1], interlaced));
      }
    }
  }
}

TEST(PngReadTest, TransparencyChunkMakesPixelsTransparentOrPartlyOverWhite) {
  for (bool interlaced : {false, true}) {
    for (int depth : {1, 2, 4, 8, 16}) {
      SCOPED_TRACE("grey depth " + std::to_string(depth) + (interlaced ? " interlaced" : ""));
      PngSource grey = MakeSource(PNG_COLOR_TYPE_GRAY, depth, 21, 11, interlaced);
      grey.has_trans_colour = true;
      grey.trans_colour.gray = static_cast<png_uint_16>((1u << depth) - 1);
      ExpectDecodesToSource(grey);
    }
    for (int depth : {8, 16}) {
      SCOPED_TRACE("RGB depth " + std::to_string(depth) + (interlaced ? " interlaced" : ""));
      PngSource rgb = MakeSource(PNG_COLOR_TYPE_RGB, depth, 21, 11, interlaced);
      // Make a few pixels the transparent colour.
      const unsigned max = (1u << depth) - 1;
      for (std::size_t i = 0; i + 2 < rgb.samples.size(); i += 3 * 5)
        rgb.samples[i] = max, rgb.samples[i + 1] = 0, rgb.samples[i + 2] = max;
      rgb.has_trans_colour = true;
      rgb.trans_colour.red = rgb.trans_colour.blue = static_cast<png_uint_16>(max);
      ExpectDecodesToSource(rgb);
    }
    for (int depth : {1, 4, 8}) {
      SCOPED_TRACE("palette depth " + std::to_string(depth) + (interlaced ? " interlaced" : ""));
      PngSource palette = MakeSource(PNG_COLOR_TYPE_PALETTE, depth, 21, 11, interlaced);
      // Fewer alpha entries than colours: the rest stay opaque.
      for (std::size_t i = 0; i + 1 < palette.palette.size() || i == 0; ++i)
        palette.palette_alpha.push_back(static_cast<png_byte>(i == 0 ? 0 : i * 97 % 256));
      ExpectDecodesToSource(palette);
    }
  }
}

TEST(PngReadTest, ReadsFromTheFilesCurrentPosition) {
  for (bool interlaced : {false, true}) {
    const PngSource s = MakeSource(PNG_COLOR_TYPE_RGBA, 8, 19, 7, interlaced);
    const Bytes png = EncodePng(s);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("junk", file);
    std::fwrite(png.data(), 1, png.size(), file);
    std::fseek(file, 4, SEEK_SET);
    Bitmap out;
    ASSERT_NO_THROW(ReadPngFile(file, out));
    std::fclose(file);
    EXPECT_EQ(out.PixelRgb(18, 6), ExpectedPixel(s, 18, 6));
  }
}

std::string ReadFailure(const Bytes& file) {
  Bitmap out;
  try {
    ReadPngBytes(file.data(), file.size(), out);
  } catch (const ImageError& e) {
    EXPECT_TRUE(out.Empty());
    return e.what();
  }
  return {};
}

TEST(PngReadTest, DamagedFilesFailWithAReasonAndNeverCrash) {
  const Bytes good = EncodePng(MakeSource(PNG_COLOR_TYPE_RGB, 8, 40, 30, false));
  EXPECT_EQ(ReadFailure({}), "not a PNG file");
  EXPECT_EQ(ReadFailure(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}), "not a PNG file");
  EXPECT_EQ(ReadFailure(Bytes(good.begin(), good.begin() + 5)), "not a PNG file");

  // Every truncation inside the header or the image data fails; the ones inside the
  // image data say that the file ended.
  const std::size_t idat_end = good.size() - 12;  // IEND is the last 12 bytes
  for (std::size_t cut = 8; cut < idat_end; cut += 7) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    EXPECT_EQ(ReadFailure(Bytes(good.begin(), good.begin() + cut)),
              "the file ends before the image data is complete");
  }

  Bytes bad_crc = good;
  bad_crc[29] ^= 0x01;  // the CRC of IHDR
  EXPECT_NE(ReadFailure(bad_crc).find("damaged"), std::string::npos);

  // Flipped bytes anywhere after the signature: load or fail cleanly.
  std::uint32_t seed = 7;
  for (int trial = 0; trial < 300; ++trial) {
    Bytes damaged = good;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1664525u + 1013904223u;
      damaged[8 + (seed >> 8) % (damaged.size() - 8)] ^= static_cast<std::uint8_t>(seed >> 24 | 1);
    }
    Bitmap out;
    try {
      ReadPngBytes(damaged.data(), damaged.size(), out);
      EXPECT_EQ(out.Width(), 40);
    } catch (const ImageError&) {
    }
  }
}

void AppendChunk(Bytes& file, const char* type, const Bytes& data) {
  const auto n = static_cast<std::uint32_t>(data.size());
  for (int shift : {24, 16, 8, 0}) file.push_back(static_cast<std::uint8_t>(n >> shift));
  const std::size_t start = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data.begin(), data.end());
  const uLong crc = crc32(0, file.data() + start, static_cast<uInt>(file.size() - start));
  for (int shift : {24, 16, 8, 0}) file.push_back(static_cast<std::uint8_t>(crc >> shift));
}

Bytes HeaderOnlyPng(std::uint32_t width, std::uint32_t height) {
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  for (std::uint32_t v : {width, height})
    for (int shift : {24, 16, 8, 0}) ihdr.push_back(static_cast<std::uint8_t>(v >> shift));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  AppendChunk(file, "IHDR", ihdr);
  AppendChunk(file, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
  AppendChunk(file, "IEND", {});
  return file;
}

// The reason for a failure, or "" and the pixels, decoding with or without the
// second thread.
std::string Decode(const Bytes& file, bool second_thread, Bitmap& out) {
  RasterReadOptions options;
  options.second_thread = second_thread;
  try {
    ReadPngBytes(file.data(), file.size(), out, options);
  } catch (const ImageError& e) {
    return e.what();
  }
  return {};
}

void ExpectBothWaysAlike(const Bytes& file, const std::string& reason) {
  Bitmap alone, shared;
  EXPECT_EQ(Decode(file, false, alone), reason);
  EXPECT_EQ(Decode(file, true, shared), reason);
  ASSERT_EQ(shared.Height(), alone.Height());
  for (int y = 0; y < alone.Height(); ++y)
    ASSERT_EQ(std::memcmp(shared.Row(y), alone.Row(y), alone.Stride()), 0) << "row " << y;
}

TEST(PngReadTest, TwoThreadRowsEqualLibpngsOverManyBatches) {
  // 1200 x 800: RGB and RGBA rows fill the ring of row batches more than once, the
  // other types take several batches.
  for (int type : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                   PNG_COLOR_TYPE_RGBA, PNG_COLOR_TYPE_PALETTE}) {
    SCOPED_TRACE("colour type " + std::to_string(type));
    PngSource source = MakeSource(type, 8, 1200, 800, false);
    ExpectBothWaysAlike(EncodePng(source), "");
    source.has_trans_colour = true;
    source.trans_colour = {0, 255, 0, 255, 0};
    if (type == PNG_COLOR_TYPE_PALETTE) source.palette_alpha = {0, 128, 255, 7};
    if (type != PNG_COLOR_TYPE_GRAY_ALPHA && type != PNG_COLOR_TYPE_RGBA)
      ExpectBothWaysAlike(EncodePng(source), "");
  }
}

// An RGB PNG of the given filtered rows (each row's filter byte first), its zlib
// stream cut into IDAT chunks of `chunk` bytes.
Bytes RawRgbPng(int width, int height, const Bytes& rows, std::size_t chunk) {
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  for (int v : {width, height})
    for (int shift : {24, 16, 8, 0}) ihdr.push_back(static_cast<std::uint8_t>(v >> shift));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  AppendChunk(file, "IHDR", ihdr);
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  Bytes z(size);
  EXPECT_EQ(compress2(z.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 6), Z_OK);
  for (std::size_t at = 0; at < size; at += chunk)
    AppendChunk(file, "IDAT",
                Bytes(z.begin() + at, z.begin() + std::min<std::size_t>(at + chunk, size)));
  AppendChunk(file, "IEND", {});
  return file;
}

TEST(PngReadTest, TwoThreadRowsFailAsLibpngDoes) {
  constexpr int kWidth = 5, kHeight = 4;
  Bytes rows;
  for (int y = 0; y < kHeight; ++y) {
    rows.push_back(static_cast<std::uint8_t>(y % 5));  // None, Sub, Up, Average
    for (int i = 0; i < kWidth * 3; ++i) rows.push_back(static_cast<std::uint8_t>(i * 29 + y));
  }
  const Bytes good = RawRgbPng(kWidth, kHeight, rows, 1 << 20);
  ExpectBothWaysAlike(good, "");
  // One-byte chunks decode alike.
  Bitmap one_chunk, tiny_chunks;
  Decode(good, true, one_chunk);
  ExpectBothWaysAlike(RawRgbPng(kWidth, kHeight, rows, 1), "");
  Decode(RawRgbPng(kWidth, kHeight, rows, 1), true, tiny_chunks);
  EXPECT_EQ(std::memcmp(one_chunk.Row(3), tiny_chunks.Row(3), kWidth * 3), 0);

  Bytes bad_filter = rows;
  bad_filter[(kWidth * 3 + 1) * 3] = 5;
  ExpectBothWaysAlike(RawRgbPng(kWidth, kHeight, bad_filter, 1 << 20),
                      "the PNG file is damaged: bad adaptive filter value");

  Bytes bad_crc = good;
  bad_crc[bad_crc.size() - 12 - 1] ^= 1;  // the IDAT's CRC, just before IEND
  ExpectBothWaysAlike(bad_crc, "the PNG file is damaged: IDAT: CRC error");

  const Bytes short_stream =
      RawRgbPng(kWidth, kHeight - 1, Bytes(rows.begin(), rows.end() - (kWidth * 3 + 1)), 1 << 20);
  Bytes claims_more = short_stream;  // the header says one more row than the data holds
  claims_more[8 + 8 + 7] = kHeight;
  const uLong crc = crc32(0, claims_more.data() + 12, 17);
  for (int i = 0; i < 4; ++i) claims_more[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  ExpectBothWaysAlike(claims_more, "the PNG file is damaged: Not enough image data");
}

TEST(PngReadTest, RowsWiderThanABatchDecodeInPiecesAsLibpngDoes) {
  // 200,001 RGB pixels: 600 KB a row, more than one piece, the last one partial;
  // every filter, each against a row above that was filtered differently.
  constexpr int kWidth = 200001, kHeight = 6;
  Bytes rows;
  for (int y = 0; y < kHeight; ++y) {
    rows.push_back(static_cast<std::uint8_t>(y % 5));
    for (int i = 0; i < kWidth * 3; ++i)
      rows.push_back(static_cast<std::uint8_t>((i * 29 + y * 7) ^ (i >> 9)));
  }
  ExpectBothWaysAlike(RawRgbPng(kWidth, kHeight, rows, 1 << 16), "");
  Bytes bad_filter = rows;
  bad_filter[static_cast<std::size_t>(kWidth * 3 + 1) * 4] = 9;
  ExpectBothWaysAlike(RawRgbPng(kWidth, kHeight, bad_filter, 1 << 16),
                      "the PNG file is damaged: bad adaptive filter value");
  // libpng's own choice of filters, with alpha and a grey + alpha pair of bytes.
  for (int type : {PNG_COLOR_TYPE_RGBA, PNG_COLOR_TYPE_GRAY_ALPHA}) {
    SCOPED_TRACE("colour type " + std::to_string(type));
    ExpectBothWaysAlike(EncodePng(MakeSource(type, 8, 300007, 3, false)), "");
  }
}

TEST(PngReadTest, HeadersClaimingHugeOrEmptyImagesAreRefusedBeforeAllocating) {
  // Up to 16 Mi pixels any file is decoded as far as it goes; beyond, the file must
  // hold 1/1032 of the pixel bytes, the most deflate can compress.
  EXPECT_EQ(ReadFailure(HeaderOnlyPng(4096, 4096)).find("far too short"), std::string::npos);
  EXPECT_NE(ReadFailure(HeaderOnlyPng(4097, 4096)).find("far too short for the 4097 x 4096"),
            std::string::npos);

  const std::string huge = ReadFailure(HeaderOnlyPng(100000, 100000));
  EXPECT_NE(huge.find("100000 x 100000"), std::string::npos) << huge;
  EXPECT_FALSE(ReadFailure(HeaderOnlyPng(0, 10)).empty());
  EXPECT_FALSE(ReadFailure(HeaderOnlyPng(0x80000000u, 1)).empty());

  // The old image stays when the header is refused.
  Bitmap out;
  out.Reset(2, 2);
  const Bytes file = HeaderOnlyPng(100000, 100000);
  EXPECT_THROW(ReadPngBytes(file.data(), file.size(), out), ImageError);
  EXPECT_EQ(out.Width(), 2);
}

TEST(PngReadTest, GigapixelImageOfOneColourLoads) {
  // 1-bit palette rows compress to a few hundred bytes each way: the file is small,
  // the bitmap 3 GiB.
  constexpr int kSide = 32768;
  Bytes file;
  {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ASSERT_FALSE(setjmp(png_jmpbuf(png)));
    png_set_write_fn(png, &file, OnWrite, nullptr);
    png_set_IHDR(png, info, kSide, kSide, 1, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colour = {10, 200, 30};
    png_set_PLTE(png, info, &colour, 1);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    const Bytes row(kSide / 8, 0);
    for (int y = 0; y < kSide; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
  }
  EXPECT_LT(file.size(), 8u << 20);
  Bitmap out;
  ASSERT_NO_THROW(ReadPngBytes(file.data(), file.size(), out));
  EXPECT_EQ(out.Width(), kSide);
  EXPECT_EQ(out.Height(), kSide);
  for (int y : {0, 12345, kSide - 1})
    for (int x : {0, 777, kSide - 1}) EXPECT_EQ(out.PixelRgb(x, y), 0x0AC81Eu);
}

TEST(PngReadTest, ProgressCountsEveryInterlacePassAndACancelStops) {
  for (bool interlaced : {false, true}) {
    const Bytes file = EncodePng(MakeSource(PNG_COLOR_TYPE_RGB_ALPHA, 8, 21, 11, interlaced));
    DecodeControl control;
    RasterReadOptions options;
    options.control = &control;
    Bitmap out;
    ReadPngBytes(file.data(), file.size(), out, options);
    EXPECT_EQ(control.rows_total, interlaced ? 7 * 11 : 11);
    EXPECT_EQ(control.rows_done, control.rows_total);

    control.cancel = true;
    EXPECT_THROW(ReadPngBytes(file.data(), file.size(), out, options), DecodeCancelled);
    EXPECT_TRUE(out.Empty());
  }
}

TEST(PngWriteTest, WritesEightBitRgbThatReadsBackExactly) {
  Bitmap image;
  image.Reset(37, 13);  // odd width: rows are padded
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 37; ++x)
      image.SetPixelRgb(x, y, static_cast<std::uint32_t>(x * 7919 + y * 104729) & 0xFFFFFF);

  for (int level : {0, 9}) {
    SCOPED_TRACE("zlib level " + std::to_string(level));
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    WritePng(image, file, level);
    Bytes written(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
    std::fclose(file);

    ASSERT_GT(written.size(), 41u);
    EXPECT_EQ(written[24], 8);  // bit depth
    EXPECT_EQ(written[25], 2);  // RGB
    EXPECT_EQ(written[28], 0);  // not interlaced
    // The zlib header of the first IDAT names the compression level class.
    const std::size_t idat = 33;
    ASSERT_EQ(std::memcmp(&written[idat + 4], "IDAT", 4), 0);
    EXPECT_EQ(written[idat + 9] >> 6, level == 9 ? 3 : 0);

    Bitmap back;
    ReadPngBytes(written.data(), written.size(), back);
    ASSERT_EQ(back.Width(), 37);
    ASSERT_EQ(back.Height(), 13);
    for (int y = 0; y < 13; ++y)
      EXPECT_EQ(std::memcmp(back.Row(y), image.Row(y), 37 * 3), 0) << "row " << y;
  }
}

TEST(PngWriteTest, RefusesWhatCannotBeWrittenAndReportsAFullDisk) {
  Bitmap empty;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_THROW(WritePng(empty, file), ImageError);
  Bitmap image;
  image.Reset(4, 4);
  EXPECT_THROW(WritePng(image, file, 10), ImageError);
  std::fclose(file);

  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  image.Reset(300, 300);
  try {
    WritePng(image, full);
    ADD_FAILURE() << "writing to a full disk succeeded";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOSPC);
  }
  std::fclose(full);
}

// The fast encoding reads rows through a step of either sign; every filter and level
// must give back the exact pixels, whatever the odd width does to the row padding.
TEST(PngFastEncodeTest, BottomUpRowsReadBackExactlyWithEveryFilterAndLevel) {
  constexpr int kW = 37, kH = 23;
  const std::ptrdiff_t stride = Bitmap::StrideFor(kW);
  Bytes bottom_up(static_cast<std::size_t>(stride) * kH, 0);
  std::uint32_t seed = 7;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < 3 * kW; ++x) {
      seed = seed * 1664525u + 1013904223u;
      bottom_up[static_cast<std::size_t>((kH - 1 - y) * stride + x)] =
          static_cast<std::uint8_t>(x % 5 == 0 ? seed >> 24 : x * y);
    }
  const BgrRows rows{bottom_up.data() + (kH - 1) * stride, -stride, kW, kH};
  for (const PngRowFilter filter : {PngRowFilter::kNone, PngRowFilter::kSub, PngRowFilter::kUp,
                                    PngRowFilter::kPaeth, PngRowFilter::kAdaptive})
    for (const int level : {0, 1, 9})
      for (const bool rle : {false, true}) {
        SCOPED_TRACE(testing::Message() << "filter " << static_cast<int>(filter) << " level "
                                        << level << " rle " << rle);
        Bytes png;
        const bool done = EncodePngFast(
            rows, {level, filter, rle},
            [&](const std::uint8_t* d, std::size_t n) { png.insert(png.end(), d, d + n); });
        ASSERT_TRUE(done);
        Bitmap back;
        ASSERT_NO_THROW(ReadPngBytes(png.data(), png.size(), back));
        ASSERT_EQ(back.Width(), kW);
        ASSERT_EQ(back.Height(), kH);
        for (int y = 0; y < kH; ++y)
          ASSERT_EQ(std::memcmp(back.Row(y), rows.first + y * rows.step, 3 * kW), 0) << y;
      }
}

TEST(PngFastEncodeTest, StopsBetweenRowsAndPassesOnTheSinksFailure) {
  Bytes pixels(static_cast<std::size_t>(Bitmap::StrideFor(64)) * 64, 0x55);
  const BgrRows rows{pixels.data(), Bitmap::StrideFor(64), 64, 64};
  std::size_t written = 0;
  const auto count = [&](const std::uint8_t*, std::size_t n) { written += n; };
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(EncodePngFast(rows, {}, count, &stop));

  struct SinkFull : std::runtime_error {
    SinkFull() : std::runtime_error("full") {}
  };
  EXPECT_THROW(EncodePngFast(rows, {}, [](const std::uint8_t*, std::size_t) { throw SinkFull(); }),
               SinkFull);
  EXPECT_THROW(EncodePngFast(rows, {10, PngRowFilter::kSub, false}, count), ImageError);
  EXPECT_THROW(EncodePngFast(BgrRows{}, {}, count), ImageError);
}

}  // namespace
}  // namespace zelk
