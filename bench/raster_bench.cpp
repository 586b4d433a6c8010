// JPEG and PNG decoding and writing of a 24-megapixel picture through the
// program's codecs, each beside the bare library doing the same work into a plain
// buffer. Also the peak memory of loading a 24-megapixel JPEG, measured in a fresh
// child process: run with --peak-memory to see it alone.

#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "codecs/jpeg_codec.h"
#include "codecs/png_codec.h"

namespace {

using zelk::Bitmap;
using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 6000, kHeight = 4000;  // 24 megapixels

// Gradients with a little noise: compresses like a photograph, not like noise.
const Bitmap& Picture() {
  static Bitmap picture = [] {
    Bitmap b;
    b.Reset(kWidth, kHeight);
    // Smooth shading with texture only in a few places (a photograph's sky and
    // walls, with detail here and there). Noise everywhere would make zlib's level
    // 9 search crawl.
    std::uint32_t seed = 1;
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* p = b.Row(y);
      const bool textured_rows = (y / 500) % 3 == 0;
      for (int x = 0; x < kWidth; ++x, p += 3) {
        int noise = 0;
        if (textured_rows && x < 1500) {
          seed = seed * 1664525u + 1013904223u;
          noise = static_cast<int>(seed >> 29) - 4;
        }
        p[0] = static_cast<std::uint8_t>(std::clamp(x * 255 / kWidth + noise, 0, 255));
        p[1] = static_cast<std::uint8_t>(std::clamp(y * 255 / kHeight + noise, 0, 255));
        p[2] = static_cast<std::uint8_t>(std::clamp((x * y / 4000) % 200 + noise, 0, 255));
      }
    }
    return b;
  }();
  return picture;
}

Bytes FileBytes(std::FILE* file) {
  Bytes bytes(static_cast<std::size_t>(std::ftell(file)));
  std::rewind(file);
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  return bytes;
}

const Bytes& JpegFile() {
  static Bytes file = [] {
    std::FILE* f = std::tmpfile();
    zelk::WriteJpeg(Picture(), f, 90);
    Bytes bytes = FileBytes(f);
    std::fclose(f);
    return bytes;
  }();
  return file;
}

const Bytes& PngFile() {
  static Bytes file = [] {
    std::FILE* f = std::tmpfile();
    zelk::WritePng(Picture(), f, 6);
    Bytes bytes = FileBytes(f);
    std::fclose(f);
    return bytes;
  }();
  return file;
}

void BM_JpegDecode_Zelk(benchmark::State& state) {
  const Bytes& file = JpegFile();
  for (auto _ : state) {
    Bitmap out;
    zelk::ReadJpegBytes(file.data(), file.size(), out);
    benchmark::DoNotOptimize(out.Data());
  }
}

// The same file decoded by bare libjpeg-turbo with the same settings, into a
// plain RGB buffer.
void BM_JpegDecode_Bare(benchmark::State& state) {
  const Bytes& file = JpegFile();
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 3;
    auto* pixels = static_cast<std::uint8_t*>(std::malloc(stride * cinfo.output_height));
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW rows[16];
      for (int i = 0; i < 16; ++i)
        rows[i] = pixels + stride * std::min<std::size_t>(cinfo.output_scanline + i,
                                                          cinfo.output_height - 1);
      jpeg_read_scanlines(&cinfo, rows, 16);
    }
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
}

void BM_PngDecode_Zelk(benchmark::State& state) {
  const Bytes& file = PngFile();
  for (auto _ : state) {
    Bitmap out;
    zelk::ReadPngBytes(file.data(), file.size(), out);
    benchmark::DoNotOptimize(out.Data());
  }
}

struct MemoryReader {
  const Bytes* file;
  std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, std::size_t n) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  std::memcpy(out, reader->file->data() + reader->position, n);
  reader->position += n;
}

void BM_PngDecode_Bare(benchmark::State& state) {
  const Bytes& file = PngFile();
  for (auto _ : state) {
    MemoryReader reader{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info),
                      height = png_get_image_height(png, info);
    png_read_update_info(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    auto* pixels = static_cast<std::uint8_t*>(std::malloc(stride * height));
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels + stride * y, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
    benchmark::DoNotOptimize(width);
  }
}

// Writing goes to /dev/null so that the disk does not take part.
std::FILE* Sink() {
  static std::FILE* sink = std::fopen("/dev/null", "wb");
  return sink;
}

// The bare libraries write RGB from a plain buffer holding the same pixels.
const Bytes& PictureRgb() {
  static Bytes rgb = [] {
    Bytes bytes(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* s = Picture().Row(y);
      std::uint8_t* d = &bytes[static_cast<std::size_t>(y) * kWidth * 3];
      for (int x = 0; x < kWidth; ++x)
        d[x * 3] = s[x * 3 + 2], d[x * 3 + 1] = s[x * 3 + 1], d[x * 3 + 2] = s[x * 3];
    }
    return bytes;
  }();
  return rgb;
}

void BM_JpegWrite_Zelk(benchmark::State& state) {
  const Bitmap& picture = Picture();
  for (auto _ : state) zelk::WriteJpeg(picture, Sink(), 90);
}

void BM_JpegWrite_Bare(benchmark::State& state) {
  const Bytes& rgb = PictureRgb();
  for (auto _ : state) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, Sink());
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row =
          const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(cinfo.next_scanline) * kWidth * 3]);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
  }
}

void BM_PngWrite_Zelk(benchmark::State& state) {
  const Bitmap& picture = Picture();
  for (auto _ : state) zelk::WritePng(picture, Sink(), 9);
}

void BM_PngWrite_Bare(benchmark::State& state) {
  const Bytes& rgb = PictureRgb();
  for (auto _ : state) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, Sink());
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y)
      png_write_row(png, &rgb[static_cast<std::size_t>(y) * kWidth * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
  }
}

// The clipboard's fast PNG at each row filter, zlib level and strategy (args:
// filter, level, run-length matching only), into memory; the bytes per pixel it
// reaches are reported beside the time. 0/0/0 is the quick stored-block PNG, 2/1/0
// the small one the clipboard offers.
void BM_PngFast(benchmark::State& state) {
  const Bitmap& picture = Picture();
  const zelk::BgrRows rows{picture.Row(0), picture.Stride(), picture.Width(), picture.Height()};
  const zelk::FastPngSettings settings{static_cast<int>(state.range(1)),
                                       static_cast<zelk::PngRowFilter>(state.range(0)),
                                       state.range(2) != 0};
  std::size_t size = 0;
  for (auto _ : state) {
    size = 0;
    zelk::EncodePngFast(rows, settings, [&](const std::uint8_t*, std::size_t n) { size += n; });
  }
  state.counters["bytes/pixel"] = static_cast<double>(size) / (kWidth * kHeight);
}

BENCHMARK(BM_JpegDecode_Zelk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_JpegDecode_Bare)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PngDecode_Zelk)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PngDecode_Bare)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_JpegWrite_Zelk)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_JpegWrite_Bare)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PngWrite_Zelk)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PngWrite_Bare)->Unit(benchmark::kMillisecond)->Iterations(1);
// kNone, kSub, kUp, kPaeth, kAdaptive at levels 1 and 2, with and without Z_RLE.
BENCHMARK(BM_PngFast)
    ->Args({0, 0, 0})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// The high-water mark of this process's resident memory, in KiB.
long PeakResidentKib() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
  std::fclose(status);
  return kib;
}

// In a fresh process: the growth of the peak resident size while one JPEG file
// is loaded, beside the size of the bitmap it becomes.
int MeasureJpegLoad(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return 1;
  const long before = PeakResidentKib();
  Bitmap out;
  zelk::ReadJpegFile(file, out);
  const long after = PeakResidentKib();
  std::fclose(file);
  const double bitmap_mib = static_cast<double>(out.ByteSize()) / (1 << 20);
  const double grown_mib = static_cast<double>(after - before) / 1024;
  std::printf("Peak memory of loading a %d x %d JPEG: %.1f MiB for a %.1f MiB bitmap (%.3f x)\n",
              out.Width(), out.Height(), grown_mib, bitmap_mib, grown_mib / bitmap_mib);
  return 0;
}

void ReportJpegLoadMemory(const char* self) {
  char path[] = "/tmp/zelk_raster_bench_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return;
  const Bytes& jpeg = JpegFile();
  if (write(fd, jpeg.data(), jpeg.size()) != static_cast<ssize_t>(jpeg.size()))
    std::perror("write");
  close(fd);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    execl(self, self, "--measure-jpeg-load", path, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  unlink(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--measure-jpeg-load") == 0)
    return MeasureJpegLoad(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "--peak-memory") == 0) {
    ReportJpegLoadMemory("/proc/self/exe");
    return 0;
  }
  ReportJpegLoadMemory("/proc/self/exe");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
