#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menubar/strings.h"
#include "snmp/snmp_client.h"
#include "traffic/defaults_store.h"
#include "traffic/login_item.h"
#include "traffic/main_queue.h"
#include "traffic/router_traffic_config.h"
#include "traffic/router_traffic_status.h"
#include "traffic/secret_store.h"
#include "traffic/signal.h"
#include "traffic/snmp_traffic_reading.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {

// The settings form's state and actions, without any widgets: the connection fields as
// typed, the fetched interface list with its feedback, and the stored display settings.
// Every member is used on the main thread only.
class SettingsModel {
 public:
  // What one interface fetch ended with: the device's interfaces, or the error.
  struct FetchResult {
    std::vector<SNMPInterface> interfaces;
    std::exception_ptr error;
  };
  // Hands the result over exactly once; may be called from any thread.
  using FetchDone = std::function<void(FetchResult)>;
  // Starts fetching the interface list of the device in `draft` without blocking.
  using Fetch = std::function<void(const RouterTrafficConfig& draft, FetchDone done)>;

  // The client a fetch uses: the draft's connection data, 1 s timeout, one retry and a
  // link of its own, never the service's.
  static SNMPClient fetchClient(const RouterTrafficConfig& draft);
  // The default fetch: lists the interfaces on a worker thread of its own.
  static void fetchOnWorker(const RouterTrafficConfig& draft, const FetchDone& done);

  // `apply` re-reads the stored connection settings into the service. `german` picks the
  // language of every text the form sets.
  SettingsModel(SNMPTrafficService& service, std::function<void()> apply, DefaultsStore& defaults,
                SecretStore& secrets, LoginItem& loginItem, std::shared_ptr<MainQueue> mainQueue,
                Fetch fetch = fetchOnWorker, bool german = Strings::german());
  ~SettingsModel();
  SettingsModel(const SettingsModel&) = delete;
  SettingsModel& operator=(const SettingsModel&) = delete;

  bool german() const;

  // Stored settings, read from and written to the defaults store.
  std::string interface() const;
  bool swapDirections() const;
  bool inBits() const;
  std::string graphStyle() const;
  // "automatic", "label", "wide" or "square": the form of the panel entry.
  std::string panelEntry() const;
  std::int64_t downLineSpeed() const;
  std::int64_t upLineSpeed() const;

  // Stores the interface and re-applies; nothing happens when it is already chosen.
  void chooseInterface(const std::string& name);
  // Stores the setting and re-applies; nothing happens for an unchanged value.
  void setSwapDirections(bool on);
  // Display settings only reach the store.
  void setInBits(bool on);
  void setGraphStyle(const std::string& style);
  void setPanelEntry(const std::string& form);
  void setDownLineSpeed(std::int64_t mbitPerSec);
  void setUpLineSpeed(std::int64_t mbitPerSec);

  // The form's own state.
  const std::string& host() const;
  const std::string& port() const;
  const std::string& community() const;
  const std::vector<SNMPInterface>& interfaces() const;
  const std::optional<std::string>& message() const;
  const std::optional<RouterTrafficStatus>& loadFailure() const;
  bool loading() const;
  const std::optional<std::string>& loginMessage() const;
  bool launchAtLogin() const;

  // Exactly what was typed; a changed value empties the interface list.
  void setHost(const std::string& text);
  void setPort(const std::string& text);
  void setCommunity(const std::string& text);

  // The typed connection data validated, or none.
  std::optional<RouterTrafficConfig> draft() const;
  // Saves the connection data, re-applies and fetches the interface list. Does nothing
  // without a valid draft or while a fetch runs.
  void load();
  // Asks the login item to follow `on`; the switch then shows the real state.
  void setLaunchAtLogin(bool on);

  // The service's current status.
  RouterTrafficStatus status() const;
  // Whether the privacy-settings button is offered.
  bool offersPrivacySettings() const;

  // Fires after any change of the form state, a stored setting, or (one turn of the main
  // loop later) the service.
  [[nodiscard]] Subscription onChange(std::function<void()> observer);

  // A line speed as its field shows it: empty for 0.
  static std::string speedText(std::int64_t mbitPerSec);
  // A line-speed field's value: its first seven ASCII digits, 0 when there are none.
  static std::int64_t speed(std::string_view text);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace pulsewell
