#include "traffic/snmp_traffic_service.h"

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "traffic/thread_name.h"

namespace pulsewell {
namespace {

using SampleResult = std::variant<SNMPTrafficReading, std::exception_ptr>;

// The worker pauses here after handing its result to the main thread, and goes on only
// once the main thread has dealt with it, so that a busy main thread never piles up
// results. The main thread publishes well within the pause and wakes the worker only when
// it is late: every wakeup of the worker is one it needs.
class Handoff {
 public:
  // Main thread (or whoever drops the posted work): the first outcome wins.
  void finish(bool keepPolling) {
    bool late = false;
    {
      const std::lock_guard lock(mutex_);
      if (outcome_) return;
      outcome_ = keepPolling;
      late = waitingForOutcome_;
    }
    if (late) finished_.notify_all();
  }

  // Worker: true when the loop goes on after `pause`; false when the result was dropped or
  // the task was stopped meanwhile.
  bool pauseAndWait(const std::stop_token& stop, std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    finished_.wait_for(lock, stop, pause, [] { return false; });
    if (stop.stop_requested()) return false;
    waitingForOutcome_ = true;
    if (!finished_.wait(lock, stop, [this] { return outcome_.has_value(); })) return false;
    return *outcome_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any finished_;
  std::optional<bool> outcome_;
  bool waitingForOutcome_ = false;
};

// Posted work that is destroyed without having run (a queue torn down at quit) still
// releases the worker.
struct HandoffGuard {
  explicit HandoffGuard(std::shared_ptr<Handoff> h) : handoff(std::move(h)) {}
  HandoffGuard(const HandoffGuard&) = delete;
  HandoffGuard& operator=(const HandoffGuard&) = delete;
  ~HandoffGuard() { handoff->finish(false); }
  std::shared_ptr<Handoff> handoff;
};

SampleResult takeSample(SNMPTrafficSampler& sampler) {
  try {
    return sampler.sample();
  } catch (...) {
    return std::current_exception();
  }
}

}  // namespace

struct SNMPTrafficService::State : std::enable_shared_from_this<State> {
  State(std::shared_ptr<MainQueue> queue, std::chrono::milliseconds pause, ClientFactory factory,
        SecondsClock clock)
      : mainQueue(std::move(queue)),
        interval(pause),
        makeClient(std::move(factory)),
        samplerClock(std::move(clock)) {}

  // Everything a polling task owns. The service is only reached through the main queue,
  // and only weakly, so a worker never keeps the service alive nor touches it directly.
  struct PollingTask {
    std::uint64_t id = 0;
    SNMPClient client;
    std::string interface;
    bool swapDirections = false;
    SecondsClock clock;
    std::chrono::milliseconds interval{};
    std::shared_ptr<MainQueue> mainQueue;
    std::weak_ptr<State> service;
  };

  const std::shared_ptr<MainQueue> mainQueue;
  const std::chrono::milliseconds interval;
  const ClientFactory makeClient;
  const SecondsClock samplerClock;

  RouterTrafficStatus status = RouterTrafficStatus::notConfigured;
  std::optional<SNMPTrafficReading> reading;
  std::vector<double> downHistory;
  std::vector<double> upHistory;
  std::optional<RouterTrafficConfig> config;
  bool paused = false;
  TrafficTotals carried;
  Signal willChange;

  // The running task: its stop handle and its id; id 0 means none runs.
  std::optional<std::stop_source> taskStop;
  std::uint64_t currentTask = 0;
  std::uint64_t lastTaskId = 0;

  template <typename T, typename V>
  void assign(T& field, V&& value) {
    willChange.emit();
    field = std::forward<V>(value);
  }

  TrafficTotals totals() const {
    // Byte counts wrap like the device's counters rather than saturate.
    const std::uint64_t down = reading ? reading->totalDown : 0;
    const std::uint64_t up = reading ? reading->totalUp : 0;
    return {carried.down + down, carried.up + up};
  }

  void cancelTask() {
    if (taskStop) taskStop->request_stop();
    taskStop.reset();
    currentTask = 0;
  }

  void start() {
    assign(downHistory, std::vector<double>{});
    assign(upHistory, std::vector<double>{});
    if (!config) {
      assign(status, RouterTrafficStatus::notConfigured);
      return;
    }
    assign(status, RouterTrafficStatus::connecting);
    // Observers run synchronously and may have changed the configuration meanwhile.
    if (paused || !config) return;
    launch(makeClient(*config));
  }

  void stop() {
    cancelTask();
    carried = totals();
    assign(reading, std::nullopt);
  }

  void launch(SNMPClient client) {
    cancelTask();  // never two tasks, even if an observer re-entered start()
    PollingTask task{++lastTaskId, std::move(client), config->interface, config->swapDirections,
                     samplerClock, interval,          mainQueue,         weak_from_this()};
    try {
      std::jthread worker(poll, std::move(task));
      taskStop = worker.get_stop_source();
      currentTask = lastTaskId;
      // Cancelled, never joined: stopping must not wait for a sample in flight.
      worker.detach();
    } catch (const std::system_error&) {
      // No thread to be had: stay in `connecting`; the next apply or resume tries again.
    }
  }

  // Main thread. Returns whether the task that produced `result` goes on polling.
  bool publish(std::uint64_t task, const SampleResult& result) {
    // Observers run synchronously and may stop or restart polling; from then on nothing
    // more of this result is published.
    const auto assignIfCurrent = [this, task](auto& field, auto&& value) {
      if (task == 0 || task != currentTask) return false;
      willChange.emit();
      if (task != currentTask) return false;
      field = std::forward<decltype(value)>(value);
      return true;
    };
    if (const auto* error = std::get_if<std::exception_ptr>(&result)) {
      return assignIfCurrent(status, routerTrafficStatus(*error));
    }
    const auto& fresh = std::get<SNMPTrafficReading>(result);
    if (!assignIfCurrent(reading, fresh)) return false;
    if (!assignIfCurrent(status,
                         fresh.isUp ? RouterTrafficStatus::up : RouterTrafficStatus::down)) {
      return false;
    }
    if (!fresh.downBytesPerSec || !fresh.upBytesPerSec) return true;
    if (!assignIfCurrent(downHistory, appended(downHistory, *fresh.downBytesPerSec))) return false;
    return assignIfCurrent(upHistory, appended(upHistory, *fresh.upBytesPerSec));
  }

  static std::vector<double> appended(const std::vector<double>& history, double rate) {
    std::vector<double> next;
    const std::size_t keep = history.size() >= historyLimit ? historyLimit - 1 : history.size();
    next.reserve(keep + 1);
    next.insert(next.end(), history.end() - static_cast<std::ptrdiff_t>(keep), history.end());
    next.push_back(rate);
    return next;
  }

  // The worker thread's whole life.
  static void poll(const std::stop_token& stop, PollingTask task) {
    nameThisThread("poll");

    // A stopped task ends at its next request, not at the end of a long walk.
    task.client.stop = stop;
    SNMPTrafficSampler sampler(std::move(task.client), task.interface, task.swapDirections,
                               task.clock);
    while (!stop.stop_requested()) {
      SampleResult result = takeSample(sampler);
      if (stop.stop_requested()) return;

      auto handoff = std::make_shared<Handoff>();
      task.mainQueue->post([service = task.service, id = task.id, result = std::move(result),
                            guard = std::make_shared<HandoffGuard>(handoff)] {
        bool keepPolling = false;
        if (const auto state = service.lock()) keepPolling = state->publish(id, result);
        guard->handoff->finish(keepPolling);
      });
      if (!handoff->pauseAndWait(stop, task.interval)) return;
    }
  }
};

SNMPClient SNMPTrafficService::defaultClient(const RouterTrafficConfig& config) {
  SNMPClient client;  // 1 s timeout, one retry, a link of its own
  client.host = config.host;
  client.port = config.port;
  client.community = config.community;
  return client;
}

SNMPTrafficService::SNMPTrafficService(std::shared_ptr<MainQueue> mainQueue,
                                       std::chrono::milliseconds interval, ClientFactory makeClient,
                                       SecondsClock samplerClock)
    : state_(std::make_shared<State>(
          std::move(mainQueue), interval, makeClient ? std::move(makeClient) : defaultClient,
          samplerClock ? std::move(samplerClock) : SecondsClock(bootTimeSeconds))) {}

SNMPTrafficService::~SNMPTrafficService() {
  state_->cancelTask();
}

void SNMPTrafficService::apply(const std::optional<RouterTrafficConfig>& config) {
  // A configuration without an interface counts as none.
  std::optional<RouterTrafficConfig> effective;
  if (config && !config->interface.empty()) effective = config;
  if (effective == state_->config) return;
  state_->stop();
  state_->carried = {};
  state_->config = std::move(effective);
  state_->start();
}

void SNMPTrafficService::pause() {
  state_->paused = true;
  state_->stop();
}

void SNMPTrafficService::resume() {
  if (!state_->paused) return;
  state_->paused = false;
  state_->start();
}

RouterTrafficStatus SNMPTrafficService::status() const {
  return state_->status;
}

const std::optional<SNMPTrafficReading>& SNMPTrafficService::reading() const {
  return state_->reading;
}

const std::vector<double>& SNMPTrafficService::downHistory() const {
  return state_->downHistory;
}

const std::vector<double>& SNMPTrafficService::upHistory() const {
  return state_->upHistory;
}

TrafficTotals SNMPTrafficService::totals() const {
  return state_->totals();
}

Subscription SNMPTrafficService::onWillChange(std::function<void()> observer) {
  return state_->willChange.connect(std::move(observer));
}

}  // namespace pulsewell
