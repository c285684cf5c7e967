#include "menubar/qt/status_item.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "fake_status_notifier_watcher.h"
#include "growing_device.h"
#include "menubar/format.h"
#include "menubar/qt/popover_view.h"
#include "menubar/qt/popover_window.h"
#include "menubar/qt/router_menu_bar_graph.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/qt/status_notifier_item.h"
#include "private_bus.h"
#include "shell_test_support.h"
#include "snmp/snmp_error.h"
#include "test_main_queue.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/settings_table.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

// The 22-pixel square the entry hands the panel.
QImage squareIcon(const StatusItem& item) {
  for (const QImage& image : item.icons()) {
    if (image.width() == 22) return image;
  }
  return {};
}

QImage numbers(const char* up, const char* down, const std::optional<RouterGraphData>& graph,
               bool muted) {
  return RouterMenuBarGraph::numbersSquare(up, down, graph, 22, 1.0, muted);
}

// The entry over a bus of the test's own, where a fake panel can run a watcher.
class StatusItemTest : public test::PrivateBus {
 protected:
  void SetUp() override {
    test::PrivateBus::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    defaults_.registerDefaults({{SettingsKey::menuBarGraph, DefaultsValue(std::string("beside"))}});
    about_.setText(QStringLiteral("About Pulsewell"));
    separator_.setSeparator(true);
    settings_.setText(QStringLiteral("Settings …"));
    quit_.setText(QStringLiteral("Quit"));
  }

  void TearDown() override {
    item_.reset();
    service_.reset();
    queue_->close();
    watcher_.reset();
    test::PrivateBus::TearDown();
  }

  SNMPTrafficService& makeService(SNMPTrafficService::ClientFactory factory = {},
                                  SecondsClock clock = {}) {
    // Samples further apart than the debounce, or it would never settle.
    service_ =
        std::make_unique<SNMPTrafficService>(queue_, 150ms, std::move(factory), std::move(clock));
    return *service_;
  }

  // The debounce runs on `timers`: the Qt queue's real time, or `clock_`.
  StatusItem& makeItem(MainQueue& timers) {
    item_ = std::make_unique<StatusItem>(
        *service_, defaults_, timers, QList<QAction*>{&about_, &separator_, &settings_, &quit_},
        [this] { ++settingsOpened_; }, connect(QStringLiteral("item")));
    return *item_;
  }
  StatusItem& makeItem() { return makeItem(*queue_); }

  // A panel's watcher; the entry registers with it.
  void startPanel() {
    watcher_ = std::make_unique<test::FakeStatusNotifierWatcher>(address());
    ASSERT_TRUE(watcher_->isServing());
  }

  // One property of the entry as a panel reads it.
  QVariant property(const char* name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        item_->statusNotifier().serviceName(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
    const QDBusMessage reply = connect(QStringLiteral("panel")).call(get, QDBus::BlockWithGui);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  void callOnEntry(const char* method) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        item_->statusNotifier().serviceName(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.kde.StatusNotifierItem"), QString::fromLatin1(method));
    call << 100 << 5;
    connect(QStringLiteral("panel")).call(call, QDBus::BlockWithGui);
  }

  // Waits for the redraw that follows the changes made so far.
  bool redrawn() {
    QSignalSpy spy(item_.get(), &StatusItem::redrawn);
    return spy.wait(2000);
  }

  // A device that is up with two rates in the history, then held still: paused, the
  // service keeps status and histories and drops the reading.
  void upAndHeld(GrowingDevice& device) {
    makeService({}, device.clock()).apply(device.config());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service_->upHistory().size() >= 2; }, 5000));
    service_->pause();
  }

  std::shared_ptr<QtMainQueue> queue_ = std::make_shared<QtMainQueue>();
  TestMainQueue clock_;
  MemoryDefaultsStore defaults_;
  std::unique_ptr<SNMPTrafficService> service_;
  std::unique_ptr<StatusItem> item_;
  std::unique_ptr<test::FakeStatusNotifierWatcher> watcher_;
  QAction about_;
  QAction separator_;
  QAction settings_;
  QAction quit_;
  int settingsOpened_ = 0;
};

TEST_F(StatusItemTest, ShowsTheRouterSymbolAndTheStatusAtOnceWhenNothingIsSetUp) {
  makeService();
  const StatusItem& item = makeItem();
  EXPECT_EQ(item.accessibilityLabel(), QStringLiteral("Pulsewell: Not set up yet"));
  EXPECT_EQ(squareIcon(item), RouterMenuBarGraph::routerSymbol(22, 1.0, false));
}

struct LabelCase {
  const char* name;
  SNMPError error;
  const char* label;
};

// The case as its test name shows it.
void PrintTo(const LabelCase& c, std::ostream* out) {
  *out << c.name;
}

class StatusItemLabel : public StatusItemTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(StatusItemLabel, NamesTheStatusWhenThereAreNoRates) {
  makeService(failingWith(GetParam().error)).apply(unreachableConfig());
  const StatusItem& item = makeItem();
  EXPECT_EQ(item.accessibilityLabel(), QStringLiteral("Pulsewell: Connecting …"));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return item.accessibilityLabel() == QString::fromUtf8(GetParam().label); }, 5000))
      << item.accessibilityLabel().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusItemLabel,
    ::testing::Values(LabelCase{"noReply", SNMPError::timeout(),
                                "Pulsewell: No reply (address, port, community?)"},
                      LabelCase{"denied", SNMPError::localNetworkDenied(),
                                "Pulsewell: Local network access denied"},
                      LabelCase{"invalidReply", SNMPError::malformed(),
                                "Pulsewell: Unexpected reply"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(StatusItemTest, WhenUpTheLabelCarriesBothRatesInTheChosenUnit) {
  GrowingDevice device;
  makeService({}, device.clock()).apply(device.config());
  const StatusItem& item = makeItem();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return item.accessibilityLabel() ==
               QStringLiteral("Pulsewell: Download 1.0 KB/s, Upload 500 B/s");
      },
      5000))
      << item.accessibilityLabel().toStdString();

  defaults_.set(SettingsKey::speedInBits, true);
  ASSERT_TRUE(redrawn());
  EXPECT_EQ(item.accessibilityLabel(),
            QStringLiteral("Pulsewell: Download 8.0 Kbps, Upload 4.0 Kbps"));
}

TEST_F(StatusItemTest, ABurstOfSignalsGivesOneRedrawFiftyMillisecondsAfterTheLast) {
  makeService();
  makeItem(clock_);
  QSignalSpy redraws(item_.get(), &StatusItem::redrawn);
  defaults_.set(SettingsKey::routerHost, std::string("192.0.2.1"));
  clock_.advance(30ms);
  defaults_.set(SettingsKey::routerHost, std::string("192.0.2.2"));
  clock_.advance(49ms);
  EXPECT_EQ(redraws.count(), 0);
  clock_.advance(1ms);
  EXPECT_EQ(redraws.count(), 1);
  clock_.advance(100ms);
  EXPECT_EQ(redraws.count(), 1);
}

TEST_F(StatusItemTest, ServiceAndSettingsSignalsAreMergedIntoOneRedraw) {
  makeService(failingWith(SNMPError::timeout()));
  // Paused, a new configuration announces its changes but starts no polling that could
  // add more of them.
  service_->pause();
  makeItem(clock_);
  QSignalSpy redraws(item_.get(), &StatusItem::redrawn);
  service_->apply(unreachableConfig());
  defaults_.set(SettingsKey::speedInBits, true);
  clock_.advance(StatusItem::debounceInterval);
  EXPECT_EQ(redraws.count(), 1);
  clock_.advance(20ms);
  EXPECT_EQ(redraws.count(), 1);
  EXPECT_EQ(item_->accessibilityLabel(), QStringLiteral("Pulsewell: Connecting …"));
}

TEST_F(StatusItemTest, TheSquareShowsBothNumbersWithTheGraphStyleBehindThem) {
  GrowingDevice device;
  upAndHeld(device);
  makeItem();
  // Held still, the service keeps the histories but shows no reading.
  const Format::Peaks peaks =
      Format::peaks(service_->downHistory(), service_->upHistory(), 0, 0, false);
  const RouterGraphData graph{.down = service_->downHistory(),
                              .up = service_->upHistory(),
                              .downPeak = peaks.downPeak,
                              .upPeak = peaks.upPeak};
  EXPECT_EQ(item_->form(), PanelEntryForm::square);
  EXPECT_EQ(squareIcon(*item_), numbers("—", "—", graph, false));

  // Only "beside" and "behind" draw a graph; any other text (even "Beside") draws none.
  for (const char* style : {"Beside", "off", ""}) {
    defaults_.set(SettingsKey::menuBarGraph, std::string(style));
    ASSERT_TRUE(redrawn());
    EXPECT_EQ(squareIcon(*item_), numbers("—", "—", std::nullopt, false)) << style;
  }
  defaults_.set(SettingsKey::menuBarGraph, std::string("behind"));
  ASSERT_TRUE(redrawn());
  RouterGraphData behind = graph;
  behind.behind = true;
  EXPECT_EQ(squareIcon(*item_), numbers("—", "—", behind, false));
}

// The icons are drawn ahead as soon as the values change; a change after that, within the
// debounce, must not leave the older drawing in the panel.
TEST_F(StatusItemTest, IconsDrawnAheadShowOnlyWhileNothingChangedSince) {
  startPanel();
  GrowingDevice device;
  upAndHeld(device);
  StatusItem& item = makeItem(clock_);
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.statusNotifier().isRegistered(); }, 5000));
  const QImage routerSymbol = RouterMenuBarGraph::routerSymbol(22, 1.0, item.presentation().live);

  defaults_.set(SettingsKey::panelEntry, std::string("label"));
  clock_.drain();
  clock_.advance(StatusItem::debounceInterval);
  EXPECT_EQ(squareIcon(item), routerSymbol);

  defaults_.set(SettingsKey::panelEntry, std::string("wide"));
  clock_.drain();
  defaults_.set(SettingsKey::panelEntry, std::string("square"));
  clock_.advance(StatusItem::debounceInterval);
  EXPECT_EQ(item.form(), PanelEntryForm::square);
  EXPECT_EQ(squareIcon(item), numbers("—", "—", item.presentation().panelGraph, false));
}

TEST_F(StatusItemTest, WhileFailingTheSquareIsMuted) {
  makeService(failingWith(SNMPError::timeout())).apply(unreachableConfig());
  makeItem();
  EXPECT_EQ(squareIcon(*item_), numbers("—", "—", std::nullopt, true));
  EXPECT_NE(squareIcon(*item_), numbers("—", "—", std::nullopt, false));
}

TEST_F(StatusItemTest, WithAWatcherTheEntryRegistersAndCarriesRatesAndTooltip) {
  startPanel();
  GrowingDevice device;
  makeService({}, device.clock()).apply(device.config());
  StatusItem& item = makeItem();
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.statusNotifier().isRegistered(); }, 5000));
  EXPECT_TRUE(watcher_->items().contains(item.statusNotifier().serviceName()));
  EXPECT_EQ(item.embeddedIcon(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.presentation().downRate.has_value(); }, 5000));

  // A host that shows labels gets the rates as text, upload first, with a steady width.
  defaults_.set(SettingsKey::panelEntry, std::string("label"));
  ASSERT_TRUE(redrawn());
  EXPECT_EQ(property("XAyatanaLabel").toString(), QStringLiteral("↑ 500 B/s ↓ 1.0 KB/s"));
  EXPECT_EQ(property("XAyatanaLabelGuide").toString(), QStringLiteral("↑ 888 MB/s ↓ 888 MB/s"));

  // A host that shows wide icons gets the two-line image.
  defaults_.set(SettingsKey::panelEntry, std::string("wide"));
  ASSERT_TRUE(redrawn());
  EXPECT_EQ(property("XAyatanaLabel").toString(), QString());
  ASSERT_EQ(item.icons().size(), 1);
  EXPECT_GT(item.icons().front().width(), item.icons().front().height());
  EXPECT_EQ(item.icons().front().height(), 22);
}

TEST_F(StatusItemTest, ALateWatcherTakesTheEntry) {
  makeService();
  StatusItem& item = makeItem();
  EXPECT_FALSE(item.statusNotifier().isRegistered());
  startPanel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.statusNotifier().isRegistered(); }, 5000));
}

TEST_F(StatusItemTest, ThePanelsClicksToggleThePopoverAndOpenTheMenu) {
  startPanel();
  makeService();
  StatusItem& item = makeItem();
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.statusNotifier().isRegistered(); }, 5000));
  callOnEntry("Activate");
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.popover().isOpen(); }, 5000));
  callOnEntry("Activate");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !item.popover().isOpen(); }, 5000));
  callOnEntry("ContextMenu");
  ASSERT_TRUE(QTest::qWaitFor([&] { return item.menu().isVisible(); }, 5000));
  item.menu().close();
}

// A program that only sits in the panel makes no widget, so the widget style and its code
// stay unloaded until the user opens something.
TEST_F(StatusItemTest, NoWidgetExistsBeforeTheMenuOrThePopoverIsWanted) {
  makeService();
  StatusItem& item = makeItem();
  EXPECT_TRUE(QApplication::allWidgets().isEmpty());
  item.menu();
  EXPECT_EQ(QApplication::allWidgets().size(), 1);
}

TEST_F(StatusItemTest, TheMenuHoldsTheGivenEntriesInOrder) {
  makeService();
  StatusItem& item = makeItem();
  const QList<QAction*> actions = item.menu().actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(actions[0], &about_);
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2], &settings_);
  EXPECT_EQ(actions[3], &quit_);
}

TEST_F(StatusItemTest, ALeftClickTogglesThePopoverAndEveryOpeningBuildsAFreshView) {
  makeService();
  StatusItem& item = makeItem();
  item.clicked(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(item.popover().isOpen());
  const QPointer<QWidget> first = item.popover().content();
  ASSERT_NE(qobject_cast<PopoverView*>(first.data()), nullptr);

  item.clicked(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(item.popover().isOpen());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());

  item.clicked(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(item.popover().isOpen());
  EXPECT_NE(item.popover().content(), nullptr);
  item.popover().close();
}

TEST_F(StatusItemTest, ARightClickClosesThePopoverAndOpensTheMenu) {
  makeService();
  StatusItem& item = makeItem();
  item.clicked(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(item.popover().isOpen());
  item.clicked(QSystemTrayIcon::Context);
  EXPECT_FALSE(item.popover().isOpen());
  EXPECT_TRUE(item.menu().isVisible());
  item.menu().close();
}

TEST_F(StatusItemTest, AControlClickOpensTheMenuNotThePopover) {
  makeService();
  StatusItem& item = makeItem();
  QWindow window;
  window.show();
  QTest::keyPress(&window, Qt::Key_Control, Qt::ControlModifier);
  item.clicked(QSystemTrayIcon::Trigger);
  QTest::keyRelease(&window, Qt::Key_Control, Qt::NoModifier);
  EXPECT_FALSE(item.popover().isOpen());
  EXPECT_TRUE(item.menu().isVisible());
  item.menu().close();
}

TEST_F(StatusItemTest, ThePopoversSettingsButtonClosesItAndOpensTheSettings) {
  makeService();
  StatusItem& item = makeItem();
  item.clicked(QSystemTrayIcon::Trigger);
  auto* button = item.popover().findChild<QPushButton*>(QStringLiteral("settingsButton"));
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_FALSE(item.popover().isOpen());
  EXPECT_EQ(settingsOpened_, 1);
}

TEST_F(StatusItemTest, AUnitChangedWhileClosedShowsAtTheNextOpening) {
  GrowingDevice device;
  upAndHeld(device);
  StatusItem& item = makeItem();
  defaults_.set(SettingsKey::speedInBits, true);
  item.clicked(QSystemTrayIcon::Trigger);
  auto* upMax = item.popover().findChild<QLabel*>(QStringLiteral("upMax"));
  ASSERT_NE(upMax, nullptr);
  EXPECT_EQ(upMax->text(), QStringLiteral("↑ max 10 Kbps"));
  item.popover().close();
}

}  // namespace
}  // namespace pulsewell
