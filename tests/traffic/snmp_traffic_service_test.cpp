#include "traffic/snmp_traffic_service.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "agent/simulator_agent.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_error.h"
#include "tests/support/request_reader.h"
#include "tests/support/test_main_queue.h"
#include "tests/support/traffic_printers.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

constexpr auto patience = 5s;  // an upper bound only; every wait ends as soon as it can

template <typename Predicate>
bool eventually(Predicate done, std::chrono::milliseconds timeout = patience) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Holds exchanges of the polling worker until the test lets them through, and tells
// where they ran. Everything reached from the worker is shared, so a worker outliving
// a test never touches the test's stack.
struct Gate {
  void close() {
    const std::lock_guard lock(mutex);
    open = false;
  }
  void release() {
    {
      const std::lock_guard lock(mutex);
      open = true;
    }
    changed.notify_all();
  }
  void pass() {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    std::unique_lock lock(mutex);
    threadName = name;
    ++entered;
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
  }
  bool waitEntered(int count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, patience, [&] { return entered >= count; });
  }
  std::string nameSeen() {
    const std::lock_guard lock(mutex);
    return threadName;
  }

  std::mutex mutex;
  std::condition_variable changed;
  bool open = true;
  int entered = 0;
  std::string threadName;
};

class ServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    // Each request moves the counters on: 1000 bytes in and 500 out per request, so with
    // the clock's 2 s steps a steady sample reads 500 down and 250 up.
    agent.setSource([calls = std::make_shared<std::atomic<std::uint64_t>>(0)] {
      const std::uint64_t n = ++*calls;
      AgentTable table;
      table.setInterface({3, "eth0", 1000 * n, 500 * n, IfMib::operStatusUp, true});
      table.setInterface({4, "eth1", 0, 0, IfMib::operStatusDown, true});
      return table;
    });
    makeService(20ms);
  }

  void makeService(std::chrono::milliseconds interval,
                   SNMPTrafficService::ClientFactory factory = nullptr) {
    subscription.reset();
    service = std::make_unique<SNMPTrafficService>(
        queue, interval, factory ? std::move(factory) : SNMPTrafficService::defaultClient,
        [clock = clock] { return clock->fetch_add(2.0); });
    subscription = service->onWillChange([this] { ++notifications; });
  }

  RouterTrafficConfig config(const std::string& interface = "eth0", bool swap = false) const {
    return {agent.address(), agent.port(), agent.community(), interface, swap};
  }

  // A factory whose clients pass every exchange through `gate` and then to the agent.
  SNMPTrafficService::ClientFactory gatedClients(const std::shared_ptr<Gate>& gate) const {
    return [gate](const RouterTrafficConfig& c) {
      SNMPClient client = SNMPTrafficService::defaultClient(c);
      client.transport = [gate, link = client.link, host = c.host,
                          port = c.port](const Bytes& request) {
        gate->pass();
        return link->exchange(request, host, port, 1.0);
      };
      return client;
    };
  }

  // Publishes the next result of the polling worker; the notifications it caused.
  int nextResult() {
    // A result a stopped worker posted just before being stopped is dropped without a
    // notification; the next published one always notifies.
    const int before = notifications;
    EXPECT_TRUE(queue->runUntil([&] { return notifications != before; }, patience))
        << "no result arrived";
    return notifications - before;
  }

  // Publishes results until the service holds a reading with rates.
  void untilRates() {
    ASSERT_TRUE(
        queue->runUntil([&] { return service->reading() && service->reading()->downBytesPerSec; }));
  }

  std::size_t bulkRequests() const {
    const auto requests = agent.receivedRequests();
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(), [](const Bytes& b) {
          const auto request = test::readRequest(b);
          return request && request->pduTag == 0xA5;
        }));
  }

  SimulatorAgent agent;
  std::shared_ptr<TestMainQueue> queue = std::make_shared<TestMainQueue>();
  std::shared_ptr<std::atomic<double>> clock = std::make_shared<std::atomic<double>>(100.0);
  std::unique_ptr<SNMPTrafficService> service;
  int notifications = 0;
  Subscription subscription;
};

TEST_F(ServiceTest, StartsUnconfiguredAndIdle) {
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
  EXPECT_EQ(service->reading(), std::nullopt);
  EXPECT_TRUE(service->downHistory().empty());
  EXPECT_TRUE(service->upHistory().empty());
  EXPECT_EQ(service->totals(), TrafficTotals{});
}

TEST_F(ServiceTest, ConnectingUntilTheFirstResultWhichAddsNoHistory) {
  service->apply(config());
  EXPECT_EQ(service->status(), RouterTrafficStatus::connecting);
  EXPECT_EQ(service->reading(), std::nullopt);

  EXPECT_EQ(nextResult(), 2);
  EXPECT_EQ(service->status(), RouterTrafficStatus::up);
  ASSERT_TRUE(service->reading());
  EXPECT_EQ(service->reading()->downBytesPerSec, std::nullopt);
  EXPECT_TRUE(service->downHistory().empty());
  EXPECT_TRUE(service->upHistory().empty());

  EXPECT_EQ(nextResult(), 4);
  EXPECT_EQ(service->downHistory(), std::vector<double>{500});
  EXPECT_EQ(service->upHistory(), std::vector<double>{250});
  EXPECT_EQ(service->totals(), (TrafficTotals{1000, 500}));
}

TEST_F(ServiceTest, InterfaceThatIsDownShowsDown) {
  service->apply(config("eth1"));
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::down);
}

TEST_F(ServiceTest, NotificationsPerResult) {
  service->apply(config());
  EXPECT_EQ(nextResult(), 2);  // reading, status
  // The worker waits for its posted result to be published, so no request is in flight
  // while the fault is queued: it hits the sample after.
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  agent.queueFault(AgentFault::error(5));
  EXPECT_EQ(nextResult(), 4);  // reading, status, both histories
  EXPECT_EQ(nextResult(), 1);  // status only
  EXPECT_EQ(service->status(), RouterTrafficStatus::invalidReply);
}

TEST_F(ServiceTest, NotificationComesBeforeTheAssignment) {
  service->apply(config());
  std::vector<RouterTrafficStatus> seen;
  const auto watch = service->onWillChange([&] { seen.push_back(service->status()); });
  nextResult();
  // Both notifications of the first result still see the old status.
  EXPECT_EQ(seen, (std::vector<RouterTrafficStatus>{RouterTrafficStatus::connecting,
                                                    RouterTrafficStatus::connecting}));
}

TEST_F(ServiceTest, ErrorAfterGoodSamplesChangesOnlyTheStatus) {
  service->apply(config());
  untilRates();
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  agent.queueFault(AgentFault::error(2));
  EXPECT_EQ(nextResult(), 4);
  const auto reading = service->reading();
  const auto down = service->downHistory();
  const auto up = service->upHistory();
  const auto totals = service->totals();

  EXPECT_EQ(nextResult(), 1);
  EXPECT_EQ(service->status(), RouterTrafficStatus::invalidReply);
  EXPECT_EQ(service->reading(), reading);
  EXPECT_EQ(service->downHistory(), down);
  EXPECT_EQ(service->upHistory(), up);
  EXPECT_EQ(service->totals(), totals);
}

TEST_F(ServiceTest, UnknownInterfaceShowsNotFoundAndKeepsAsking) {
  service->apply(config("wlan9"));
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::interfaceNotFound);
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::interfaceNotFound);
  EXPECT_GE(bulkRequests(), 2U);  // a lookup on every sample
}

TEST_F(ServiceTest, EqualConfigurationChangesNothing) {
  service->apply(config());
  untilRates();
  const auto historyBefore = service->downHistory().size();
  const int before = notifications;

  service->apply(config());
  EXPECT_EQ(notifications, before);
  EXPECT_EQ(service->status(), RouterTrafficStatus::up);

  nextResult();
  nextResult();
  // Still the first task: one walk only, histories and totals went on growing.
  EXPECT_EQ(bulkRequests(), 1U);
  EXPECT_EQ(service->downHistory().size(), historyBefore + 2);
  EXPECT_GT(service->totals().down, 1000U);
}

TEST_F(ServiceTest, NothingConfiguredAndNoneAppliedChangesNothingAtAll) {
  service->apply(std::nullopt);
  service->apply(RouterTrafficConfig{"10.0.0.1", 161, "public", "", false});
  EXPECT_EQ(notifications, 0);
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
}

TEST_F(ServiceTest, NoneWhilePollingStopsAndClearsEverything) {
  service->apply(config());
  untilRates();
  service->apply(std::nullopt);
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
  EXPECT_EQ(service->reading(), std::nullopt);
  EXPECT_EQ(service->totals(), TrafficTotals{});
  EXPECT_TRUE(service->downHistory().empty());
  EXPECT_TRUE(service->upHistory().empty());

  // Whatever the stopped worker still delivers is dropped.
  const int before = notifications;
  queue->waitAndDrain(100ms);
  EXPECT_EQ(notifications, before);
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
}

TEST_F(ServiceTest, EmptyInterfaceCountsAsNoConfiguration) {
  service->apply(config());
  nextResult();
  service->apply(config(""));
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
  EXPECT_EQ(service->reading(), std::nullopt);
}

TEST_F(ServiceTest, SwapOnlyChangeRestartsAndResetsTotals) {
  service->apply(config());
  untilRates();
  ASSERT_GT(service->totals().down, 0U);

  service->apply(config("eth0", true));
  EXPECT_EQ(service->status(), RouterTrafficStatus::connecting);
  EXPECT_EQ(service->totals(), TrafficTotals{});
  EXPECT_TRUE(service->downHistory().empty());

  untilRates();
  EXPECT_EQ(bulkRequests(), 2U);                  // a new sampler looked the interface up again
  EXPECT_EQ(service->downHistory().back(), 250);  // now the sent bytes
  EXPECT_EQ(service->upHistory().back(), 500);
}

TEST_F(ServiceTest, HistoryKeepsTheNewestSixty) {
  // Counters that grow faster with every request give a distinct rate per sample.
  agent.setSource([calls = std::make_shared<std::atomic<std::uint64_t>>(0)] {
    const std::uint64_t n = ++*calls;
    AgentTable table;
    table.setInterface({3, "eth0", 100 * n * n, 10 * n * n, IfMib::operStatusUp, true});
    return table;
  });
  makeService(1ms);
  service->apply(config());

  std::vector<double> rates;
  while (rates.size() < 62) {
    // Only a result with rates touches the histories (an error under load does not).
    if (nextResult() == 4) rates.push_back(*service->reading()->downBytesPerSec);
    if (rates.size() == 60) {
      EXPECT_EQ(service->downHistory(), rates);
    }
    ASSERT_LE(service->downHistory().size(), SNMPTrafficService::historyLimit);
    ASSERT_EQ(service->upHistory().size(), service->downHistory().size());
  }
  EXPECT_EQ(service->downHistory(), std::vector<double>(rates.begin() + 2, rates.end()));
  EXPECT_EQ(service->downHistory().back(), *service->reading()->downBytesPerSec);
  EXPECT_EQ(service->upHistory().back(), *service->reading()->upBytesPerSec);
}

TEST_F(ServiceTest, PauseKeepsStatusAndTotalsClearsReading) {
  service->apply(config());
  untilRates();
  const auto totals = service->totals();
  const auto history = service->downHistory();

  service->pause();
  EXPECT_EQ(service->status(), RouterTrafficStatus::up);
  EXPECT_EQ(service->reading(), std::nullopt);
  EXPECT_EQ(service->totals(), totals);
  EXPECT_EQ(service->downHistory(), history);

  // Paused means no polling at all.
  queue->waitAndDrain(50ms);
  const auto requests = agent.requestCount();
  queue->waitAndDrain(100ms);
  EXPECT_EQ(agent.requestCount(), requests);
  EXPECT_EQ(service->reading(), std::nullopt);
}

TEST_F(ServiceTest, ResumeStartsAfreshAndTotalsContinue) {
  service->apply(config());
  untilRates();
  service->pause();
  const auto carried = service->totals();

  service->resume();
  EXPECT_EQ(service->status(), RouterTrafficStatus::connecting);
  EXPECT_TRUE(service->downHistory().empty());
  EXPECT_EQ(service->totals(), carried);

  nextResult();  // the new sampler's first sample: no rates, totals unchanged
  EXPECT_EQ(service->totals(), carried);
  EXPECT_TRUE(service->downHistory().empty());
  nextResult();
  EXPECT_EQ(service->totals(), (TrafficTotals{carried.down + 1000, carried.up + 500}));
  EXPECT_EQ(bulkRequests(), 2U);
}

TEST_F(ServiceTest, ResumeWithoutPauseDoesNothing) {
  service->apply(config());
  nextResult();
  const int before = notifications;
  service->resume();
  EXPECT_EQ(notifications, before);
  nextResult();
  EXPECT_EQ(bulkRequests(), 1U);
}

TEST_F(ServiceTest, ApplyWhilePausedStoresItButStartsNothingUntilResume) {
  service->apply(config());
  nextResult();
  service->pause();
  queue->waitAndDrain(50ms);
  const auto requests = agent.requestCount();

  service->apply(config("eth1"));
  EXPECT_EQ(service->status(), RouterTrafficStatus::connecting);
  EXPECT_TRUE(service->downHistory().empty());
  queue->waitAndDrain(100ms);
  EXPECT_EQ(agent.requestCount(), requests);

  service->apply(std::nullopt);
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
  service->apply(config("eth1"));

  service->resume();
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::down);  // eth1
}

TEST_F(ServiceTest, ResultPostedBeforeStopIsNotPublished) {
  service->apply(config());
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  service->apply(std::nullopt);
  const int before = notifications;
  queue->drain();
  EXPECT_EQ(notifications, before);
  EXPECT_EQ(service->reading(), std::nullopt);
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
}

TEST_F(ServiceTest, ResultOfTheOldTaskIsNotPublishedAfterARestart) {
  auto gate = std::make_shared<Gate>();
  makeService(20ms, gatedClients(gate));
  service->apply(config("eth1"));
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  gate->close();  // holds the new worker before its first exchange
  service->apply(config("eth0"));
  queue->drain();  // the old worker's eth1 reading, dropped
  EXPECT_EQ(service->status(), RouterTrafficStatus::connecting);
  EXPECT_EQ(service->reading(), std::nullopt);

  gate->release();
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::up);
}

TEST_F(ServiceTest, ResultPostedBeforePauseIsNotPublished) {
  service->apply(config());
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  service->pause();
  queue->drain();
  EXPECT_EQ(service->reading(), std::nullopt);
  EXPECT_EQ(service->status(), RouterTrafficStatus::connecting);
}

TEST_F(ServiceTest, SampleFinishingAfterStopPostsNothing) {
  auto gate = std::make_shared<Gate>();
  makeService(20ms, gatedClients(gate));
  gate->close();
  service->apply(config());
  ASSERT_TRUE(gate->waitEntered(1));

  service->apply(std::nullopt);
  gate->release();
  const std::weak_ptr<Gate> watch = gate;
  gate.reset();
  service.reset();  // the factory's copy goes; the worker holds the last one
  ASSERT_TRUE(eventually([&] { return watch.expired(); }));
  EXPECT_EQ(queue->postedCount(), 0U);
}

TEST_F(ServiceTest, StoppedTaskStopsAtItsNextRequestNotAtTheEndOfItsWalk) {
  // Finding eth0 behind 199 other rows takes ten requests of 20 rows each.
  agent.setSource({});
  agent.update([](AgentTable& table) {
    for (std::uint32_t i = 1; i < 200; ++i) {
      table.setInterface({i, "if" + std::to_string(i), 0, 0, IfMib::operStatusUp, true});
    }
    table.setInterface({200, "eth0", 0, 0, IfMib::operStatusUp, true});
  });
  auto gate = std::make_shared<Gate>();
  makeService(20ms, gatedClients(gate));
  gate->close();
  service->apply(config());
  ASSERT_TRUE(gate->waitEntered(1));  // the walk's first request

  service->apply(std::nullopt);
  gate->release();
  const std::weak_ptr<Gate> watch = gate;
  gate.reset();
  service.reset();  // the factory's copy goes; the worker holds the last one
  ASSERT_TRUE(eventually([&] { return watch.expired(); }));  // the worker has ended
  EXPECT_EQ(agent.requestCount(), 1U);
}

TEST_F(ServiceTest, PauseWaitsForPublishingNotJustForPosting) {
  service->apply(config());
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  const auto requests = agent.requestCount();
  // While the main thread has not published, the worker asks nothing more.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(agent.requestCount(), requests);
  EXPECT_EQ(queue->pendingCount(), 1U);

  queue->drain();
  EXPECT_TRUE(agent.waitForRequests(requests + 1, patience));
}

TEST_F(ServiceTest, PollingRunsOnANamedWorkerThread) {
  auto gate = std::make_shared<Gate>();
  makeService(20ms, gatedClients(gate));
  service->apply(config());
  ASSERT_TRUE(gate->waitEntered(1));
  EXPECT_EQ(gate->nameSeen(), "Pulsewell.poll");
}

TEST_F(ServiceTest, DestroyingTheServiceDuringASlowExchangeNeitherWaitsNorCrashes) {
  auto gate = std::make_shared<Gate>();
  makeService(20ms, gatedClients(gate));
  gate->close();
  service->apply(config());
  ASSERT_TRUE(gate->waitEntered(1));

  const auto started = std::chrono::steady_clock::now();
  service.reset();
  // The gate stays shut, so a destructor that waited for the worker would not return at all;
  // the bound leaves room for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);

  gate->release();
  const std::weak_ptr<Gate> watch = gate;
  gate.reset();
  ASSERT_TRUE(eventually([&] { return watch.expired(); }));  // the worker ended and let go
  EXPECT_EQ(queue->postedCount(), 0U);
}

TEST_F(ServiceTest, DestroyingTheServiceWhileTheWorkerSleepsEndsTheWorkerAtOnce) {
  auto gate = std::make_shared<Gate>();
  makeService(std::chrono::hours(1), gatedClients(gate));
  service->apply(config());
  nextResult();

  service.reset();
  const std::weak_ptr<Gate> watch = gate;
  gate.reset();
  EXPECT_TRUE(eventually([&] { return watch.expired(); }));
}

TEST_F(ServiceTest, StopDuringTheSleepStartsNoFurtherSample) {
  makeService(std::chrono::hours(1));
  service->apply(config());
  nextResult();
  const auto requests = agent.requestCount();
  service->apply(config("eth1"));  // the first worker sleeps for an hour; the second starts
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::down);
  EXPECT_EQ(agent.requestCount(), requests + 2);  // the new worker's walk and read only
}

TEST_F(ServiceTest, ResultArrivingAfterTheServiceIsGoneIsDropped) {
  service->apply(config());
  ASSERT_TRUE(eventually([&] { return queue->pendingCount() == 1; }));
  service.reset();
  EXPECT_EQ(queue->drain(), 1U);  // runs, finds nothing to publish to
}

TEST_F(ServiceTest, ObserverThatStopsPollingMidPublishStopsThePublishing) {
  service->apply(config());
  nextResult();
  bool stopped = false;
  const auto watch = service->onWillChange([&] {
    if (!stopped) {
      stopped = true;
      service->apply(std::nullopt);
    }
  });
  nextResult();
  EXPECT_EQ(service->status(), RouterTrafficStatus::notConfigured);
  EXPECT_EQ(service->reading(), std::nullopt);
  EXPECT_TRUE(service->downHistory().empty());
}

TEST(ServiceDefaultClient, CarriesTheConnectionAndAFreshLinkEachTime) {
  const RouterTrafficConfig config{"192.0.2.7", 1161, "s3cret", "eth0", true};
  const SNMPClient first = SNMPTrafficService::defaultClient(config);
  const SNMPClient second = SNMPTrafficService::defaultClient(config);
  EXPECT_EQ(first.host, "192.0.2.7");
  EXPECT_EQ(first.port, 1161);
  EXPECT_EQ(first.community, "s3cret");
  EXPECT_EQ(first.timeout, 1.0);
  EXPECT_EQ(first.retries, 1);
  EXPECT_FALSE(first.transport);
  ASSERT_TRUE(first.link);
  EXPECT_NE(first.link, second.link);
}

}  // namespace
}  // namespace pulsewell
