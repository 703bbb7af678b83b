#include "platform/watchdog.h"

namespace platform {

namespace {

// What a step has once the waits cut have used the budget up.
constexpr std::chrono::milliseconds kSpentBound{100};

}  // namespace

Watchdog::Watchdog(std::chrono::milliseconds bound, std::function<void(void*)> cancel,
                   std::chrono::milliseconds budget) :
    bound_(bound), cancel_(std::move(cancel)), budget_(budget), watcher_([this] { Watch(); }) {}

Watchdog::~Watchdog() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  watcher_.join();
}

std::chrono::milliseconds Watchdog::Bound() const {
  return spent_ >= budget_ ? std::min(bound_, kSpentBound) : bound_;
}

// Looks ten times a bound: a step is never cut much later than its bound, and a step that
// ends at once costs its thread no wait (it is never told of, only looked at).
void Watchdog::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, Bound() / 10, [this] { return stopping_; })) {
    // Under the lock: the step cannot end, and another begin, between the look and the cancel.
    const auto waited = std::chrono::steady_clock::now() - since_;
    if (active_ && waited >= Bound()) {
      if (!cancelled_) spent_ += waited;
      cancelled_ = true;
      cancel_(handle_);
    }
  }
}

Watchdog::Step::Step(Watchdog& watchdog, void* handle) : watchdog_(watchdog) {
  const std::lock_guard<std::mutex> lock(watchdog_.mutex_);
  watchdog_.active_ = true;
  watchdog_.cancelled_ = false;
  watchdog_.since_ = std::chrono::steady_clock::now();
  watchdog_.handle_ = handle;
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
