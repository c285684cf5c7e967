#pragma once

// What the desktop-shell tests share: English texts, readable QString failures and services
// whose exchanges fail without touching the network.
#include <QString>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "snmp/snmp_error.h"
#include "traffic/router_traffic_config.h"
#include "traffic/snmp_traffic_service.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace pulsewell {

// The expected texts are the English ones, whatever the machine's language.
inline const bool englishTexts = [] {
  setenv("LC_ALL", "en_US.UTF-8", 1);  // NOLINT(concurrency-mt-unsafe): before main
  unsetenv("LANGUAGE");                // NOLINT(concurrency-mt-unsafe)
  return true;
}();

inline RouterTrafficConfig unreachableConfig() {
  return {.host = "127.0.0.1", .port = 9, .community = "public", .interface = "eth0"};
}

// Every exchange fails with `error`, without any network; each is counted in `calls` if given.
inline SNMPTrafficService::ClientFactory failingWith(
    SNMPError error, std::shared_ptr<std::atomic<int>> calls = nullptr) {
  return [error, calls](const RouterTrafficConfig& config) {
    SNMPClient client = SNMPTrafficService::defaultClient(config);
    client.transport = [error, calls](const Bytes&) -> Bytes {
      if (calls) ++*calls;
      throw error;
    };
    return client;
  };
}

}  // namespace pulsewell
