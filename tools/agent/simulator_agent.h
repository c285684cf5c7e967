#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/agent_fault.h"
#include "agent/agent_table.h"
#include "agent/agent_value.h"
#include "agent/simulated_interface.h"
#include "snmp/snmp_value.h"

namespace pulsewell {

// A small read-only SNMP v2c agent on a loopback address, answering from its own thread:
// the demo device and the programmable peer of the tests. It answers Get, GetNext and
// GetBulk from its table, refuses Set with notWritable, and silently drops datagrams that
// do not decode or carry another community. Every member may be called from any thread.
class SimulatorAgent {
 public:
  struct Options {
    // A numeric loopback address: 127.0.0.0/8 or ::1.
    std::string bindAddress = "127.0.0.1";
    // 0 picks any free port; port() tells which.
    std::uint16_t port = 0;
    std::string community = "public";
  };

  // Binds and starts answering. Throws std::invalid_argument for an address that is not a
  // numeric loopback address, std::system_error when the sockets cannot be set up.
  SimulatorAgent();
  explicit SimulatorAgent(Options options);
  // Stops the thread and waits for it; answers still waiting for their delay are dropped.
  ~SimulatorAgent();
  SimulatorAgent(const SimulatorAgent&) = delete;
  SimulatorAgent& operator=(const SimulatorAgent&) = delete;

  std::uint16_t port() const { return port_; }
  const std::string& address() const { return options_.bindAddress; }
  const std::string& community() const { return options_.community; }

  // The table. Changes apply from the next request on.
  AgentTable table() const;
  void setTable(AgentTable table);
  void set(OID oid, AgentValue value);
  void set(OID oid, const SNMPValue& value);
  void remove(const OID& oid);
  void setInterface(const SimulatedInterface& row);
  // Runs `change` on the table under the agent's lock, e.g. one of AgentTable's scenarios.
  void update(const std::function<void(AgentTable&)>& change);
  // Called before every request is answered; its result replaces the table (a table that
  // follows something live). If it throws, the table stays as it was. An empty function
  // removes the source.
  void setSource(std::function<AgentTable()> source);

  // Faults, taken one per request the agent would answer, in order of arrival.
  void queueFault(AgentFault fault);
  void queueFaults(const std::vector<AgentFault>& faults);
  void clearFaults();
  std::size_t pendingFaults() const;

  // Every datagram received so far, answered or not, in order of arrival.
  std::size_t requestCount() const;
  std::vector<Bytes> receivedRequests() const;
  // Waits until at least `count` datagrams have arrived; false if `timeout` passed first.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Destination;
  struct Outgoing;

  void run(const std::stop_token& stop);
  void receive(std::vector<Outgoing>& delayed);
  void handle(const Bytes& datagram, const Destination& from, std::vector<Outgoing>& delayed);
  void refreshFromSource();

  Options options_;
  int socket_ = -1;
  int otherSocket_ = -1;  // the "answer from another port" fault sends from here
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::uint16_t port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  AgentTable table_;
  std::function<AgentTable()> source_;
  std::deque<AgentFault> faults_;
  std::vector<Bytes> received_;

  std::jthread thread_;  // last: it starts once everything above exists
};

}  // namespace pulsewell
