// Writes the seed corpora of the fuzz targets: small valid files of every variant
// the readers know, made with the program's own writers and with the byte layouts
// the decoder tests build, plus short texts for the text surfaces.
//
//   zelk_fuzz_make_seeds <corpus folder>
//
// Each target's seeds go to <corpus folder>/<target>/; existing files are replaced.

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "codecs/bmp_writer.h"
#include "codecs/jpeg_codec.h"
#include "codecs/metafile_writer.h"
#include "codecs/png_codec.h"
#include "core/text/colour_ranges.h"
#include "metafile_test_support.h"

namespace {

using zelk::Bitmap;
using zelk::test::Bytes;
using zelk::test::Put16;
using zelk::test::Put32;
using zelk::test::WriteToBytes;
namespace fs = std::filesystem;

fs::path g_root;

void Save(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = g_root / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void SaveText(const std::string& target, const std::string& name, const std::string& text) {
  Save(target, name, Bytes(text.begin(), text.end()));
}

// A small picture with a different colour in every pixel.
Bitmap Sample(int w, int h) {
  Bitmap b;
  b.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixelRgb(x, y,
                    static_cast<std::uint32_t>((x * 60) << 16 | (y * 80) << 8 | (x + y) * 30));
  return b;
}

// ---- BMP -------------------------------------------------------------------------

// A DIB header of header_size bytes (12 is the OS/2 core header).
Bytes DibHeader(int header_size, int w, int h, int bits, int compression, int colours) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(header_size));
  if (header_size == 12) {
    Put16(b, static_cast<std::uint32_t>(w)), Put16(b, static_cast<std::uint32_t>(h));
    Put16(b, 1), Put16(b, static_cast<std::uint32_t>(bits));
    return b;
  }
  Put32(b, static_cast<std::uint32_t>(w)), Put32(b, static_cast<std::uint32_t>(h));
  Put16(b, 1), Put16(b, static_cast<std::uint32_t>(bits));
  Put32(b, static_cast<std::uint32_t>(compression));
  Put32(b, 0), Put32(b, 2835), Put32(b, 2835);
  Put32(b, static_cast<std::uint32_t>(colours)), Put32(b, 0);
  return b;
}

// "BM", the file header, then dib with bits starting right after it.
Bytes BmpFile(const Bytes& header_and_tables, const Bytes& bits) {
  Bytes b{'B', 'M'};
  Put32(b, static_cast<std::uint32_t>(14 + header_and_tables.size() + bits.size()));
  Put32(b, 0);
  Put32(b, static_cast<std::uint32_t>(14 + header_and_tables.size()));
  b.insert(b.end(), header_and_tables.begin(), header_and_tables.end());
  b.insert(b.end(), bits.begin(), bits.end());
  return b;
}

void Palette(Bytes& b, int n, bool three_bytes = false) {
  for (int i = 0; i < n; ++i) {
    b.push_back(static_cast<std::uint8_t>(i * 37)), b.push_back(static_cast<std::uint8_t>(i * 91));
    b.push_back(static_cast<std::uint8_t>(255 - i * 13));
    if (!three_bytes) b.push_back(0);
  }
}

// Rows of w pixels at `bits` each, every value from value(x, y), padded to 4 bytes.
Bytes PackedRows(int w, int h, int bits, const std::function<std::uint32_t(int, int)>& value) {
  const int stride = (w * bits + 31) / 32 * 4;
  Bytes out;
  for (int y = 0; y < h; ++y) {
    Bytes row(static_cast<std::size_t>(stride), 0);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = value(x, y);
      if (bits >= 8) {
        for (int c = 0; c < bits / 8; ++c)
          row[static_cast<std::size_t>(x * bits / 8 + c)] = static_cast<std::uint8_t>(v >> (8 * c));
      } else {
        const int bit = x * bits;
        row[static_cast<std::size_t>(bit / 8)] |=
            static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

void MakeBmpSeeds() {
  Save("bmp", "writer-24.bmp", WriteToBytes([](std::FILE* f) { zelk::WriteBmp(Sample(5, 3), f); }));
  for (int bits : {1, 4, 8}) {
    Bytes h = DibHeader(40, 7, 3, bits, 0, 1 << bits > 16 ? 16 : 1 << bits);
    Palette(h, 1 << bits > 16 ? 16 : 1 << bits);
    Save("bmp", "palette-" + std::to_string(bits) + ".bmp",
         BmpFile(h, PackedRows(7, 3, bits, [bits](int x, int y) {
                   return static_cast<std::uint32_t>((x + y) % (bits == 1 ? 2 : 16));
                 })));
  }
  Bytes core = DibHeader(12, 4, 2, 8, 0, 0);
  Palette(core, 256, true);
  Save("bmp", "os2-core-8.bmp", BmpFile(core, PackedRows(4, 2, 8, [](int x, int y) {
                                          return static_cast<std::uint32_t>(x * 9 + y);
                                        })));
  Save("bmp", "rgb-16.bmp",
       BmpFile(DibHeader(40, 3, 2, 16, 0, 0), PackedRows(3, 2, 16, [](int x, int y) {
                 return static_cast<std::uint32_t>(0x7C00 >> (5 * x) | y);
               })));
  Bytes bf16 = DibHeader(40, 3, 2, 16, 3, 0);
  for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(bf16, m);
  Save("bmp", "bitfields-565.bmp", BmpFile(bf16, PackedRows(3, 2, 16, [](int x, int) {
                                             return static_cast<std::uint32_t>(0xF800 >> (5 * x));
                                           })));
  Save("bmp", "rgb-32.bmp",
       BmpFile(DibHeader(40, 3, 2, 32, 0, 0), PackedRows(3, 2, 32, [](int x, int y) {
                 return static_cast<std::uint32_t>(0x80FF0000u >> (8 * x) | y);
               })));
  // A V5 header whose masks include alpha.
  Bytes v5 = DibHeader(124, 3, -2, 32, 3, 0);
  v5.resize(124, 0);
  const std::uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k)
      v5[static_cast<std::size_t>(40 + 4 * i + k)] = static_cast<std::uint8_t>(masks[i] >> (8 * k));
  Save("bmp", "v5-alpha-topdown.bmp",
       BmpFile(v5, PackedRows(3, 2, 32, [](int x, int y) {
                 return static_cast<std::uint32_t>((x * 100u) << 24 | 0xFF0000u >> (8 * y));
               })));
  Save("bmp", "topdown-24.bmp",
       BmpFile(DibHeader(40, 3, -3, 24, 0, 0), PackedRows(3, 3, 24, [](int x, int y) {
                 return static_cast<std::uint32_t>(0xFF << (8 * ((x + y) % 3)));
               })));
  // RLE8: a run, a literal, a delta, end of line, end of picture.
  Bytes rle8h = DibHeader(40, 8, 3, 8, 1, 4);
  Palette(rle8h, 4);
  Save("bmp", "rle8.bmp", BmpFile(rle8h, {3, 1, 0, 3, 2, 3, 1, 0, 0, 2, 2, 0, 0, 0, 8, 2, 0, 1}));
  Bytes rle4h = DibHeader(40, 8, 2, 4, 2, 4);
  Palette(rle4h, 4);
  Save("bmp", "rle4.bmp", BmpFile(rle4h, {5, 0x12, 0, 4, 0x31, 0x20, 0, 0, 8, 0x33, 0, 1}));
  // A PNG standing in for the bits.
  const Bytes png = WriteToBytes([](std::FILE* f) { zelk::WritePng(Sample(2, 2), f, 9); });
  Bytes pngh = DibHeader(40, 2, 2, 0, 5, 0);
  Save("bmp", "embedded-png.bmp", BmpFile(pngh, png));
}

// ---- PNG -------------------------------------------------------------------------

void OnWrite(png_structp png, png_bytep data, std::size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void OnFlush(png_structp) {}

Bytes EncodePng(int colour_type, int depth, bool interlaced, bool trns) {
  const int w = 5, h = 4;
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, OnWrite, OnFlush);
  png_set_IHDR(png, info, w, h, depth, colour_type,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const int entries = colour_type == PNG_COLOR_TYPE_PALETTE ? 1 << depth : 0;
  std::vector<png_color> palette(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i)
    palette[static_cast<std::size_t>(i)] = {static_cast<png_byte>(i * 50),
                                            static_cast<png_byte>(255 - i * 20),
                                            static_cast<png_byte>(i * 7)};
  if (entries > 0) png_set_PLTE(png, info, palette.data(), entries);
  if (trns) {
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
      png_byte alpha[2] = {0, 128};
      png_set_tRNS(png, info, alpha, 2, nullptr);
    } else {
      png_color_16 key{};
      key.red = key.green = key.blue = key.gray = 1;
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  png_write_info(png, info);
  png_set_packing(png);
  const int channels = colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_PALETTE
                           ? 1
                       : colour_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                       : colour_type == PNG_COLOR_TYPE_RGB        ? 3
                                                                  : 4;
  const int bytes_per_sample = depth == 16 ? 2 : 1;
  const int max = (1 << (depth > 8 ? 8 : depth)) - 1;
  std::vector<Bytes> rows(h, Bytes(static_cast<std::size_t>(w * channels * bytes_per_sample)));
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < rows[static_cast<std::size_t>(y)].size(); ++i)
      rows[static_cast<std::size_t>(y)][i] =
          static_cast<std::uint8_t>((static_cast<int>(i) + y * 3) % (max + 1));
  std::vector<png_bytep> pointers;
  for (Bytes& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void MakePngSeeds() {
  Save("png", "writer-rgb8.png",
       WriteToBytes([](std::FILE* f) { zelk::WritePng(Sample(6, 4), f, 9); }));
  struct Kind {
    int type;
    const char* name;
    std::vector<int> depths;
  };
  const Kind kinds[] = {{PNG_COLOR_TYPE_GRAY, "grey", {1, 2, 4, 8, 16}},
                        {PNG_COLOR_TYPE_PALETTE, "palette", {1, 2, 4, 8}},
                        {PNG_COLOR_TYPE_RGB, "rgb", {8, 16}},
                        {PNG_COLOR_TYPE_GRAY_ALPHA, "grey-alpha", {8, 16}},
                        {PNG_COLOR_TYPE_RGB_ALPHA, "rgba", {8, 16}}};
  for (const Kind& k : kinds)
    for (int depth : k.depths) {
      const std::string base = std::string(k.name) + "-" + std::to_string(depth);
      Save("png", base + ".png", EncodePng(k.type, depth, false, false));
      if (depth == 8 || depth == 2)
        Save("png", base + "-interlaced.png", EncodePng(k.type, depth, true, false));
      if (k.type == PNG_COLOR_TYPE_PALETTE || k.type == PNG_COLOR_TYPE_GRAY ||
          k.type == PNG_COLOR_TYPE_RGB)
        if (depth >= 4) Save("png", base + "-trns.png", EncodePng(k.type, depth, false, true));
    }
}

// ---- JPEG ------------------------------------------------------------------------

struct JpegKind {
  const char* name;
  J_COLOR_SPACE in;
  int components;
  bool progressive = false;
  bool arithmetic = false;
  int restart = 0;
  int h_sampling = 2;
  bool adobe_ycck = false;
};

Bytes EncodeJpeg(const JpegKind& k) {
  const int w = 19, h = 11;
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = w, c.image_height = h;
  c.input_components = k.components, c.in_color_space = k.in;
  jpeg_set_defaults(&c);
  if (k.adobe_ycck) jpeg_set_colorspace(&c, JCS_YCCK);
  jpeg_set_quality(&c, 75, TRUE);
  if (k.progressive) jpeg_simple_progression(&c);
  c.arith_code = k.arithmetic ? TRUE : FALSE;
  c.restart_interval = static_cast<unsigned>(k.restart);
  if (k.components >= 3) c.comp_info[0].h_samp_factor = k.h_sampling;
  jpeg_start_compress(&c, TRUE);
  Bytes row(static_cast<std::size_t>(w * k.components));
  while (c.next_scanline < c.image_height) {
    for (std::size_t i = 0; i < row.size(); ++i)
      row[i] = static_cast<std::uint8_t>(i * 13 + c.next_scanline * 17);
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

void MakeJpegSeeds() {
  Save("jpeg", "writer-baseline.jpg",
       WriteToBytes([](std::FILE* f) { zelk::WriteJpeg(Sample(9, 7), f, 90); }));
  const JpegKind kinds[] = {
      {"grey", JCS_GRAYSCALE, 1},
      {"ycc-420", JCS_RGB, 3},
      {"ycc-444", JCS_RGB, 3, false, false, 0, 1},
      {"progressive", JCS_RGB, 3, true},
      {"arithmetic", JCS_RGB, 3, false, true},
      {"restart", JCS_RGB, 3, false, false, 1},
      {"cmyk", JCS_CMYK, 4, false, false, 0, 1},
      {"ycck", JCS_CMYK, 4, false, false, 0, 1, true},
  };
  for (const JpegKind& k : kinds) Save("jpeg", std::string(k.name) + ".jpg", EncodeJpeg(k));
}

// ---- ICO -------------------------------------------------------------------------

Bytes IconEntry(int w, int h, int bits) {
  Bytes b;
  Put32(b, 40), Put32(b, static_cast<std::uint32_t>(w)),
      Put32(b, static_cast<std::uint32_t>(2 * h));
  Put16(b, 1), Put16(b, static_cast<std::uint32_t>(bits));
  const int colours = bits <= 8 ? 1 << bits : 0;
  for (int i = 0; i < 6; ++i) Put32(b, i == 4 ? static_cast<std::uint32_t>(colours) : 0);
  Palette(b, colours);
  const Bytes pixels = PackedRows(w, h, bits, [bits](int x, int y) {
    return bits >= 24 ? static_cast<std::uint32_t>(0x80FF4020u >> (x % 8) | y)
                      : static_cast<std::uint32_t>((x + y) % 2);
  });
  b.insert(b.end(), pixels.begin(), pixels.end());
  const Bytes mask = PackedRows(w, h, 1, [](int x, int) { return x == 0 ? 1u : 0u; });
  b.insert(b.end(), mask.begin(), mask.end());
  return b;
}

Bytes Icon(const std::vector<Bytes>& entries) {
  Bytes b;
  Put16(b, 0), Put16(b, 1), Put16(b, static_cast<std::uint32_t>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const Bytes& e : entries) {
    b.push_back(8), b.push_back(8), b.push_back(0), b.push_back(0);
    Put16(b, 1), Put16(b, 32);
    Put32(b, static_cast<std::uint32_t>(e.size())), Put32(b, offset);
    offset += static_cast<std::uint32_t>(e.size());
  }
  for (const Bytes& e : entries) b.insert(b.end(), e.begin(), e.end());
  return b;
}

void MakeIcoSeeds() {
  for (int bits : {1, 4, 8, 24, 32})
    Save("ico", "entry-" + std::to_string(bits) + ".ico", Icon({IconEntry(8, 8, bits)}));
  const Bytes png = WriteToBytes([](std::FILE* f) { zelk::WritePng(Sample(4, 4), f, 9); });
  Save("ico", "png-entry.ico", Icon({png}));
  Save("ico", "two-entries.ico", Icon({IconEntry(4, 4, 8), png, IconEntry(8, 8, 32)}));
}

// ---- WMF and EMF -----------------------------------------------------------------

Bytes Utf16(const std::string& text) {
  Bytes b;
  for (char c : text) Put16(b, static_cast<std::uint8_t>(c));
  return b;
}

void MakeMetafileSeeds() {
  zelk::test::EnsureGuiApplication();
  Save("wmf", "writer.wmf", WriteToBytes([](std::FILE* f) { zelk::WriteWmf(Sample(4, 3), f); }));
  Save("emf", "writer.emf", WriteToBytes([](std::FILE* f) { zelk::WriteEmf(Sample(4, 3), f); }));

  zelk::test::WmfBuilder shapes;
  shapes.Rec(0x020B, {0, 0})
      .Rec(0x020C, {1000, 1000})
      .Rec(0x02FC, {0, 0x00FF, 0x0000, 0})
      .Rec(0x012D, {0})  // red brush
      .Rec(0x02FA, {0, 3, 0, 0xFF, 0})
      .Rec(0x012D, {1})                                    // wide pen
      .Rec(0x041B, {600, 800, 200, 100})                   // rectangle
      .Rec(0x0418, {1000, 500, 700, 0})                    // ellipse
      .Rec(0x0324, {3, 600, 0, 1000, 0, 1000, 400})        // polygon
      .Rec(0x0325, {3, 0, 0, 500, 900, 900, 100})          // polyline
      .Rec(0x061C, {100, 100, 1000, 1000, 600, 600})       // round rectangle
      .Rec(0x0817, {0, 0, 1000, 500, 900, 900, 100, 100})  // arc
      .Rec(0x081A, {0, 0, 1000, 500, 900, 900, 100, 100})  // pie
      .Rec(0x0214, {10, 10})
      .Rec(0x0213, {900, 900})  // move, line
      .Rec(0x001E, {})
      .Rec(0x0416, {500, 500, 0, 0})
      .Rec(0x0127, {-1})  // clip inside save/restore
      .Rec(0x01F0, {0});  // delete the brush
  Save("wmf", "placeable-shapes.wmf", shapes.Build(1000, 1000, 960));

  zelk::test::WmfBuilder text;
  Bytes font;
  for (int v : {-120, 0, 0, 0, 700}) Put16(font, static_cast<std::uint32_t>(v));
  for (int i = 0; i < 8; ++i) font.push_back(0);
  for (char c : std::string("Sans\0\0", 6)) font.push_back(static_cast<std::uint8_t>(c));
  Bytes out_text;
  Put16(out_text, 5);
  for (char c : std::string("Zelk!\0", 6)) out_text.push_back(static_cast<std::uint8_t>(c));
  Put16(out_text, 200), Put16(out_text, 50);
  text.Rec(0x0103, {8})
      .Rec(0x020B, {0, 0})
      .Rec(0x020C, {400, 300})
      .Raw(0x02FB, font)
      .Rec(0x012D, {0})
      .Rec(0x0209, {0x00FF, 0})
      .Rec(0x0102, {1})
      .Raw(0x0521, out_text);
  // A 2 x 2 bitmap stretched over the picture (STRETCHDIB, SRCCOPY).
  Bytes stretch;
  for (int v : {0x0020, 0x00CC, 0, 2, 2, 0, 0, 300, 400, 0, 0})
    Put16(stretch, static_cast<std::uint32_t>(v));
  const Bytes dib = zelk::test::Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
  stretch.insert(stretch.end(), dib.begin(), dib.end());
  text.Raw(0x0F43, stretch);
  Save("wmf", "plain-text-bitmap.wmf", text.Build());

  zelk::test::EmfBuilder emf;
  emf.Rec(39, {1, 0, 0x0000FF, 0})
      .Rec(37, {1})
      .Rec(37, {0x80000008})
      .Rec(43, {10, 20, 30, 40})
      .Rec(42, {30, 0, 60, 20})
      .Rec(8,
           {0, 0, 0, 0, 2, 8, 4, 4, 30, 0, 40, 0, 40, 10, 30, 10, 30, 30, 40, 30, 40, 40, 30, 40})
      .Rec(38, {2, 0, 3, 0, 0x00FF00})
      .Rec(37, {2})
      .Rec(27, {0, 0})
      .Rec(54, {63, 47})
      .Rec(33, {})
      .Rec(30, {0, 0, 32, 32})
      .Rec(59, {})
      .Rec(27, {5, 5})
      .Rec(54, {25, 5})
      .Rec(54, {5, 25})
      .Rec(60, {})
      .Rec(62, {0, 0, 0, 0})
      .Rec(34, {-1});
  Bytes p16;
  for (int v : {0, 0, 0, 0, 3}) Put32(p16, static_cast<std::uint32_t>(v));
  for (int v : {40, 40, 60, 40, 40, 46}) Put16(p16, static_cast<std::uint32_t>(v));
  emf.Raw(86, p16);
  Save("emf", "shapes-paths.emf", emf.Build(64, 48));

  zelk::test::EmfBuilder emf_text;
  Bytes logfont;
  Put32(logfont, 1);
  for (int v : {-16, 0, 0, 0, 400}) Put32(logfont, static_cast<std::uint32_t>(v));
  for (int i = 0; i < 8; ++i) logfont.push_back(0);
  Bytes face = Utf16("Sans");
  face.resize(64, 0);
  logfont.insert(logfont.end(), face.begin(), face.end());
  emf_text.Raw(82, logfont).Rec(37, {1}).Rec(24, {0x0000FF});
  // EXTTEXTOUTW: bounds, graphics mode, scales, then the text record; offsets count
  // from the start of the record (8 bytes of type and size before this payload).
  Bytes ext;
  for (int v : {0, 0, 0, 0, 1, 0, 0}) Put32(ext, static_cast<std::uint32_t>(v));
  for (int v : {4, 20, 4, 76, 0, 0, 0, 0, 0, 84}) Put32(ext, static_cast<std::uint32_t>(v));
  const Bytes chars = Utf16("Zelk");
  ext.insert(ext.end(), chars.begin(), chars.end());
  for (int i = 0; i < 4; ++i) Put32(ext, 9);
  emf_text.Raw(84, ext);
  // STRETCHDIBITS of a 2 x 2 bitmap over the picture.
  const Bytes bitmap = zelk::test::Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000});
  Bytes sdb;
  for (int v : {0, 0, 40, 30, 0, 0, 0, 0, 2, 2, 80, 40, 120, static_cast<int>(bitmap.size()) - 40,
                0, 0xCC0020, 40, 30})
    Put32(sdb, static_cast<std::uint32_t>(v));
  sdb.insert(sdb.end(), bitmap.begin(), bitmap.end());
  emf_text.Raw(81, sdb);
  Save("emf", "text-bitmap.emf", emf_text.Build(40, 30));
}

// ---- Texts -----------------------------------------------------------------------

void MakeTextSeeds() {
  SaveText("colour_ranges", "default.txt", zelk::kDefaultColourRangeText);
  SaveText("colour_ranges", "octal-negative.txt", "R(010:-5) G(+0x7fffffff:99999999999) B(:)");
  SaveText("colour_ranges", "with-pixels.bin",
           std::string("R(0:128) G(64:255) B(0x10:0xf0)\0", 32) +
               "\x11\x02\x80\x40\xC0 some pixel bytes 0123456789");
  SaveText("colour_ranges", "short.txt", "R(1");
  // Delimiter count, delimiters, call count, indexes, text.
  SaveText("field_scanner", "ranges.bin",
           std::string("\x03(:)\x06\x02\x03\x05\x06\x08\x09", 11) + zelk::kDefaultColourRangeText);
  SaveText("field_scanner", "repeats.bin",
           std::string("\x02,;\x07\x03\x03\x02\x01\x09\x44\x00", 12) + "a,b;;c,,d");
  SaveText("field_scanner", "no-delimiters.bin", std::string("\x00\x02\x02\x01", 4) + "one field");
  for (const char* hex :
       {"FF8000", "ff8000", "000080", "C0C0C0", "123456", "0080F", "GGGGGG", "F0F8FF0"})
    SaveText("colour_name", std::string("hex-") + hex + ".txt", hex);
  for (const char* name : {"picture.png", "+log.txt", "  sub  ", "sub", "./sub/../x/./y//z.jpg",
                           "/tmp/", "*.jpg", "+", "\t\x01"})
    SaveText("file_spec",
             "name-" + std::to_string(std::hash<std::string>{}(name) % 100000) + ".txt", name);
  for (const char* folder :
       {"/opt/zelk", "/opt/zelk/", "relative", "C:\\Programs\\", " /with blanks \r\n"})
    SaveText("redirection",
             "folder-" + std::to_string(std::hash<std::string>{}(folder) % 100000) + ".txt",
             folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  g_root = argv[1];
  MakeBmpSeeds();
  MakePngSeeds();
  MakeJpegSeeds();
  MakeIcoSeeds();
  MakeMetafileSeeds();
  MakeTextSeeds();
  return 0;
}
