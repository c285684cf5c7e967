#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace pulsewell {

// The core's only way onto the main thread, and its only clock for waiting there. The Qt
// shell posts queued calls and runs Qt timers; tests use a queue they drain and a clock
// they advance themselves.
class MainQueue {
 public:
  // A single-shot timer on the main thread; made, started, stopped and destroyed there.
  // Starting it again before it fires moves the moment it fires.
  class Timer {
   public:
    virtual ~Timer() = default;
    virtual void start(std::chrono::milliseconds delay) = 0;
    virtual void stop() = 0;
  };

  virtual ~MainQueue() = default;
  // Runs `work` later on the main thread. Safe to call from any thread.
  virtual void post(std::function<void()> work) = 0;
  // Main thread: a timer that calls `fire` on the main thread each time it runs out.
  virtual std::unique_ptr<Timer> makeTimer(std::function<void()> fire) = 0;
};

}  // namespace pulsewell
