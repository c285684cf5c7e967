#include "traffic/timer_schedule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

class TimerScheduleTest : public ::testing::Test {
 protected:
  std::unique_ptr<MainQueue::Timer> timer(const std::string& name) {
    return schedule.makeTimer([this, name] { fired += name; });
  }
  std::size_t fireAt(std::chrono::milliseconds at) {
    now = TimerSchedule::Clock::time_point(at);
    return schedule.fireDue(now);
  }

  TimerSchedule::Clock::time_point now;
  TimerSchedule schedule{[this] { return now; }};
  std::string fired;
};

TEST_F(TimerScheduleTest, FiresOnceAtItsMomentAndAStartAgainMovesThatMoment) {
  const auto a = timer("a");
  a->start(50ms);
  EXPECT_EQ(fireAt(30ms), 0U);
  a->start(50ms);  // from 30 ms on
  EXPECT_EQ(schedule.nextDeadline(), TimerSchedule::Clock::time_point(80ms));
  EXPECT_EQ(fireAt(79ms), 0U);
  EXPECT_EQ(fireAt(80ms), 1U);
  EXPECT_EQ(fireAt(500ms), 0U) << "single shot";
  EXPECT_EQ(fired, "a");
  EXPECT_EQ(schedule.nextDeadline(), std::nullopt);
}

TEST_F(TimerScheduleTest, DueTimersFireEarliestFirstAndStoppedOnesNever) {
  const auto a = timer("a");
  const auto b = timer("b");
  const auto c = timer("c");
  b->start(20ms);
  a->start(10ms);
  c->start(15ms);
  c->stop();
  EXPECT_EQ(fireAt(100ms), 2U);
  EXPECT_EQ(fired, "ab");
}

TEST_F(TimerScheduleTest, ATimerThatFiringDestroysNeverFires) {
  auto b = timer("b");
  const auto a = schedule.makeTimer([&] { b.reset(); });
  a->start(10ms);
  b->start(20ms);
  EXPECT_EQ(fireAt(20ms), 1U);
  EXPECT_EQ(fired, "");
}

TEST(TimerScheduleLifetime, TimersOutlivingTheirScheduleStayQuiet) {
  std::unique_ptr<MainQueue::Timer> armed;
  std::unique_ptr<MainQueue::Timer> idle;
  {
    TimerSchedule schedule([] { return TimerSchedule::Clock::time_point(); });
    armed = schedule.makeTimer([] { ADD_FAILURE() << "fired without a schedule"; });
    idle = schedule.makeTimer([] { ADD_FAILURE() << "fired without a schedule"; });
    armed->start(10ms);
  }
  idle->start(10ms);
  armed->stop();
}

}  // namespace
}  // namespace pulsewell
