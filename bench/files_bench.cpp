// Start-up scan of a folder of 20,000 image names and 5,000 other files into the
// sorted list, next to `ls -1` of the same folder (which also reads and sorts it);
// and the colour range replacement over a 24 MP bitmap next to a memcpy of it.

#include <benchmark/benchmark.h>
#include <stdio.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "codecs/image_formats.h"
#include "core/files/file_list.h"
#include "core/files/folder_scan.h"
#include "core/text/colour_ranges.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

// Made once and kept between runs: creating 25,000 files is slower than anything
// measured here.
const std::string& BenchFolder() {
  static const std::string folder = [] {
    const fs::path dir = fs::temp_directory_path() / "zelk_bench_files_folder";
    const fs::path done = dir / ".complete";
    if (!fs::exists(done)) {
      fs::remove_all(dir);
      fs::create_directories(dir);
      const char* image_ext[] = {".jpg", ".PNG", ".jpeg", ".bmp", ".Ico"};
      for (int i = 0; i < 20000; ++i) {
        const int n = (i * 7919) % 100003;
        std::ofstream(dir / ("Photo_" + std::to_string(n) + image_ext[i % 5]));
      }
      for (int i = 0; i < 5000; ++i) std::ofstream(dir / ("notes_" + std::to_string(i) + ".txt"));
      std::ofstream(done.native());
    }
    return dir.native() + "/";
  }();
  return folder;
}

void BM_ScanFolderIntoList(benchmark::State& state) {
  const std::string& folder = BenchFolder();
  for (auto _ : state) {
    FileList list;
    ScanFolderImages(folder, IsListedImageExtension, list);
    benchmark::DoNotOptimize(list.Count());
    if (list.Count() != 20000) state.SkipWithError("wrong number of images listed");
  }
}
BENCHMARK(BM_ScanFolderIntoList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LsOfTheSameFolder(benchmark::State& state) {
  const std::string command = "ls -1 '" + BenchFolder() + "'";
  std::string output;
  for (auto _ : state) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
      state.SkipWithError("popen failed");
      break;
    }
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    ::pclose(pipe);
    benchmark::DoNotOptimize(output.data());
  }
}
BENCHMARK(BM_LsOfTheSameFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

// 6000 x 4000 pixels, a gradient so that about half the values lie in range.
Bitmap& BigBitmap() {
  static Bitmap image = [] {
    Bitmap b;
    b.ResetUninitialised(6000, 4000);
    for (int y = 0; y < b.Height(); ++y) {
      std::uint8_t* row = b.Row(y);
      for (int i = 0; i < b.Width() * 3; ++i) row[i] = static_cast<std::uint8_t>(i * 7 + y);
    }
    return b;
  }();
  return image;
}

void BM_ReplaceColourRanges(benchmark::State& state) {
  Bitmap& image = BigBitmap();
  const ColourRanges ranges{0x80, 0xFF, 0x40, 0xC0, 0x00, 0x7F};
  for (auto _ : state) {
    ReplaceColourRanges(image, ranges, 0x102030);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(image.ByteSize()));
}
BENCHMARK(BM_ReplaceColourRanges)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpyOfTheSameBitmap(benchmark::State& state) {
  const Bitmap& image = BigBitmap();
  Bitmap copy;
  copy.ResetUninitialised(image.Width(), image.Height());
  std::memset(copy.Data(), 0, copy.ByteSize());  // page faults outside the timing
  for (auto _ : state) {
    std::memcpy(copy.Data(), image.Data(), image.ByteSize());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(image.ByteSize()));
}
BENCHMARK(BM_MemcpyOfTheSameBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zelk

BENCHMARK_MAIN();
