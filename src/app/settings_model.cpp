#include "app/settings_model.h"

#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include "app/file_problem_text.h"
#include "menubar/display_settings.h"
#include "menubar/strings.h"
#include "traffic/application_identifier.h"
#include "traffic/connection_check.h"
#include "traffic/port_text.h"
#include "traffic/settings_table.h"
#include "traffic/snmp_traffic_sampler.h"
#include "traffic/thread_name.h"

namespace pulsewell {

namespace {

constexpr std::size_t speedDigits = 7;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

struct SettingsModel::State {
  State(SNMPTrafficService& serviceIn, std::function<void()> applyIn, DefaultsStore& defaultsIn,
        SecretStore& secretsIn, LoginItem& loginItemIn, std::shared_ptr<MainQueue> queueIn,
        Fetch fetchIn, bool germanIn)
      : service(serviceIn),
        apply(std::move(applyIn)),
        defaults(defaultsIn),
        secrets(secretsIn),
        loginItem(loginItemIn),
        mainQueue(std::move(queueIn)),
        fetch(std::move(fetchIn)),
        german(germanIn) {}

  std::string text(std::string_view english, std::string_view germanText) const {
    return std::string(german ? germanText : english);
  }

  void callApply() const {
    if (apply) apply();
  }

  std::optional<RouterTrafficConfig> draft() const {
    // The service's own rules, so the form never accepts what the service rejects.
    auto checked = checkConnection(host, portNumber(port), community);
    auto* connection = std::get_if<RouterConnection>(&checked);
    if (!connection) return std::nullopt;
    return RouterTrafficConfig{std::move(connection->host), connection->port,
                               std::move(connection->community),
                               settingText(defaults, Setting::routerInterface),
                               settingFlag(defaults, Setting::routerSwapDirections)};
  }

  void editConnection(std::string& field, const std::string& value) {
    if (field == value) return;
    field = value;
    interfaces.clear();
    changed.emit();
  }

  void finishFetch(const RouterTrafficConfig& captured, FetchResult result) {
    if (result.error) {
      // A failure is reported even when the form has moved on: it says what the saved
      // settings, already applied to the service, lead to.
      const RouterTrafficStatus failure = routerTrafficStatus(result.error);
      loadFailure = failure;
      message = std::string(Strings::status(failure, german));
    } else {
      const auto current = draft();
      if (current && current->host == captured.host && current->port == captured.port &&
          current->community == captured.community) {
        interfaces = std::move(result.interfaces);
        if (interfaces.empty()) {
          message = text("The device returned no interface names.",
                         "Das Gerät hat keine Schnittstellennamen geliefert.");
        }
      }
    }
    loading = false;
    changed.emit();
  }

  SNMPTrafficService& service;
  std::function<void()> apply;
  DefaultsStore& defaults;
  SecretStore& secrets;
  LoginItem& loginItem;
  std::shared_ptr<MainQueue> mainQueue;
  Fetch fetch;
  bool german;

  std::string host;
  std::string port;
  std::string community;
  std::vector<SNMPInterface> interfaces;
  std::optional<std::string> message;
  std::optional<RouterTrafficStatus> loadFailure;
  bool loading = false;
  std::optional<std::string> loginMessage;
  bool launchAtLogin = false;
  bool serviceRefreshPosted = false;

  Signal changed;
  // Declared after `changed` so that they disconnect before it goes.
  Subscription defaultsSubscription;
  Subscription serviceSubscription;
};

SNMPClient SettingsModel::fetchClient(const RouterTrafficConfig& draft) {
  SNMPClient client;
  client.host = draft.host;
  client.port = draft.port;
  client.community = draft.community;
  client.timeout = 1.0;
  client.retries = 1;
  // `client` was made with a new link of its own; the service's link is never shared.
  return client;
}

void SettingsModel::fetchOnWorker(const RouterTrafficConfig& draft, const FetchDone& done) {
  try {
    std::thread([client = fetchClient(draft), done] {
      nameThisThread("fetch");
      FetchResult result;
      try {
        result.interfaces = SNMPTrafficSampler::interfaces(client);
      } catch (...) {
        result.error = std::current_exception();
      }
      done(std::move(result));
    }).detach();
  } catch (...) {
    // No thread to be had: the fetch fails instead of leaving the form loading forever.
    done(FetchResult{{}, std::current_exception()});
  }
}

SettingsModel::SettingsModel(SNMPTrafficService& service, std::function<void()> apply,
                             DefaultsStore& defaults, SecretStore& secrets, LoginItem& loginItem,
                             std::shared_ptr<MainQueue> mainQueue, Fetch fetch, bool german)
    : state_(std::make_shared<State>(service, std::move(apply), defaults, secrets, loginItem,
                                     std::move(mainQueue), std::move(fetch), german)) {
  State& s = *state_;
  s.host = settingText(defaults, Setting::routerHost);
  s.port = std::to_string(settingNumber(defaults, Setting::routerPort));
  s.community = secrets.read(applicationIdentifier).value_or(std::string(defaultCommunity));
  s.launchAtLogin = loginItem.status() == LoginItem::Status::enabled;

  State* raw = state_.get();
  s.defaultsSubscription = defaults.onChange([raw] { raw->changed.emit(); });
  // The service announces a change before making it, so the new status is read one turn
  // of the main loop later; several announcements in a row give one refresh.
  s.serviceSubscription = service.onWillChange([raw, weak = std::weak_ptr<State>(state_)] {
    if (raw->serviceRefreshPosted || !raw->mainQueue) return;
    raw->serviceRefreshPosted = true;
    raw->mainQueue->post([weak] {
      if (auto state = weak.lock()) {
        state->serviceRefreshPosted = false;
        state->changed.emit();
      }
    });
  });
}

SettingsModel::~SettingsModel() = default;

bool SettingsModel::german() const {
  return state_->german;
}

std::string SettingsModel::interface() const {
  return settingText(state_->defaults, Setting::routerInterface);
}

bool SettingsModel::swapDirections() const {
  return settingFlag(state_->defaults, Setting::routerSwapDirections);
}

bool SettingsModel::inBits() const {
  return settingFlag(state_->defaults, Setting::speedInBits);
}

std::string SettingsModel::graphStyle() const {
  return settingText(state_->defaults, Setting::menuBarGraph);
}

std::string SettingsModel::panelEntry() const {
  return std::string(panelEntryFormName(storedPanelEntryForm(state_->defaults)));
}

std::int64_t SettingsModel::downLineSpeed() const {
  return settingNumber(state_->defaults, Setting::routerLineSpeed);
}

std::int64_t SettingsModel::upLineSpeed() const {
  return settingNumber(state_->defaults, Setting::routerLineSpeedUp);
}

void SettingsModel::chooseInterface(const std::string& name) {
  if (name == interface()) return;
  state_->defaults.set(SettingsKey::routerInterface, name);
  state_->callApply();
}

void SettingsModel::setSwapDirections(bool on) {
  if (on == swapDirections()) return;
  state_->defaults.set(SettingsKey::routerSwapDirections, on);
  state_->callApply();
}

void SettingsModel::setInBits(bool on) {
  if (on == inBits()) return;
  state_->defaults.set(SettingsKey::speedInBits, on);
}

void SettingsModel::setGraphStyle(const std::string& style) {
  if (style == graphStyle()) return;
  state_->defaults.set(SettingsKey::menuBarGraph, style);
}

void SettingsModel::setPanelEntry(const std::string& form) {
  if (form == panelEntry()) return;
  state_->defaults.set(SettingsKey::panelEntry, form);
}

void SettingsModel::setDownLineSpeed(std::int64_t mbitPerSec) {
  if (mbitPerSec == downLineSpeed()) return;
  state_->defaults.set(SettingsKey::routerLineSpeed, mbitPerSec);
}

void SettingsModel::setUpLineSpeed(std::int64_t mbitPerSec) {
  if (mbitPerSec == upLineSpeed()) return;
  state_->defaults.set(SettingsKey::routerLineSpeedUp, mbitPerSec);
}

const std::string& SettingsModel::host() const {
  return state_->host;
}
const std::string& SettingsModel::port() const {
  return state_->port;
}
const std::string& SettingsModel::community() const {
  return state_->community;
}
const std::vector<SNMPInterface>& SettingsModel::interfaces() const {
  return state_->interfaces;
}
const std::optional<std::string>& SettingsModel::message() const {
  return state_->message;
}
const std::optional<RouterTrafficStatus>& SettingsModel::loadFailure() const {
  return state_->loadFailure;
}
bool SettingsModel::loading() const {
  return state_->loading;
}
const std::optional<std::string>& SettingsModel::loginMessage() const {
  return state_->loginMessage;
}
bool SettingsModel::launchAtLogin() const {
  return state_->launchAtLogin;
}

void SettingsModel::setHost(const std::string& text) {
  state_->editConnection(state_->host, text);
}
void SettingsModel::setPort(const std::string& text) {
  state_->editConnection(state_->port, text);
}
void SettingsModel::setCommunity(const std::string& text) {
  state_->editConnection(state_->community, text);
}

std::optional<RouterTrafficConfig> SettingsModel::draft() const {
  return state_->draft();
}

void SettingsModel::load() {
  State& s = *state_;
  auto draft = s.draft();
  if (!draft) return;
  if (s.loading) return;
  s.message.reset();
  s.loadFailure.reset();

  bool saved = false;
  try {
    saved = s.secrets.write(draft->community, applicationIdentifier);
  } catch (...) {
    saved = false;
  }
  if (!saved) {
    const auto problem = s.secrets.writeProblem();
    s.message = problem ? s.text("The community could not be saved: ",
                                 "Die Community konnte nicht gespeichert werden: ") +
                              fileProblemText(*problem, s.german) + "."
                        : s.text("The keychain refused to save.",
                                 "Der Schlüsselbund hat das Speichern abgelehnt.");
    s.changed.emit();
    return;
  }

  s.defaults.set(SettingsKey::routerHost, draft->host);
  s.defaults.set(SettingsKey::routerPort, static_cast<std::int64_t>(draft->port));
  s.callApply();
  s.loading = true;
  s.changed.emit();

  // The result comes back through the main queue and is dropped if the form is gone.
  auto delivered = std::make_shared<std::atomic_flag>();
  FetchDone done = [weak = std::weak_ptr<State>(state_), queue = s.mainQueue, captured = *draft,
                    delivered](FetchResult result) {
    if (delivered->test_and_set()) return;
    queue->post([weak, captured, result = std::move(result)]() mutable {
      if (auto state = weak.lock()) state->finishFetch(captured, std::move(result));
    });
  };
  try {
    s.fetch(*draft, done);
  } catch (...) {
    done(FetchResult{{}, std::current_exception()});
  }
}

void SettingsModel::setLaunchAtLogin(bool on) {
  State& s = *state_;
  s.loginMessage.reset();
  const std::string fallback = s.text("The login item could not be changed.",
                                      "Das Anmeldeobjekt konnte nicht geändert werden.");
  try {
    if (on) {
      s.loginItem.registerItem();
    } else {
      s.loginItem.unregisterItem();
    }
  } catch (const std::exception& error) {
    const std::string description = error.what();
    s.loginMessage = description.empty() ? fallback : description;
  } catch (...) {
    s.loginMessage = fallback;
  }
  const LoginItem::Status status = s.loginItem.status();
  if (on && status == LoginItem::Status::requiresApproval) {
    s.loginMessage = s.text("Please allow Pulsewell under Login Items in System Settings.",
                            "Bitte Pulsewell in den Systemeinstellungen unter Anmeldeobjekte "
                            "erlauben.");
    s.loginItem.openSystemSettingsLoginItems();
  }
  s.launchAtLogin = status == LoginItem::Status::enabled;
  s.changed.emit();
}

RouterTrafficStatus SettingsModel::status() const {
  return state_->service.status();
}

bool SettingsModel::offersPrivacySettings() const {
  return state_->loadFailure == RouterTrafficStatus::denied ||
         status() == RouterTrafficStatus::denied;
}

Subscription SettingsModel::onChange(std::function<void()> observer) {
  return state_->changed.connect(std::move(observer));
}

std::string SettingsModel::speedText(std::int64_t mbitPerSec) {
  return mbitPerSec == 0 ? std::string() : std::to_string(mbitPerSec);
}

std::int64_t SettingsModel::speed(std::string_view text) {
  std::int64_t value = 0;
  std::size_t kept = 0;
  for (const char c : text) {
    if (!isDigit(c)) continue;
    if (kept == speedDigits) break;
    value = value * 10 + (c - '0');
    ++kept;
  }
  return value;
}

}  // namespace pulsewell
