#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>
#include <cstdlib>
#include <string>

namespace pulsewell::test {

inline bool inCi() {
  const char* ci = std::getenv("CI");  // NOLINT(concurrency-mt-unsafe)
  return ci != nullptr && std::string(ci) == "true";
}

// A dbus-daemon of the test's own, so tests never touch the developer's session or system
// bus. Without dbus-daemon the test is skipped, and fails in CI.
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

  // A client of the bus, disconnected when the test ends.
  QDBusConnection connect(const QString& name) {
    names_.append(name);
    return QDBusConnection::connectToBus(address_, name);
  }

  const QString& address() const { return address_; }

 private:
  QProcess daemon_;
  QString address_;
  QStringList names_;
};

}  // namespace pulsewell::test
