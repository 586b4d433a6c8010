// PNG writing: 8-bit RGB, not interlaced, libpng's adaptive row filters, at the
// zlib level asked for, straight from the working bitmap's B, G, R rows.

#include <png.h>

#include <cerrno>
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
