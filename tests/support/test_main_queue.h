#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "traffic/main_queue.h"

namespace pulsewell {

// A main queue the test thread drains itself, so the test thread plays the main thread.
// `post` is safe from any thread; everything else belongs to the test thread.
class TestMainQueue : public MainQueue {
 public:
  void post(std::function<void()> work) override {
    {
      const std::lock_guard lock(mutex_);
      pending_.push_back(std::move(work));
      ++posted_;
    }
    arrived_.notify_all();
  }

  // Runs everything posted so far, and whatever that posts in turn; the number run.
  std::size_t drain() {
    std::size_t ran = 0;
    while (auto work = take()) {
      (*work)();
      work.reset();  // released here, like a real event loop releases a finished call
      ++ran;
    }
    return ran;
  }

  // Waits up to `timeout` for at least one posted call, then drains; the number run.
  std::size_t waitAndDrain(std::chrono::milliseconds timeout) {
    {
      std::unique_lock lock(mutex_);
      arrived_.wait_for(lock, timeout, [this] { return !pending_.empty(); });
    }
    return drain();
  }

  // Drains as calls arrive until `done()` holds or `timeout` passes; whether it held.
  // The timeout is only a bound: it returns as soon as the condition is met.
  template <typename Predicate>
  bool runUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    drain();
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      waitAndDrain(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                   std::chrono::milliseconds(1));
    }
    return true;
  }

  // Calls posted so far, run or not.
  std::size_t postedCount() const {
    const std::lock_guard lock(mutex_);
    return posted_;
  }

  std::size_t pendingCount() const {
    const std::lock_guard lock(mutex_);
    return pending_.size();
  }

 private:
  std::optional<std::function<void()>> take() {
    const std::lock_guard lock(mutex_);
    if (pending_.empty()) return std::nullopt;
    auto work = std::move(pending_.front());
    pending_.pop_front();
    return work;
  }

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> pending_;
  std::size_t posted_ = 0;
};

}  // namespace pulsewell
