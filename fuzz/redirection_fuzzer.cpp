// The executable redirection: whatever "redirect_exes.txt" beside the executable
// holds becomes the folder of argument 0, read once. The run keeps its executable
// path and the file in a temporary folder of its own.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "support/support.h"

namespace {

using zelk::fuzz::Require;

std::string g_folder;  // ends in "/"

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(g_folder, ignored);
}

void PutRedirection(const std::string& bytes) {
  std::ofstream out(g_folder + "redirect_exes.txt", std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) zelk::fuzz::Fail("cannot write the redirection file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelk-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) zelk::fuzz::Fail("cannot make a temporary folder");
  g_folder = pattern + "/";
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::QuietDesktop desktop;
  const std::string content(reinterpret_cast<const char*>(data), size);
  const std::string executable = g_folder + "zelk";
  PutRedirection(content);
  zelk::testing::SetCommandLineForTesting({executable, "picture.png"});
  zelk::testing::ResetRedirection();

  std::string expected = executable;
  if (!content.empty()) expected = content + (content.back() == '/' ? "" : "/") + "zelk";
  Require(zelk::CommandLineArgument(0) == expected, "argument 0 is not redirected as written");
  Require(zelk::CommandLineArgument(1) == "picture.png", "argument 1 changed");
  Require(zelk::CommandLineArgument(2).empty() && zelk::CommandLineArgument(-1).empty(),
          "an argument that is not there is not empty");
  // Read once: a later change of the file does not count.
  PutRedirection(content + "/elsewhere");
  Require(zelk::CommandLineArgument(0) == expected, "the redirection was read again");
  Require(desktop.MessagesShown() == 0, "reading the redirection showed a message");
  return 0;
}
