// Command-line names made into absolute paths. Each input is expanded
// in a temporary folder of the run's own (holding a folder "sub"), so relative names
// resolve against a known place; the folder the run started in is current again
// between inputs, where libFuzzer writes what it finds.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/files/file_spec.h"
#include "fuzz_support.h"

namespace {

using zelk::fuzz::Require;

std::string g_folder;  // where names are expanded, absolute, without a trailing "/"
int g_start_folder = -1;

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(g_folder, ignored);
}

bool Blank(unsigned char c) {
  return c <= ' ' || c == 0x7F;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelk-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) zelk::fuzz::Fail("cannot make a temporary folder");
  g_folder = std::filesystem::canonical(pattern).string();
  std::filesystem::create_directory(g_folder + "/sub");
  g_start_folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_start_folder < 0) zelk::fuzz::Fail("cannot open the current folder");
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  if (chdir(g_folder.c_str()) != 0) zelk::fuzz::Fail("cannot enter the temporary folder");
  const std::string spec = zelk::ExpandFileSpec(name);
  if (fchdir(g_start_folder) != 0) zelk::fuzz::Fail("cannot return to the start folder");

  const bool marker = !name.empty() && name[0] == '+';
  std::string rest = name.substr(marker ? 1 : 0);
  std::size_t b = 0, e = rest.size();
  while (b < e && Blank(static_cast<unsigned char>(rest[b]))) ++b;
  while (e > b && Blank(static_cast<unsigned char>(rest[e - 1]))) --e;
  rest = rest.substr(b, e - b);
  if (rest.empty()) {
    Require(spec.empty(), "a blank name gave a path");
    return 0;
  }
  Require(!spec.empty(), "a name gave no path");
  Require((spec[0] == '+') == marker, "the append marker was lost or added");
  const std::string path = spec.substr(marker ? 1 : 0);
  Require(!path.empty() && path[0] == '/', "the path is not absolute");
  Require(path.find("//") == std::string::npos, "a repeated \"/\" was kept");
  Require(path.find("/./") == std::string::npos, "a \".\" component was kept");
  Require(path.find("/../") == std::string::npos, "a \"..\" component was kept");
  // ".." may lead out of the current folder; without one a relative name stays in it.
  if (rest[0] != '/' && rest.find("..") == std::string::npos)
    Require(path.compare(0, g_folder.size() + 1, g_folder + "/") == 0,
            "a relative name was not resolved against the current folder");
  if (rest.back() == '/')
    Require(path.size() >= 4 && path.compare(path.size() - 4, 4, "/*.*") == 0,
            "a folder name ending in \"/\" did not get \"*.*\"");
  if (rest == "sub" || rest == "./sub")
    Require(path == g_folder + "/sub/*.*", "an existing folder did not get \"/*.*\"");
  return 0;
}
