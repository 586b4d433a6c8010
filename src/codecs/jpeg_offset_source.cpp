#include "codecs/jpeg_offset_source.h"

#include <jerror.h>

#include <unistd.h>

#include <cerrno>

namespace zelk {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 16;

struct OffsetSource {
  jpeg_source_mgr pub;  // first, so libjpeg's pointer to it is a pointer to us
  int fd;
  std::int64_t offset;
  JOCTET* buffer;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<OffsetSource*>(cinfo->src);
  ssize_t got;
  do {
    got = ::pread(source->fd, source->buffer, kBufferBytes, static_cast<off_t>(source->offset));
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    // As libjpeg's own sources do: a warning, then a fake end of image, so that a
    // short file decodes as far as it goes.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    got = 2;
  } else {
    source->offset += got;
  }
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = static_cast<std::size_t>(got);
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& pub = *cinfo->src;
  while (count > static_cast<long>(pub.bytes_in_buffer)) {
    count -= static_cast<long>(pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  pub.next_input_byte += count;
  pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

}  // namespace

void UseOffsetSource(j_decompress_ptr cinfo, int fd, std::int64_t offset) {
  auto* source = static_cast<OffsetSource*>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(OffsetSource)));
  source->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kBufferBytes));
  source->fd = fd;
  source->offset = offset;
  source->pub.init_source = InitSource;
  source->pub.fill_input_buffer = FillInputBuffer;
  source->pub.skip_input_data = SkipInputData;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = TermSource;
  source->pub.next_input_byte = nullptr;
  source->pub.bytes_in_buffer = 0;
  cinfo->src = &source->pub;
}

}  // namespace zelk
