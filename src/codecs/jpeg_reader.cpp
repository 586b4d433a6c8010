// JPEG decoding into the working bitmap.
//
// The work runs in two stages, each a function that calls setjmp and creates no
// object with a destructor: the header stage (up to the image size), then - after
// the C++ side has checked the size and allocated the bitmap - the pixel stage.
// libjpeg writes B, G, R straight into the bitmap's rows, so there is no second
// copy of the image: beyond the bitmap, a baseline file needs a few strips of
// working memory. A progressive file needs libjpeg's coefficient buffer as well
// (2 bytes per sample), which max_memory_to_use bounds.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "codecs/jpeg_cmyk.h"
#include "codecs/jpeg_codec.h"
#include "codecs/jpeg_error_manager.h"

namespace zelk {
namespace {

// A progressive file may be split into any number of scans, and each one costs a
// pass over the whole coefficient buffer; hostile files use that to make decoding
// take hours. Real encoders use about ten (jpegtran scripts a few dozen), so a
// thousand is far beyond real files while bounding the work.
constexpr int kMaxProgressiveScans = 1000;

// libjpeg's working memory beyond the bitmap: room for the coefficient buffer of
// a progressive file with four full-resolution components (8 bytes a pixel), and
// 1 GiB for everything else.
constexpr long long kJpegMemoryPerPixel = 8;
constexpr long long kJpegMemoryBase = 1LL << 30;

// Rows requested from libjpeg per call.
constexpr int kRowsPerCall = 16;

struct JpegProgress {
  jpeg_progress_mgr pub;  // first, so libjpeg's pointer to it is a pointer to us
};

struct JpegDecodeJob {
  jpeg_decompress_struct cinfo;
  JpegErrorManager errors;
  JpegProgress progress;
  bool created = false;
  bool cmyk = false;
  bool inverted_cmyk = false;
  JSAMPARRAY cmyk_rows = nullptr;  // libjpeg pool memory, freed with cinfo
};

void OnProgress(j_common_ptr cinfo) noexcept {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxProgressiveScans)
    FailJpegStage(*cinfo, "the JPEG file has more progressive scans than this program decodes");
}

enum class JpegSource { kFile, kMemory };

// Stage 1: everything up to the image size and the output colour space.
bool ReadJpegHeader(JpegDecodeJob& job, std::FILE* file, const std::uint8_t* data,
                    std::size_t size) noexcept {
  if (setjmp(job.errors.jump)) return false;
  jpeg_create_decompress(&job.cinfo);
  job.created = true;
  job.progress.pub.progress_monitor = OnProgress;
  job.cinfo.progress = &job.progress.pub;
  if (file != nullptr) {
    jpeg_stdio_src(&job.cinfo, file);
  } else {
    if (size > ULONG_MAX) size = ULONG_MAX;  // only on platforms with 32-bit long
    jpeg_mem_src(&job.cinfo, data, static_cast<unsigned long>(size));
  }
  jpeg_read_header(&job.cinfo, TRUE);

  // Full size, best quality: the accurate integer DCT and smooth chroma upsampling.
  job.cinfo.scale_num = job.cinfo.scale_denom = 1;
  job.cinfo.dct_method = JDCT_ISLOW;
  job.cinfo.do_fancy_upsampling = TRUE;
  job.cinfo.do_block_smoothing = TRUE;
  job.cinfo.quantize_colors = FALSE;
  if (job.cinfo.jpeg_color_space == JCS_CMYK || job.cinfo.jpeg_color_space == JCS_YCCK) {
    // libjpeg cannot turn CMYK into RGB; it turns YCCK into CMYK, we do the rest.
    job.cinfo.out_color_space = JCS_CMYK;
    job.cmyk = true;
    job.inverted_cmyk = job.cinfo.saw_Adobe_marker != 0;
  } else {
    job.cinfo.out_color_space = JCS_EXT_BGR;
  }
  jpeg_calc_output_dimensions(&job.cinfo);
  return true;
}

// Stage 2: the pixels, into out's rows. Returns the number of rows written.
bool DecodeJpegRows(JpegDecodeJob& job, Bitmap& out, int& rows_done) noexcept {
  if (setjmp(job.errors.jump)) return false;
  jpeg_start_decompress(&job.cinfo);
  const JDIMENSION width = job.cinfo.output_width;
  if (job.cmyk) {
    job.cmyk_rows = (*job.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&job.cinfo),
                                                   JPOOL_IMAGE, width * 4, kRowsPerCall);
  }
  while (job.cinfo.output_scanline < job.cinfo.output_height) {
    const JDIMENSION first = job.cinfo.output_scanline;
    const JDIMENSION wanted = std::min<JDIMENSION>(kRowsPerCall, job.cinfo.output_height - first);
    JSAMPROW rows[kRowsPerCall];
    for (JDIMENSION i = 0; i < wanted; ++i)
      rows[i] = job.cmyk ? job.cmyk_rows[i] : out.Row(static_cast<int>(first + i));
    const JDIMENSION got = jpeg_read_scanlines(&job.cinfo, rows, wanted);
    if (got == 0) break;  // cannot happen with our sources; never spin
    if (job.cmyk) {
      for (JDIMENSION i = 0; i < got; ++i)
        CmykRowToBgr(job.cmyk_rows[i], out.Row(static_cast<int>(first + i)), width,
                     job.inverted_cmyk);
    }
    rows_done = static_cast<int>(first + got);
  }
  // The rest of the file (trailing markers) adds nothing to the picture, so it is
  // not read: junk after the last scan does not cost the image.
  return true;
}

class JpegDecodeGuard {
 public:
  explicit JpegDecodeGuard(JpegDecodeJob& job) : job_(job) {}
  ~JpegDecodeGuard() {
    if (job_.created) jpeg_destroy_decompress(&job_.cinfo);
  }
  JpegDecodeGuard(const JpegDecodeGuard&) = delete;
  JpegDecodeGuard& operator=(const JpegDecodeGuard&) = delete;

 private:
  JpegDecodeJob& job_;
};

// The bytes between the pixels of a row and its 4-byte boundary are not written
// by libjpeg; they go to files and the clipboard, so they are made zero.
void ClearRowPadding(Bitmap& out, int from_row) noexcept {
  const std::size_t used = static_cast<std::size_t>(out.Width()) * 3;
  const std::size_t pad = static_cast<std::size_t>(out.Stride()) - used;
  for (int y = from_row; y < out.Height(); ++y) std::memset(out.Row(y) + used, 0, pad);
}

void ReadJpeg(std::FILE* file, const std::uint8_t* data, std::size_t size, Bitmap& out) {
  JpegDecodeJob job;
  InstallJpegErrorManager(*reinterpret_cast<j_common_ptr>(&job.cinfo), job.errors);
  JpegDecodeGuard guard(job);
  if (!ReadJpegHeader(job, file, data, size))
    throw ImageError(JpegFailureReason(job.errors, "reading"));

  const int width = static_cast<int>(job.cinfo.output_width);
  const int height = static_cast<int>(job.cinfo.output_height);
  out.ResetUninitialised(width, height);  // checks the size before anything is allocated
  job.cinfo.mem->max_memory_to_use =
      static_cast<long>(kJpegMemoryBase + kJpegMemoryPerPixel * width * height);

  int rows_done = 0;
  const bool ok = DecodeJpegRows(job, out, rows_done);
  if (!ok) {
    out.Release();
    throw ImageError(JpegFailureReason(job.errors, "decoding"));
  }
  if (rows_done < height) {
    // Never reached with libjpeg's own sources, which pad a short file; kept so
    // that no uninitialised row can ever be shown.
    std::memset(out.Row(rows_done), 0xFF,
                static_cast<std::size_t>(out.Stride()) * (height - rows_done));
  }
  ClearRowPadding(out, 0);
}

}  // namespace

void ReadJpegFile(std::FILE* file, Bitmap& out) {
  if (file == nullptr) throw ImageError("no file to read the JPEG image from");
  ReadJpeg(file, nullptr, 0, out);
}

void ReadJpegBytes(const std::uint8_t* data, std::size_t size, Bitmap& out) {
  if (data == nullptr || size == 0) throw ImageError("not a JPEG file");
  ReadJpeg(nullptr, data, size, out);
}

}  // namespace zelk
