#include "menubar/qt/status_item.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
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
#include <thread>

#include "growing_device.h"
#include "menubar/format.h"
#include "menubar/qt/popover_view.h"
#include "menubar/qt/popover_window.h"
#include "menubar/qt/router_menu_bar_graph.h"
#include "platform/qt/qt_main_queue.h"
#include "shell_test_support.h"
#include "snmp/snmp_error.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;

QImage iconImage(const StatusItem& item) {
  return item.icon()
      .pixmap(QSize(22, 22))
      .toImage()
      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage expectedIcon(const std::optional<RouterGraphData>& graph, bool configured) {
  return RouterMenuBarGraph::compactIcon(graph, 22, 1.0, configured)
      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

class StatusItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
  }

  SNMPTrafficService& makeService(SNMPTrafficService::ClientFactory factory = {},
                                  SecondsClock clock = {}) {
    // Samples further apart than the debounce, or it would never settle.
    service_ =
        std::make_unique<SNMPTrafficService>(queue_, 150ms, std::move(factory), std::move(clock));
    return *service_;
  }

  StatusItem& makeItem() {
    item_ = std::make_unique<StatusItem>(*service_, defaults_,
                                         QList<QAction*>{&about_, &separator_, &settings_, &quit_},
                                         [this] { ++settingsOpened_; });
    return *item_;
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
  MemoryDefaultsStore defaults_;
  std::unique_ptr<SNMPTrafficService> service_;
  std::unique_ptr<StatusItem> item_;
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
  EXPECT_EQ(const_cast<StatusItem&>(item).trayIcon().toolTip(), item.accessibilityLabel());
  EXPECT_EQ(iconImage(item), expectedIcon(std::nullopt, false));
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
  makeItem();
  QSignalSpy redraws(item_.get(), &StatusItem::redrawn);
  defaults_.set(SettingsKey::routerHost, std::string("192.0.2.1"));
  // No event processing meanwhile: whatever the machine's load, the second signal comes
  // before the timer could run.
  std::this_thread::sleep_for(30ms);
  QElapsedTimer sinceLast;
  defaults_.set(SettingsKey::routerHost, std::string("192.0.2.2"));
  sinceLast.start();
  ASSERT_TRUE(redraws.wait(2000));
  EXPECT_GE(sinceLast.elapsed(), 49);
  QTest::qWait(100);
  EXPECT_EQ(redraws.count(), 1);
}

TEST_F(StatusItemTest, ServiceAndSettingsSignalsAreMergedIntoOneRedraw) {
  makeService(failingWith(SNMPError::timeout()));
  // Paused, a new configuration announces its changes but starts no polling that could
  // add more of them.
  service_->pause();
  makeItem();
  QSignalSpy redraws(item_.get(), &StatusItem::redrawn);
  service_->apply(unreachableConfig());
  defaults_.set(SettingsKey::speedInBits, true);
  ASSERT_TRUE(redraws.wait(2000));
  QTest::qWait(20);
  EXPECT_EQ(redraws.count(), 1);
  EXPECT_EQ(item_->accessibilityLabel(), QStringLiteral("Pulsewell: Connecting …"));
}

TEST_F(StatusItemTest, TheGraphStyleDecidesWhetherTheIconShowsTheHistory) {
  GrowingDevice device;
  upAndHeld(device);
  makeItem();
  const Format::Peaks peaks =
      Format::peaks(service_->downHistory(), service_->upHistory(), 0, 0, false);
  const RouterGraphData graph{.down = service_->downHistory(),
                              .up = service_->upHistory(),
                              .downPeak = peaks.downPeak,
                              .upPeak = peaks.upPeak};
  EXPECT_EQ(iconImage(*item_), expectedIcon(graph, true));

  // Only "beside" and "behind" draw a graph; any other text (even "Beside") draws none.
  for (const char* style : {"Beside", "off", ""}) {
    defaults_.set(SettingsKey::menuBarGraph, std::string(style));
    ASSERT_TRUE(redrawn());
    EXPECT_EQ(iconImage(*item_), expectedIcon(std::nullopt, true)) << style;
  }
  defaults_.set(SettingsKey::menuBarGraph, std::string("behind"));
  ASSERT_TRUE(redrawn());
  RouterGraphData behind = graph;
  behind.behind = true;
  EXPECT_EQ(iconImage(*item_), expectedIcon(behind, true));
}

TEST_F(StatusItemTest, WithNothingInTheHistoryTheSquareShowsTheRouterSymbol) {
  makeService(failingWith(SNMPError::timeout())).apply(unreachableConfig());
  makeItem();
  // A graph of only the mid line would leave an empty cell in the panel.
  EXPECT_EQ(iconImage(*item_), expectedIcon(std::nullopt, true));
  EXPECT_NE(iconImage(*item_), expectedIcon(std::nullopt, false));
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
