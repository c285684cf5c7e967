#include "platform/qt/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <string>

namespace pulsewell {
namespace {

// ask() blocks, and the instance answers from the event loop of this thread, so the
// question is asked from another thread while this one keeps the loop turning.
std::optional<QString> askAside(const QString& path, const QString& request, int timeoutMs = 3000) {
  auto reply = std::async(std::launch::async, [path, request, timeoutMs] {
    return SingleInstance::ask(path, request, timeoutMs);
  });
  const bool answered = QTest::qWaitFor(
      [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
      timeoutMs + 2000);
  if (!answered) ADD_FAILURE() << "ask() did not return";
  return reply.get();
}

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }
  QString path() const { return folder_.filePath(QStringLiteral("instance")); }

  QTemporaryDir folder_;
};

TEST_F(SingleInstanceTest, TheFirstStartListensAndASecondFindsIt) {
  SingleInstance first(path());
  EXPECT_TRUE(first.claim());
  EXPECT_TRUE(first.isListening());

  SingleInstance second(path());
  EXPECT_FALSE(second.claim());
  EXPECT_FALSE(second.isListening());
}

TEST_F(SingleInstanceTest, ASettingsRequestReachesTheRunningInstance) {
  SingleInstance running(path());
  ASSERT_TRUE(running.claim());
  QSignalSpy opened(&running, &SingleInstance::settingsRequested);

  EXPECT_EQ(askAside(path(), QStringLiteral("settings")), QStringLiteral("ok"));
  ASSERT_TRUE(opened.count() == 1 || opened.wait(2000));
  EXPECT_EQ(opened.count(), 1);
}

TEST_F(SingleInstanceTest, AStatusRequestGetsTheCurrentLabelOnOneLine) {
  SingleInstance running(path());
  ASSERT_TRUE(running.claim());
  QString label = QStringLiteral("Pulsewell: Download 1.2 MB/s, Upload 80 KB/s");
  running.setStatusProvider([&label] { return label; });

  EXPECT_EQ(askAside(path(), QStringLiteral("status")), label);
  label = QStringLiteral("first\nsecond");
  EXPECT_EQ(askAside(path(), QStringLiteral("status")), QStringLiteral("first second"));
}

TEST_F(SingleInstanceTest, AnUnknownRequestIsAnsweredAsSuchAndOpensNothing) {
  SingleInstance running(path());
  ASSERT_TRUE(running.claim());
  QSignalSpy opened(&running, &SingleInstance::settingsRequested);
  EXPECT_EQ(askAside(path(), QStringLiteral("reboot")), QStringLiteral("unknown request"));
  EXPECT_EQ(opened.count(), 0);
}

TEST_F(SingleInstanceTest, NobodyAnsweringGivesNone) {
  EXPECT_EQ(SingleInstance::ask(path(), QStringLiteral("status"), 200), std::nullopt);
}

TEST_F(SingleInstanceTest, AClientThatNeverEndsItsLineIsCutOffAndOthersAreStillServed) {
  SingleInstance running(path());
  ASSERT_TRUE(running.claim());
  running.setStatusProvider([] { return QStringLiteral("fine"); });

  QLocalSocket flood;
  flood.connectToServer(path());
  ASSERT_TRUE(flood.waitForConnected(2000));
  flood.write(QByteArray(100000, 'x'));
  flood.flush();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 5000));

  EXPECT_EQ(askAside(path(), QStringLiteral("status")), QStringLiteral("fine"));
}

TEST_F(SingleInstanceTest, ASocketLeftByAnInstanceThatDiedIsTakenOver) {
  // A bound socket that nobody listens on, as a crashed instance leaves it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray file = path().toLocal8Bit();
  ASSERT_LT(static_cast<std::size_t>(file.size()), sizeof(address.sun_path));
  std::memcpy(address.sun_path, file.constData(), static_cast<std::size_t>(file.size()));
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);

  SingleInstance next(path());
  EXPECT_TRUE(next.claim());
  EXPECT_TRUE(next.isListening());
  next.setStatusProvider([] { return QStringLiteral("alive"); });
  EXPECT_EQ(askAside(path(), QStringLiteral("status")), QStringLiteral("alive"));
}

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QString& value) : name_(name) {
    const char* old = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    if (old != nullptr) old_ = old;
    qputenv(name, value.toLocal8Bit());
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    if (old_) {
      qputenv(name_, QByteArray::fromStdString(*old_));
    } else {
      qunsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(SingleInstanceTest, TheNameTellsApplicationUserAndDisplay) {
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder_.path());
  const ScopedEnvironment wayland("WAYLAND_DISPLAY", QString());
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":99.0"));
  const ScopedEnvironment config("XDG_CONFIG_HOME", QString());
  EXPECT_EQ(SingleInstance::defaultServerPath(),
            folder_.path() + QStringLiteral("/org.pulsewell.Pulsewell-") +
                QString::number(::getuid()) + QStringLiteral("-_99.0"));
}

TEST_F(SingleInstanceTest, EachWaylandDisplayAndEachSettingsFolderHasItsOwnInstance) {
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder_.path());
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":0"));
  const ScopedEnvironment config("XDG_CONFIG_HOME", QString());
  QString plain;
  {
    const ScopedEnvironment wayland("WAYLAND_DISPLAY", QStringLiteral("wayland-1"));
    plain = SingleInstance::defaultServerPath();
    EXPECT_TRUE(plain.endsWith(QStringLiteral("-wayland-1"))) << plain.toStdString();
  }
  const ScopedEnvironment wayland("WAYLAND_DISPLAY", QStringLiteral("wayland-1"));
  QString demo;
  {
    const ScopedEnvironment other("XDG_CONFIG_HOME", folder_.filePath(QStringLiteral("demo")));
    demo = SingleInstance::defaultServerPath();
  }
  EXPECT_NE(demo, plain);
  EXPECT_TRUE(demo.startsWith(plain + u'-')) << demo.toStdString();
  {
    const ScopedEnvironment standard("XDG_CONFIG_HOME",
                                     QDir::homePath() + QStringLiteral("/.config/"));
    EXPECT_EQ(SingleInstance::defaultServerPath(), plain);
  }
}

TEST_F(SingleInstanceTest, WithoutARuntimeFolderTheTemporaryFolderServes) {
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder_.filePath(QStringLiteral("missing")));
  EXPECT_TRUE(SingleInstance::defaultServerPath().startsWith(QDir::tempPath() + u'/'));
}

}  // namespace
}  // namespace pulsewell
