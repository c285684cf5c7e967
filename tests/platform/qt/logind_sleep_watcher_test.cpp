#include "platform/qt/logind_sleep_watcher.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>

#include "tests/platform/qt/private_bus.h"

namespace pulsewell {
namespace {

using test::PrivateBus;

void sendPrepareForSleep(QDBusConnection& from, bool start) {
  QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                   QStringLiteral("org.freedesktop.login1.Manager"),
                                                   QStringLiteral("PrepareForSleep"));
  signal << start;
  ASSERT_TRUE(from.send(signal));
}

TEST_F(PrivateBus, LogindsSleepAndWakeBecomeWillSleepAndDidWake) {
  QDBusConnection logind = connect(QStringLiteral("logind"));
  ASSERT_TRUE(logind.isConnected());
  ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

  const LogindSleepWatcher watcher(connect(QStringLiteral("watcher")));
  ASSERT_TRUE(watcher.isWatching());
  QSignalSpy sleeping(&watcher, &LogindSleepWatcher::willSleep);
  QSignalSpy waking(&watcher, &LogindSleepWatcher::didWake);

  sendPrepareForSleep(logind, true);
  ASSERT_TRUE(sleeping.wait(5000));
  EXPECT_EQ(waking.count(), 0);

  sendPrepareForSleep(logind, false);
  ASSERT_TRUE(waking.wait(5000));
  EXPECT_EQ(sleeping.count(), 1);
}

TEST_F(PrivateBus, TheSameSignalFromAnyOtherClientIsIgnored) {
  QDBusConnection logind = connect(QStringLiteral("logind"));
  ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
  QDBusConnection impostor = connect(QStringLiteral("impostor"));
  ASSERT_TRUE(impostor.isConnected());

  const LogindSleepWatcher watcher(connect(QStringLiteral("watcher")));
  QSignalSpy sleeping(&watcher, &LogindSleepWatcher::willSleep);
  QSignalSpy waking(&watcher, &LogindSleepWatcher::didWake);

  sendPrepareForSleep(impostor, true);
  // A round trip to the bus, so the impostor's signal has been routed before logind's.
  ASSERT_TRUE(impostor.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")));
  sendPrepareForSleep(logind, false);
  ASSERT_TRUE(waking.wait(5000));
  EXPECT_EQ(sleeping.count(), 0);
}

TEST(LogindSleepWatcher, WithoutABusNothingIsWatchedAndNothingFails) {
  const LogindSleepWatcher watcher(QDBusConnection(QStringLiteral("no such connection")));
  EXPECT_FALSE(watcher.isWatching());
}

}  // namespace
}  // namespace pulsewell
