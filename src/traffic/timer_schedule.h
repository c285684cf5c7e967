#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "traffic/main_queue.h"

namespace pulsewell {

// The timers of a main loop that keeps its own time (the terminal mode's loop, a
// test's queue). Main thread only; the loop says what time it is.
class TimerSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  // `now` tells the moment a timer is started.
  explicit TimerSchedule(std::function<Clock::time_point()> now);
  ~TimerSchedule();
  TimerSchedule(const TimerSchedule&) = delete;
  TimerSchedule& operator=(const TimerSchedule&) = delete;

  std::unique_ptr<MainQueue::Timer> makeTimer(std::function<void()> fire);

  // The earliest moment an armed timer runs out; none when no timer is armed.
  std::optional<Clock::time_point> nextDeadline() const;

  // Fires, earliest first, every timer that has run out by `now`, also those that the
  // fired ones start within that time; the number fired.
  std::size_t fireDue(Clock::time_point now);

 private:
  class ScheduledTimer;
  ScheduledTimer* earliest() const;

  std::function<Clock::time_point()> now_;
  std::vector<ScheduledTimer*> timers_;  // every timer made and not yet destroyed
};

}  // namespace pulsewell
