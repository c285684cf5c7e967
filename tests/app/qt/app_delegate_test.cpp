#include "app/qt/app_delegate.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "app/qt/about_dialog.h"
#include "app/qt/settings_window.h"
#include "growing_device.h"
#include "menubar/qt/status_item.h"
#include "pulsewell_version.h"
#include "shell_test_support.h"
#include "snmp/snmp_error.h"
#include "test_main_queue.h"
#include "traffic/application_identifier.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/settings_table.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

class MemorySecretStore : public SecretStore {
 public:
  std::optional<std::string> read(const std::string& service) override {
    if (service != applicationIdentifier) return std::nullopt;
    return value;
  }
  bool write(const std::string& text, const std::string& /*service*/) override {
    value = text.empty() ? std::nullopt : std::optional(text);
    return true;
  }
  std::optional<std::string> value;
};

class NoLoginItem : public LoginItem {
 public:
  Status status() const override { return Status::notRegistered; }
  void registerItem() override {}
  void unregisterItem() override {}
  void openSystemSettingsLoginItems() override {}
};

bool anyTopLevelVisible() {
  for (const QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) return true;
  }
  return false;
}

class AppDelegateTest : public ::testing::Test {
 protected:
  void TearDown() override { delegate_.reset(); }

  AppDelegate& launch(SNMPTrafficService::ClientFactory factory = SNMPTrafficService::defaultClient,
                      std::chrono::milliseconds interval = 20ms) {
    delegate_ = std::make_unique<AppDelegate>(AppDelegate::Environment{
        .mainQueue = queue_,
        .defaults = defaults_,
        .secrets = secrets_,
        .loginItem = std::make_shared<NoLoginItem>(),
        .interval = interval,
        .makeClient = std::move(factory),
        .watchSleep = false,
    });
    delegate_->applicationDidFinishLaunching();
    return *delegate_;
  }

  void storeConfiguration(const RouterTrafficConfig& config) {
    defaults_->set(SettingsKey::routerHost, config.host);
    defaults_->set(SettingsKey::routerPort, std::int64_t{config.port});
    defaults_->set(SettingsKey::routerInterface, config.interface);
    secrets_->value = config.community;
  }

  // Waits for `done` while Qt runs and the delegate's queue runs, its clock passing as its
  // timers need.
  template <typename Predicate>
  bool waitFor(Predicate done) {
    return QTest::qWaitFor(
        [&] {
          queue_->runNext();
          return done();
        },
        5000);
  }

  bool waitForStatus(RouterTrafficStatus status) {
    return waitFor([&] { return delegate_->service().status() == status; });
  }

  std::shared_ptr<TestMainQueue> queue_ = std::make_shared<TestMainQueue>();
  std::shared_ptr<MemoryDefaultsStore> defaults_ = std::make_shared<MemoryDefaultsStore>();
  std::shared_ptr<MemorySecretStore> secrets_ = std::make_shared<MemorySecretStore>();
  std::unique_ptr<AppDelegate> delegate_;
};

TEST_F(AppDelegateTest, AFirstLaunchRegistersTheGraphStyleAndOpensNothing) {
  AppDelegate& delegate = launch();
  EXPECT_EQ(defaults_->string(SettingsKey::menuBarGraph), "beside");
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::notConfigured);
  ASSERT_NE(delegate.statusItem(), nullptr);
  EXPECT_EQ(delegate.statusItem()->accessibilityLabel(),
            QStringLiteral("Pulsewell: Not set up yet"));
  EXPECT_EQ(delegate.settingsWindow(), nullptr);
  EXPECT_EQ(delegate.aboutDialog(), nullptr);
  EXPECT_FALSE(anyTopLevelVisible());
}

TEST_F(AppDelegateTest, TheRegisteredGraphStyleNeverOverridesTheUsersChoice) {
  defaults_->set(SettingsKey::menuBarGraph, std::string("behind"));
  launch();
  EXPECT_EQ(defaults_->string(SettingsKey::menuBarGraph), "behind");
}

TEST_F(AppDelegateTest, TheMenuOffersAboutSettingsAndQuitWithTheirShortcuts) {
  AppDelegate& delegate = launch();
  const QList<QAction*> entries = delegate.statusItem()->menu().actions();
  ASSERT_EQ(entries.size(), 4);
  EXPECT_EQ(entries[0]->text(), QStringLiteral("About Pulsewell"));
  EXPECT_TRUE(entries[0]->shortcut().isEmpty());
  EXPECT_TRUE(entries[1]->isSeparator());
  EXPECT_EQ(entries[2]->text(), QStringLiteral("Settings …"));
  EXPECT_EQ(entries[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
  EXPECT_EQ(entries[3]->text(), QStringLiteral("Quit"));
  EXPECT_EQ(entries[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

  entries[2]->trigger();
  ASSERT_NE(delegate.settingsWindow(), nullptr);
  EXPECT_TRUE(delegate.settingsWindow()->isVisible());
  entries[0]->trigger();
  ASSERT_NE(delegate.aboutDialog(), nullptr);
  EXPECT_TRUE(delegate.aboutDialog()->isVisible());
}

TEST_F(AppDelegateTest, TheStoredConfigurationIsPolledFromLaunchOn) {
  GrowingDevice device;
  storeConfiguration(device.config());
  AppDelegate& delegate = launch();
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::connecting);
  EXPECT_TRUE(waitForStatus(RouterTrafficStatus::up));
}

TEST_F(AppDelegateTest, AnUnusableStoredConfigurationLaunchesNotConfigured) {
  storeConfiguration(
      {.host = "router box", .port = 161, .community = "public", .interface = "eth0"});
  AppDelegate& delegate = launch();
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::notConfigured);
}

TEST_F(AppDelegateTest, AVisibleSettingsWindowIsReusedAndAClosedOneRebuiltFromTheStore) {
  defaults_->set(SettingsKey::routerHost, std::string("192.0.2.1"));
  AppDelegate& delegate = launch();
  delegate.showSettings();
  SettingsWindow* first = delegate.settingsWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->windowTitle(), QStringLiteral("Pulsewell"));
  auto* host = first->findChild<QLineEdit*>(QStringLiteral("hostField"));
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->text(), QStringLiteral("192.0.2.1"));
  host->setText(QStringLiteral("typed but not saved"));

  delegate.showSettings();
  EXPECT_EQ(delegate.settingsWindow(), first);
  EXPECT_EQ(host->text(), QStringLiteral("typed but not saved"));

  first->close();
  defaults_->set(SettingsKey::routerHost, std::string("198.51.100.7"));
  delegate.showSettings();
  SettingsWindow* second = delegate.settingsWindow();
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->isVisible());
  EXPECT_EQ(second->findChild<QLineEdit*>(QStringLiteral("hostField"))->text(),
            QStringLiteral("198.51.100.7"));
  const QRect area = second->screen()->availableGeometry();
  EXPECT_LE((second->frameGeometry().center() - area.center()).manhattanLength(), 2);
}

TEST_F(AppDelegateTest, TheSettingsWindowsApplyRebuildsTheConfigurationFromTheStores) {
  GrowingDevice device;
  storeConfiguration(device.config());
  AppDelegate& delegate = launch();
  ASSERT_TRUE(waitForStatus(RouterTrafficStatus::up));
  delegate.showSettings();
  SettingsModel& form = delegate.settingsWindow()->model();

  // Choosing the interface already chosen applies nothing: polling goes on.
  form.chooseInterface(device.config().interface);
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::up);

  // A changed setting reaches the service through the stores: it restarts.
  form.setSwapDirections(true);
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::connecting);
  EXPECT_TRUE(waitForStatus(RouterTrafficStatus::up));
}

TEST_F(AppDelegateTest, SleepStopsPollingAndWakeStartsItAfresh) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  storeConfiguration({.host = "127.0.0.1", .port = 9, .community = "public", .interface = "eth0"});
  AppDelegate& delegate = launch(failingWith(SNMPError::timeout(), calls));
  ASSERT_TRUE(waitForStatus(RouterTrafficStatus::noReply));

  delegate.willSleep();
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::noReply);
  const int asleep = *calls;
  queue_->advance(200ms);  // ten polling intervals
  const int afterSleep = *calls;
  EXPECT_LE(afterSleep, asleep + 2);  // at most the sample that was under way

  delegate.didWake();
  EXPECT_EQ(delegate.service().status(), RouterTrafficStatus::connecting);
  EXPECT_TRUE(waitForStatus(RouterTrafficStatus::noReply));
  EXPECT_GE(*calls, afterSleep + 2);  // a request and its one retry
}

TEST_F(AppDelegateTest, AcrossSleepTheTotalsContinueAndTheHistoriesRestart) {
  GrowingDevice device;
  storeConfiguration(device.config());
  AppDelegate& delegate = launch();
  SNMPTrafficService& service = delegate.service();
  ASSERT_TRUE(waitFor([&] { return service.downHistory().size() >= 2; }));

  delegate.willSleep();
  EXPECT_EQ(service.status(), RouterTrafficStatus::up);
  EXPECT_EQ(service.reading(), std::nullopt);
  const TrafficTotals before = service.totals();
  EXPECT_GT(before.down, 0U);

  delegate.didWake();
  EXPECT_EQ(service.status(), RouterTrafficStatus::connecting);
  EXPECT_TRUE(service.downHistory().empty());
  ASSERT_TRUE(waitFor([&] { return service.downHistory().size() >= 2; }));
  EXPECT_GT(service.totals().down, before.down);
}

TEST_F(AppDelegateTest, AWakeWithoutASleepChangesNothing) {
  GrowingDevice device;
  storeConfiguration(device.config());
  AppDelegate& delegate = launch();
  SNMPTrafficService& service = delegate.service();
  ASSERT_TRUE(waitFor([&] { return service.downHistory().size() >= 2; }));
  delegate.didWake();
  EXPECT_EQ(service.status(), RouterTrafficStatus::up);
  EXPECT_FALSE(service.downHistory().empty());
}

TEST_F(AppDelegateTest, TheAboutPanelShowsNameIconVersionAndContact) {
  AppDelegate& delegate = launch();
  delegate.showAbout();
  AboutDialog* about = delegate.aboutDialog();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->windowTitle(), QStringLiteral("About Pulsewell"));
  EXPECT_EQ(about->findChild<QLabel*>(QStringLiteral("aboutName"))->text(),
            QStringLiteral("Pulsewell"));
  EXPECT_TRUE(about->findChild<QLabel*>(QStringLiteral("aboutVersion"))
                  ->text()
                  .contains(QString::fromLatin1(version)));
  EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("aboutIcon"))->pixmap().isNull());
  const auto* contact = about->findChild<QLabel*>(QStringLiteral("aboutContact"));
  EXPECT_EQ(
      contact->text(),
      QStringLiteral("Contact: <a href=\"mailto:hello@pulsewell.org\">hello@pulsewell.org</a>"));
  EXPECT_TRUE(contact->openExternalLinks());
  EXPECT_EQ(contact->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);

  delegate.showAbout();
  EXPECT_EQ(delegate.aboutDialog(), about);
}

}  // namespace
}  // namespace pulsewell
