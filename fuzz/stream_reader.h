#pragma once
// PNG and JPEG are decoded from the open file, so their targets hand the input to
// the file readers through a memory stream: the same calls the loader makes.

#include <cstdio>

#include "fuzz_support.h"

namespace zelk::fuzz {

using FileReader = void (*)(std::FILE*, Bitmap&);
using MemoryReader = void (*)(const std::uint8_t*, std::size_t, Bitmap&);

inline void DecodeFromStream(FileReader file_reader, MemoryReader memory_reader,
                             const std::uint8_t* data, std::size_t size) {
  // fmemopen cannot open an empty buffer on every C library; an empty file is
  // still worth trying, through the memory reader.
  std::FILE* stream = size == 0 ? nullptr : fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (stream == nullptr) {
    DecodeLikeTheLoader(memory_reader, data, size);
    return;
  }
  DecodeLikeTheLoader(
      [&](const std::uint8_t*, std::size_t, Bitmap& out) { file_reader(stream, out); }, data, size);
  std::fclose(stream);
}

}  // namespace zelk::fuzz
