// JPEG writing: baseline, colour (YCbCr with the usual 2x2 chroma subsampling),
// accurate integer DCT, straight from the working bitmap's B, G, R rows.

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <system_error>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "codecs/jpeg_codec.h"
#include "codecs/jpeg_error_manager.h"

namespace zelk {
namespace {

constexpr std::size_t kOutputBufferSize = 64 * 1024;

// Our own destination instead of jpeg_stdio_dest, so that a failed write keeps its
// errno for the caller.
struct FileDestination {
  jpeg_destination_mgr pub;  // first, so libjpeg's pointer to it is a pointer to us
  std::FILE* file;
  JOCTET* buffer;
  int write_errno;
};

FileDestination& DestinationOf(j_compress_ptr cinfo) noexcept {
  return *reinterpret_cast<FileDestination*>(cinfo->dest);
}

void InitDestination(j_compress_ptr cinfo) noexcept {
  FileDestination& dest = DestinationOf(cinfo);
  dest.buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kOutputBufferSize));
  dest.pub.next_output_byte = dest.buffer;
  dest.pub.free_in_buffer = kOutputBufferSize;
}

void WriteOrFail(j_compress_ptr cinfo, std::size_t bytes) noexcept {
  FileDestination& dest = DestinationOf(cinfo);
  if (bytes == 0) return;
  errno = 0;
  if (std::fwrite(dest.buffer, 1, bytes, dest.file) != bytes) {
    dest.write_errno = errno != 0 ? errno : EIO;
    FailJpegStage(*reinterpret_cast<j_common_ptr>(cinfo), "the JPEG file could not be written");
  }
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) noexcept {
  FileDestination& dest = DestinationOf(cinfo);
  WriteOrFail(cinfo, kOutputBufferSize);
  dest.pub.next_output_byte = dest.buffer;
  dest.pub.free_in_buffer = kOutputBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) noexcept {
  FileDestination& dest = DestinationOf(cinfo);
  WriteOrFail(cinfo, kOutputBufferSize - dest.pub.free_in_buffer);
  errno = 0;
  if (std::fflush(dest.file) != 0) {
    dest.write_errno = errno != 0 ? errno : EIO;
    FailJpegStage(*reinterpret_cast<j_common_ptr>(cinfo), "the JPEG file could not be written");
  }
}

struct JpegEncodeJob {
  jpeg_compress_struct cinfo;
  JpegErrorManager errors;
  FileDestination dest;
  bool created = false;
};

// The whole encoder in one stage: nothing in here has a destructor.
bool EncodeJpeg(JpegEncodeJob& job, const Bitmap& image, int quality) noexcept {
  if (setjmp(job.errors.jump)) return false;
  jpeg_create_compress(&job.cinfo);
  job.created = true;
  job.dest.pub.init_destination = InitDestination;
  job.dest.pub.empty_output_buffer = EmptyOutputBuffer;
  job.dest.pub.term_destination = TermDestination;
  job.cinfo.dest = &job.dest.pub;

  job.cinfo.image_width = static_cast<JDIMENSION>(image.Width());
  job.cinfo.image_height = static_cast<JDIMENSION>(image.Height());
  job.cinfo.input_components = 3;
  job.cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&job.cinfo);
  jpeg_set_quality(&job.cinfo, quality, TRUE);  // TRUE: baseline-compatible tables
  job.cinfo.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&job.cinfo, TRUE);
  while (job.cinfo.next_scanline < job.cinfo.image_height) {
    // libjpeg only reads the rows; its interface just is not const-correct.
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<int>(job.cinfo.next_scanline)));
    jpeg_write_scanlines(&job.cinfo, &row, 1);
  }
  jpeg_finish_compress(&job.cinfo);
  return true;
}

}  // namespace

void WriteJpeg(const Bitmap& image, std::FILE* file, int quality) {
  if (image.Empty()) throw ImageError("an empty image cannot be saved as JPEG");
  if (file == nullptr) throw ImageError("no file to write the JPEG image to");
  if (quality < 1 || quality > 100) throw ImageError("the JPEG quality must be 1 to 100");

  JpegEncodeJob job;
  InstallJpegErrorManager(*reinterpret_cast<j_common_ptr>(&job.cinfo), job.errors);
  job.dest.file = file;
  job.dest.buffer = nullptr;
  job.dest.write_errno = 0;
  const bool ok = EncodeJpeg(job, image, quality);
  if (job.created) jpeg_destroy_compress(&job.cinfo);
  if (!ok) {
    if (job.dest.write_errno != 0)
      throw std::system_error(job.dest.write_errno, std::generic_category(),
                              "the JPEG file could not be written");
    throw ImageError(JpegFailureReason(job.errors, "writing"));
  }
}

}  // namespace zelk
