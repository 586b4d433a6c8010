#pragma once
// One piece of work on a thread of its own, for everything the window must not wait
// for: the inspector's statistics, Convert's writing, Print's painting. It can be
// cancelled (the work looks at the flag it is given), and its end is delivered on the
// GUI thread, once, unless it was cancelled or restarted since: a ticket tells a
// stale delivery from the current one.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace zelk {

class BackgroundTask {
 public:
  using Work = std::function<void(const std::atomic<bool>& cancel)>;

  BackgroundTask() = default;
  // Cancels the work and waits for its thread: nothing outlives the task.
  ~BackgroundTask() { CancelAndWait(); }
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Starts work (a running one is cancelled and waited for first). done runs on
  // context's thread after work has returned, unless the task was cancelled or started
  // again meanwhile; the thread is joined before done runs. Without done (and then
  // context may be null) the thread is joined when the task is cancelled or destroyed.
  void Start(QObject* context, Work work, std::function<void()> done);
  // Stops the work at its next look at the flag and waits for the thread; a delivery
  // already posted is dropped.
  void CancelAndWait();
  bool Running() const { return thread_.joinable(); }

 private:
  std::thread thread_;
  std::atomic<bool> cancel_{false};
  std::uint64_t ticket_ = 0;
};

// Runs work on a thread of its own and returns when it has ended, calling wait_step
// (which processes events) every 15 ms meanwhile; rethrows what work threw. Without a
// thread to be had, work runs on the calling thread.
void RunOffThread(const std::function<void()>& work, const std::function<void()>& wait_step);

}  // namespace zelk
