#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "traffic/main_queue.h"

namespace pulsewell {

// The terminal mode's main loop: the thread that calls run() is the main thread.
class TerminalMainQueue final : public MainQueue {
 public:
  void post(std::function<void()> work) override;

  // Runs posted work in order until quit(); work posted after quit() is dropped.
  void run();
  void quit();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> work_;
  bool quitting_ = false;
};

}  // namespace pulsewell
