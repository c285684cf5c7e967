#include "app/terminal/terminal_commands.h"

#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <thread>

#include "app/terminal/terminal_config.h"
#include "app/terminal/terminal_main_queue.h"
#include "app/terminal/watch_view.h"
#include "menubar/strings.h"
#include "platform/json_defaults_store.h"
#include "platform/secret_store_choice.h"
#include "traffic/application_identifier.h"
#include "traffic/router_traffic_status.h"
#include "traffic/snmp_traffic_sampler.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {
namespace {

constexpr std::size_t historyWidth = 20;

void printError(const std::string& message) {
  std::fprintf(stderr, "pulsewell: %s\n", message.c_str());
}

// The community for scripts comes from the environment; otherwise from the keyring.
std::optional<std::string> community() {
  // Read before any thread starts.
  const char* fromEnvironment =
      std::getenv("PULSEWELL_COMMUNITY");  // NOLINT(concurrency-mt-unsafe)
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return std::string(fromEnvironment);
  return loadSystemSecretStore()->read(applicationIdentifier);
}

std::variant<TerminalSettings, TerminalConfigProblem> settings(const TerminalOptions& options,
                                                               bool needInterface) {
  const JsonDefaultsStore stored;
  return terminalSettings(options, stored, community(), needInterface, stored.readProblem());
}

// The terminal's width in columns, 0 when unknown.
std::size_t terminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

// Cuts a UTF-8 line to `columns` code points (every character we print is one column wide).
std::string fitted(const std::string& line, std::size_t columns) {
  std::size_t points = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0U) == 0x80U) continue;
    if (points++ == columns) return line.substr(0, i);
  }
  return line;
}

// Ctrl+C, logout and termination end `watch` cleanly: the signals are blocked in every
// thread and taken by one waiting thread, which asks the main loop to quit. Blocked before
// anything starts a thread (the keyring's D-Bus threads start with the first read of the
// community), since each thread keeps the mask it was started with.
sigset_t blockQuitSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

void quitOnSignals(const std::shared_ptr<TerminalMainQueue>& queue, const sigset_t& signals) {
  std::thread([queue, signals] {
    int received = 0;
    sigwait(&signals, &received);
    queue->quit();
  }).detach();
}

class WatchPrinter {
 public:
  WatchPrinter(const TerminalOptions& options, DisplaySettings settings)
      : json_(options.json),
        terminal_(!options.json && isatty(STDOUT_FILENO) == 1),
        count_(options.count),
        settings_(std::move(settings)) {}

  // Prints one sample; false once the requested number of samples is shown.
  bool show(const TrafficSnapshot& snapshot) {
    const bool waiting = snapshot.status == RouterTrafficStatus::connecting;
    const TrafficPresentation shown = TrafficPresentation::make(snapshot, settings_);
    if (waiting && !terminal_) return true;  // only samples become lines
    if (json_) {
      std::printf("%s\n", watchJson(shown).c_str());
    } else if (terminal_) {
      // Redraw the one line in place, never wider than the terminal so it cannot wrap.
      const std::size_t columns = terminalColumns();
      const std::string line = watchLineWithHistory(shown, historyWidth);
      std::printf("\r\033[2K%s", (columns > 0 ? fitted(line, columns - 1) : line).c_str());
    } else {
      std::printf("%s\n", watchLine(shown).c_str());
    }
    std::fflush(stdout);
    if (waiting) return true;
    ++shown_;
    lastStatus_ = snapshot.status;
    return !count_ || shown_ < *count_;
  }

  // The status of the last sample shown; no answer while there was none.
  int exitStatus() const { return exitStatusFor(lastStatus_); }

  void finish() const {
    if (terminal_) std::printf("\n");
    std::fflush(stdout);
  }

 private:
  bool json_;
  bool terminal_;
  std::optional<std::uint64_t> count_;
  DisplaySettings settings_;
  std::uint64_t shown_ = 0;
  RouterTrafficStatus lastStatus_ = RouterTrafficStatus::connecting;
};

}  // namespace

int runWatch(const TerminalOptions& options) {
  const sigset_t quitSignals = blockQuitSignals();
  auto checked = settings(options, true);
  if (const auto* problem = std::get_if<TerminalConfigProblem>(&checked)) {
    printError(problem->message);
    return exitNotConfigured;
  }
  const auto& chosen = std::get<TerminalSettings>(checked);

  auto queue = std::make_shared<TerminalMainQueue>();
  quitOnSignals(queue, quitSignals);

  DisplaySettings display;
  display.inBits = chosen.inBits;
  display.downLineSpeed = chosen.downLineSpeed;
  display.upLineSpeed = chosen.upLineSpeed;
  display.locale = NumberLocale::fromEnvironment();
  WatchPrinter printer(options, std::move(display));
  SNMPTrafficService service(queue, options.interval);
  // A sample fires several notifications in one turn of the loop; print once, after them.
  bool pending = false;
  const auto subscription = service.onWillChange([&] {
    if (std::exchange(pending, true)) return;
    queue->post([&] {
      pending = false;
      if (!printer.show(TrafficSnapshot::of(service))) queue->quit();
    });
  });
  service.apply(chosen.config);
  queue->run();
  printer.finish();
  return printer.exitStatus();
}

int runInterfaces(const TerminalOptions& options) {
  auto checked = settings(options, false);
  if (const auto* problem = std::get_if<TerminalConfigProblem>(&checked)) {
    printError(problem->message);
    return exitNotConfigured;
  }
  const auto& config = std::get<TerminalSettings>(checked).config;
  std::vector<SNMPInterface> interfaces;
  try {
    interfaces = SNMPTrafficSampler::interfaces(SNMPTrafficService::defaultClient(config));
  } catch (...) {
    const RouterTrafficStatus status = routerTrafficStatus(std::current_exception());
    printError(Strings::status(status));
    return exitStatusFor(status);
  }
  if (interfaces.empty()) {
    printError(Strings::text("The device returned no interface names.",
                             "Das Gerät hat keine Schnittstellennamen geliefert."));
    return exitSuccess;
  }
  for (const auto& line : interfaceLines(interfaces, config.interface, Strings::german())) {
    std::printf("%s\n", line.c_str());
  }
  return exitSuccess;
}

}  // namespace pulsewell
