#include "platform/qt/single_instance.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/local_socket.h"
#include "program_run.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

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

  const LocalSocket flood =
      LocalSocket::connect({path().toStdString()}, std::chrono::steady_clock::now() + 2s);
  ASSERT_TRUE(flood.isOpen());
  // As much as the socket takes at once; the instance hangs up after a request's worth.
  flood.sendAll(std::string(100000, 'x'), std::chrono::steady_clock::now());
  std::string rest;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return flood.receiveAvailable(rest, 1) == LocalSocket::Read::ended; }, 5000));

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

TEST_F(SingleInstanceTest, TheNameTellsApplicationAndDisplay) {
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder_.path());
  const ScopedEnvironment wayland("WAYLAND_DISPLAY", QString());
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":99.0"));
  const ScopedEnvironment config("XDG_CONFIG_HOME", QString());
  EXPECT_EQ(SingleInstance::defaultServerPath(),
            folder_.path() + QStringLiteral("/org.pulsewell.Pulsewell/instance-_99.0"));
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
  const ScopedEnvironment temporary("TMPDIR", folder_.path());
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder_.filePath(QStringLiteral("missing")));
  EXPECT_TRUE(SingleInstance::defaultServerPath().startsWith(
      folder_.path() + QStringLiteral("/org.pulsewell.Pulsewell-") + QString::number(::geteuid()) +
      u'/'))
      << SingleInstance::defaultServerPath().toStdString();
}

// A folder every user may create in, like /tmp.
void shareLikeTmp(const QString& folder) {
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), S_ISVTX | S_IRWXU | S_IRWXG | S_IRWXO),
            0);
}

TEST_F(SingleInstanceTest, TheSocketLivesInAFolderOnlyTheUserCanEnter) {
  shareLikeTmp(folder_.path());
  const ScopedEnvironment temporary("TMPDIR", folder_.path());
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":99"));
  const QString runtimeFolder = folder_.filePath(QStringLiteral("runtime"));
  ASSERT_TRUE(QDir().mkpath(runtimeFolder));
  for (const QString& runtime : {runtimeFolder, QString()}) {
    SCOPED_TRACE(runtime.toStdString());
    const ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime);
    const QString path = SingleInstance::defaultServerPath();
    EXPECT_TRUE(path.startsWith((runtime.isEmpty() ? folder_.path() : runtime) + u'/'))
        << path.toStdString();
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(path).path()).constData(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_uid, ::geteuid());
    EXPECT_EQ(status.st_mode & 07777, S_IRWXU);
  }
}

TEST_F(SingleInstanceTest, ARuntimeFolderTooLongForASocketAddressStillGuards) {
  // sun_path holds 108 bytes; each of these paths alone is longer.
  const QString longName(120, u'r');
  const QString longRuntime = folder_.filePath(longName);
  ASSERT_TRUE(QDir().mkpath(longRuntime));
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":99"));
  const ScopedEnvironment config("XDG_CONFIG_HOME", folder_.filePath(QStringLiteral("config")));
  for (const QString& temporary : {folder_.path(), longRuntime}) {
    SCOPED_TRACE(temporary.toStdString());
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", longRuntime);
    const ScopedEnvironment temporaryVariable("TMPDIR", temporary);
    const QString path = SingleInstance::defaultServerPath();
    SingleInstance first(path);
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.isListening()) << path.toStdString();
    first.setStatusProvider([] { return QStringLiteral("fine"); });
    EXPECT_EQ(askAside(SingleInstance::defaultServerPath(), QStringLiteral("status")),
              QStringLiteral("fine"));
    SingleInstance second(SingleInstance::defaultServerPath());
    EXPECT_FALSE(second.claim());
  }
}

// What another user's process leaves at a name: a listener that answers with this.
constexpr const char* hostileReply = "\x1b]0;owned\x07\x1b[2J pwned\n";

// A process of user nobody that does `act` (takes a name, plants a file, listens); when
// `act` gives a listening socket, it answers every connection with hostileReply until the
// test ends. Needs root.
class OtherUser {
 public:
  static constexpr uid_t nobody = 65534;
  static constexpr int failed = -1;
  static constexpr int nothingToServe = -2;

  explicit OtherUser(const std::function<int()>& act) {
    std::array<int, 2> ready{};
    if (::pipe(ready.data()) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
        ::_exit(1);
      }
      const int listener = act();
      const char acted = listener == failed ? 'n' : 'y';
      [[maybe_unused]] const ssize_t told = ::write(ready[1], &acted, 1);
      for (;;) {
        const int client = listener >= 0 ? ::accept(listener, nullptr, nullptr) : -1;
        if (client < 0) {
          ::pause();
          continue;
        }
        [[maybe_unused]] const ssize_t sent =
            ::write(client, hostileReply, std::strlen(hostileReply));
        ::close(client);
      }
    }
    ::close(ready[1]);
    char acted = 0;
    acted_ = ::read(ready[0], &acted, 1) == 1 && acted == 'y';
    ::close(ready[0]);
  }
  OtherUser(const OtherUser&) = delete;
  OtherUser& operator=(const OtherUser&) = delete;
  ~OtherUser() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool acted() const { return acted_; }

 private:
  pid_t pid_ = -1;
  bool acted_ = false;
};

#define REQUIRE_ANOTHER_USER()                                                        \
  do {                                                                                \
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run another user's process"; \
  } while (false)

// Listens at a path, or at an abstract name as Qt forms it (no terminating NUL).
int listenAt(const std::string& name, bool abstract = false) {
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (listener < 0 || name.size() + offset >= sizeof address.sun_path) return OtherUser::failed;
  std::memcpy(address.sun_path + offset, name.data(), name.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size());
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(listener, 8) != 0) {
    ::close(listener);
    return OtherUser::failed;
  }
  return listener;
}

int plantFile(const std::string& path) {
  const int file = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  if (file < 0) return OtherUser::failed;
  ::close(file);
  return OtherUser::nothingToServe;
}

TEST_F(SingleInstanceTest, WhatAnotherUserDoesAtTheNamesNeitherStopsTheEntryNorSpeaksForIt) {
  REQUIRE_ANOTHER_USER();
  // No runtime folder (su, startx without logind, ssh -X): the shared temporary folder.
  shareLikeTmp(folder_.path());
  const ScopedEnvironment temporary("TMPDIR", folder_.path());
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", QString());
  const ScopedEnvironment wayland("WAYLAND_DISPLAY", QString());
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":99"));
  const ScopedEnvironment config("XDG_CONFIG_HOME", folder_.filePath(QStringLiteral("config")));
  // The names as they stand before the entry first starts; another user can work them out.
  const std::string path = QFile::encodeName(SingleInstance::defaultServerPath()).toStdString();
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const std::string theirs =
      QFile::encodeName(folder_.filePath(QStringLiteral("theirs"))).toStdString();

  struct Case {
    const char* name;
    std::function<int()> act;
  };
  const std::vector<Case> cases = {
      {"listens at the socket's path", [&] { return listenAt(path); }},
      {"plants a file at the socket's path", [&] { return plantFile(path); }},
      {"takes the folder's name and listens in it",
       [&] {
         if (::mkdir(folder.c_str(), 0777) != 0 || ::chmod(folder.c_str(), 0777) != 0) {
           return OtherUser::failed;
         }
         return listenAt(path);
       }},
      {"links the folder's name to a folder of its own",
       [&] {
         if (::mkdir(theirs.c_str(), 0700) != 0 || ::symlink(theirs.c_str(), folder.c_str()) != 0) {
           return OtherUser::failed;
         }
         return listenAt(path);
       }},
      {"plants a file at the folder's name", [&] { return plantFile(folder); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path);
    if (folder != QFile::encodeName(folder_.path()).toStdString()) {
      std::filesystem::remove_all(folder);
    }
    std::filesystem::remove_all(theirs);
    const OtherUser squatter(c.act);

    SingleInstance first(SingleInstance::defaultServerPath());
    EXPECT_TRUE(first.claim());
    EXPECT_TRUE(first.isListening());
    first.setStatusProvider([] { return QStringLiteral("ours"); });
    EXPECT_EQ(askAside(SingleInstance::defaultServerPath(), QStringLiteral("status")),
              QStringLiteral("ours"));
    SingleInstance second(SingleInstance::defaultServerPath());
    EXPECT_FALSE(second.claim());
  }
}

TEST_F(SingleInstanceTest, AnotherUsersListenerIsNeitherAskedNorTakenForTheInstance) {
  REQUIRE_ANOTHER_USER();
  shareLikeTmp(folder_.path());
  const QString theirs = folder_.filePath(QStringLiteral("instance"));
  const QString abstractName = QStringLiteral("/org.pulsewell.Pulsewell.test-%1").arg(::getpid());
  struct Case {
    const char* name;
    QString serverPath;
    std::function<int()> act;
  };
  const std::vector<Case> cases = {
      {"at a path", theirs, [&] { return listenAt(QFile::encodeName(theirs).toStdString()); }},
      {"at an abstract name", u'@' + abstractName,
       [&] { return listenAt(QFile::encodeName(abstractName).toStdString(), true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const OtherUser squatter(c.act);
    ASSERT_TRUE(squatter.acted());
    EXPECT_EQ(SingleInstance::ask(c.serverPath, QStringLiteral("status"), 2000), std::nullopt);
    SingleInstance instance(c.serverPath);
    EXPECT_TRUE(instance.claim()) << "another user's listener kept the entry from starting";
  }
}

TEST_F(SingleInstanceTest, AnotherUsersRequestsGoUnanswered) {
  REQUIRE_ANOTHER_USER();
  const QString name = QStringLiteral("/org.pulsewell.Pulsewell.test-%1").arg(::getpid());
  SingleInstance running(u'@' + name);
  ASSERT_TRUE(running.claim());
  ASSERT_TRUE(running.isListening());
  running.setStatusProvider([] { return QStringLiteral("private"); });
  QSignalSpy opened(&running, &SingleInstance::settingsRequested);

  // Another user asks for the settings window and the status; the event loop of this thread
  // serves meanwhile.
  const std::string abstractName = QFile::encodeName(name).toStdString();
  auto heard = std::async(std::launch::async, [abstractName] {
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(OtherUser::nobody) != 0 ||
          ::setuid(OtherUser::nobody) != 0) {
        ::_exit(2);
      }
      bool answered = false;
      for (const char* request : {"settings\n", "status\n"}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, abstractName.data(), abstractName.size());
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) ::_exit(3);
        [[maybe_unused]] const ssize_t sent = ::write(fd, request, std::strlen(request));
        char reply = 0;
        answered = answered || ::read(fd, &reply, 1) == 1;
        ::close(fd);
      }
      ::_exit(answered ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  });
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return heard.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
  EXPECT_EQ(heard.get(), 0) << "1: answered, 3: could not connect";
  QTest::qWait(50);
  EXPECT_EQ(opened.count(), 0);
  EXPECT_EQ(askAside(u'@' + name, QStringLiteral("status")), QStringLiteral("private"));
}

TEST_F(SingleInstanceTest, StatusPrintsTheReplyWithoutTerminalControls) {
  const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder_.path());
  const ScopedEnvironment wayland("WAYLAND_DISPLAY", QString());
  const ScopedEnvironment display("DISPLAY", QStringLiteral(":99"));
  const ScopedEnvironment config("XDG_CONFIG_HOME", QString());
  SingleInstance running(SingleInstance::defaultServerPath());
  ASSERT_TRUE(running.claim());
  // The label carries device text, an interface name an agent chose.
  running.setStatusProvider(
      [] { return QStringLiteral("Pulsewell: eth0\x1b]0;owned\x07\x1b[2J\u009b1m up"); });

  const std::map<std::string, std::string> environment = {
      {"XDG_RUNTIME_DIR", folder_.path().toStdString()},
      {"DISPLAY", ":99"},
      {"HOME", QDir::homePath().toStdString()},
      {"LC_ALL", "C.UTF-8"},
  };
  auto status = std::async(std::launch::async, [&environment] {
    return runProgram({PULSEWELL_PROGRAM, "--status"}, environment);
  });
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return status.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
      20000));
  const ProgramResult result = status.get();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "Pulsewell: eth0\uFFFD]0;owned\uFFFD\uFFFD[2J\uFFFD1m up\n");
}

}  // namespace
}  // namespace pulsewell
