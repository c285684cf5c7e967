#include "platform/qt/logind_sleep_watcher.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <cstdlib>
#include <memory>

namespace pulsewell {
namespace {

bool inCi() {
  const char* ci = std::getenv("CI");  // NOLINT(concurrency-mt-unsafe)
  return ci != nullptr && std::string(ci) == "true";
}

// A bus of the test's own, standing in for the system bus: one client plays logind.
class PrivateBus : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
      if (inCi()) FAIL() << "dbus-daemon is missing";
      GTEST_SKIP() << "dbus-daemon is not installed";
    }
    daemon_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon_.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([this] { return daemon_.canReadLine(); }, 5000));
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    ASSERT_FALSE(address_.isEmpty());
  }

  void TearDown() override {
    for (const QString& name : names_)
      QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
      daemon_.kill();
      daemon_.waitForFinished(5000);
    }
  }

  QDBusConnection connect(const QString& name) {
    names_.append(name);
    return QDBusConnection::connectToBus(address_, name);
  }

  static void sendPrepareForSleep(QDBusConnection& from, bool start) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << start;
    ASSERT_TRUE(from.send(signal));
  }

  QProcess daemon_;
  QString address_;
  QStringList names_;
};

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
