#pragma once
// Steps that may wait on another program for as long as it likes, bounded. Setting a delete
// disposition or renaming a file breaks another handle's read-handle oplock and waits, with no
// time limit of its own, for that handle's owner to acknowledge the break: a user holding such
// an oplock on a file the run deletes (their desktop's shortcut, a data file) would stop the
// run for good, and its lock would answer every later run with 1618.
//
// While a Watchdog lives, a thread of its own watches the steps of the thread that made it: a
// step still waiting past the bound is cancelled (`cancel`, given the step's handle: the
// platform's way to end that thread's waiting call on it, CancelSynchronousIo and CancelIoEx
// on Windows), again at every look until it ends, and the step knows it was: what it was doing
// counts as held by another program. Once the waits cut add up to `budget` (a user holding
// oplocks on thousands of files), every later step has a tenth of a second.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

class Watchdog {
 public:
  Watchdog(std::chrono::milliseconds bound, std::function<void(void* handle)> cancel,
           std::chrono::milliseconds budget = std::chrono::seconds(30));
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // One step that may wait: one call of the platform on `handle`, from the making of the Step
  // to its end.
  class Step {
   public:
    explicit Step(Watchdog& watchdog, void* handle = nullptr);
    ~Step();
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    // True when the call waited past the bound and was cancelled.
    bool Cancelled() const;

   private:
    Watchdog& watchdog_;
  };

 private:
  void Watch();
  std::chrono::milliseconds Bound() const;  // under the lock

  const std::chrono::milliseconds bound_;
  const std::function<void(void*)> cancel_;
  const std::chrono::milliseconds budget_;
  std::chrono::steady_clock::duration spent_{};  // waited by the steps cut so far
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool active_ = false;  // a step is under way, since `since_`, on `handle_`
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point since_;
  void* handle_ = nullptr;
  std::thread watcher_;
};

}  // namespace platform
