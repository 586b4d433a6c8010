// JPEG reading and writing on files the tests make with libjpeg itself: colour,
// greyscale, CMYK and YCCK (plain and Adobe-inverted), progressive, arithmetic and
// restart-marker files, compared with libjpeg's own decoding and with the source;
// truncated, damaged and hostile files; restart-marker files decoded in two
// stripes against the one-thread decode; the writer's output and its tables.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "codecs/jpeg_codec.h"
#include "codecs/jpeg_stripes.h"

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TestErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void TestErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TestErrors*>(cinfo->err)->jump, 1);
}
// Warnings are counted, never printed.
void Quiet(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}

// A smooth picture with some texture: what photographs look like to a codec.
std::uint32_t SourceRgb(int x, int y) {
  const unsigned r = std::min(255, x * 240 / 63 + (x * y) % 9);
  const unsigned g = std::min(255, y * 245 / 47 + (x ^ y) % 5);
  const unsigned b = std::min(255, (x + y) * 2);
  return (r << 16) | (g << 8) | b;
}

// Colour that changes along both axes everywhere, at any size: each row's chroma
// differs from its neighbours', so a row decoded without its true neighbours shows.
std::uint32_t BusyRgb(int x, int y) {
  const unsigned r = (x * 3 + y * 5) & 0xFF;
  const unsigned g = (x ^ (y * 7)) & 0xFF;
  const unsigned b = ((x / 4) * (y / 4) + y * 11) & 0xFF;
  return (r << 16) | (g << 8) | b;
}

struct EncodeOptions {
  int width = 64, height = 48;
  enum Kind { kColour, kGrey, kCmykPlain, kCmykAdobe, kYcck } kind = kColour;
  bool progressive = false;
  bool arithmetic = false;
  int restart_interval = 0;
  int restart_rows = 0;  // a restart marker after every this many MCU rows
  bool full_chroma = false;
  bool half_width_chroma = false;  // 4:2:2
  int quality = 95;
  std::vector<jpeg_scan_info> scans;  // a custom progressive scan script
  bool flat = false;                  // one colour: the fewest bytes a picture can take
  bool busy = false;                  // BusyRgb instead of SourceRgb
  bool optimize = false;              // optimal Huffman tables, as ImageMagick writes
};

// The ink of the source colour: grey component removal into K.
void Ink(std::uint32_t rgb, unsigned ink[4]) {
  const unsigned c = 255 - (rgb >> 16 & 0xFF), m = 255 - (rgb >> 8 & 0xFF), y = 255 - (rgb & 0xFF);
  const unsigned k = std::min({c, m, y}) / 2;
  // (255 - c') (255 - k) / 255 = 255 - c  =>  255 - c' = 255 (255 - c) / (255 - k)
  ink[0] = 255 - (255 * (255 - c) + (255 - k) / 2) / (255 - k);
  ink[1] = 255 - (255 * (255 - m) + (255 - k) / 2) / (255 - k);
  ink[2] = 255 - (255 * (255 - y) + (255 - k) / 2) / (255 - k);
  ink[3] = k;
}

Bytes EncodeJpegWithLibjpeg(const EncodeOptions& o) {
  jpeg_compress_struct cinfo;
  TestErrors errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = TestErrorExit;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    ADD_FAILURE() << "libjpeg could not write the test image";
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = o.width;
  cinfo.image_height = o.height;
  const bool cmyk = o.kind >= EncodeOptions::kCmykPlain;
  cinfo.input_components = o.kind == EncodeOptions::kGrey ? 1 : cmyk ? 4 : 3;
  cinfo.in_color_space = o.kind == EncodeOptions::kGrey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (o.kind == EncodeOptions::kYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  if (o.kind == EncodeOptions::kCmykPlain) cinfo.write_Adobe_marker = FALSE;
  jpeg_set_quality(&cinfo, o.quality, TRUE);
  if (o.full_chroma || cmyk)
    for (int i = 0; i < cinfo.num_components; ++i)
      cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
  if (o.half_width_chroma) cinfo.comp_info[0].v_samp_factor = 1;
  if (o.progressive) jpeg_simple_progression(&cinfo);
  if (!o.scans.empty()) {
    cinfo.scan_info = o.scans.data();
    cinfo.num_scans = static_cast<int>(o.scans.size());
  }
  cinfo.arith_code = o.arithmetic ? TRUE : FALSE;
  cinfo.optimize_coding = o.optimize ? TRUE : FALSE;
  cinfo.restart_interval = static_cast<unsigned>(o.restart_interval);
  cinfo.restart_in_rows = o.restart_rows;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(o.width) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < o.width; ++x) {
      const std::uint32_t rgb = o.flat ? 0x336699 : o.busy ? BusyRgb(x, y) : SourceRgb(x, y);
      JSAMPLE* p = &row[static_cast<std::size_t>(x) * cinfo.input_components];
      if (o.kind == EncodeOptions::kGrey) {
        p[0] = static_cast<JSAMPLE>(rgb >> 8);
      } else if (cmyk) {
        unsigned ink[4];
        Ink(rgb, ink);
        const bool inverted = o.kind != EncodeOptions::kCmykPlain;  // Adobe's convention
        for (int i = 0; i < 4; ++i) p[i] = static_cast<JSAMPLE>(inverted ? 255 - ink[i] : ink[i]);
      } else {
        p[0] = static_cast<JSAMPLE>(rgb >> 16), p[1] = static_cast<JSAMPLE>(rgb >> 8);
        p[2] = static_cast<JSAMPLE>(rgb);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes file(buffer, buffer + size);
  std::free(buffer);
  return file;
}

// libjpeg's own decoding with its defaults (accurate DCT, smooth upsampling), RGB.
Bytes DecodeWithLibjpeg(const Bytes& file, int& width, int& height, long* warnings = nullptr) {
  jpeg_decompress_struct cinfo;
  TestErrors errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = TestErrorExit;
  errors.pub.emit_message = Quiet;
  Bytes pixels;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    ADD_FAILURE() << "libjpeg could not decode the test image";
    return {};
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  width = static_cast<int>(cinfo.output_width);
  height = static_cast<int>(cinfo.output_height);
  pixels.resize(static_cast<std::size_t>(width) * height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &pixels[static_cast<std::size_t>(cinfo.output_scanline) * width * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  if (warnings != nullptr) *warnings = errors.pub.num_warnings;
  jpeg_destroy_decompress(&cinfo);
  return pixels;
}

// Rows [0, rows) of out equal libjpeg's own decoding of file.
void ExpectSameAsLibjpeg(const Bytes& file, const Bitmap& out, int rows) {
  int width = 0, height = 0;
  const Bytes reference = DecodeWithLibjpeg(file, width, height);
  ASSERT_EQ(out.Width(), width);
  ASSERT_EQ(out.Height(), height);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = &reference[(static_cast<std::size_t>(y) * width + x) * 3];
      const std::uint32_t expected = (p[0] << 16) | (p[1] << 8) | p[2];
      if (out.PixelRgb(x, y) != expected) {
        ADD_FAILURE() << "pixel " << x << "," << y << " differs from libjpeg's decoding";
        return;
      }
    }
  }
}

// Largest difference of any channel from the source picture.
int MaxErrorFromSource(const Bitmap& out, bool grey) {
  int worst = 0;
  for (int y = 0; y < out.Height(); ++y) {
    for (int x = 0; x < out.Width(); ++x) {
      std::uint32_t want = SourceRgb(x, y);
      if (grey) want = (want >> 8 & 0xFF) * 0x010101u;
      const std::uint32_t got = out.PixelRgb(x, y);
      for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(static_cast<int>(got >> shift & 0xFF) -
                                         static_cast<int>(want >> shift & 0xFF)));
    }
  }
  return worst;
}

Bitmap Decode(const Bytes& file) {
  Bitmap out;
  ReadJpegBytes(file.data(), file.size(), out);
  return out;
}

TEST(JpegReadTest, ColourAndGreyFilesDecodeExactlyAsLibjpegDoes) {
  struct Case {
    const char* name;
    EncodeOptions options;
  };
  std::vector<Case> cases;
  EncodeOptions o;
  cases.push_back({"baseline 4:2:0", o});
  o.width = 37, o.height = 23;  // partial blocks, padded rows
  cases.push_back({"odd size", o});
  o.full_chroma = true;
  cases.push_back({"4:4:4", o});
  o = {};
  o.kind = EncodeOptions::kGrey;
  cases.push_back({"greyscale", o});
  o = {};
  o.progressive = true;
  cases.push_back({"progressive", o});
  o.kind = EncodeOptions::kGrey;
  cases.push_back({"progressive greyscale", o});
  o = {};
  o.restart_interval = 1;
  cases.push_back({"restart after every MCU", o});
  o.restart_interval = 3;
  o.arithmetic = true;
  cases.push_back({"arithmetic coding with restarts", o});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = EncodeJpegWithLibjpeg(c.options);
    Bitmap out;
    ASSERT_NO_THROW(out = Decode(file));
    ExpectSameAsLibjpeg(file, out, out.Height());
    EXPECT_LE(MaxErrorFromSource(out, c.options.kind == EncodeOptions::kGrey), 24);
    for (int y = 0; y < out.Height(); ++y)
      for (std::ptrdiff_t i = out.Width() * 3; i < out.Stride(); ++i)
        ASSERT_EQ(out.Row(y)[i], 0) << "row padding";
  }
}

TEST(JpegReadTest, CmykAndYcckFilesLoadAsTheirColoursWithAdobeInversion) {
  for (auto kind : {EncodeOptions::kCmykPlain, EncodeOptions::kCmykAdobe, EncodeOptions::kYcck}) {
    SCOPED_TRACE(kind == EncodeOptions::kCmykPlain   ? "plain CMYK"
                 : kind == EncodeOptions::kCmykAdobe ? "Adobe inverted CMYK"
                                                     : "Adobe YCCK");
    EncodeOptions o;
    o.kind = kind;
    o.quality = 100;
    const Bitmap out = Decode(EncodeJpegWithLibjpeg(o));
    ASSERT_EQ(out.Width(), 64);
    EXPECT_LE(MaxErrorFromSource(out, false), 8);
  }
}

Bytes Truncated(const Bytes& file, std::size_t size) {
  return Bytes(file.begin(), file.begin() + size);
}

std::string ReadFailure(const Bytes& file) {
  try {
    Decode(file);
  } catch (const ImageError& e) {
    return e.what();
  }
  return {};
}

bool RowIsWhite(const Bitmap& image, int y) {
  for (int x = 0; x < image.Width(); ++x)
    if (image.PixelRgb(x, y) != 0xFFFFFF) return false;
  return true;
}

// Where the n-th scan header (from 1) starts; 0 when there is none.
std::size_t ScanStart(const Bytes& file, int n) {
  int seen = 0;
  for (std::size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xDA && ++seen == n) return i;
  return 0;
}

TEST(JpegReadTest, TruncatedFilesShowWhatWasDecodedAndDamagedOnesFailCleanly) {
  EncodeOptions o;
  o.width = 128, o.height = 128;
  const Bytes baseline = EncodeJpegWithLibjpeg(o);
  // Cut in the second half of the entropy data: the top quarter is complete and
  // equals the full decoding; the part never reached is white, not libjpeg's grey.
  const Bitmap partial = Decode(Truncated(baseline, baseline.size() * 3 / 4));
  ExpectSameAsLibjpeg(baseline, partial, 32);
  EXPECT_TRUE(RowIsWhite(partial, 127));
  for (auto kind : {EncodeOptions::kGrey, EncodeOptions::kCmykAdobe, EncodeOptions::kYcck}) {
    EncodeOptions other = o;
    other.kind = kind;
    const Bytes file = EncodeJpegWithLibjpeg(other);
    EXPECT_TRUE(RowIsWhite(Decode(Truncated(file, file.size() * 3 / 4)), 127)) << kind;
  }

  o.progressive = true;
  const Bytes progressive = EncodeJpegWithLibjpeg(o);
  Bitmap out;
  EXPECT_NO_THROW(out = Decode(Truncated(progressive, progressive.size() * 3 / 4)));
  EXPECT_EQ(out.Width(), 128);
  // Cut in a later scan every block has a picture; cut in the first, the rest is white.
  EXPECT_FALSE(RowIsWhite(out, 127));
  const std::size_t first_scan = ScanStart(progressive, 1), second_scan = ScanStart(progressive, 2);
  ASSERT_GT(second_scan, first_scan + 40);
  out = Decode(Truncated(progressive, (first_scan + second_scan) / 2));
  EXPECT_FALSE(RowIsWhite(out, 0));
  EXPECT_TRUE(RowIsWhite(out, 127));

  EXPECT_EQ(ReadFailure({}), "not a JPEG file");
  EXPECT_EQ(ReadFailure(Bytes{'G', 'I', 'F', '8'}), "not a JPEG file");
  // Cut inside the header: no image to show.
  for (std::size_t cut : {std::size_t{2}, std::size_t{20}, std::size_t{150}})
    EXPECT_EQ(ReadFailure(Truncated(baseline, cut)),
              "the file ends before the image data is complete")
        << "cut at " << cut;

  // Flipped bytes anywhere: load or fail with a reason.
  std::uint32_t seed = 99;
  for (const Bytes* good : {&baseline, &progressive}) {
    for (int trial = 0; trial < 200; ++trial) {
      Bytes damaged = *good;
      for (int k = 0; k < 4; ++k) {
        seed = seed * 1664525u + 1013904223u;
        damaged[(seed >> 8) % damaged.size()] ^= static_cast<std::uint8_t>(seed >> 24 | 1);
      }
      try {
        Decode(damaged);
      } catch (const ImageError& e) {
        EXPECT_GT(std::strlen(e.what()), 0u);
      }
    }
  }
}

TEST(JpegReadTest, LargePicturesMustComeWithAShareOfTheirBytes) {
  // Just over 16 Mi pixels of one colour with optimal tables: 2 bits a block, the
  // least real encoders write. It opens whole and cut to a tenth (the rest white);
  // cut to a twentieth it holds fewer bytes than a byte per 64 blocks.
  EncodeOptions o;
  o.width = 8192, o.height = 2080;
  o.kind = EncodeOptions::kGrey;
  o.flat = o.optimize = true;
  const Bytes flat = EncodeJpegWithLibjpeg(o);
  Bitmap out = Decode(flat);
  EXPECT_EQ(out.PixelRgb(8191, 2079), out.PixelRgb(0, 0));
  out = Decode(Truncated(flat, flat.size() / 10));
  EXPECT_TRUE(RowIsWhite(out, 2079));
  EXPECT_FALSE(RowIsWhite(out, 0));
  out.Release();
  EXPECT_NE(
      ReadFailure(Truncated(flat, flat.size() / 20)).find("far too short for the 8192 x 2080"),
      std::string::npos);

  // Arithmetic coding packs the whole picture into a few hundred bytes: no bound.
  o.kind = EncodeOptions::kColour;
  o.optimize = false;
  o.arithmetic = true;
  const Bytes arithmetic = EncodeJpegWithLibjpeg(o);
  EXPECT_LT(arithmetic.size(), 2000u);
  out = Decode(arithmetic);
  EXPECT_EQ(out.PixelRgb(8191, 2079), out.PixelRgb(0, 0));
}

TEST(JpegReadTest, ProgressCountsEveryPassAndACancelStops) {
  EncodeOptions o;
  for (bool progressive : {false, true}) {
    o.progressive = progressive;
    const Bytes file = EncodeJpegWithLibjpeg(o);
    DecodeControl control;
    RasterReadOptions options;
    options.control = &control;
    Bitmap out;
    ReadJpegBytes(file.data(), file.size(), out, options);
    EXPECT_EQ(control.rows_done, control.rows_total);
    // A progressive file's scans count as passes besides the output.
    if (progressive) {
      EXPECT_GT(control.rows_total, 2 * o.height);
    } else {
      EXPECT_EQ(control.rows_total, o.height);
    }

    control.cancel = true;
    out.Reset(2, 2);
    EXPECT_THROW(ReadJpegBytes(file.data(), file.size(), out, options), DecodeCancelled);
    EXPECT_TRUE(out.Empty());
  }
}

// Sets the frame size in the SOF marker of a JPEG made by libjpeg.
void SetFrameSize(Bytes& file, unsigned width, unsigned height) {
  for (std::size_t i = 2; i + 9 < file.size(); ++i) {
    if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
      file[i + 5] = static_cast<std::uint8_t>(height >> 8),
               file[i + 6] = static_cast<std::uint8_t>(height);
      file[i + 7] = static_cast<std::uint8_t>(width >> 8),
               file[i + 8] = static_cast<std::uint8_t>(width);
      return;
    }
  }
  ADD_FAILURE() << "no frame header";
}

// A progressive script of one scan per coefficient, component and bit: valid, and
// as long as wanted.
std::vector<jpeg_scan_info> ScanScript(int first_bit) {
  std::vector<jpeg_scan_info> scans;
  scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k < 64; ++k) {
      scans.push_back({1, {c, 0, 0, 0}, k, k, 0, first_bit});
      for (int bit = first_bit; bit > 0; --bit)
        scans.push_back({1, {c, 0, 0, 0}, k, k, bit, bit - 1});
    }
  }
  return scans;
}

TEST(JpegReadTest, HostileSizesAndScanCountsAreRefused) {
  Bytes file = EncodeJpegWithLibjpeg({});
  SetFrameSize(file, 65000, 65000);
  Bitmap out;
  out.Reset(3, 3);
  try {
    ReadJpegBytes(file.data(), file.size(), out);
    ADD_FAILURE() << "a 65000 x 65000 image was accepted";
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find("65000 x 65000"), std::string::npos) << e.what();
  }
  EXPECT_EQ(out.Width(), 3);  // refused before the old image was touched

  EncodeOptions o;
  o.width = o.height = 16;
  o.full_chroma = true;
  o.scans = ScanScript(4);  // 946 scans: unusual but allowed
  ASSERT_GT(o.scans.size(), 900u);
  EXPECT_NO_THROW(Decode(EncodeJpegWithLibjpeg(o)));
  o.scans = ScanScript(6);  // 1324 scans
  EXPECT_NE(ReadFailure(EncodeJpegWithLibjpeg(o)).find("progressive scans"), std::string::npos);
}

TEST(JpegReadTest, ReadsFromTheFilesCurrentPosition) {
  const Bytes jpeg = EncodeJpegWithLibjpeg({});
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("xyz", file);
  std::fwrite(jpeg.data(), 1, jpeg.size(), file);
  std::fseek(file, 3, SEEK_SET);
  Bitmap out;
  ASSERT_NO_THROW(ReadJpegFile(file, out));
  std::fclose(file);
  ExpectSameAsLibjpeg(jpeg, out, out.Height());
}

// Restart-marker files large enough to be decoded in two stripes: odd sizes, so
// that the last MCU row and column are partial.
EncodeOptions StripedFile() {
  EncodeOptions o;
  o.width = 1203, o.height = 899;
  o.quality = 90;
  o.restart_rows = 1;
  o.busy = true;
  return o;
}

struct StripedCase {
  const char* name;
  EncodeOptions options;
};

std::vector<StripedCase> StripedCases() {
  std::vector<StripedCase> cases;
  EncodeOptions o = StripedFile();
  cases.push_back({"4:2:0, a marker every MCU row", o});
  o.restart_rows = 0, o.restart_interval = 7;  // the seam needs a row divisible by 7
  o.half_width_chroma = true;
  cases.push_back({"4:2:2, a marker every 7 MCUs", o});
  o = StripedFile();
  o.full_chroma = true, o.restart_rows = 4;
  cases.push_back({"4:4:4, a marker every 4 MCU rows", o});
  o = StripedFile();
  o.kind = EncodeOptions::kGrey, o.restart_rows = 0, o.restart_interval = 3;
  cases.push_back({"grey, a marker every 3 blocks", o});
  o = StripedFile();
  o.kind = EncodeOptions::kCmykAdobe;
  cases.push_back({"Adobe CMYK, a marker every MCU row", o});
  return cases;
}

struct Decoded {
  Bitmap image;
  std::string failure;  // empty when it loaded
};

// The reader's result with or without the second thread, from memory or through a
// file.
Decoded DecodeWith(const Bytes& file, bool second_thread, bool through_file = false) {
  RasterReadOptions options;
  options.second_thread = second_thread;
  Decoded result;
  std::FILE* stream = nullptr;
  try {
    if (through_file) {
      stream = std::tmpfile();
      if (stream == nullptr) throw ImageError("no temporary file");
      std::fwrite(file.data(), 1, file.size(), stream);
      std::rewind(stream);
      ReadJpegFile(stream, result.image, options);
    } else {
      ReadJpegBytes(file.data(), file.size(), result.image, options);
    }
  } catch (const ImageError& e) {
    result.failure = e.what();
  }
  if (stream != nullptr) std::fclose(stream);
  return result;
}

// Every byte of every row, padding included.
::testing::AssertionResult SameBytes(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return ::testing::AssertionFailure() << "sizes differ";
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.Row(y), b.Row(y), static_cast<std::size_t>(a.Stride())) != 0)
      return ::testing::AssertionFailure() << "row " << y << " differs";
  return ::testing::AssertionSuccess();
}

// A file read through stdio takes the same way as one in memory once its header
// promises a seam, so both are compared with the one-thread decode of both.
void ExpectSameAsOneThread(const Bytes& file) {
  const Decoded alone = DecodeWith(file, false);
  const Decoded alone_from_file = DecodeWith(file, false, true);
  EXPECT_EQ(alone_from_file.failure, alone.failure);
  EXPECT_TRUE(SameBytes(alone_from_file.image, alone.image));
  for (bool through_file : {false, true}) {
    SCOPED_TRACE(through_file ? "through a file" : "from memory");
    const Decoded striped = DecodeWith(file, true, through_file);
    EXPECT_EQ(striped.failure, alone.failure);
    EXPECT_TRUE(SameBytes(striped.image, alone.image));
  }
}

TEST(JpegStripesTest, StripedDecodingEqualsTheOneThreadDecodeByteForByte) {
  for (const StripedCase& c : StripedCases()) {
    SCOPED_TRACE(c.name);
    const Bytes file = EncodeJpegWithLibjpeg(c.options);
    ASSERT_GE(std::int64_t{c.options.width} * c.options.height, kMinJpegStripePixels);
    const std::optional<JpegStripePlan> plan =
        PlanJpegStripes(file.data(), file.size(), kMinJpegStripePixels);
    ASSERT_TRUE(plan.has_value());
    EXPECT_GT(plan->seam_imcu_row * 3, plan->imcu_rows);
    EXPECT_LT(plan->seam_imcu_row * 3, plan->imcu_rows * 2);
    ExpectSameAsOneThread(file);
  }
}

// The lower stripe's stream is a valid JPEG in its own right: libjpeg decodes it
// without a warning (so the restart markers are numbered as it expects), and from
// its second iMCU row on, it gives the rows of the whole picture below the seam.
TEST(JpegStripesTest, TheLowerStreamDecodesToTheRowsBelowTheSeam) {
  for (const StripedCase& c : StripedCases()) {
    if (c.options.kind == EncodeOptions::kCmykAdobe) continue;  // libjpeg gives no RGB
    SCOPED_TRACE(c.name);
    const Bytes file = EncodeJpegWithLibjpeg(c.options);
    const std::optional<JpegStripePlan> plan = PlanJpegStripes(file.data(), file.size(), 0);
    ASSERT_TRUE(plan.has_value());
    const Bytes lower = LowerStripeStream(file.data(), file.size(), *plan);
    int width = 0, height = 0, lower_width = 0, lower_height = 0;
    long warnings = -1;
    const Bytes whole = DecodeWithLibjpeg(file, width, height);
    const Bytes part = DecodeWithLibjpeg(lower, lower_width, lower_height, &warnings);
    EXPECT_EQ(warnings, 0);
    ASSERT_EQ(lower_width, width);
    ASSERT_EQ(lower_height, height - plan->seam_imcu_row * plan->imcu_height);
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
    const std::size_t skipped = row_bytes * plan->imcu_height;
    EXPECT_TRUE(std::equal(part.begin() + static_cast<std::ptrdiff_t>(skipped), part.end(),
                           whole.end() - static_cast<std::ptrdiff_t>(part.size() - skipped)));
  }
}

TEST(JpegStripesTest, OnlyWellFormedSingleScanRestartFilesAreCut) {
  EncodeOptions o = StripedFile();
  const Bytes good = EncodeJpegWithLibjpeg(o);
  ASSERT_TRUE(PlanJpegStripes(good.data(), good.size(), kMinJpegStripePixels).has_value());
  const auto cut = [](const Bytes& file) {
    return PlanJpegStripes(file.data(), file.size(), 0).has_value();
  };
  EXPECT_FALSE(PlanJpegStripes(good.data(), good.size(), std::int64_t{1203} * 899 + 1));
  o.restart_rows = 0;
  EXPECT_FALSE(cut(EncodeJpegWithLibjpeg(o))) << "no restart markers";
  o.restart_rows = 1;
  o.progressive = true;
  EXPECT_FALSE(cut(EncodeJpegWithLibjpeg(o))) << "progressive";
  o.progressive = false;
  o.arithmetic = true;
  EXPECT_FALSE(cut(EncodeJpegWithLibjpeg(o))) << "arithmetic";
  o = StripedFile();
  o.restart_rows = 50;  // the only seam is far from the middle
  EXPECT_FALSE(cut(EncodeJpegWithLibjpeg(o)));
  EXPECT_FALSE(cut(Truncated(good, good.size() - 1))) << "no EOI";
  EXPECT_FALSE(cut(Truncated(good, good.size() / 2)));

  // A marker out of turn or missing anywhere, also after the seam.
  std::vector<std::size_t> markers;
  for (std::size_t i = ScanStart(good, 1); i + 1 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] >= 0xD0 && good[i + 1] <= 0xD7) markers.push_back(i + 1);
  ASSERT_GT(markers.size(), 50u);
  for (std::size_t at : {markers[3], markers[markers.size() * 3 / 4]}) {
    Bytes renumbered = good;
    renumbered[at] = static_cast<std::uint8_t>(0xD0 + (renumbered[at] - 0xD0 + 3) % 8);
    EXPECT_FALSE(cut(renumbered));
    Bytes lost = good;
    lost[at] = 0x00;  // now a stuffed 0xFF byte of the data
    EXPECT_FALSE(cut(lost));
  }
}

// Whatever is wrong with a file, two threads give what one gives: the same pixels
// (the unread part white from the same row) or the same reason.
TEST(JpegStripesTest, TruncatedAndDamagedFilesGiveTheOneThreadResult) {
  for (const StripedCase& c : StripedCases()) {
    if (c.options.kind != EncodeOptions::kColour) continue;
    SCOPED_TRACE(c.name);
    const Bytes file = EncodeJpegWithLibjpeg(c.options);
    for (std::size_t size :
         {file.size() - 1, file.size() * 3 / 4, file.size() / 2, file.size() / 4}) {
      SCOPED_TRACE("cut to " + std::to_string(size));
      ExpectSameAsOneThread(Truncated(file, size));
    }
    // Damaged entropy data that leaves the markers alone, so the file is still cut:
    // the damage stays within its restart interval, and where it makes the decoder
    // run into the next marker, that row on is whitened as one thread does it.
    const std::size_t data_start = ScanStart(file, 1) + 20;
    std::uint32_t seed = 7;
    for (int trial = 0; trial < 8; ++trial) {
      Bytes damaged = file;
      for (int k = 0; k < 3; ++k) {
        seed = seed * 1664525u + 1013904223u;
        const std::size_t at = data_start + (seed >> 8) % (file.size() - data_start - 2);
        const auto flipped = static_cast<std::uint8_t>(damaged[at] ^ (seed >> 24 | 1));
        if (damaged[at] == 0xFF || damaged[at - 1] == 0xFF || flipped == 0xFF) continue;
        damaged[at] = flipped;
      }
      SCOPED_TRACE("trial " + std::to_string(trial));
      ASSERT_TRUE(PlanJpegStripes(damaged.data(), damaged.size(), 0).has_value());
      ExpectSameAsOneThread(damaged);
    }
  }
}

// Without restart markers the lower stripe entropy-decodes the rows above its seam
// and decodes from there: the same bytes, whole or cut, in every sampling.
TEST(JpegStripesTest, FilesWithoutRestartMarkersDecodeAsOnOneThread) {
  for (StripedCase c : StripedCases()) {
    c.options.restart_rows = 0, c.options.restart_interval = 0;
    SCOPED_TRACE(c.name);
    const Bytes file = EncodeJpegWithLibjpeg(c.options);
    ASSERT_FALSE(PlanJpegStripes(file.data(), file.size(), 0).has_value());
    ExpectSameAsOneThread(file);
    if (c.options.kind == EncodeOptions::kColour && !c.options.full_chroma) {
      for (std::size_t size : {file.size() - 1, file.size() * 7 / 10, file.size() / 3})
        ExpectSameAsOneThread(Truncated(file, size));
    }
  }
}

TEST(JpegStripesTest, ProgressCountsBothStripesAndACancelStopsBoth) {
  const Bytes file = EncodeJpegWithLibjpeg(StripedFile());
  DecodeControl control;
  RasterReadOptions options;
  options.control = &control;
  Bitmap out;
  ReadJpegBytes(file.data(), file.size(), out, options);
  EXPECT_EQ(control.rows_done, out.Height());
  EXPECT_EQ(control.rows_total, out.Height());

  control.cancel = true;
  EXPECT_THROW(ReadJpegBytes(file.data(), file.size(), out, options), DecodeCancelled);
  EXPECT_TRUE(out.Empty());

  // Cancelled while both stripes are under way.
  control.cancel = false;
  control.rows_done = 0;
  std::thread canceller([&] {
    while (control.rows_done.load() == 0) std::this_thread::yield();
    control.cancel = true;
  });
  try {
    ReadJpegBytes(file.data(), file.size(), out, options);
    EXPECT_EQ(out.Height(), 899);  // finished before the cancel came
  } catch (const DecodeCancelled&) {
    EXPECT_TRUE(out.Empty());
  }
  canceller.join();
}

Bytes WriteToMemory(const Bitmap& image, int quality) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return {};
  WriteJpeg(image, file, quality);
  Bytes written(static_cast<std::size_t>(std::ftell(file)));
  std::rewind(file);
  EXPECT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
  std::fclose(file);
  return written;
}

TEST(JpegWriteTest, WritesBaselineColourWithLibjpegsQuality90Tables) {
  Bitmap image;
  image.Reset(61, 37);
  for (int y = 0; y < 37; ++y)
    for (int x = 0; x < 61; ++x) image.SetPixelRgb(x, y, SourceRgb(x, y));
  const Bytes file = WriteToMemory(image, 90);

  // Baseline frame, three components.
  bool baseline = false;
  for (std::size_t i = 0; i + 9 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xC0 && file[i + 9] == 3) baseline = true;
  EXPECT_TRUE(baseline);

  const Bitmap back = Decode(file);
  ASSERT_EQ(back.Width(), 61);
  ASSERT_EQ(back.Height(), 37);
  EXPECT_LE(MaxErrorFromSource(back, false), 32);

  // The tables in the file are the ones libjpeg makes for quality 90.
  jpeg_compress_struct fresh;
  jpeg_error_mgr fresh_errors;
  fresh.err = jpeg_std_error(&fresh_errors);
  jpeg_create_compress(&fresh);
  fresh.in_color_space = JCS_RGB;
  jpeg_set_defaults(&fresh);
  jpeg_set_quality(&fresh, 90, TRUE);

  jpeg_decompress_struct read;
  jpeg_error_mgr read_errors;
  read.err = jpeg_std_error(&read_errors);
  jpeg_create_decompress(&read);
  jpeg_mem_src(&read, file.data(), file.size());
  ASSERT_EQ(jpeg_read_header(&read, TRUE), JPEG_HEADER_OK);
  EXPECT_EQ(read.jpeg_color_space, JCS_YCbCr);
  EXPECT_FALSE(read.progressive_mode);
  for (int t = 0; t < 2; ++t) {
    ASSERT_NE(read.quant_tbl_ptrs[t], nullptr);
    for (int i = 0; i < DCTSIZE2; ++i)
      EXPECT_EQ(read.quant_tbl_ptrs[t]->quantval[i], fresh.quant_tbl_ptrs[t]->quantval[i])
          << "table " << t << " entry " << i;
  }
  jpeg_destroy_decompress(&read);
  jpeg_destroy_compress(&fresh);
}

TEST(JpegWriteTest, RefusesWhatCannotBeWrittenAndReportsAFullDisk) {
  Bitmap empty;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_THROW(WriteJpeg(empty, file), ImageError);
  Bitmap image;
  image.Reset(70000, 1);  // wider than JPEG allows
  EXPECT_THROW(WriteJpeg(image, file), ImageError);
  image.Reset(8, 8);
  EXPECT_THROW(WriteJpeg(image, file, 0), ImageError);
  std::fclose(file);

  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  image.Reset(400, 400);
  try {
    WriteJpeg(image, full);
    ADD_FAILURE() << "writing to a full disk succeeded";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOSPC);
  }
  std::fclose(full);
}

}  // namespace
}  // namespace zelk
