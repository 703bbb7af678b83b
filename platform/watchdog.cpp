#include "platform/watchdog.h"

namespace platform {

Watchdog::Watchdog(std::chrono::milliseconds bound, std::function<void()> cancel) :
    bound_(bound), cancel_(std::move(cancel)), watcher_([this] { Watch(); }) {}

Watchdog::~Watchdog() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  watcher_.join();
}

// Looks ten times a bound: a step is never cut much later than its bound, and a step that
// ends at once costs its thread no wait (it is never told of, only looked at).
void Watchdog::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, bound_ / 10, [this] { return stopping_; })) {
    // Under the lock: the step cannot end, and another begin, between the look and the cancel.
    if (active_ && std::chrono::steady_clock::now() - since_ >= bound_) {
      cancelled_ = true;
      cancel_();
    }
  }
}

Watchdog::Step::Step(Watchdog& watchdog) : watchdog_(watchdog) {
  const std::lock_guard<std::mutex> lock(watchdog_.mutex_);
  watchdog_.active_ = true;
  watchdog_.cancelled_ = false;
  watchdog_.since_ = std::chrono::steady_clock::now();
}

Watchdog::Step::~Step() {
  const std::lock_guard<std::mutex> lock(watchdog_.mutex_);
  watchdog_.active_ = false;
}

bool Watchdog::Step::Cancelled() const {
  const std::lock_guard<std::mutex> lock(watchdog_.mutex_);
  return watchdog_.cancelled_;
}

}  // namespace platform
