#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QVBoxLayout>
#include <memory>
#include <string>

#include "growing_device.h"
#include "menubar/qt/popover_graph_canvas.h"
#include "menubar/qt/popover_style.h"
#include "menubar/qt/popover_view.h"
#include "menubar/qt/popover_window.h"
#include "menubar/strings.h"
#include "platform/qt/qt_main_queue.h"
#include "shell_test_support.h"
#include "snmp/snmp_error.h"
#include "tests/support/test_artifacts.h"
#include "traffic/memory_defaults_store.h"
#include "traffic/settings_table.h"
#include "traffic/snmp_traffic_service.h"

namespace pulsewell {
namespace {

constexpr std::chrono::milliseconds pollInterval{20};

QString textOf(const QWidget& view, const char* name) {
  const auto* label = view.findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

bool shown(const QWidget& view, const char* name) {
  const auto* widget = view.findChild<QWidget*>(QString::fromLatin1(name));
  return widget != nullptr && widget->isVisibleTo(&view);
}

QColor colourOf(const QWidget& view, const char* name) {
  return view.findChild<QLabel*>(QString::fromLatin1(name))->palette().color(QPalette::WindowText);
}

// Lets the view take in the service's latest change (it refreshes one turn later).
void settle() {
  QCoreApplication::processEvents();
}

class Popover : public ::testing::Test {
 protected:
  void TearDown() override {
    view_.reset();
    service_.reset();
    queue_->close();
  }

  SNMPTrafficService& makeService(SNMPTrafficService::ClientFactory factory = {},
                                  SecondsClock clock = {}) {
    service_ = std::make_unique<SNMPTrafficService>(queue_, pollInterval, std::move(factory),
                                                    std::move(clock));
    return *service_;
  }

  PopoverView& makeView(bool german = false) {
    view_ = std::make_unique<PopoverView>(
        *service_, defaults_, [this] { ++settingsOpened_; }, german);
    view_->show();
    return *view_;
  }

  bool waitForStatus(RouterTrafficStatus status) {
    return QTest::qWaitFor([&] { return service_->status() == status; }, 5000);
  }

  std::shared_ptr<QtMainQueue> queue_ = std::make_shared<QtMainQueue>();
  MemoryDefaultsStore defaults_;
  std::unique_ptr<SNMPTrafficService> service_;
  std::unique_ptr<PopoverView> view_;
  int settingsOpened_ = 0;
};

TEST_F(Popover, NotConfiguredShowsOnlyTheSettingsButton) {
  makeService();
  const PopoverView& view = makeView();
  EXPECT_EQ(textOf(view, "title"), QStringLiteral("Pulsewell"));
  EXPECT_EQ(textOf(view, "status"), QStringLiteral("Not set up yet"));
  EXPECT_TRUE(shown(view, "settingsButton"));
  for (const char* part :
       {"details", "downloadRate", "uploadRate", "graph", "totals", "privacyButton"}) {
    EXPECT_FALSE(shown(view, part)) << part;
  }
  const auto* button = view.findChild<QPushButton*>(QStringLiteral("settingsButton"));
  EXPECT_EQ(button->text(), QStringLiteral("Settings …"));
  QTest::mouseClick(const_cast<QPushButton*>(button), Qt::LeftButton);
  EXPECT_EQ(settingsOpened_, 1);
}

TEST_F(Popover, WhileConnectingTheRatesAreDashesAndTheGraphEmpty) {
  makeService(failingWith(SNMPError::timeout())).apply(unreachableConfig());
  defaults_.set(SettingsKey::routerInterface, std::string("eth0"));
  const PopoverView& view = makeView();
  EXPECT_EQ(textOf(view, "title"), QStringLiteral("eth0"));
  EXPECT_EQ(textOf(view, "status"), QStringLiteral("Connecting …"));
  EXPECT_EQ(colourOf(view, "status"), PopoverStyle::orange());
  EXPECT_FALSE(shown(view, "settingsButton"));
  EXPECT_FALSE(shown(view, "privacyButton"));
  EXPECT_EQ(textOf(view, "downloadRate"), QStringLiteral("—"));
  EXPECT_EQ(textOf(view, "uploadRate"), QStringLiteral("—"));
  EXPECT_EQ(textOf(view, "downloadTitle"), QStringLiteral("↓ Download"));
  EXPECT_EQ(textOf(view, "uploadTitle"), QStringLiteral("↑ Upload"));
  EXPECT_EQ(textOf(view, "upMax"), QStringLiteral("↑ max 1 B/s"));
  EXPECT_EQ(textOf(view, "downMax"), QStringLiteral("↓ max 1 B/s"));
  EXPECT_EQ(textOf(view, "totals"), QStringLiteral("Total: ↓ 0 B  ↑ 0 B"));
  const auto* graph = view.findChild<PopoverGraphCanvas*>(QStringLiteral("graph"));
  EXPECT_TRUE(graph->layout().upArea.empty());
  EXPECT_TRUE(graph->layout().downArea.empty());
  EXPECT_EQ(graph->size(), QSize(256, 100));
}

struct ErrorCase {
  const char* name;
  SNMPError error;
  RouterTrafficStatus status;
  const char* text;
  bool privacyButton;
};

// The case as its test name shows it.
void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << c.name;
}

class PopoverOnError : public Popover, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(PopoverOnError, ShowsTheStatusInOrangeAndNoRates) {
  const ErrorCase& c = GetParam();
  makeService(failingWith(c.error)).apply(unreachableConfig());
  const PopoverView& view = makeView();
  ASSERT_TRUE(waitForStatus(c.status));
  settle();
  EXPECT_EQ(textOf(view, "status"), QString::fromUtf8(c.text));
  EXPECT_EQ(colourOf(view, "status"), PopoverStyle::orange());
  EXPECT_EQ(shown(view, "privacyButton"), c.privacyButton);
  EXPECT_TRUE(shown(view, "totals"));
  EXPECT_EQ(textOf(view, "downloadRate"), QStringLiteral("—"));
  EXPECT_EQ(textOf(view, "uploadRate"), QStringLiteral("—"));
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, PopoverOnError,
    ::testing::Values(ErrorCase{"denied", SNMPError::localNetworkDenied(),
                                RouterTrafficStatus::denied, "Local network access denied", true},
                      ErrorCase{"noReply", SNMPError::timeout(), RouterTrafficStatus::noReply,
                                "No reply (address, port, community?)", false},
                      ErrorCase{"unreachable", SNMPError::unreachable(),
                                RouterTrafficStatus::unreachable, "Device unreachable", false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Popover, WhenUpShowsTheRatesTheGraphAndTheTotalsLive) {
  GrowingDevice device;
  makeService({}, device.clock()).apply(device.config());
  defaults_.set(SettingsKey::routerInterface, std::string("eth0"));
  const PopoverView& view = makeView();

  ASSERT_TRUE(QTest::qWaitFor([&] { return service_->downHistory().size() >= 2; }, 5000));
  settle();
  EXPECT_EQ(textOf(view, "status"), QStringLiteral("Connected"));
  EXPECT_EQ(colourOf(view, "status"), PopoverStyle::secondary());
  EXPECT_EQ(textOf(view, "downloadRate"), QStringLiteral("1.0 KB/s"));
  EXPECT_EQ(textOf(view, "uploadRate"), QStringLiteral("500 B/s"));
  // Both directions share the scale of the larger one: 1000 B/s rounds to 1000.
  EXPECT_EQ(textOf(view, "upMax"), QStringLiteral("↑ max 1.0 KB/s"));
  EXPECT_EQ(textOf(view, "downMax"), QStringLiteral("↓ max 1.0 KB/s"));
  const auto* graph = view.findChild<PopoverGraphCanvas*>(QStringLiteral("graph"));
  EXPECT_FALSE(graph->layout().upArea.empty());
  EXPECT_FALSE(graph->layout().downArea.empty());

  // It follows the samples while open: the totals keep growing.
  const QString totals = textOf(view, "totals");
  EXPECT_TRUE(totals.startsWith(QStringLiteral("Total: ↓ "))) << totals.toStdString();
  const auto seen = service_->totals();
  ASSERT_TRUE(QTest::qWaitFor([&] { return service_->totals().down > seen.down; }, 5000));
  settle();
  EXPECT_NE(textOf(view, "totals"), totals);
}

TEST_F(Popover, SwitchingToBitsChangesRatesAndScaleAtOnceButNotTheTotals) {
  GrowingDevice device;
  makeService({}, device.clock()).apply(device.config());
  const PopoverView& view = makeView();
  ASSERT_TRUE(QTest::qWaitFor([&] { return service_->downHistory().size() >= 2; }, 5000));
  settle();
  defaults_.set(SettingsKey::speedInBits, true);
  settle();
  EXPECT_EQ(textOf(view, "downloadRate"), QStringLiteral("8.0 Kbps"));
  EXPECT_EQ(textOf(view, "uploadRate"), QStringLiteral("4.0 Kbps"));
  // 8000 bit/s rounds to 10 kbit/s.
  EXPECT_EQ(textOf(view, "downMax"), QStringLiteral("↓ max 10 Kbps"));
  const QString totals = textOf(view, "totals");
  EXPECT_FALSE(totals.contains(QStringLiteral("bps"))) << totals.toStdString();
}

TEST_F(Popover, ALineSpeedFixesThatDirectionsScale) {
  GrowingDevice device;
  makeService({}, device.clock()).apply(device.config());
  defaults_.set(SettingsKey::routerLineSpeed, std::int64_t{100});
  const PopoverView& view = makeView();
  ASSERT_TRUE(QTest::qWaitFor([&] { return service_->downHistory().size() >= 2; }, 5000));
  settle();
  EXPECT_EQ(textOf(view, "downMax"), QStringLiteral("↓ max 12 MB/s"));
  EXPECT_EQ(textOf(view, "upMax"), QStringLiteral("↑ max 1.0 KB/s"));
}

TEST_F(Popover, EmptyHistoriesInBitsScaleToTenBitsPerSecond) {
  makeService(failingWith(SNMPError::timeout())).apply(unreachableConfig());
  defaults_.set(SettingsKey::speedInBits, true);
  const PopoverView& view = makeView();
  EXPECT_EQ(textOf(view, "upMax"), QStringLiteral("↑ max 10 bps"));
  EXPECT_EQ(textOf(view, "downMax"), QStringLiteral("↓ max 10 bps"));
}

TEST_F(Popover, KeepsItsWidthAndCutsALongInterfaceNameOnOneLine) {
  makeService(failingWith(SNMPError::localNetworkDenied())).apply(unreachableConfig());
  const std::string longName(200, 'w');
  defaults_.set(SettingsKey::routerInterface, longName);
  PopoverView& view = makeView();
  ASSERT_TRUE(waitForStatus(RouterTrafficStatus::denied));
  settle();
  view.adjustSize();
  EXPECT_EQ(view.width(), PopoverView::popoverWidth);
  const QString title = textOf(view, "title");
  EXPECT_TRUE(title.endsWith(QStringLiteral("…"))) << title.toStdString();
  EXPECT_LT(title.size(), 200);
  const auto* label = view.findChild<QLabel*>(QStringLiteral("title"));
  EXPECT_FALSE(label->wordWrap());
  EXPECT_LE(label->geometry().right(), PopoverView::popoverWidth);
}

// Sizes the view as it is shown and saves its picture as a test artifact.
void saveScreenshot(QWidget& view, const QString& name) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  view.adjustSize();
  test::saveArtifact(view, QStringLiteral("menubar"), QStringLiteral("popover-%1.png").arg(name));
}

// Whether `label` shows its whole text on one line.
bool fitsOnOneLine(const QLabel& label) {
  return label.fontMetrics().horizontalAdvance(label.text()) <= label.width() &&
         label.height() < 2 * label.fontMetrics().lineSpacing();
}

// The widest rates, three digits and the longer unit, in both blocks of the fixed width.
struct WideRateCase {
  const char* name;
  bool german;
  bool inBits;
  std::uint64_t bytesPerSecond;
  const char* rate;
};

// The case as its test name shows it.
void PrintTo(const WideRateCase& c, std::ostream* out) {
  *out << c.name;
}

class PopoverWithWideRates : public Popover, public ::testing::WithParamInterface<WideRateCase> {};

TEST_P(PopoverWithWideRates, ShowsEveryTextWhole) {
  const WideRateCase& c = GetParam();
  GrowingDevice device("eth0", c.bytesPerSecond, c.bytesPerSecond);
  makeService({}, device.clock()).apply(device.config());
  defaults_.set(SettingsKey::routerInterface, std::string("eth0"));
  defaults_.set(SettingsKey::speedInBits, c.inBits);
  PopoverView& view = makeView(c.german);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service_->downHistory().size() >= 2; }, 5000));
  settle();
  saveScreenshot(view, QString::fromLatin1(c.name));

  EXPECT_EQ(view.width(), PopoverView::popoverWidth);
  EXPECT_EQ(textOf(view, "status"), c.german ? QStringLiteral("Verbunden") : "Connected");
  EXPECT_EQ(textOf(view, "downloadRate"), QString::fromLatin1(c.rate));
  EXPECT_EQ(textOf(view, "uploadRate"), QString::fromLatin1(c.rate));
  for (const char* name : {"title", "status", "downloadTitle", "downloadRate", "uploadTitle",
                           "uploadRate", "upMax", "downMax", "totals"}) {
    const auto* label = view.findChild<QLabel*>(QString::fromLatin1(name));
    EXPECT_TRUE(fitsOnOneLine(*label))
        << name << ": \"" << label->text().toStdString() << "\" needs "
        << label->fontMetrics().horizontalAdvance(label->text()) << " of " << label->width();
    EXPECT_LE(label->mapTo(&view, QPoint(label->width(), 0)).x(), PopoverView::popoverWidth)
        << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopoverWithWideRates,
    ::testing::Values(WideRateCase{"englishBits", false, true, 111'000'000, "888 Mbps"},
                      WideRateCase{"germanBits", true, true, 111'000'000, "888 Mbps"},
                      WideRateCase{"englishBytes", false, false, 888'000'000, "888 MB/s"},
                      WideRateCase{"germanBytes", true, false, 888'000'000, "888 MB/s"}),
    [](const auto& param) { return std::string(param.param.name); });

// Every status of both languages beside a short title: on one line while there is room
// beside the title, else wrapped without losing any of it.
struct StatusBesideTitleCase {
  const char* name;
  bool german;
  SNMPError error;
  RouterTrafficStatus status;
};

// The case as its test name shows it.
void PrintTo(const StatusBesideTitleCase& c, std::ostream* out) {
  *out << c.name;
}

class PopoverStatusBesideTitle : public Popover,
                                 public ::testing::WithParamInterface<StatusBesideTitleCase> {};

TEST_P(PopoverStatusBesideTitle, WrapsOnlyWithoutRoom) {
  const StatusBesideTitleCase& c = GetParam();
  makeService(failingWith(c.error)).apply(unreachableConfig());
  defaults_.set(SettingsKey::routerInterface, std::string("eth0"));
  PopoverView& view = makeView(c.german);
  ASSERT_TRUE(waitForStatus(c.status));
  settle();
  saveScreenshot(view, QStringLiteral("status-%1").arg(QString::fromLatin1(c.name)));

  const auto* title = view.findChild<QLabel*>(QStringLiteral("title"));
  const auto* status = view.findChild<QLabel*>(QStringLiteral("status"));
  EXPECT_EQ(title->text(), "eth0");
  EXPECT_EQ(status->text(), QString::fromUtf8(Strings::status(c.status, c.german).data()));
  const int contentWidth = PopoverView::popoverWidth - 2 * 12;
  const int room = contentWidth - title->fontMetrics().horizontalAdvance(title->text()) - 10;
  if (status->fontMetrics().horizontalAdvance(status->text()) <= room) {
    EXPECT_TRUE(fitsOnOneLine(*status))
        << "wrapped although it fits beside the title, in " << status->width() << " of " << room
        << ", " << status->height() << " high";
  } else {
    EXPECT_GE(status->height(), status->heightForWidth(status->width()));
  }
  EXPECT_LE(status->mapTo(&view, QPoint(status->width(), 0)).x(), PopoverView::popoverWidth - 12);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopoverStatusBesideTitle,
    ::testing::Values(StatusBesideTitleCase{"englishNoReply", false, SNMPError::timeout(),
                                            RouterTrafficStatus::noReply},
                      StatusBesideTitleCase{"germanNoReply", true, SNMPError::timeout(),
                                            RouterTrafficStatus::noReply},
                      StatusBesideTitleCase{"englishDenied", false, SNMPError::localNetworkDenied(),
                                            RouterTrafficStatus::denied},
                      StatusBesideTitleCase{"germanDenied", true, SNMPError::localNetworkDenied(),
                                            RouterTrafficStatus::denied},
                      StatusBesideTitleCase{"englishUnreachable", false, SNMPError::unreachable(),
                                            RouterTrafficStatus::unreachable},
                      StatusBesideTitleCase{"germanUnreachable", true, SNMPError::unreachable(),
                                            RouterTrafficStatus::unreachable}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Popover, TheInterfaceNameFollowsTheSettingLive) {
  makeService(failingWith(SNMPError::timeout())).apply(unreachableConfig());
  const PopoverView& view = makeView();
  EXPECT_EQ(textOf(view, "title"), QStringLiteral("Pulsewell"));
  defaults_.set(SettingsKey::routerInterface, std::string("ppp0"));
  settle();
  EXPECT_EQ(textOf(view, "title"), QStringLiteral("ppp0"));
}

TEST_F(Popover, TheInterfaceNameIsPlainTextInTheTitleAndItsTooltip) {
  makeService(failingWith(SNMPError::timeout())).apply(unreachableConfig());
  defaults_.set(SettingsKey::routerInterface, std::string("<b>\u202Eltr"));
  const PopoverView& view = makeView();
  settle();
  const QString shown = QStringLiteral("<b>\uFFFDltr");
  const auto* title = view.findChild<QLabel*>(QStringLiteral("title"));
  EXPECT_EQ(title->textFormat(), Qt::PlainText);
  EXPECT_EQ(title->text(), shown);

  // A tooltip renders text that looks like markup as markup.
  const QString tip = title->toolTip();
  QTextDocument tooltip;
  if (Qt::mightBeRichText(tip)) {
    tooltip.setHtml(tip);
  } else {
    tooltip.setPlainText(tip);
  }
  EXPECT_EQ(tooltip.toPlainText(), shown);
}

// The window around the view.

struct PlacementCase {
  const char* name;
  QRect anchor;
  QPoint cursor;
  QPoint expected;
};

// The case as its test name shows it.
void PrintTo(const PlacementCase& c, std::ostream* out) {
  *out << c.name;
}

class PopoverPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PopoverPlacement, StaysInsideTheAvailableArea) {
  const PlacementCase& c = GetParam();
  const QRect available(0, 30, 1920, 1050);  // a panel of 30 at the top
  EXPECT_EQ(PopoverWindow::placement(c.anchor, c.cursor, QSize(280, 400), available), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopoverPlacement,
    ::testing::Values(
        // Centred under the entry, 4 below it.
        PlacementCase{"underTheEntry", QRect(1000, 4, 22, 22), {}, QPoint(870, 30)},
        // Near the right edge: moved left until it fits.
        PlacementCase{"rightEdge", QRect(1890, 4, 22, 22), {}, QPoint(1640, 30)},
        PlacementCase{"leftEdge", QRect(2, 4, 22, 22), {}, QPoint(0, 30)},
        // A panel at the bottom: the popover opens upward.
        PlacementCase{"bottomPanel", QRect(1000, 1055, 22, 22), {}, QPoint(870, 651)},
        // No position from the panel: at the cursor.
        PlacementCase{"atTheCursor", QRect(), QPoint(500, 10), QPoint(360, 30)}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PopoverPlacementTooLarge, KeepsTheTopLeftCornerOnScreen) {
  EXPECT_EQ(
      PopoverWindow::placement(QRect(100, 0, 20, 20), {}, QSize(900, 900), QRect(0, 0, 800, 600)),
      QPoint(0, 0));
}

class PopoverWindowTest : public ::testing::Test {
 protected:
  PopoverWindow window_;
};

TEST_F(PopoverWindowTest, OpensFramelessAsAPopupAndClosesOnEscape) {
  auto* content = new QLabel(QStringLiteral("content"));
  content->setFixedSize(280, 120);
  const QPointer<QWidget> watch(content);
  window_.open(content, QRect(100, 0, 22, 22), {});
  EXPECT_TRUE(window_.isOpen());
  EXPECT_TRUE(window_.windowFlags().testFlag(Qt::Popup));
  EXPECT_TRUE(window_.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(window_.size(), QSize(280, 120));
  EXPECT_EQ(window_.content(), content);

  QTest::keyClick(&window_, Qt::Key_Escape);
  EXPECT_FALSE(window_.isOpen());
  EXPECT_EQ(window_.content(), nullptr);
  // The content goes with the closing.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
}

TEST_F(PopoverWindowTest, APressOutsideClosesItAndTellsWhere) {
  auto* content = new QLabel(QStringLiteral("content"));
  content->setFixedSize(280, 120);
  window_.open(content, QRect(400, 0, 22, 22), {});
  QPoint where;
  Qt::MouseButton which = Qt::NoButton;
  QObject::connect(&window_, &PopoverWindow::closedByPressOutside,
                   [&](QPoint position, Qt::MouseButton button) {
                     where = position;
                     which = button;
                   });
  QTest::mousePress(&window_, Qt::RightButton, {}, QPoint(-50, -3));
  EXPECT_FALSE(window_.isOpen());
  EXPECT_EQ(which, Qt::RightButton);
  EXPECT_EQ(where, window_.mapToGlobal(QPoint(-50, -3)));
}

TEST_F(PopoverWindowTest, FollowsItsContentsHeight) {
  auto* content = new QWidget;
  auto* layout = new QVBoxLayout(content);
  auto* extra = new QLabel(QStringLiteral("extra"), content);
  extra->setFixedHeight(60);
  extra->hide();
  auto* fixed = new QLabel(QStringLiteral("fixed"), content);
  fixed->setFixedHeight(100);
  layout->addWidget(extra);
  layout->addWidget(fixed);
  content->setFixedWidth(280);
  window_.open(content, QRect(400, 0, 22, 22), {});
  const int before = window_.height();
  extra->show();
  QCoreApplication::processEvents();
  EXPECT_GT(window_.height(), before + 50);
  EXPECT_EQ(window_.width(), 280);
}

TEST(PopoverWindowOnWayland, ClosesWhenAnotherWindowTakesTheFocus) {
  // Wayland grants no pointer grab: focus moving elsewhere is the click elsewhere.
  qputenv("WAYLAND_DISPLAY", "wayland-test");
  PopoverWindow window;
  qunsetenv("WAYLAND_DISPLAY");
  auto* content = new QLabel(QStringLiteral("content"));
  content->setFixedSize(280, 120);
  window.open(content, QRect(400, 0, 22, 22), {});
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isOpen(); }, 5000));
}

}  // namespace
}  // namespace pulsewell
