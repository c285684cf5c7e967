#include "traffic/timer_schedule.h"

#include <algorithm>
#include <utility>

namespace pulsewell {

class TimerSchedule::ScheduledTimer final : public MainQueue::Timer {
 public:
  ScheduledTimer(TimerSchedule& schedule, std::function<void()> fire)
      : schedule_(&schedule), fire_(std::move(fire)) {}
  ~ScheduledTimer() override { stop(); }
  ScheduledTimer(const ScheduledTimer&) = delete;
  ScheduledTimer& operator=(const ScheduledTimer&) = delete;

  void start(std::chrono::milliseconds delay) override {
    stop();
    if (schedule_ == nullptr) return;
    deadline_ = schedule_->now_() + delay;
    schedule_->armed_.push_back(this);
  }

  void stop() override {
    if (schedule_ == nullptr || !deadline_) return;
    deadline_.reset();
    std::erase(schedule_->armed_, this);
  }

  // The schedule went first: from now on the timer never fires.
  void detach() {
    deadline_.reset();
    schedule_ = nullptr;
  }

  Clock::time_point deadline() const { return *deadline_; }

  void fire() {
    stop();
    fire_();  // may destroy this timer
  }

 private:
  TimerSchedule* schedule_;
  std::function<void()> fire_;
  std::optional<Clock::time_point> deadline_;
};

TimerSchedule::TimerSchedule(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

TimerSchedule::~TimerSchedule() {
  for (ScheduledTimer* timer : armed_)
    timer->detach();
}

std::unique_ptr<MainQueue::Timer> TimerSchedule::makeTimer(std::function<void()> fire) {
  return std::make_unique<ScheduledTimer>(*this, std::move(fire));
}

TimerSchedule::ScheduledTimer* TimerSchedule::earliest() const {
  const auto found =
      std::ranges::min_element(armed_, [](const ScheduledTimer* a, const ScheduledTimer* b) {
        return a->deadline() < b->deadline();
      });
  return found == armed_.end() ? nullptr : *found;
}

std::optional<TimerSchedule::Clock::time_point> TimerSchedule::nextDeadline() const {
  const ScheduledTimer* next = earliest();
  if (next == nullptr) return std::nullopt;
  return next->deadline();
}

std::size_t TimerSchedule::fireDue(Clock::time_point now) {
  std::size_t fired = 0;
  // One at a time: firing may start, stop or destroy any timer.
  for (ScheduledTimer* next = earliest(); next != nullptr && next->deadline() <= now;
       next = earliest()) {
    next->fire();
    ++fired;
  }
  return fired;
}

}  // namespace pulsewell
