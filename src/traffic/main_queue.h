#pragma once

#include <functional>

namespace pulsewell {

// The core's only way onto the main thread. The Qt shell posts a queued call to the
// application object; tests use a queue they drain themselves.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  // Runs `work` later on the main thread. Safe to call from any thread.
  virtual void post(std::function<void()> work) = 0;
};

}  // namespace pulsewell
