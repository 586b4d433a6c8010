#include "codecs/image_loader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/bmp_reader.h"
#include "codecs/image_formats.h"
#include "codecs/jpeg_codec.h"
#include "codecs/png_codec.h"
#include "support/support.h"

namespace zelk {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Only regular files are opened, and without waiting: a pipe in a listed file's
// place would otherwise hold the window until something writes to it.
FilePtr OpenForReading(const std::string& path) {
  std::string reason;
  FilePtr file(OpenRegularFileForReading(path, reason));
  if (!file) throw ImageError("cannot open the file: " + reason);
  return file;
}

struct WholeFile {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
};

// The size of the open file now; -1 when it cannot be had.
std::int64_t OpenFileSize(std::FILE* file) {
  struct stat st {};
  if (file == nullptr || fstat(fileno(file), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

// Read in slices, so that a cancel does not wait for gigabytes from a slow disk.
constexpr std::size_t kWholeFileSlice = std::size_t{16} << 20;

WholeFile ReadWhole(std::FILE* file, DecodeControl* control) {
  struct stat st {};
  if (fstat(fileno(file), &st) != 0)
    throw ImageError("cannot read the file: " + std::string(std::strerror(errno)));
  if (S_ISDIR(st.st_mode)) throw ImageError("this is a folder, not a file");
  const std::uint64_t expected = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  if (expected > kMaxWholeFileBytes)
    throw ImageError("the file is larger than the " + std::to_string(kMaxWholeFileBytes >> 30) +
                     " GiB this program reads for this format");
  WholeFile whole;
  try {
    whole.data = std::make_unique_for_overwrite<std::uint8_t[]>(expected == 0 ? 1 : expected);
  } catch (const std::bad_alloc&) {
    throw ImageError("not enough memory to read the file");
  }
  // A file that shrinks meanwhile is decoded as far as it goes; the decoders cope
  // with data that ends early.
  while (whole.size < expected) {
    if (CancelRequested(control)) throw DecodeCancelled();
    const std::size_t want = std::min<std::size_t>(kWholeFileSlice, expected - whole.size);
    const std::size_t got = std::fread(whole.data.get() + whole.size, 1, want, file);
    whole.size += got;
    if (got < want) break;
  }
  if (std::ferror(file))
    throw ImageError("cannot read the file: " +
                     std::string(std::strerror(errno != 0 ? errno : EIO)));
  return whole;
}

}  // namespace

void LoadImageFile(const std::string& path, Bitmap& out, DecodeControl* control,
                   OpenedFile* opened) {
  const std::string ext = UpperExtension(path);
  const ImageFormat* format = FormatOfExtension(ext);
  const ImageFormat::MemoryReader memory_reader = format ? format->read_memory : nullptr;
  const ImageFormat::FileReader file_reader = format ? format->read_file : nullptr;
  if (memory_reader == nullptr && file_reader == nullptr) {
    if (ext.empty()) throw ImageError("a file with no extension cannot be opened");
    throw ImageError("files of type " + ext + " cannot be opened");
  }
  FilePtr file = OpenForReading(path);
  try {
    if (file_reader != nullptr) {
      file_reader(file.get(), out, control);
      if (opened != nullptr) opened->size = OpenFileSize(file.get());
      return;
    }
    const WholeFile whole = ReadWhole(file.get(), control);
    if (opened != nullptr) opened->size = OpenFileSize(file.get());
    file.reset();
    memory_reader(whole.data.get(), whole.size, out, control);
  } catch (const DecodeCancelled&) {
    out.Release();  // a cancelled load leaves nothing half-made, whatever the format
    throw;
  }
}

void LoadImageBytes(const std::uint8_t* data, std::size_t size, Bitmap& out,
                    DecodeControl* control) {
  static constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto starts_with = [&](const std::uint8_t* prefix, std::size_t length) {
    return size >= length && std::memcmp(data, prefix, length) == 0;
  };
  static constexpr std::uint8_t kBmpSignature[] = {'B', 'M'};
  static constexpr std::uint8_t kJpegSignature[] = {0xFF, 0xD8, 0xFF};
  RasterReadOptions options;
  options.control = control;
  try {
    if (starts_with(kPngSignature, sizeof kPngSignature)) {
      ReadPngBytes(data, size, out, options);
    } else if (starts_with(kBmpSignature, sizeof kBmpSignature)) {
      ReadBmp(data, size, out, control);
    } else if (starts_with(kJpegSignature, sizeof kJpegSignature)) {
      ReadJpegBytes(data, size, out, options);
    } else {
      throw ImageError("the data is not a PNG, BMP or JPEG picture");
    }
  } catch (const DecodeCancelled&) {
    out.Release();
    throw;
  }
}

}  // namespace zelk
