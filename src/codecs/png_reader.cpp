// PNG decoding into the working bitmap with the classic libpng interface.
//
// libpng expands every colour type and depth to 8-bit B, G, R (plus alpha where
// the file has alpha or tRNS; 16-bit samples are rounded to 8). Opaque images are
// decoded straight into the bitmap's rows, interlaced ones too: libpng fills in
// each pass's pixels in place. Images with alpha go through one row buffer and are
// composed over white pass by pass, so only the pixels a pass delivered are
// touched. Peak memory is the bitmap plus a few rows, for every kind of file.
//
// The work runs in two stages, each a function that calls setjmp and creates no
// object with a destructor: the header (up to the image size and the transforms),
// then - after the C++ side has checked the size and allocated the bitmap - the
// rows. The rows of the common 8-bit, non-interlaced images are instead read by
// png_two_thread_rows (inflating on one thread, unfiltering on another), with the
// same pixels; libpng then reads only the header.

#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "codecs/claimed_size.h"
#include "codecs/png_codec.h"
#include "codecs/png_error_handling.h"
#include "codecs/png_two_thread_rows.h"

namespace zelk {
namespace {

// Limits on what libpng may allocate for ancillary chunks: libpng's own defaults,
// set here so that a libpng built with looser ones does not loosen ours.
constexpr png_uint_32 kChunkCacheMax = 1000;
constexpr png_alloc_size_t kChunkMallocMax = 8000000;

// Deflate codes at most 258 repeated bytes with a 1-bit length and a 1-bit
// distance, so no zlib stream is smaller than 1/1032 of what it inflates to. A
// picture over kPixelsAlwaysAllowed must therefore have at least that share of its
// pixel bytes (as stored: the file's own bit depth, filter bytes not counted) in
// the file.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// The ancillary chunks libpng knows but the picture does not need, as the
// concatenated 5-byte list png_set_keep_unknown_chunks takes.
constexpr png_byte kIgnoredChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
    "sBIT\0sCAL\0sPLT\0sRGB\0sTER\0tEXt\0tIME\0zTXt";

// Adam7: first row, row step, first column, column step of each pass.
struct PassGeometry {
  int row0, row_step, col0, col_step;
};
constexpr PassGeometry kAdam7[7] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                                    {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};
constexpr PassGeometry kWholeImage = {0, 1, 0, 1};

struct PngSource {
  std::FILE* file = nullptr;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
};

struct PngReadJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngSource source;
  PngErrorState errors;
  png_uint_32 width = 0, height = 0;
  int stored_bits_per_pixel = 0;  // as in the file, before any expansion
  int colour_type = 0, bit_depth = 0;
  PngRowFormat row_format;  // for the two-thread rows
  int interlace = PNG_INTERLACE_NONE;
  int passes = 1;
  bool alpha = false;
  std::size_t row_bytes = 0;
  bool two_thread_rows = false;  // the rows go to png_two_thread_rows, not libpng
};

// Reads exactly `length` bytes or reports how many there were.
std::size_t ReadSource(PngSource& source, std::uint8_t* out, std::size_t length) noexcept {
  if (source.file != nullptr) return std::fread(out, 1, length, source.file);
  const std::size_t n = std::min(length, source.size - source.position);
  if (n > 0) std::memcpy(out, source.data + source.position, n);
  source.position += n;
  return n;
}

void OnPngRead(png_structp png, png_bytep out, std::size_t length) noexcept {
  auto* job = static_cast<PngReadJob*>(png_get_io_ptr(png));
  if (ReadSource(job->source, out, length) != length) {
    job->errors.input_ended = true;
    png_error(png, "unexpected end of file");
  }
}

// The palette (composed over white) and the transparent colour for the two-thread
// rows, from what libpng read of the header (before png_read_update_info, which
// clears the tRNS of an expanded palette).
PngRowFormat RowFormatOf(const PngReadJob& job) noexcept {
  PngRowFormat format;
  format.width = static_cast<int>(job.width);
  format.height = static_cast<int>(job.height);
  format.colour_type = job.colour_type;
  png_bytep alpha = nullptr;
  int alpha_count = 0;
  png_color_16p key = nullptr;
  const bool has_trns = png_get_tRNS(job.png, job.info, &alpha, &alpha_count, &key) & PNG_INFO_tRNS;
  if (job.colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int colours = 0;
    png_get_PLTE(job.png, job.info, &palette, &colours);
    for (int i = 0; i < colours && i < 256; ++i) {
      const unsigned a = has_trns && i < alpha_count ? alpha[i] : 255;
      format.palette[i] = {OverWhite(palette[i].blue, a), OverWhite(palette[i].green, a),
                           OverWhite(palette[i].red, a)};
    }
  } else if (has_trns && key != nullptr) {
    // libpng compares the low byte of the tRNS value with 8-bit samples.
    format.has_key = true;
    const bool grey = job.colour_type == PNG_COLOR_TYPE_GRAY;
    format.key_red = static_cast<std::uint8_t>((grey ? key->gray : key->red) & 0xff);
    format.key_green = static_cast<std::uint8_t>(key->green & 0xff);
    format.key_blue = static_cast<std::uint8_t>(key->blue & 0xff);
  }
  return format;
}

// Stage 1: header and transforms. For rows that take the two-thread way, libpng
// reads the header only: its transforms would have it allocate (and clear) two
// rows of its own, which for a very wide picture are larger than the bitmap.
bool ReadPngHeader(PngReadJob& job, bool two_threads_allowed) noexcept {
  if (setjmp(png_jmpbuf(job.png))) return false;
  png_set_read_fn(job.png, &job, OnPngRead);
  png_set_sig_bytes(job.png, 8);
  png_set_user_limits(job.png, static_cast<png_uint_32>(kMaxImageSide),
                      static_cast<png_uint_32>(kMaxImageSide));
  png_set_chunk_cache_max(job.png, kChunkCacheMax);
  png_set_chunk_malloc_max(job.png, kChunkMallocMax);
  // Chunks this program has no use for are skipped without being read into memory:
  // unknown ones, and the known ancillary ones but tRNS. Without this libpng
  // allocates and clears whatever size a text or profile chunk claims.
  png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                              static_cast<int>(sizeof kIgnoredChunks / 5));
  png_read_info(job.png, job.info);

  job.width = png_get_image_width(job.png, job.info);
  job.height = png_get_image_height(job.png, job.info);
  job.interlace = png_get_interlace_type(job.png, job.info);
  const int colour = png_get_color_type(job.png, job.info);
  const int depth = png_get_bit_depth(job.png, job.info);
  job.colour_type = colour;
  job.bit_depth = depth;
  job.stored_bits_per_pixel = depth * png_get_channels(job.png, job.info);
  if (two_threads_allowed && TwoThreadRowsApply(colour, depth, job.interlace)) {
    job.row_format = RowFormatOf(job);
    job.two_thread_rows = true;
    return true;
  }

  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job.png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(job.png);
  if (png_get_valid(job.png, job.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(job.png);
  if (depth == 16) png_set_scale_16(job.png);  // rounds; strip_16 would truncate
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(job.png);
  png_set_bgr(job.png);
  job.passes = png_set_interlace_handling(job.png);
  png_read_update_info(job.png, job.info);

  const int channels = png_get_channels(job.png, job.info);
  if (png_get_bit_depth(job.png, job.info) != 8 || (channels != 3 && channels != 4))
    png_error(job.png, "unsupported colour format");
  job.alpha = channels == 4;
  job.row_bytes = png_get_rowbytes(job.png, job.info);
  return true;
}

// Composes the pixels of one pass in a B, G, R, A row over white into the bitmap.
void ComposeOverWhite(const std::uint8_t* bgra, std::uint8_t* bgr, int width,
                      const PassGeometry& pass) noexcept {
  for (int x = pass.col0; x < width; x += pass.col_step) {
    const std::uint8_t* s = bgra + static_cast<std::size_t>(x) * 4;
    std::uint8_t* d = bgr + static_cast<std::size_t>(x) * 3;
    const unsigned a = s[3];
    if (a == 255) {
      d[0] = s[0], d[1] = s[1], d[2] = s[2];
    } else if (a == 0) {
      d[0] = d[1] = d[2] = 255;
    } else {
      d[0] = OverWhite(s[0], a), d[1] = OverWhite(s[1], a), d[2] = OverWhite(s[2], a);
    }
  }
}

enum class RowsResult { kDone, kFailed, kCancelled };

// Stage 2: the rows. alpha_row holds one B, G, R, A row when the image has alpha.
RowsResult ReadPngRows(PngReadJob& job, Bitmap& out, std::uint8_t* alpha_row,
                       DecodeControl* control) noexcept {
  if (setjmp(png_jmpbuf(job.png))) return RowsResult::kFailed;
  const int height = static_cast<int>(job.height), width = static_cast<int>(job.width);
  const bool interlaced = job.interlace != PNG_INTERLACE_NONE;
  const std::int64_t total = std::int64_t{height} * job.passes;
  for (int pass = 0; pass < job.passes; ++pass) {
    const PassGeometry& geometry = interlaced ? kAdam7[pass] : kWholeImage;
    for (int y = 0; y < height; ++y) {
      if (control != nullptr) {
        if (CancelRequested(control)) return RowsResult::kCancelled;
        control->Report(std::int64_t{height} * pass + y, total);
      }
      if (alpha_row == nullptr) {
        png_read_row(job.png, out.Row(y), nullptr);
      } else {
        png_read_row(job.png, alpha_row, nullptr);
        // libpng writes a row only in the passes that hold it.
        if (y >= geometry.row0 && (y - geometry.row0) % geometry.row_step == 0)
          ComposeOverWhite(alpha_row, out.Row(y), width, geometry);
      }
    }
  }
  // The chunks after the image data (text, time) are not read: a file damaged
  // only there still shows its complete picture.
  if (control != nullptr) control->Report(total, total);
  return RowsResult::kDone;
}

void ReadRowsOnTwoThreads(PngReadJob& job, Bitmap& out, DecodeControl* control) {
  // libpng stopped just after the first IDAT chunk's header: go back to its start.
  PngSource& source = job.source;
  if (source.file != nullptr) {
    if (std::fseek(source.file, -8, SEEK_CUR) != 0)
      throw ImageError("cannot go back in the PNG file");
  } else {
    source.position -= 8;
  }
  DecodePngRowsOnTwoThreads(
      job.row_format,
      [&source](std::uint8_t* to, std::size_t n) { return ReadSource(source, to, n); }, out,
      control);
}

class PngReadGuard {
 public:
  explicit PngReadGuard(PngReadJob& job) : job_(job) {}
  ~PngReadGuard() { png_destroy_read_struct(&job_.png, &job_.info, nullptr); }
  PngReadGuard(const PngReadGuard&) = delete;
  PngReadGuard& operator=(const PngReadGuard&) = delete;

 private:
  PngReadJob& job_;
};

void ReadPng(const PngSource& source, Bitmap& out, const RasterReadOptions& options) {
  const std::optional<std::uint64_t> file_bytes =
      source.file != nullptr ? BytesLeftIn(source.file) : std::optional<std::uint64_t>(source.size);
  PngReadJob job;
  job.source = source;
  std::uint8_t signature[8];
  if (ReadSource(job.source, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0)
    throw ImageError("not a PNG file");

  PngReadGuard guard(job);
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job.errors, OnPngError, OnPngWarning);
  if (job.png != nullptr) job.info = png_create_info_struct(job.png);
  if (job.png == nullptr || job.info == nullptr)
    throw ImageError("not enough memory to start reading the PNG file");
  const bool two_threads = options.second_thread && std::thread::hardware_concurrency() > 1;
  if (!ReadPngHeader(job, two_threads)) throw ImageError(PngFailureReason(job.errors));

  const int width = static_cast<int>(job.width), height = static_cast<int>(job.height);
  CheckImageSize(job.width, job.height);
  if (job.width > options.max_width || job.height > options.max_height)
    throw LargerThanItsContainer(job.width, job.height, options.max_width, options.max_height);
  const std::uint64_t pixels = std::uint64_t{job.width} * job.height;
  if (file_bytes && pixels > static_cast<std::uint64_t>(kPixelsAlwaysAllowed) &&
      *file_bytes * kMaxDeflateRatio * 8 <
          pixels * static_cast<std::uint64_t>(job.stored_bits_per_pixel))
    throw TooShortForClaimedSize(job.width, job.height);
  out.ResetUninitialised(width, height);  // every pixel is written by the rows
  if (job.two_thread_rows) {
    try {
      ReadRowsOnTwoThreads(job, out, options.control);
    } catch (...) {
      out.Release();
      throw;
    }
  } else {
    std::unique_ptr<std::uint8_t[]> alpha_row;
    if (job.alpha) alpha_row.reset(new std::uint8_t[job.row_bytes]);
    const RowsResult result = ReadPngRows(job, out, alpha_row.get(), options.control);
    if (result != RowsResult::kDone) {
      out.Release();
      if (result == RowsResult::kCancelled) throw DecodeCancelled();
      throw ImageError(PngFailureReason(job.errors));
    }
  }
  const std::size_t used = static_cast<std::size_t>(width) * 3;
  const std::size_t pad = static_cast<std::size_t>(out.Stride()) - used;
  if (pad != 0)
    for (int y = 0; y < height; ++y) std::memset(out.Row(y) + used, 0, pad);
}

}  // namespace

void ReadPngFile(std::FILE* file, Bitmap& out, const RasterReadOptions& options) {
  if (file == nullptr) throw ImageError("no file to read the PNG image from");
  PngSource source;
  source.file = file;
  ReadPng(source, out, options);
}

void ReadPngBytes(const std::uint8_t* data, std::size_t size, Bitmap& out,
                  const RasterReadOptions& options) {
  if (data == nullptr) size = 0;
  PngSource source;
  source.data = data;
  source.size = size;
  ReadPng(source, out, options);
}

}  // namespace zelk
