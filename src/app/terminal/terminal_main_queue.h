#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "traffic/main_queue.h"
#include "traffic/timer_schedule.h"

namespace pulsewell {

// The terminal mode's main loop: the thread that calls run() is the main thread, and
// timers fire between posted calls.
class TerminalMainQueue final : public MainQueue {
 public:
  void post(std::function<void()> work) override;
  std::unique_ptr<Timer> makeTimer(std::function<void()> fire) override;

  // Runs posted work in order until quit(); work posted after quit() is dropped.
  void run();
  void quit();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> work_;
  bool quitting_ = false;
  TimerSchedule timers_{[] { return TimerSchedule::Clock::now(); }};
};

}  // namespace pulsewell
