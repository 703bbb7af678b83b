#pragma once
// A call that may never answer (a management service that hangs), given up on after a bound.
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace win32 {

// Runs the call on a thread of its own and waits at most `bound` for its answer; nothing when
// none came in time. The call then goes on by itself, and its answer is dropped when it comes.
template <typename T>
std::optional<T> WithinBound(std::function<T()> call, std::chrono::milliseconds bound) {
  auto task = std::make_shared<std::packaged_task<T()>>(std::move(call));
  std::future<T> answer = task->get_future();
  std::thread([task] { (*task)(); }).detach();
  if (answer.wait_for(bound) != std::future_status::ready) return std::nullopt;
  return answer.get();
}

}  // namespace win32
