#include "platform/qt/termination_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace pulsewell {

namespace {

constexpr std::array<int, 3> handledSignals{SIGTERM, SIGINT, SIGHUP};

// The handler may only do async-signal-safe work: it writes the signal's number into a
// socket that the event loop watches.
std::atomic<int> writeEnd{-1};
std::array<struct sigaction, handledSignals.size()> previous{};

extern "C" void onTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  const int fd = writeEnd.load();
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  std::array<int, 2> fds{-1, -1};
  if (writeEnd.load() >= 0) return;  // another instance is installed
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds.data()) != 0) {
    return;
  }
  readEnd_ = fds[0];
  writeEnd.store(fds[1]);

  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < handledSignals.size(); ++i) {
    ::sigaction(handledSignals[i], &action, &previous[i]);
  }

  notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

TerminationSignals::~TerminationSignals() {
  if (!notifier_) return;
  notifier_.reset();
  for (std::size_t i = 0; i < handledSignals.size(); ++i) {
    ::sigaction(handledSignals[i], &previous[i], nullptr);
  }
  ::close(writeEnd.exchange(-1));
  ::close(readEnd_);
}

void TerminationSignals::drain() {
  unsigned char byte = 0;
  while (::read(readEnd_, &byte, 1) == 1)
    Q_EMIT received(byte);
}

}  // namespace pulsewell
