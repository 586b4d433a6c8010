#pragma once
// A libjpeg data source that reads an open file by offset (pread) instead of
// through a FILE's shared position, so that a second decoder can read the same
// file at the same time as the first. Like libjpeg's stdio source, it warns and
// supplies an end-of-image marker when the file ends early.

#include <cstdint>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace zelk {

// Reads file descriptor fd from byte `offset` on. The source's memory comes from
// cinfo's permanent pool, so it goes with the decompress object.
void UseOffsetSource(j_decompress_ptr cinfo, int fd, std::int64_t offset);

}  // namespace zelk
