// PNG writing: 8-bit RGB, not interlaced, straight from B, G, R rows. Files get
// libpng's adaptive row filters at the zlib level asked for; the fast in-memory
// encoding (for handing an image to another program) trades size for speed.

#include <png.h>

#include <zlib.h>

#include <cerrno>
#include <exception>
#include <system_error>

#include "codecs/png_codec.h"
#include "codecs/png_error_handling.h"

namespace zelk {
namespace {

struct PngWriteJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::FILE* file = nullptr;
  PngErrorState errors;
};

void OnPngWrite(png_structp png, png_bytep data, std::size_t length) noexcept {
  auto* job = static_cast<PngWriteJob*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fwrite(data, 1, length, job->file) != length) {
    job->errors.write_errno = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

void OnPngFlush(png_structp png) noexcept {
  auto* job = static_cast<PngWriteJob*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fflush(job->file) != 0) {
    job->errors.write_errno = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

// The whole encoder in one stage: nothing in here has a destructor.
bool EncodePng(PngWriteJob& job, const Bitmap& image, int zlib_level) noexcept {
  if (setjmp(png_jmpbuf(job.png))) return false;
  png_set_write_fn(job.png, &job, OnPngWrite, OnPngFlush);
  png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(image.Width()),
               static_cast<png_uint_32>(image.Height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(job.png, zlib_level);
  png_write_info(job.png, job.info);
  png_set_bgr(job.png);
  for (int y = 0; y < image.Height(); ++y) png_write_row(job.png, image.Row(y));
  png_write_end(job.png, nullptr);
  OnPngFlush(job.png);
  return true;
}

}  // namespace

void WritePng(const Bitmap& image, std::FILE* file, int zlib_level) {
  if (image.Empty()) throw ImageError("an empty image cannot be saved as PNG");
  if (file == nullptr) throw ImageError("no file to write the PNG image to");
  if (zlib_level < 0 || zlib_level > 9)
    throw ImageError("the PNG compression level must be 0 to 9");

  PngWriteJob job;
  job.file = file;
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job.errors, OnPngError, OnPngWarning);
  if (job.png != nullptr) job.info = png_create_info_struct(job.png);
  if (job.png == nullptr || job.info == nullptr) {
    png_destroy_write_struct(&job.png, &job.info);
    throw ImageError("not enough memory to start writing the PNG file");
  }
  const bool ok = EncodePng(job, image, zlib_level);
  png_destroy_write_struct(&job.png, &job.info);
  if (!ok) {
    if (job.errors.write_errno != 0)
      throw std::system_error(job.errors.write_errno, std::generic_category(),
                              "the PNG file could not be written");
    throw ImageError(std::string("the PNG image could not be written: ") + job.errors.message);
  }
}

}  // namespace zelk

namespace zelk {
namespace {

struct PngMemoryJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  const std::function<void(const std::uint8_t*, std::size_t)>* sink = nullptr;
  std::exception_ptr sink_failure;
  PngErrorState errors;
};

void OnPngMemoryWrite(png_structp png, png_bytep data, std::size_t length) noexcept {
  auto* job = static_cast<PngMemoryJob*>(png_get_io_ptr(png));
  try {
    (*job->sink)(data, length);
  } catch (...) {
    job->sink_failure = std::current_exception();
    png_error(png, "the encoded bytes could not be kept");
  }
}

void OnPngMemoryFlush(png_structp) noexcept {}

int LibpngFilter(PngRowFilter filter) {
  switch (filter) {
    case PngRowFilter::kNone:
      return PNG_FILTER_NONE;
    case PngRowFilter::kSub:
      return PNG_FILTER_SUB;
    case PngRowFilter::kUp:
      return PNG_FILTER_UP;
    case PngRowFilter::kPaeth:
      return PNG_FILTER_PAETH;
    case PngRowFilter::kAdaptive:
      break;
  }
  return PNG_ALL_FILTERS;
}

enum class FastPngOutcome { kDone, kStopped, kFailed };

// One stage, no destructors (see png_error_handling.h).
FastPngOutcome EncodeFastPng(PngMemoryJob& job, const BgrRows& rows,
                             const FastPngSettings& settings,
                             const std::atomic<bool>* stop) noexcept {
  if (setjmp(png_jmpbuf(job.png))) return FastPngOutcome::kFailed;
  png_set_write_fn(job.png, &job, OnPngMemoryWrite, OnPngMemoryFlush);
  png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(rows.width),
               static_cast<png_uint_32>(rows.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(job.png, PNG_FILTER_TYPE_BASE, LibpngFilter(settings.filter));
  png_set_compression_level(job.png, settings.zlib_level);
  if (settings.run_length_only) png_set_compression_strategy(job.png, Z_RLE);
  // Fewer, larger IDAT chunks: less per-chunk work for both sides.
  png_set_compression_buffer_size(job.png, 1u << 20);
  png_write_info(job.png, job.info);
  png_set_bgr(job.png);
  const std::uint8_t* row = rows.first;
  for (int y = 0; y < rows.height; ++y, row += rows.step) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return FastPngOutcome::kStopped;
    png_write_row(job.png, row);
  }
  png_write_end(job.png, nullptr);
  return FastPngOutcome::kDone;
}

}  // namespace

bool EncodePngFast(const BgrRows& rows, const FastPngSettings& settings,
                   const std::function<void(const std::uint8_t*, std::size_t)>& sink,
                   const std::atomic<bool>* stop) {
  if (rows.width <= 0 || rows.height <= 0 || rows.first == nullptr)
    throw ImageError("an empty image cannot be encoded as PNG");
  if (settings.zlib_level < 0 || settings.zlib_level > 9)
    throw ImageError("the PNG compression level must be 0 to 9");

  PngMemoryJob job;
  job.sink = &sink;
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job.errors, OnPngError, OnPngWarning);
  if (job.png != nullptr) job.info = png_create_info_struct(job.png);
  if (job.png == nullptr || job.info == nullptr) {
    png_destroy_write_struct(&job.png, &job.info);
    throw ImageError("not enough memory to start encoding the PNG image");
  }
  const FastPngOutcome outcome = EncodeFastPng(job, rows, settings, stop);
  png_destroy_write_struct(&job.png, &job.info);
  if (job.sink_failure) std::rethrow_exception(job.sink_failure);
  if (outcome == FastPngOutcome::kFailed)
    throw ImageError(std::string("the PNG image could not be encoded: ") + job.errors.message);
  return outcome == FastPngOutcome::kDone;
}

}  // namespace zelk
