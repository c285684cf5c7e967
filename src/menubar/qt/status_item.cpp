#include "menubar/qt/status_item.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "menubar/format.h"
#include "menubar/qt/popover_view.h"
#include "menubar/qt/popover_window.h"
#include "menubar/qt/router_menu_bar_graph.h"
#include "menubar/qt/system_number_locale.h"
#include "menubar/router_graph_data.h"
#include "menubar/strings.h"
#include "platform/qt/qt_conversions.h"

namespace pulsewell {

namespace {

// Panels ask for icons between 16 and 64 pixels.
constexpr std::array<int, 6> iconSizes{16, 22, 24, 32, 48, 64};

QIcon makeIcon(const std::optional<RouterGraphData>& graph, bool configured) {
  const double ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
  QIcon icon;
  for (const int size : iconSizes) {
    const QImage image = RouterMenuBarGraph::compactIcon(graph, size, ratio, configured);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

// Whether the history gives the square anything to show besides the mid line.
bool hasArea(const RouterGraphData& graph) {
  const auto drawn = [](const std::vector<double>& samples, double peak) {
    return samples.size() >= 2 && peak > 0 &&
           std::any_of(samples.begin(), samples.end(), [](double v) { return v > 0; });
  };
  return drawn(graph.down, graph.downPeak) || drawn(graph.up, graph.upPeak);
}

}  // namespace

StatusItem::StatusItem(SNMPTrafficService& service, DefaultsStore& defaults,
                       const QList<QAction*>& menu, std::function<void()> showSettings,
                       QObject* parent)
    : QObject(parent),
      service_(service),
      defaults_(defaults),
      showSettings_(std::move(showSettings)),
      tray_(std::make_unique<QSystemTrayIcon>()),
      menu_(std::make_unique<QMenu>()),
      popover_(std::make_unique<PopoverWindow>()) {
  menu_->setObjectName(QStringLiteral("statusMenu"));
  menu_->addActions(menu);

  connect(tray_.get(), &QSystemTrayIcon::activated, this, &StatusItem::clicked);
  // X11 popups swallow the press that closes them; a right press on the entry still
  // opens the menu.
  connect(popover_.get(), &PopoverWindow::closedByPressOutside, this,
          [this](QPoint position, Qt::MouseButton button) {
            if (button == Qt::RightButton && tray_->geometry().contains(position)) showMenu();
          });

  debounce_.setSingleShot(true);
  debounce_.setTimerType(Qt::PreciseTimer);
  debounce_.setInterval(debounceInterval);
  connect(&debounce_, &QTimer::timeout, this, &StatusItem::redraw);
  serviceChanges_ = service_.onWillChange([this] { scheduleRedraw(); });
  settingsChanges_ = defaults_.onChange([this] { scheduleRedraw(); });

  redraw();

  // A panel that starts after the program must still get the entry.
  trayPoll_.setInterval(trayPollInterval);
  connect(&trayPoll_, &QTimer::timeout, this, &StatusItem::checkForTray);
  checkForTray();
}

// The popover and its content go with their window, at once.
StatusItem::~StatusItem() = default;

QString StatusItem::accessibilityLabel() const {
  return label_;
}

QIcon StatusItem::icon() const {
  return tray_->icon();
}

void StatusItem::setDebounceInterval(std::chrono::milliseconds interval) {
  debounce_.setInterval(interval);
}

void StatusItem::scheduleRedraw() {
  debounce_.start();
}

void StatusItem::redraw() {
  const RouterTrafficStatus status = service_.status();
  const QString prefix = QStringLiteral("Pulsewell: ");
  if (status == RouterTrafficStatus::notConfigured) {
    tray_->setIcon(makeIcon(std::nullopt, false));
    label_ = prefix + toQString(Strings::status(status));
    tray_->setToolTip(label_);
    Q_EMIT redrawn();
    return;
  }

  const bool up = status == RouterTrafficStatus::up;
  const bool inBits = defaults_.boolean(SettingsKey::speedInBits);
  const NumberLocale locale = systemNumberLocale();
  std::optional<double> downRate;
  std::optional<double> upRate;
  if (up && service_.reading()) {
    downRate = service_.reading()->downBytesPerSec;
    upRate = service_.reading()->upBytesPerSec;
  }
  const std::string downText = Format::rate(downRate, inBits, locale);
  const std::string upText = Format::rate(upRate, inBits, locale);

  std::optional<RouterGraphData> graph;
  const std::optional<std::string> style = defaults_.string(SettingsKey::menuBarGraph);
  if (style == "beside" || style == "behind") {
    RouterGraphData data;
    if (up) {
      data.down = service_.downHistory();
      data.up = service_.upHistory();
    }
    const Format::Peaks peaks =
        Format::peaks(data.down, data.up, defaults_.integer(SettingsKey::routerLineSpeed),
                      defaults_.integer(SettingsKey::routerLineSpeedUp), inBits);
    data.downPeak = peaks.downPeak;
    data.upPeak = peaks.upPeak;
    data.behind = style == "behind";
    graph = std::move(data);
  }

  // Unlike the menu-bar image the square has no text: with nothing in the history it would
  // be an empty cell the user cannot find, so it shows the router symbol instead.
  tray_->setIcon(makeIcon(graph && hasArea(*graph) ? graph : std::nullopt, true));
  label_ = up ? prefix + QStringLiteral("Download ") + toQString(downText) +
                    QStringLiteral(", Upload ") + toQString(upText)
              : prefix + toQString(Strings::status(status));
  tray_->setToolTip(label_);
  Q_EMIT redrawn();
}

void StatusItem::clicked(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      if (QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier)) {
        showMenu();
      } else {
        togglePopover();
      }
      break;
    case QSystemTrayIcon::Context:
      showMenu();
      break;
    default:
      break;
  }
}

void StatusItem::togglePopover() {
  if (popover_->isOpen()) {
    popover_->close();
  } else {
    openPopover();
  }
}

void StatusItem::openPopover() {
  auto* view = new PopoverView(service_, defaults_, [this] {
    popover_->close();
    if (showSettings_) showSettings_();
  });
  popover_->open(view, tray_->geometry(), QCursor::pos());
}

void StatusItem::showMenu() {
  popover_->close();
  menu_->popup(QCursor::pos());
}

void StatusItem::checkForTray() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_->show();
    // From here on Qt itself follows the panel when it restarts.
    trayPoll_.stop();
  } else if (!trayPoll_.isActive()) {
    trayPoll_.start();
  }
}

}  // namespace pulsewell
