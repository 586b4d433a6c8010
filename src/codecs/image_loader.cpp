#include "codecs/image_loader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/bmp_reader.h"
#include "codecs/ico_reader.h"
#include "codecs/jpeg_codec.h"
#include "codecs/metafile_reader.h"
#include "codecs/png_codec.h"

namespace zelk {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
  errno = 0;
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const int err = errno;
    throw ImageError("cannot open the file: " + std::string(std::strerror(err != 0 ? err : EIO)));
  }
  return file;
}

struct WholeFile {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
};

WholeFile ReadWhole(std::FILE* file) {
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
  whole.size = std::fread(whole.data.get(), 1, expected, file);
  if (std::ferror(file))
    throw ImageError("cannot read the file: " +
                     std::string(std::strerror(errno != 0 ? errno : EIO)));
  return whole;
}

using MemoryReader = void (*)(const std::uint8_t*, std::size_t, Bitmap&, DecodeControl*);
using FileReader = void (*)(std::FILE*, Bitmap&, DecodeControl*);

// Metafiles are played in one go; a cancel is honoured before playing.
template <void (*Read)(const std::uint8_t*, std::size_t, Bitmap&)>
void ReadMetafile(const std::uint8_t* data, std::size_t size, Bitmap& out, DecodeControl* control) {
  if (CancelRequested(control)) throw DecodeCancelled();
  Read(data, size, out);
}

template <void (*Read)(std::FILE*, Bitmap&, const RasterReadOptions&)>
void ReadRasterFile(std::FILE* file, Bitmap& out, DecodeControl* control) {
  RasterReadOptions options;
  options.control = control;
  Read(file, out, options);
}

MemoryReader MemoryReaderFor(const std::string& ext) {
  if (ext == ".BMP") return ReadBmp;
  if (ext == ".ICO") return ReadIco;
  if (ext == ".EMF") return ReadMetafile<ReadEmf>;
  if (ext == ".WMF") return ReadMetafile<ReadWmf>;
  return nullptr;
}

FileReader FileReaderFor(const std::string& ext) {
  if (ext == ".PNG") return ReadRasterFile<ReadPngFile>;
  if (ext == ".JPG" || ext == ".JPEG") return ReadRasterFile<ReadJpegFile>;
  return nullptr;
}

}  // namespace

void LoadImageFile(const std::string& path, Bitmap& out, DecodeControl* control) {
  const std::string ext = UpperExtension(path);
  const MemoryReader memory_reader = MemoryReaderFor(ext);
  const FileReader file_reader = FileReaderFor(ext);
  if (memory_reader == nullptr && file_reader == nullptr) {
    if (ext.empty()) throw ImageError("a file with no extension cannot be opened");
    throw ImageError("files of type " + ext + " cannot be opened");
  }
  FilePtr file = OpenForReading(path);
  try {
    if (file_reader != nullptr) {
      file_reader(file.get(), out, control);
      return;
    }
    const WholeFile whole = ReadWhole(file.get());
    file.reset();
    memory_reader(whole.data.get(), whole.size, out, control);
  } catch (const DecodeCancelled&) {
    out.Release();  // a cancelled load leaves nothing half-made, whatever the format
    throw;
  }
}

}  // namespace zelk
