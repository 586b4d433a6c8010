#pragma once
// Child processes of the real-window tests. Every child is killed when the test
// process ends for any reason (the kernel delivers SIGKILL on the parent's death), so
// a stuck window can never outlive a failed or timed-out test.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zelk::e2e {

using Environment = std::map<std::string, std::string>;

// One started program. Its standard output goes to a pipe that Wait() drains (or to a
// file), its standard error to a file so a failing test can show it.
class ChildProcess {
 public:
  struct Options {
    std::string working_dir;  // empty: the test's own
    Environment extra_env;    // added to (and overriding) the test's environment
    std::string stdin_file;   // empty: /dev/null
    std::string stdout_file;  // empty: a pipe read by Wait()
    std::string stderr_file;  // empty: /dev/null
    bool keep_fd_3 = false;   // passes the write end of a pipe as descriptor 3
  };

  ChildProcess(const std::vector<std::string>& argv, const Options& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();

  // Waits for the exit at most timeout; the exit status (128 + signal when killed), or
  // nothing when it is still running then.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // SIGTERM, a short grace, then SIGKILL; reaps the child.
  void Kill();

  // Everything read from the standard output pipe so far (complete after Wait()).
  const std::string& Output() const { return output_; }
  // The read end of the descriptor-3 pipe (keep_fd_3), or -1.
  int Fd3() const { return fd3_read_; }

 private:
  void DrainOutput(std::chrono::milliseconds budget);

  pid_t pid_ = -1;
  std::optional<int> status_;
  int stdout_read_ = -1;
  int fd3_read_ = -1;
  std::string output_;
};

struct RunResult {
  int status = -1;  // -1 when it timed out and was killed
  std::string output;
};

// Runs a short command to its end (killed after timeout) and returns its standard
// output.
RunResult RunCommand(const std::vector<std::string>& argv, const Environment& extra_env,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The full path of a program found on PATH, or empty.
std::string FindProgram(const std::string& name);

}  // namespace zelk::e2e
