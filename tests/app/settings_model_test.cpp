#include "app/settings_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "agent/simulator_agent.h"
#include "platform/file_secret_store.h"
#include "snmp/if_mib.h"
#include "snmp/snmp_error.h"
#include "tests/platform/platform_test_support.h"
#include "tests/support/quoted_text.h"
#include "tests/support/test_main_queue.h"
#include "traffic/application_identifier.h"
#include "traffic/login_item.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/port_text.h"
#include "traffic/router_traffic_config.h"
#include "traffic/secret_store.h"
#include "traffic/settings_table.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {
namespace {

using ::testing::ElementsAre;

class FakeSecretStore : public SecretStore {
 public:
  std::optional<std::string> read(const std::string& service) override {
    readServices.push_back(service);
    return stored;
  }
  bool write(const std::string& value, const std::string& service) override {
    writes.push_back({value, service});
    if (refuse) return false;
    stored = value;
    return true;
  }

  struct Write {
    std::string value;
    std::string service;
    bool operator==(const Write&) const = default;
  };
  std::optional<std::string> stored;
  bool refuse = false;
  std::vector<std::string> readServices;
  std::vector<Write> writes;
};

class FakeLoginItem : public LoginItem {
 public:
  Status status() const override { return current; }
  void registerItem() override {
    ++registerCalls;
    if (failure) throw std::runtime_error(*failure);
    current = afterRegister;
  }
  void unregisterItem() override {
    ++unregisterCalls;
    if (failure) throw std::runtime_error(*failure);
    current = Status::notRegistered;
  }
  void openSystemSettingsLoginItems() override { ++pagesOpened; }

  Status current = Status::notRegistered;
  Status afterRegister = Status::enabled;
  std::optional<std::string> failure;
  int registerCalls = 0;
  int unregisterCalls = 0;
  int pagesOpened = 0;
};

struct PendingFetch {
  RouterTrafficConfig draft;
  SettingsModel::FetchDone done;
};

class SettingsModelTest : public ::testing::Test {
 protected:
  std::unique_ptr<SettingsModel> makeModel(bool german = false) {
    auto model = std::make_unique<SettingsModel>(
        service, [this] { ++applyCount; }, defaults, *secretStore, loginItem, queue,
        [this](const RouterTrafficConfig& draft, SettingsModel::FetchDone done) {
          fetches.push_back({draft, std::move(done)});
        },
        german);
    return model;
  }

  // A model with a valid draft for 192.0.2.1:161.
  std::unique_ptr<SettingsModel> makeReadyModel(bool german = false) {
    auto model = makeModel(german);
    model->setHost("192.0.2.1");
    return model;
  }

  void succeed(std::size_t fetch, std::vector<SNMPInterface> interfaces) {
    fetches.at(fetch).done({std::move(interfaces), nullptr});
    queue->drain();
  }

  void fail(std::size_t fetch, const SNMPError& error) {
    fetches.at(fetch).done({{}, std::make_exception_ptr(error)});
    queue->drain();
  }

  std::shared_ptr<TestMainQueue> queue = std::make_shared<TestMainQueue>();
  SNMPTrafficService service{queue};
  MemoryDefaultsStore defaults;
  FakeSecretStore secrets;
  // Where the model keeps the community: the fake unless a test says otherwise.
  SecretStore* secretStore = &secrets;
  FakeLoginItem loginItem;
  int applyCount = 0;
  std::vector<PendingFetch> fetches;
};

std::vector<SNMPInterface> twoInterfaces() {
  return {{"eth0", true}, {"wlan0", false}};
}

// --- The typed connection data -------------------------------------------------------

struct PortCase {
  const char* text;
  std::optional<std::uint16_t> port;
};

// The case as its test name shows it.
void PrintTo(const PortCase& c, std::ostream* out) {
  test::printQuoted(c.text, out);
}

class SettingsModelPortTest : public SettingsModelTest,
                              public ::testing::WithParamInterface<PortCase> {};

TEST_P(SettingsModelPortTest, PortTextDecidesTheDraft) {
  auto model = makeReadyModel();
  model->setPort(GetParam().text);
  const auto draft = model->draft();
  if (GetParam().port) {
    ASSERT_TRUE(draft.has_value());
    EXPECT_EQ(draft->port, *GetParam().port);
  } else {
    EXPECT_FALSE(draft.has_value());
  }
  EXPECT_EQ(model->port(), GetParam().text) << "the field keeps what was typed";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsModelPortTest,
    ::testing::Values(PortCase{"0", std::nullopt}, PortCase{"65536", std::nullopt},
                      PortCase{"-1", std::nullopt}, PortCase{"", std::nullopt},
                      PortCase{"1 61", std::nullopt}, PortCase{"abc", std::nullopt},
                      PortCase{"161abc", std::nullopt}, PortCase{" 161", std::nullopt},
                      PortCase{"161 ", std::nullopt}, PortCase{"+", std::nullopt},
                      PortCase{"-", std::nullopt}, PortCase{"+-161", std::nullopt},
                      PortCase{"--161", std::nullopt}, PortCase{"-0", std::nullopt},
                      PortCase{"16.1", std::nullopt},
                      PortCase{"\xEF\xBC\x91\xEF\xBC\x96\xEF\xBC\x91", std::nullopt},
                      PortCase{"99999999999999999999", std::nullopt}, PortCase{"+161", 161},
                      PortCase{"0161", 161}, PortCase{"161", 161}, PortCase{"65535", 65535},
                      PortCase{"1", 1}, PortCase{"+0000008161", 8161}));

TEST(PortNumber, CoversTheSignedRangeAndNothingBeyond) {
  EXPECT_EQ(portNumber("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(portNumber("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(portNumber("9223372036854775808"), 0);
  EXPECT_EQ(portNumber("-9223372036854775809"), 0);
  EXPECT_EQ(portNumber("-42"), -42);
}

struct HostCase {
  const char* text;
  std::optional<std::string> host;
};

// The case as its test name shows it.
void PrintTo(const HostCase& c, std::ostream* out) {
  test::printQuoted(c.text, out);
}

class SettingsModelHostTest : public SettingsModelTest,
                              public ::testing::WithParamInterface<HostCase> {};

TEST_P(SettingsModelHostTest, HostIsTrimmedAndMustHaveNoInnerWhitespace) {
  auto model = makeModel();
  model->setHost(GetParam().text);
  const auto draft = model->draft();
  if (GetParam().host) {
    ASSERT_TRUE(draft.has_value());
    EXPECT_EQ(draft->host, *GetParam().host);
  } else {
    EXPECT_FALSE(draft.has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsModelHostTest,
    ::testing::Values(HostCase{" 192.0.2.1\n", "192.0.2.1"},
                      HostCase{"\t router.local \r\n", "router.local"},
                      HostCase{"\xC2\xA0::1\xE2\x80\xA8", "::1"}, HostCase{"", std::nullopt},
                      HostCase{"   ", std::nullopt}, HostCase{"\n", std::nullopt},
                      HostCase{"192.0 .2.1", std::nullopt}, HostCase{"router\nlocal", std::nullopt},
                      HostCase{"router\xC2\xA0local", std::nullopt}));

TEST_F(SettingsModelTest, CommunityMustNotBeEmptyButIsNeverTrimmed) {
  auto model = makeReadyModel();
  model->setCommunity("");
  EXPECT_FALSE(model->draft().has_value());

  model->setCommunity(" ");
  ASSERT_TRUE(model->draft().has_value());
  EXPECT_EQ(model->draft()->community, " ");
  model->load();
  EXPECT_THAT(secrets.writes, ElementsAre(FakeSecretStore::Write{" ", applicationIdentifier}));
}

TEST_F(SettingsModelTest, DraftCarriesTheStoredInterfaceAndSwapSetting) {
  defaults.set(SettingsKey::routerInterface, std::string("eth0"));
  defaults.set(SettingsKey::routerSwapDirections, true);
  auto model = makeReadyModel();
  model->setPort("+8161");
  EXPECT_EQ(model->draft(), (RouterTrafficConfig{"192.0.2.1", 8161, "velmar", "eth0", true}));
}

// --- Initial values --------------------------------------------------------------------

TEST_F(SettingsModelTest, NewFormShowsStoredValues) {
  defaults.set(SettingsKey::routerHost, std::string("router.local"));
  defaults.set(SettingsKey::routerPort, std::int64_t{8161});
  secrets.stored = "s3cret";
  loginItem.current = LoginItem::Status::enabled;
  auto model = makeModel();
  EXPECT_EQ(model->host(), "router.local");
  EXPECT_EQ(model->port(), "8161");
  EXPECT_EQ(model->community(), "s3cret");
  EXPECT_THAT(secrets.readServices, ElementsAre(applicationIdentifier));
  EXPECT_TRUE(model->launchAtLogin());
  EXPECT_TRUE(model->interfaces().empty());
  EXPECT_FALSE(model->message());
  EXPECT_FALSE(model->loadFailure());
  EXPECT_FALSE(model->loading());
  EXPECT_FALSE(model->loginMessage());
}

TEST_F(SettingsModelTest, PortThatIsNotAWholeNumberShowsTheDefault) {
  for (const DefaultsValue& stored :
       {DefaultsValue{std::string("8161")}, DefaultsValue{161.5}, DefaultsValue{true}}) {
    defaults.set(SettingsKey::routerPort, stored);
    EXPECT_EQ(makeModel()->port(), "161");
  }
}

TEST_F(SettingsModelTest, EmptyStoreGivesEmptyHostDefaultPortAndTheDefaultCommunity) {
  auto model = makeModel();
  EXPECT_EQ(model->host(), "");
  EXPECT_EQ(model->port(), "161");
  EXPECT_EQ(model->community(), "velmar");
  EXPECT_FALSE(model->launchAtLogin());
  EXPECT_TRUE(secrets.writes.empty()) << "nothing is written until the user saves";
  EXPECT_FALSE(defaults.object(SettingsKey::routerHost));

  model->setHost("192.0.2.1");
  model->load();
  EXPECT_THAT(secrets.writes, ElementsAre(FakeSecretStore::Write{"velmar", applicationIdentifier}));
}

TEST_F(SettingsModelTest, StoredSettingsHaveTheirDefaults) {
  auto model = makeModel();
  EXPECT_EQ(model->interface(), "");
  EXPECT_FALSE(model->swapDirections());
  EXPECT_FALSE(model->inBits());
  EXPECT_EQ(model->graphStyle(), "beside");
  EXPECT_EQ(model->downLineSpeed(), 0);
  EXPECT_EQ(model->upLineSpeed(), 0);
}

// --- Saving and fetching ---------------------------------------------------------------

TEST_F(SettingsModelTest, LoadSavesAppliesAndFetchesWithTheDraft) {
  defaults.set(SettingsKey::routerInterface, std::string("eth0"));
  auto model = makeModel();
  model->setHost("  192.0.2.1\n");
  model->setPort("0161");
  model->setCommunity("public");
  model->load();

  EXPECT_EQ(defaults.string(SettingsKey::routerHost), "192.0.2.1");
  EXPECT_EQ(defaults.object(SettingsKey::routerPort), DefaultsValue{std::int64_t{161}});
  EXPECT_THAT(secrets.writes, ElementsAre(FakeSecretStore::Write{"public", applicationIdentifier}));
  EXPECT_EQ(applyCount, 1);
  EXPECT_TRUE(model->loading());
  ASSERT_EQ(fetches.size(), 1U);
  EXPECT_EQ(fetches[0].draft, (RouterTrafficConfig{"192.0.2.1", 161, "public", "eth0", false}));
  EXPECT_EQ(model->host(), "  192.0.2.1\n") << "the field keeps what was typed";

  succeed(0, twoInterfaces());
  EXPECT_EQ(model->interfaces(), twoInterfaces());
  EXPECT_FALSE(model->loading());
  EXPECT_FALSE(model->message());
}

TEST_F(SettingsModelTest, LoadWithoutDraftDoesNothing) {
  auto model = makeModel();
  int changes = 0;
  auto subscription = model->onChange([&] { ++changes; });
  model->load();
  EXPECT_TRUE(fetches.empty());
  EXPECT_TRUE(secrets.writes.empty());
  EXPECT_EQ(applyCount, 0);
  EXPECT_EQ(changes, 0);
}

TEST_F(SettingsModelTest, KeychainRefusalStopsBeforeAnythingIsStored) {
  defaults.set(SettingsKey::routerHost, std::string("old.host"));
  defaults.set(SettingsKey::routerPort, std::int64_t{1161});
  secrets.refuse = true;
  auto model = makeModel();
  model->setHost("192.0.2.1");
  model->setPort("161");
  model->load();

  EXPECT_EQ(model->message(), "The keychain refused to save.");
  EXPECT_EQ(defaults.string(SettingsKey::routerHost), "old.host");
  EXPECT_EQ(defaults.object(SettingsKey::routerPort), DefaultsValue{std::int64_t{1161}});
  EXPECT_EQ(applyCount, 0);
  EXPECT_FALSE(model->loading());
  EXPECT_TRUE(fetches.empty());
}

TEST_F(SettingsModelTest, KeychainRefusalInGerman) {
  secrets.refuse = true;
  auto model = makeReadyModel(true);
  model->load();
  EXPECT_EQ(model->message(), "Der Schlüsselbund hat das Speichern abgelehnt.");
}

TEST_F(SettingsModelTest, ACommunityFileThatCannotBeWrittenSaysWhatIsInTheWay) {
  // No keyring: the community goes to a file beside the settings, whose folder is a file.
  const test::TemporaryFolder temporary;
  const auto folder = temporary.path() / "pulsewell";
  test::writeText(folder, "a file where the settings folder belongs");
  FileSecretStore file(folder / "community");
  secretStore = &file;
  struct Case {
    bool german;
    std::string message;
  };
  const std::vector<Case> cases = {
      {false, "The community could not be saved: " + folder.string() + " is not a folder."},
      {true,
       "Die Community konnte nicht gespeichert werden: " + folder.string() + " ist kein Ordner."},
  };
  for (const auto& c : cases) {
    auto model = makeReadyModel(c.german);
    model->load();
    EXPECT_EQ(model->message(), c.message);
    EXPECT_EQ(applyCount, 0);
    EXPECT_TRUE(fetches.empty());
  }
}

TEST_F(SettingsModelTest, AcceptedLoadClearsTheLastFeedback) {
  auto model = makeReadyModel();
  model->load();
  fail(0, SNMPError::localNetworkDenied());
  ASSERT_TRUE(model->message());
  ASSERT_EQ(model->loadFailure(), RouterTrafficStatus::denied);

  model->load();
  EXPECT_FALSE(model->message());
  EXPECT_FALSE(model->loadFailure());
  EXPECT_TRUE(model->loading());
}

TEST_F(SettingsModelTest, LoadDuringAFetchChangesNothing) {
  auto model = makeReadyModel();
  model->load();
  ASSERT_TRUE(model->loading());

  // Everything a second save would touch is primed to show it.
  secrets.refuse = true;
  model->setHost("198.51.100.7");
  int changes = 0;
  auto subscription = model->onChange([&] { ++changes; });
  model->load();

  EXPECT_EQ(fetches.size(), 1U);
  EXPECT_EQ(secrets.writes.size(), 1U);
  EXPECT_EQ(applyCount, 1);
  EXPECT_FALSE(model->message()) << "not even the keychain message";
  EXPECT_EQ(defaults.string(SettingsKey::routerHost), "192.0.2.1");
  EXPECT_TRUE(model->loading());
  EXPECT_EQ(changes, 0);
}

TEST_F(SettingsModelTest, PortChangeDuringAFetchDropsItsSuccess) {
  auto model = makeReadyModel();
  model->load();
  succeed(0, twoInterfaces());
  ASSERT_EQ(model->interfaces(), twoInterfaces());

  model->load();
  model->setPort("1161");
  EXPECT_TRUE(model->interfaces().empty()) << "emptied at once";
  succeed(1, {{"eth9", true}});
  EXPECT_TRUE(model->interfaces().empty());
  EXPECT_FALSE(model->message());
  EXPECT_FALSE(model->loading());
}

TEST_F(SettingsModelTest, PortChangeDuringAFetchStillReportsItsFailure) {
  auto model = makeReadyModel();
  model->load();
  model->setPort("1161");
  fail(0, SNMPError::timeout());
  EXPECT_EQ(model->loadFailure(), RouterTrafficStatus::noReply);
  EXPECT_EQ(model->message(), "No reply (address, port, community?)");
  EXPECT_FALSE(model->loading());
}

TEST_F(SettingsModelTest, EqualDraftAfterEditsKeepsTheResult) {
  auto model = makeReadyModel();
  model->load();
  // Numerically the same port, and a host that trims to the same text.
  model->setPort("+161");
  model->setHost("192.0.2.1 ");
  succeed(0, twoInterfaces());
  EXPECT_EQ(model->interfaces(), twoInterfaces());
}

TEST_F(SettingsModelTest, CommunityChangeDuringAFetchDropsItsSuccess) {
  auto model = makeReadyModel();
  model->load();
  model->setCommunity("other");
  succeed(0, twoInterfaces());
  EXPECT_TRUE(model->interfaces().empty());
}

TEST_F(SettingsModelTest, EmptyListGivesTheNoNamesMessage) {
  auto model = makeReadyModel();
  model->load();
  succeed(0, {});
  EXPECT_TRUE(model->interfaces().empty());
  EXPECT_EQ(model->message(), "The device returned no interface names.");
  EXPECT_FALSE(model->loadFailure());

  auto german = makeReadyModel(true);
  german->load();
  succeed(1, {});
  EXPECT_EQ(german->message(), "Das Gerät hat keine Schnittstellennamen geliefert.");
}

TEST_F(SettingsModelTest, FailureKeepsTheListAndNamesTheStatus) {
  auto model = makeReadyModel(true);
  model->load();
  succeed(0, twoInterfaces());
  model->load();
  fail(1, SNMPError::unreachable());
  EXPECT_EQ(model->interfaces(), twoInterfaces());
  EXPECT_EQ(model->loadFailure(), RouterTrafficStatus::unreachable);
  EXPECT_EQ(model->message(), "Gerät nicht erreichbar");
  EXPECT_FALSE(model->offersPrivacySettings());
}

TEST_F(SettingsModelTest, DeniedFetchOffersThePrivacySettings) {
  auto model = makeReadyModel();
  model->load();
  fail(0, SNMPError::localNetworkDenied());
  EXPECT_TRUE(model->offersPrivacySettings());
}

TEST_F(SettingsModelTest, ErrorOfAnyKindEndsTheFetch) {
  auto model = makeReadyModel();
  model->load();
  fetches[0].done({{}, std::make_exception_ptr(42)});
  queue->drain();
  EXPECT_FALSE(model->loading());
  EXPECT_EQ(model->loadFailure(), RouterTrafficStatus::invalidReply);
}

TEST_F(SettingsModelTest, FetchThatThrowsAtOnceIsReportedAsAFailure) {
  auto model = std::make_unique<SettingsModel>(
      service, [] {}, defaults, secrets, loginItem, queue,
      [](const RouterTrafficConfig&, const SettingsModel::FetchDone&) {
        throw SNMPError::unreachable();
      },
      false);
  model->setHost("192.0.2.1");
  model->load();
  queue->drain();
  EXPECT_FALSE(model->loading());
  EXPECT_EQ(model->loadFailure(), RouterTrafficStatus::unreachable);
}

TEST_F(SettingsModelTest, ResultArrivesOnTheMainQueueOnlyAndOnlyOnce) {
  auto model = makeReadyModel();
  model->load();
  fetches[0].done({twoInterfaces(), nullptr});
  EXPECT_TRUE(model->loading()) << "nothing happens before the main queue runs it";
  fetches[0].done({{}, std::make_exception_ptr(SNMPError::timeout())});
  queue->drain();
  EXPECT_EQ(model->interfaces(), twoInterfaces());
  EXPECT_FALSE(model->loadFailure());
}

TEST_F(SettingsModelTest, ResultForAClosedFormIsDropped) {
  auto model = makeReadyModel();
  model->load();
  auto done = fetches[0].done;
  model.reset();
  done({twoInterfaces(), nullptr});
  queue->drain();  // must neither crash nor touch the gone form
  SUCCEED();
}

// --- Reactions to edits ----------------------------------------------------------------

TEST_F(SettingsModelTest, ConnectionEditsEmptyTheListButUnchangedValuesDoNot) {
  auto model = makeReadyModel();
  model->load();
  succeed(0, twoInterfaces());

  model->setHost("192.0.2.1");
  model->setPort("161");
  model->setCommunity("velmar");
  EXPECT_EQ(model->interfaces(), twoInterfaces());

  model->setCommunity("velmar2");
  EXPECT_TRUE(model->interfaces().empty());
  EXPECT_EQ(applyCount, 1) << "edits never apply";
}

TEST_F(SettingsModelTest, HostEditEmptiesTheList) {
  auto model = makeReadyModel();
  model->load();
  succeed(0, twoInterfaces());
  model->setHost("192.0.2.2");
  EXPECT_TRUE(model->interfaces().empty());
}

TEST_F(SettingsModelTest, ChoosingAnInterfaceStoresAndAppliesOnce) {
  auto model = makeModel();
  model->chooseInterface("eth0");
  EXPECT_EQ(defaults.string(SettingsKey::routerInterface), "eth0");
  EXPECT_EQ(model->interface(), "eth0");
  EXPECT_EQ(applyCount, 1);

  model->chooseInterface("eth0");
  EXPECT_EQ(applyCount, 1) << "re-choosing the chosen interface calls nothing";

  model->chooseInterface("wlan0");
  EXPECT_EQ(applyCount, 2);
}

TEST_F(SettingsModelTest, SwapSettingAppliesOnChangeOnly) {
  auto model = makeModel();
  model->setSwapDirections(false);
  EXPECT_EQ(applyCount, 0);
  model->setSwapDirections(true);
  EXPECT_TRUE(defaults.boolean(SettingsKey::routerSwapDirections));
  EXPECT_EQ(applyCount, 1);
  model->setSwapDirections(true);
  EXPECT_EQ(applyCount, 1);
}

TEST_F(SettingsModelTest, DisplaySettingsOnlyReachTheStore) {
  auto model = makeModel();
  model->setInBits(true);
  model->setGraphStyle("behind");
  EXPECT_EQ(model->panelEntry(), "automatic");
  model->setPanelEntry("square");
  model->setDownLineSpeed(250);
  model->setUpLineSpeed(40);
  EXPECT_EQ(applyCount, 0);
  EXPECT_TRUE(defaults.boolean(SettingsKey::speedInBits));
  EXPECT_EQ(defaults.string(SettingsKey::menuBarGraph), "behind");
  EXPECT_EQ(defaults.string(SettingsKey::panelEntry), "square");
  EXPECT_EQ(model->panelEntry(), "square");
  EXPECT_EQ(defaults.integer(SettingsKey::routerLineSpeed), 250);
  EXPECT_EQ(defaults.integer(SettingsKey::routerLineSpeedUp), 40);
}

TEST_F(SettingsModelTest, StoreChangesAndStateChangesAreAnnounced) {
  auto model = makeModel();
  int changes = 0;
  auto subscription = model->onChange([&] { ++changes; });
  model->setHost("x");
  EXPECT_EQ(changes, 1);
  model->setHost("x");
  EXPECT_EQ(changes, 1);
  defaults.set(SettingsKey::speedInBits, true);  // from anywhere, not only this form
  EXPECT_EQ(changes, 2);
}

// --- Line speeds -----------------------------------------------------------------------

struct SpeedCase {
  const char* text;
  std::int64_t value;
};

// The case as its test name shows it.
void PrintTo(const SpeedCase& c, std::ostream* out) {
  test::printQuoted(c.text, out);
}

class SettingsModelSpeedTest : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SettingsModelSpeedTest, KeepsTheFirstSevenDigits) {
  EXPECT_EQ(SettingsModel::speed(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, SettingsModelSpeedTest,
                         ::testing::Values(SpeedCase{"1234567890", 1234567}, SpeedCase{"12.5", 125},
                                           SpeedCase{"-5", 5}, SpeedCase{"", 0},
                                           SpeedCase{"abc", 0}, SpeedCase{"0", 0},
                                           SpeedCase{"0000100", 100}, SpeedCase{"1 000 Mbit", 1000},
                                           SpeedCase{"\xEF\xBC\x95", 0},
                                           SpeedCase{"9999999", 9999999},
                                           SpeedCase{"99999999999999999999999", 9999999}));

TEST(SettingsModelSpeedText, ZeroShowsEmptyText) {
  EXPECT_EQ(SettingsModel::speedText(0), "");
  EXPECT_EQ(SettingsModel::speedText(250), "250");
  EXPECT_EQ(SettingsModel::speed(SettingsModel::speedText(0)), 0);
}

// --- Launch at login -------------------------------------------------------------------

TEST_F(SettingsModelTest, LaunchAtLoginFollowsTheLoginItem) {
  auto model = makeModel();
  model->setLaunchAtLogin(true);
  EXPECT_EQ(loginItem.registerCalls, 1);
  EXPECT_TRUE(model->launchAtLogin());
  EXPECT_FALSE(model->loginMessage());

  model->setLaunchAtLogin(false);
  EXPECT_EQ(loginItem.unregisterCalls, 1);
  EXPECT_FALSE(model->launchAtLogin());
}

TEST_F(SettingsModelTest, FailedRegistrationShowsTheErrorAndTheRealState) {
  loginItem.failure = "Cannot write the autostart entry: Permission denied";
  auto model = makeModel();
  model->setLaunchAtLogin(true);
  EXPECT_EQ(model->loginMessage(), "Cannot write the autostart entry: Permission denied");
  EXPECT_FALSE(model->launchAtLogin());

  loginItem.failure.reset();
  model->setLaunchAtLogin(true);
  EXPECT_FALSE(model->loginMessage()) << "cleared at every toggle";
  EXPECT_TRUE(model->launchAtLogin());
}

TEST_F(SettingsModelTest, FailedUnregistrationLeavesTheSwitchOn) {
  loginItem.current = LoginItem::Status::enabled;
  auto model = makeModel();
  loginItem.failure = "Cannot remove the autostart entry";
  model->setLaunchAtLogin(false);
  EXPECT_TRUE(model->launchAtLogin());
  EXPECT_EQ(model->loginMessage(), "Cannot remove the autostart entry");
}

TEST_F(SettingsModelTest, ApprovalNeededAsksForItAndOpensThePage) {
  loginItem.afterRegister = LoginItem::Status::requiresApproval;
  auto model = makeModel();
  model->setLaunchAtLogin(true);
  EXPECT_EQ(model->loginMessage(), "Please allow Pulsewell under Login Items in System Settings.");
  EXPECT_EQ(loginItem.pagesOpened, 1);
  EXPECT_FALSE(model->launchAtLogin());

  auto german = makeModel(true);
  german->setLaunchAtLogin(true);
  EXPECT_EQ(german->loginMessage(),
            "Bitte Pulsewell in den Systemeinstellungen unter Anmeldeobjekte erlauben.");
}

TEST_F(SettingsModelTest, ApprovalRequestReplacesARegistrationError) {
  loginItem.failure = "Operation not permitted";
  loginItem.current = LoginItem::Status::requiresApproval;
  auto model = makeModel();
  model->setLaunchAtLogin(true);
  EXPECT_EQ(model->loginMessage(), "Please allow Pulsewell under Login Items in System Settings.");
  EXPECT_EQ(loginItem.pagesOpened, 1);
}

TEST_F(SettingsModelTest, ApprovalStatusWhileSwitchingOffOpensNothing) {
  loginItem.current = LoginItem::Status::requiresApproval;
  auto model = makeModel();
  model->setLaunchAtLogin(false);
  EXPECT_EQ(loginItem.pagesOpened, 0);
  EXPECT_FALSE(model->loginMessage());
}

// --- The service's status --------------------------------------------------------------

TEST_F(SettingsModelTest, ServiceChangesReachTheFormThroughTheMainQueue) {
  // A service whose every exchange is refused as local-network access.
  auto deniedService = std::make_unique<SNMPTrafficService>(
      queue, std::chrono::milliseconds(20), [](const RouterTrafficConfig& config) {
        SNMPClient client = SNMPTrafficService::defaultClient(config);
        client.transport = [](const Bytes&) -> Bytes { throw SNMPError::localNetworkDenied(); };
        return client;
      });
  SettingsModel model(
      *deniedService, [] {}, defaults, secrets, loginItem, queue,
      [](const RouterTrafficConfig&, const SettingsModel::FetchDone&) {}, false);
  int changes = 0;
  auto subscription = model.onChange([&] { ++changes; });
  EXPECT_FALSE(model.offersPrivacySettings());

  deniedService->apply(RouterTrafficConfig{"192.0.2.1", 161, "velmar", "eth0", false});
  EXPECT_EQ(changes, 0) << "the service announces before it assigns; the form reads later";
  ASSERT_TRUE(queue->runUntil([&] { return model.status() == RouterTrafficStatus::denied; }));
  queue->drain();
  EXPECT_GT(changes, 0);
  EXPECT_TRUE(model.offersPrivacySettings());
}

// --- The real fetch, against the simulator agent on 127.0.0.1 -------------------------

class SettingsModelAgentTest : public SettingsModelTest {
 protected:
  std::unique_ptr<SettingsModel> makeFetchingModel() {
    auto model = std::make_unique<SettingsModel>(
        service, [this] { ++applyCount; }, defaults, *secretStore, loginItem, queue,
        SettingsModel::fetchOnWorker, false);
    model->setHost(agent.address());
    model->setPort(std::to_string(agent.port()));
    model->setCommunity(agent.community());
    return model;
  }

  // The names of this process's threads.
  static std::vector<std::string> threadNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
      std::ifstream comm(task.path() / "comm");
      std::string name;
      if (std::getline(comm, name)) names.push_back(name);
    }
    return names;
  }

  SimulatorAgent agent;
};

TEST_F(SettingsModelAgentTest, FetchListsTheDevicesInterfacesInTableOrder) {
  agent.setInterface({2, "wlan0", 0, 0, IfMib::operStatusDown, true});
  agent.setInterface({1, "eth0", 0, 0, IfMib::operStatusUp, true});
  auto model = makeFetchingModel();
  model->load();
  ASSERT_TRUE(queue->runUntil([&] { return !model->loading(); }));
  EXPECT_FALSE(model->message());
  EXPECT_EQ(model->interfaces(),
            (std::vector<SNMPInterface>{{"eth0", true, CounterWidth::bits64},
                                        {"wlan0", false, CounterWidth::bits64}}));
}

TEST_F(SettingsModelAgentTest, FetchRunsOnANamedWorkerAndLeavesTheMainThreadFree) {
  agent.setInterface({1, "eth0", 0, 0, IfMib::operStatusUp, true});
  agent.queueFault(AgentFault::delayed(std::chrono::milliseconds(300)));
  auto model = makeFetchingModel();
  model->load();
  EXPECT_TRUE(model->loading()) << "load() returns while the device is still answering";
  bool named = false;
  for (int poll = 0; poll < 50 && !named; ++poll) {
    for (const auto& name : threadNames())
      named = named || name == "Pulsewell.fetch";
    if (!named) usleep(5000);
  }
  EXPECT_TRUE(named);
  ASSERT_TRUE(queue->runUntil([&] { return !model->loading(); }));
  EXPECT_EQ(model->interfaces(),
            (std::vector<SNMPInterface>{{"eth0", true, CounterWidth::bits64}}));
}

TEST_F(SettingsModelAgentTest, DeviceWithoutInterfaceNamesGivesTheMessage) {
  auto model = makeFetchingModel();
  model->load();
  ASSERT_TRUE(queue->runUntil([&] { return !model->loading(); }));
  EXPECT_TRUE(model->interfaces().empty());
  EXPECT_EQ(model->message(), "The device returned no interface names.");
}

TEST_F(SettingsModelAgentTest, UnusableReplyIsReportedWithItsStatus) {
  agent.setInterface({1, "eth0", 0, 0, IfMib::operStatusUp, true});
  // Both the request and its one retry get garbage back.
  agent.queueFaults({AgentFault::garbage(), AgentFault::garbage()});
  auto model = makeFetchingModel();
  model->load();
  ASSERT_TRUE(queue->runUntil([&] { return !model->loading(); }));
  EXPECT_EQ(model->loadFailure(), RouterTrafficStatus::invalidReply);
  EXPECT_EQ(model->message(), "Unexpected reply");
  EXPECT_TRUE(model->interfaces().empty());
}

TEST_F(SettingsModelAgentTest, FormClosedDuringTheFetchIsLeftAlone) {
  agent.setInterface({1, "eth0", 0, 0, IfMib::operStatusUp, true});
  agent.queueFault(AgentFault::delayed(std::chrono::milliseconds(100)));
  auto model = makeFetchingModel();
  model->load();
  model.reset();
  // The worker still finishes and posts; the post finds no form.
  EXPECT_TRUE(
      queue->runUntil([&] { return queue->postedCount() > 0 && queue->pendingCount() == 0; }));
}

}  // namespace
}  // namespace pulsewell
