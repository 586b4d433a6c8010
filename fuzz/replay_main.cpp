// Runs a fuzz target over saved inputs without libFuzzer, so the ordinary build
// (any compiler, with or without sanitizers) replays the committed corpus and the
// kept crashers. Each argument is a file or a folder walked recursively in name
// order; a missing argument is an error, so a mistyped path cannot pass quietly.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_support.h"

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

bool ReadFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void Collect(const fs::path& path, std::vector<fs::path>& files) {
  std::error_code error;
  if (!fs::is_directory(path, error)) {
    files.push_back(path);
    return;
  }
  std::vector<fs::path> found;
  for (fs::recursive_directory_iterator it(path, error), end; !error && it != end;
       it.increment(error))
    if (it->is_regular_file(error)) found.push_back(it->path());
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (!fs::exists(argv[i], error)) {
      std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
      return 2;
    }
    Collect(argv[i], files);
  }
  std::vector<std::uint8_t> bytes;
  for (const fs::path& file : files) {
    if (!ReadFile(file, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 2;
    }
    // Printed before the run, so the input that crashes is the last name shown.
    std::fprintf(stderr, "%s\n", file.c_str());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
