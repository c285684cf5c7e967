#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "traffic/main_queue.h"
#include "traffic/timer_schedule.h"

namespace pulsewell {

// A main queue the test thread drains itself, so the test thread plays the main thread.
// Its timers follow a clock that moves only when the test advances it.
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

  std::unique_ptr<Timer> makeTimer(std::function<void()> fire) override {
    return timers_.makeTimer(std::move(fire));
  }

  // Lets `time` pass on the queue's clock: runs every timer as its moment comes, with the
  // clock standing at that moment. Posted calls stay queued.
  void advance(std::chrono::milliseconds time) {
    const auto until = now_ + time;
    for (auto next = timers_.nextDeadline(); next && *next <= until;
         next = timers_.nextDeadline()) {
      now_ = std::max(now_, *next);
      timers_.fireDue(now_);
    }
    now_ = until;
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

  // Runs what is posted; when nothing was, lets the clock jump to the next timer and runs
  // it. The number of calls and timers run: none means only another thread can move on.
  std::size_t runNext() {
    if (const std::size_t ran = drain()) return ran;
    const auto next = timers_.nextDeadline();
    if (!next) return 0;
    advance(std::chrono::ceil<std::chrono::milliseconds>(*next - now_));
    return 1;
  }

  // Drains as calls arrive, and lets the clock pass as timers need, until `done()` holds or
  // `timeout` of real time passes; whether it held. The timeout is only a bound: it returns
  // as soon as the condition is met.
  template <typename Predicate>
  bool runUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    drain();
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      if (runNext() > 0) continue;
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
  TimerSchedule::Clock::time_point now_;
  TimerSchedule timers_{[this] { return now_; }};
};

}  // namespace pulsewell
