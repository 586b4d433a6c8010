#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace zelk::e2e {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MergedEnvironment(const Environment& extra) {
  Environment all;
  for (char** e = environ; *e; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq) all[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
  }
  for (const auto& [key, value] : extra) all[key] = value;
  std::vector<std::string> out;
  for (const auto& [key, value] : all) out.push_back(key + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

int OpenOrDie(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) _exit(126);
  return fd;
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
  std::vector<std::string> args = argv;
  std::vector<char*> arg_ptrs = Pointers(args);
  std::vector<std::string> env = MergedEnvironment(options.extra_env);
  std::vector<char*> env_ptrs = Pointers(env);

  int out_pipe[2] = {-1, -1};
  if (options.stdout_file.empty() && ::pipe2(out_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  int fd3_pipe[2] = {-1, -1};
  if (options.keep_fd_3 && ::pipe2(fd3_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");

  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // Dies with the test process, whatever ends it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) _exit(125);
    ::setpgid(0, 0);
    const int in =
        OpenOrDie(options.stdin_file.empty() ? "/dev/null" : options.stdin_file, O_RDONLY);
    const int out = options.stdout_file.empty()
                        ? out_pipe[1]
                        : OpenOrDie(options.stdout_file, O_WRONLY | O_CREAT | O_TRUNC);
    const int err = OpenOrDie(options.stderr_file.empty() ? "/dev/null" : options.stderr_file,
                              O_WRONLY | O_CREAT | O_TRUNC);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (options.keep_fd_3) ::dup2(fd3_pipe[1], 3);
    if (!options.working_dir.empty() && ::chdir(options.working_dir.c_str()) != 0) _exit(124);
    ::execvpe(arg_ptrs[0], arg_ptrs.data(), env_ptrs.data());
    _exit(127);
  }
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);
  stdout_read_ = out_pipe[0];
  if (fd3_pipe[1] >= 0) ::close(fd3_pipe[1]);
  fd3_read_ = fd3_pipe[0];
}

ChildProcess::~ChildProcess() {
  Kill();
  if (stdout_read_ >= 0) ::close(stdout_read_);
  if (fd3_read_ >= 0) ::close(fd3_read_);
}

void ChildProcess::DrainOutput(std::chrono::milliseconds budget) {
  if (stdout_read_ < 0) return;
  const auto end = Clock::now() + budget;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    pollfd p{stdout_read_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count())));
    if (ready <= 0) return;
    const ssize_t n = ::read(stdout_read_, buffer, sizeof buffer);
    if (n <= 0) {
      ::close(stdout_read_);
      stdout_read_ = -1;
      return;
    }
    output_.append(buffer, static_cast<std::size_t>(n));
  }
}

bool ChildProcess::Running() {
  if (status_ || pid_ <= 0) return false;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) status_ = DecodeStatus(status);
  return !status_;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (Running()) {
    if (Clock::now() >= end) return std::nullopt;
    if (stdout_read_ >= 0) {
      DrainOutput(std::chrono::milliseconds(20));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  DrainOutput(std::chrono::milliseconds(200));
  return status_;
}

void ChildProcess::Kill() {
  if (pid_ <= 0 || !Running()) return;
  ::kill(pid_, SIGTERM);
  if (Wait(std::chrono::milliseconds(1500))) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  if (::waitpid(pid_, &status, 0) == pid_) status_ = DecodeStatus(status);
}

RunResult RunCommand(const std::vector<std::string>& argv, const Environment& extra_env,
                     std::chrono::milliseconds timeout) {
  ChildProcess::Options options;
  options.extra_env = extra_env;
  ChildProcess child(argv, options);
  RunResult result;
  const std::optional<int> status = child.Wait(timeout);
  if (!status) {
    child.Kill();
  } else {
    result.status = *status;
  }
  result.output = child.Output();
  return result;
}

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t colon = dirs.find(':', start);
    const std::string dir = dirs.substr(start, colon == std::string::npos ? colon : colon - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return {};
}

}  // namespace zelk::e2e
