#include "traffic/timer_schedule.h"

#include <utility>

namespace pulsewell {

class TimerSchedule::ScheduledTimer final : public MainQueue::Timer {
 public:
  ScheduledTimer(TimerSchedule& schedule, std::function<void()> fire)
      : schedule_(&schedule), fire_(std::move(fire)) {
    schedule_->timers_.push_back(this);
  }
  ~ScheduledTimer() override {
    if (schedule_ != nullptr) std::erase(schedule_->timers_, this);
  }
  ScheduledTimer(const ScheduledTimer&) = delete;
  ScheduledTimer& operator=(const ScheduledTimer&) = delete;

  void start(std::chrono::milliseconds delay) override {
    if (schedule_ != nullptr) deadline_ = schedule_->now_() + delay;
  }
  void stop() override { deadline_.reset(); }

  // The schedule went first: from now on the timer never fires.
  void detach() {
    deadline_.reset();
    schedule_ = nullptr;
  }

  const std::optional<Clock::time_point>& deadline() const { return deadline_; }

  void fire() {
    deadline_.reset();
    const auto work = fire_;  // firing may destroy this timer and its copy
    work();
  }

 private:
  TimerSchedule* schedule_;
  std::function<void()> fire_;
  std::optional<Clock::time_point> deadline_;
};

TimerSchedule::TimerSchedule(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

TimerSchedule::~TimerSchedule() {
  for (ScheduledTimer* timer : timers_)
    timer->detach();
}

std::unique_ptr<MainQueue::Timer> TimerSchedule::makeTimer(std::function<void()> fire) {
  return std::make_unique<ScheduledTimer>(*this, std::move(fire));
}

TimerSchedule::ScheduledTimer* TimerSchedule::earliest() const {
  ScheduledTimer* found = nullptr;
  for (ScheduledTimer* timer : timers_) {
    if (timer->deadline() && (found == nullptr || *timer->deadline() < *found->deadline())) {
      found = timer;
    }
  }
  return found;
}

std::optional<TimerSchedule::Clock::time_point> TimerSchedule::nextDeadline() const {
  const ScheduledTimer* next = earliest();
  if (next == nullptr) return std::nullopt;
  return *next->deadline();
}

std::size_t TimerSchedule::fireDue(Clock::time_point now) {
  std::size_t fired = 0;
  // One at a time: firing may start, stop or destroy any timer.
  for (ScheduledTimer* next = earliest(); next != nullptr && *next->deadline() <= now;
       next = earliest()) {
    next->fire();
    ++fired;
  }
  return fired;
}

}  // namespace pulsewell
