// The chunks are walked as libpng walks them for the normal reader, but stricter:
// wherever libpng would only warn (a bad CRC on an ancillary chunk, a huge one), or
// where its handling of a chunk could change the outcome (tRNS, a palette, animation
// control), this way declines. The image data chunks are moved together in place,
// inflated into one buffer of exactly the filtered rows, and the rows are unfiltered
// and converted by the same functions the two-thread reader uses, so the pixels are
// the same bytes. As in the normal reader, nothing after the image data is read.

#include "codecs/png_whole_file.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "codecs/claimed_size.h"
#include "codecs/png_two_thread_rows.h"
#include "support/support.h"

#ifdef ZELK_HAVE_LIBDEFLATE
#include <libdeflate.h>
#include <sys/mman.h>
#include <sys/stat.h>
#endif

namespace zelk {

#ifdef ZELK_HAVE_LIBDEFLATE
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kHeaderBytes = 8 + 8 + 13 + 4;  // signature and the IHDR chunk
constexpr std::uint32_t kMaxChunkLength = 0x7fffffff;
// An ancillary chunk larger than what the normal reader lets libpng allocate for one
// is left to that reader, whatever it would make of it.
constexpr std::uint32_t kMaxAncillaryBytes = 8000000;
// The normal reader's bound: no zlib stream is smaller than 1/1032 of its output.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
// A file may be this much larger than its filtered rows (stored deflate blocks and
// the chunks' own bytes add well under 1/64) before this way declines to read it
// whole: text, profiles and previews beside the picture rarely come to 16 MiB.
constexpr std::uint64_t kOtherChunkAllowance = std::uint64_t{16} << 20;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

std::uint32_t Crc(const std::uint8_t* p, std::size_t n) {
  return libdeflate_crc32(0, p, n);
}

struct Header {
  std::uint32_t width = 0, height = 0;
  int colour_type = 0;
  int channels = 0;
  std::uint64_t filtered_bytes = 0;  // height rows of a filter byte and the samples
};

// The image header, when the picture is one this way takes: the first kHeaderBytes
// bytes of the file.
std::optional<Header> ParseHeader(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderBytes || std::memcmp(data, kSignature, 8) != 0) return std::nullopt;
  const std::uint8_t* chunk = data + 8;
  if (BigEndian32(chunk) != 13 || std::memcmp(chunk + 4, "IHDR", 4) != 0) return std::nullopt;
  if (Crc(chunk + 4, 4 + 13) != BigEndian32(chunk + 8 + 13)) return std::nullopt;
  const std::uint8_t* fields = chunk + 8;
  Header header;
  header.width = BigEndian32(fields);
  header.height = BigEndian32(fields + 4);
  const int depth = fields[8], colour = fields[9];
  const int compression = fields[10], filter = fields[11], interlace = fields[12];
  if (header.width == 0 || header.height == 0 || header.width > kMaxImageSide ||
      header.height > kMaxImageSide)
    return std::nullopt;
  if (depth != 8 || compression != 0 || filter != 0 || interlace != 0) return std::nullopt;
  if (colour != PNG_COLOR_TYPE_GRAY && colour != PNG_COLOR_TYPE_GRAY_ALPHA &&
      colour != PNG_COLOR_TYPE_RGB && colour != PNG_COLOR_TYPE_RGB_ALPHA)
    return std::nullopt;
  header.colour_type = colour;
  header.channels = PngChannelsOf(colour);
  header.filtered_bytes =
      std::uint64_t{header.height} * (1 + std::uint64_t{header.width} * header.channels);
  return header;
}

bool IsChunkName(const std::uint8_t* name) {
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

// Whether a chunk before the image data leaves the pixels as they are and libpng
// passes over it without complaint. Critical chunks never do here (a palette in an
// RGB file is allowed but checked by libpng; the rest are errors); of the ancillary
// ones, tRNS changes pixels and libpng may check the animation and colour-volume
// chunks.
bool PassesOver(const std::uint8_t* name, std::uint32_t length) {
  if (name[0] >= 'A' && name[0] <= 'Z') return false;
  if (length > kMaxAncillaryBytes) return false;
  static constexpr const char* kDeclined[] = {"tRNS", "acTL", "fcTL", "fdAT",
                                              "cICP", "mDCv", "cLLi"};
  for (const char* declined : kDeclined)
    if (std::memcmp(name, declined, 4) == 0) return false;
  return true;
}

// Walks the chunks after IHDR up to the end of the first run of IDAT chunks, checking
// each one's CRC, and moves the IDAT contents together in place. The image data is
// then [start, end) of data; false when the file is not one this way takes.
bool GatherImageData(std::uint8_t* data, std::size_t size, std::uint64_t filtered_bytes,
                     std::size_t& start, std::size_t& end) {
  // libpng finds fault with a first IDAT longer than both its chunk limit and the
  // filtered rows plus what deflate may add (5 bytes a block, blocks of at least
  // 32566 bytes or a row); this bound lies below its own.
  const std::uint64_t first_idat_limit = std::max<std::uint64_t>(
      kMaxAncillaryBytes, filtered_bytes + 6 + 5 * (filtered_bytes / 32566 + 1));
  std::size_t at = kHeaderBytes;
  bool in_image_data = false;
  for (;;) {
    if (size - at < 8) {
      if (in_image_data) return true;  // the rows may well be complete
      return false;
    }
    const std::uint32_t length = BigEndian32(data + at);
    const std::uint8_t* name = data + at + 4;
    const bool idat = std::memcmp(name, "IDAT", 4) == 0;
    if (in_image_data && !idat) return true;  // not read by the normal reader either
    if (length > kMaxChunkLength || !IsChunkName(name)) return false;
    if (length > size - at - 8 || size - at - 8 - length < 4) return false;  // cut short
    const std::size_t contents = at + 8;
    if (Crc(name, 4 + std::size_t{length}) != BigEndian32(data + contents + length)) return false;
    if (idat) {
      if (!in_image_data) {
        if (length > first_idat_limit) return false;
        start = end = contents;
        in_image_data = true;
      }
      // Only bytes already checked are overwritten: the chunk headers and CRCs in
      // between.
      std::memmove(data + end, data + contents, length);
      end += length;
    } else if (!PassesOver(name, length)) {
      return false;
    }
    at = contents + length + 4;
  }
}

// The large buffers are written once, front to back; in pages of 4 KiB their faults
// cost about a fifth of the decode, so huge pages are asked for where the system
// gives them on request.
void AdviseHugePages(std::uint8_t* p, std::size_t n) {
#ifdef MADV_HUGEPAGE
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  const std::size_t skip = (kHuge - address % kHuge) % kHuge;  // to the first boundary
  if (n < skip + kHuge) return;
  madvise(p + skip, (n - skip) / kHuge * kHuge, MADV_HUGEPAGE);
#else
  (void)p, (void)n;
#endif
}

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const noexcept { libdeflate_free_decompressor(d); }
};

// The filtered rows are inflated into the end of the bitmap's own memory (made large
// enough for them) and each row, once unfiltered and copied aside as the next row's
// prior, is converted into its place at the front. A bitmap row never reaches the
// filtered rows below it: with R bytes a filtered row, S a bitmap row and the filtered
// rows starting D = max(h S, h R) - h R bytes in, bitmap row y ends at y S + 3 w, at
// most D + (y + 1) R, where filtered row y + 1 starts. So memory is the file, then the
// larger of bitmap and filtered rows, instead of both.
bool DecodeOwned(std::unique_ptr<std::uint8_t[]> file, std::size_t size, Bitmap& out) {
  const std::optional<Header> header = ParseHeader(file.get(), size);
  if (!header) return false;
  const std::uint32_t width = header->width, height = header->height;
  const std::uint64_t pixels = std::uint64_t{width} * height;
  if (static_cast<std::int64_t>(pixels) > kMaxImagePixels) return false;
  // The same refusal as the normal reader's, left to it to say.
  if (pixels > static_cast<std::uint64_t>(kPixelsAlwaysAllowed) &&
      std::uint64_t{size} * kMaxDeflateRatio * 8 < pixels * 8 * header->channels)
    return false;
  const std::uint64_t filtered = header->filtered_bytes;
  if (std::uint64_t{size} > filtered + filtered / 64 + kOtherChunkAllowance) return false;
  const std::uint64_t bitmap_bytes =
      static_cast<std::uint64_t>(Bitmap::StrideFor(static_cast<int>(width))) * height;
  const std::uint64_t room = std::max(filtered, bitmap_bytes);
  const std::optional<std::uint64_t> available = AvailableMemory();
  if (available && room > *available) return false;

  std::size_t start = 0, end = 0;
  if (!GatherImageData(file.get(), size, filtered, start, end)) return false;
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
      libdeflate_alloc_decompressor());
  if (decompressor == nullptr) return false;
  try {
    out.ResetUninitialisedWithRoom(static_cast<int>(width), static_cast<int>(height),
                                   static_cast<std::size_t>(room));
  } catch (const ImageError&) {
    return false;
  }
  AdviseHugePages(out.Data(), static_cast<std::size_t>(room));
  std::uint8_t* rows = out.Data() + (room - filtered);
  // Without an actual size to report, anything but exactly `filtered` bytes fails.
  if (libdeflate_zlib_decompress(decompressor.get(), file.get() + start, end - start, rows,
                                 static_cast<std::size_t>(filtered),
                                 nullptr) != LIBDEFLATE_SUCCESS) {
    out.Release();
    return false;
  }
  file.reset();

  PngRowFormat format;
  format.width = static_cast<int>(width);
  format.height = static_cast<int>(height);
  format.colour_type = header->colour_type;
  const std::size_t samples = std::size_t{width} * header->channels;
  std::vector<std::uint8_t> prior(samples, 0);  // zeros above the first row
  std::uint8_t* row = rows;
  for (std::uint32_t y = 0; y < height; ++y, row += samples + 1) {
    if (!UnfilterPngRow(row, prior.data(), samples, header->channels)) {
      out.Release();
      return false;
    }
    std::memcpy(prior.data(), row + 1, samples);
    ConvertPngRow(format, prior.data(), out.Row(static_cast<int>(y)), format.width);
  }
  // Only now: a row's padding may lie where the next filtered row was.
  const std::size_t used = std::size_t{width} * 3;
  const std::size_t pad = static_cast<std::size_t>(out.Stride()) - used;
  if (pad != 0)
    for (std::uint32_t y = 0; y < height; ++y)
      std::memset(out.Row(static_cast<int>(y)) + used, 0, pad);
  out.ShrinkToPixels();
  return true;
}

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

bool ReadExactly(std::FILE* file, std::uint8_t* to, std::size_t n) {
  return std::fread(to, 1, n, file) == n;
}

}  // namespace

bool PngWholeFileAvailable() noexcept {
  return true;
}

bool TryLoadPngWhole(const std::string& path, Bitmap& out) {
  try {
    std::string reason;
    std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFileForReading(path, reason));
    if (!file) return false;
    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0 || st.st_size < static_cast<off_t>(kHeaderBytes))
      return false;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // The header first, so that nothing is read whole that this way would not take.
    std::uint8_t first[kHeaderBytes];
    if (!ReadExactly(file.get(), first, kHeaderBytes)) return false;
    const std::optional<Header> header = ParseHeader(first, kHeaderBytes);
    if (!header ||
        size > header->filtered_bytes + header->filtered_bytes / 64 + kOtherChunkAllowance)
      return false;
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow)
                                             std::uint8_t[static_cast<std::size_t>(size)]);
    if (data == nullptr) return false;
    AdviseHugePages(data.get(), static_cast<std::size_t>(size));
    std::memcpy(data.get(), first, kHeaderBytes);
    // A file that changes meanwhile fails a CRC, or ends early, and is declined.
    if (!ReadExactly(file.get(), data.get() + kHeaderBytes,
                     static_cast<std::size_t>(size) - kHeaderBytes))
      return false;
    file.reset();
    return DecodeOwned(std::move(data), static_cast<std::size_t>(size), out);
  } catch (const std::exception&) {
    return false;
  }
}

bool TryDecodePngWhole(const std::uint8_t* data, std::size_t size, Bitmap& out) {
  if (data == nullptr || size < kHeaderBytes) return false;
  try {
    std::unique_ptr<std::uint8_t[]> copy(new (std::nothrow) std::uint8_t[size]);
    if (copy == nullptr) return false;
    std::memcpy(copy.get(), data, size);
    return DecodeOwned(std::move(copy), size, out);
  } catch (const std::exception&) {
    return false;
  }
}

#else  // no libdeflate

bool PngWholeFileAvailable() noexcept {
  return false;
}

bool TryLoadPngWhole(const std::string&, Bitmap&) {
  return false;
}

bool TryDecodePngWhole(const std::uint8_t*, std::size_t, Bitmap&) {
  return false;
}

#endif

}  // namespace zelk
