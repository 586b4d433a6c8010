#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
constexpr const char* kRedirectionFileName = "redirect_exes.txt";
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

struct CommandLineState {
  std::vector<std::string> arguments;
  bool redirection_read = false;
  // Empty when there is no redirection.
  std::string redirected_executable;
};

CommandLineState& State() {
  static CommandLineState state;
  return state;
}

std::string Argument(int n) {
  const auto& arguments = State().arguments;
  if (n < 0 || static_cast<std::size_t>(n) >= arguments.size()) return std::string();
  return arguments[static_cast<std::size_t>(n)];
}

void ReadRedirectionOnce() {
  CommandLineState& state = State();
  if (state.redirection_read) return;
  // Marked first: the read pauses with event processing, and a handler running then
  // must not start a second read.
  state.redirection_read = true;
  const std::string executable = Argument(0);
  // Taken verbatim: the folder is not trimmed or checked.
  std::string folder = ReadWholeFile(PathPart(executable) + kRedirectionFileName);
  if (folder.empty()) return;
  if (folder.back() != kSeparator) folder += kSeparator;
  state.redirected_executable = folder + FileNamePart(executable);
}
}  // namespace

void SetCommandLine(int argc, char** argv) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  // argv[0] is whatever the caller typed; the link names the file that really runs.
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && !executable.empty()) {
    if (arguments.empty()) arguments.emplace_back();
    arguments[0] = executable.string();
  } else if (!arguments.empty() && !arguments[0].empty()) {
    const auto absolute = std::filesystem::absolute(arguments[0], error);
    if (!error) arguments[0] = absolute.lexically_normal().string();
  }
  State().arguments = std::move(arguments);
}

std::string CommandLineArgument(int n) {
  ReadRedirectionOnce();
  if (n == 0 && !State().redirected_executable.empty()) return State().redirected_executable;
  return Argument(n);
}

bool IsProgramOption(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "--version" ||
         argument == "--diff" || argument == "--compare";
}

std::string FileArgument() {
  const std::vector<std::string>& arguments = State().arguments;
  if (arguments.size() < 2) return {};
  const std::string& first = arguments[1];
  if (first == "--") return arguments.size() > 2 ? arguments[2] : std::string();
  // An option is only ever the first argument, and the program answers it without a
  // window; the file is never one.
  if (IsProgramOption(first)) return {};
  return first;
}

namespace testing {
void SetCommandLineForTesting(std::vector<std::string> args) {
  State().arguments = std::move(args);
}

void ResetRedirection() {
  State().redirection_read = false;
  State().redirected_executable.clear();
}
}  // namespace testing

}  // namespace zelk
