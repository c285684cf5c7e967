#include "app/terminal/terminal_main_queue.h"

#include <utility>

namespace pulsewell {

void TerminalMainQueue::post(std::function<void()> work) {
  {
    const std::lock_guard lock(mutex_);
    if (quitting_) return;
    work_.push_back(std::move(work));
  }
  wake_.notify_one();
}

std::unique_ptr<MainQueue::Timer> TerminalMainQueue::makeTimer(std::function<void()> fire) {
  return timers_.makeTimer(std::move(fire));
}

void TerminalMainQueue::run() {
  std::unique_lock lock(mutex_);
  const auto ready = [this] { return quitting_ || !work_.empty(); };
  for (;;) {
    // The timers belong to this thread alone; the lock guards only the posted work.
    if (const auto deadline = timers_.nextDeadline()) {
      wake_.wait_until(lock, *deadline, ready);
    } else {
      wake_.wait(lock, ready);
    }
    if (quitting_) return;
    std::function<void()> next;
    if (!work_.empty()) {
      next = std::move(work_.front());
      work_.pop_front();
    }
    lock.unlock();
    if (next) next();
    next = nullptr;
    timers_.fireDue(TimerSchedule::Clock::now());
    lock.lock();
  }
}

void TerminalMainQueue::quit() {
  std::deque<std::function<void()>> dropped;  // destroyed outside the lock
  {
    const std::lock_guard lock(mutex_);
    quitting_ = true;
    dropped.swap(work_);
  }
  wake_.notify_all();
}

}  // namespace pulsewell
