#include "app/background_task.h"

#include <chrono>
#include <future>
#include <system_error>

namespace zelk {

void BackgroundTask::Start(QObject* context, Work work, std::function<void()> done) {
  CancelAndWait();
  cancel_ = false;
  const std::uint64_t ticket = ++ticket_;
  thread_ = std::thread(
      [this, context, ticket, work = std::move(work), done = std::move(done)]() mutable {
        work(cancel_);
        if (cancel_) return;
        QMetaObject::invokeMethod(
            context,
            [this, ticket, done = std::move(done)] {
              // Cancelled or restarted since: that call joined the thread and moved on.
              if (ticket != ticket_ || !thread_.joinable()) return;
              thread_.join();
              done();
            },
            Qt::QueuedConnection);
      });
}

void BackgroundTask::CancelAndWait() {
  if (!thread_.joinable()) return;
  cancel_ = true;
  thread_.join();
  ++ticket_;  // a delivery already posted is dropped
}

void RunOffThread(const std::function<void()>& work, const std::function<void()>& wait_step) {
  std::packaged_task<void()> task(work);
  std::future<void> ended = task.get_future();
  std::thread worker;
  try {
    worker = std::thread(std::move(task));
  } catch (const std::system_error&) {
    work();
    return;
  }
  while (ended.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready) wait_step();
  worker.join();
  ended.get();
}

}  // namespace zelk
