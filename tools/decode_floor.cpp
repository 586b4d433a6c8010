// zelk_decode_floor [--runs N] <file.jpg|file.png>...
// For each file, the median wall time of decoding it with bare libjpeg-turbo or bare
// libpng into one full-size buffer (the least any viewer must spend), beside the
// time of the program's own loader on the same file, and their ratio. The file is
// read through stdio each time, as a viewer would; run it once first so that the
// page cache holds it.

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "codecs/image_loader.h"
#include "platform/bitmap.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) throw std::runtime_error("cannot open " + path);
  return f;
}

struct Pixels {
  void operator()(std::uint8_t* p) const { std::free(p); }
};

// libjpeg-turbo's defaults (accurate integer DCT, smooth upsampling), B, G, R out,
// as the program decodes; 16 rows a call.
void BareJpeg(const std::string& path) {
  File file = Open(path);
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file.get());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = (static_cast<std::size_t>(cinfo.output_width) * 3 + 3) & ~3u;
  std::unique_ptr<std::uint8_t, Pixels> pixels(
      static_cast<std::uint8_t*>(std::malloc(stride * cinfo.output_height)));
  if (!pixels) throw std::bad_alloc();
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[16];
    for (std::size_t i = 0; i < 16; ++i)
      rows[i] = pixels.get() +
                stride * std::min<std::size_t>(cinfo.output_scanline + i, cinfo.output_height - 1);
    jpeg_read_scanlines(&cinfo, rows, 16);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

// An 8-bit RGB PNG (what the generator writes), B, G, R out.
void BarePng(const std::string& path) {
  File file = Open(path);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();  // the generator's files are sound
  png_init_io(png, file.get());
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  png_read_info(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  png_set_bgr(png);
  png_read_update_info(png, info);
  const std::size_t stride = (png_get_rowbytes(png, info) + 3) & ~std::size_t{3};
  auto* pixels = static_cast<std::uint8_t*>(std::malloc(stride * height));
  if (pixels == nullptr) std::abort();
  for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels + stride * y, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(pixels);
}

void OurLoader(const std::string& path) {
  zelk::Bitmap image;
  zelk::LoadImageFile(path, image);
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

bool EndsWith(const std::string& s, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--runs") {
    runs = std::max(1, std::atoi(argv[2]));
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [--runs N] <file.jpg|file.png>...\n", argv[0]);
    return 2;
  }
  std::printf("%-40s %10s %10s %7s\n", "file", "bare s", "ours s", "ratio");
  for (int i = first; i < argc; ++i) {
    const std::string path = argv[i];
    try {
      const bool png = EndsWith(path, ".png");
      // Interleaved, so that a change in the machine's load falls on both alike.
      std::vector<double> bare_times, our_times;
      for (int run = 0; run < runs; ++run) {
        bare_times.push_back(Seconds([&] { png ? BarePng(path) : BareJpeg(path); }));
        our_times.push_back(Seconds([&] { OurLoader(path); }));
      }
      const double bare = Median(bare_times), ours = Median(our_times);
      std::printf("%-40s %10.3f %10.3f %7.2f\n", path.c_str(), bare, ours, ours / bare);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
      return 1;
    }
  }
  return 0;
}
