#include "platform/qt/termination_signals.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <csignal>

namespace pulsewell {
namespace {

extern "C" void elsewhere(int /*signalNumber*/) {}

sighandler_t currentHandler(int signalNumber) {
  struct sigaction current {};
  ::sigaction(signalNumber, nullptr, &current);
  return current.sa_handler;
}

TEST(TerminationSignals, ArriveOnTheEventLoopAsASignal) {
  const TerminationSignals termination;
  ASSERT_TRUE(termination.isInstalled());
  QSignalSpy received(&termination, &TerminationSignals::received);
  for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_EQ(::raise(number), 0);
    ASSERT_TRUE(received.wait(2000)) << number;
    EXPECT_EQ(received.takeFirst().at(0).toInt(), number);
  }
}

TEST(TerminationSignals, GiveTheHandlersBackWhenGone) {
  struct sigaction mine {};
  mine.sa_handler = elsewhere;
  sigemptyset(&mine.sa_mask);
  struct sigaction original {};
  ASSERT_EQ(::sigaction(SIGTERM, &mine, &original), 0);
  {
    const TerminationSignals termination;
    ASSERT_TRUE(termination.isInstalled());
    EXPECT_NE(currentHandler(SIGTERM), &elsewhere);
  }
  EXPECT_EQ(currentHandler(SIGTERM), &elsewhere);
  ::sigaction(SIGTERM, &original, nullptr);
}

TEST(TerminationSignals, OnlyOneInstanceHandlesThem) {
  const TerminationSignals first;
  const TerminationSignals second;
  EXPECT_TRUE(first.isInstalled());
  EXPECT_FALSE(second.isInstalled());
}

}  // namespace
}  // namespace pulsewell
