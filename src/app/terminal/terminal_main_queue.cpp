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

void TerminalMainQueue::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quitting_ || !work_.empty(); });
    if (quitting_) return;
    auto next = std::move(work_.front());
    work_.pop_front();
    lock.unlock();
    next();
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
