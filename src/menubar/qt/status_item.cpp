#include "menubar/qt/status_item.h"

#include <QAction>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>
#include <array>
#include <functional>
#include <future>
#include <memory>
#include <utility>

#include "menubar/qt/popover_view.h"
#include "menubar/qt/popover_window.h"
#include "menubar/qt/router_menu_bar_graph.h"
#include "menubar/qt/system_number_locale.h"
#include "menubar/strings.h"
#include "platform/qt/qt_conversions.h"
#include "platform/qt/status_notifier_item.h"
#include "traffic/application_identifier.h"

namespace pulsewell {

namespace {

constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";

// Square entries come at the sizes panels draw them, so no host scales the digits down.
constexpr std::array<int, 3> squareSizes{16, 22, 32};
// The wide image stands at the height of a common bar; hosts that show it at its real
// width (waybar with "icon-size": 22) show exactly this.
constexpr double wideHeight = 22;
// A click that closed the popover may reach us once more as the host's Activate.
constexpr qint64 sameClickMs = 400;

double pixelRatio() {
  return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
}

bool watcherRunning(const QDBusConnection& bus) {
  const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
  return daemon != nullptr &&
         daemon->isServiceRegistered(QString::fromLatin1(watcherService)).value();
}

// A point a host reports, when it lies on a screen; hosts on Wayland report points
// relative to their own widget, and some report none at all.
std::optional<QPoint> onScreen(QPoint position) {
  // Also under Xwayland: waybar's points are relative to its widget there too.
  if (QGuiApplication::platformName() == QLatin1String("wayland") ||
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    return std::nullopt;
  }
  if (position.isNull() || QGuiApplication::screenAt(position) == nullptr) return std::nullopt;
  return position;
}

}  // namespace

StatusItem::StatusItem(SNMPTrafficService& service, DefaultsStore& defaults, MainQueue& mainQueue,
                       const QList<QAction*>& menu, std::function<void()> showSettings,
                       const QDBusConnection& bus, QObject* parent)
    : QObject(parent),
      service_(service),
      defaults_(defaults),
      mainQueue_(mainQueue),
      showSettings_(std::move(showSettings)),
      entries_(menu),
      showTraffic_(std::make_unique<QAction>(
          toQString(Strings::text("Show Traffic", "Datenverkehr anzeigen")))),
      showTrafficSeparator_(std::make_unique<QAction>()),
      notifier_(
          std::make_unique<StatusNotifierItem>(bus, QString::fromLatin1(applicationIdentifier))),
      debounce_(mainQueue.makeTimer([this] { redraw(); })) {
  showTraffic_->setObjectName(QStringLiteral("showTrafficAction"));
  showTrafficSeparator_->setSeparator(true);
  connect(showTraffic_.get(), &QAction::triggered, this, [this] { togglePopover(); });

  notifier_->setTitle(QStringLiteral("Pulsewell"));
  updateHostMenu();
  connect(notifier_.get(), &StatusNotifierItem::activated, this, &StatusItem::hostActivated);
  connect(notifier_.get(), &StatusNotifierItem::secondaryActivated, this,
          &StatusItem::hostActivated);
  connect(notifier_.get(), &StatusNotifierItem::contextMenuRequested, this,
          [this](QPoint) { showMenu(); });
  connect(notifier_.get(), &StatusNotifierItem::watcherPresentChanged, this,
          &StatusItem::followWatcher);

  serviceChanges_ = service_.onWillChange([this] { scheduleRedraw(); });
  settingsChanges_ = defaults_.onChange([this] { scheduleRedraw(); });

  trayPoll_.setInterval(trayPollInterval);
  connect(&trayPoll_, &QTimer::timeout, this, &StatusItem::checkForTray);
  // The item learns of a running watcher a moment later; until then no XEmbed icon may
  // appear beside it.
  if (!watcherRunning(bus)) checkForTray();
  redraw();
}

// The popover and its content go with their window, at once.
StatusItem::~StatusItem() = default;

QMenu& StatusItem::menu() {
  if (!menu_) {
    menu_ = std::make_unique<QMenu>();
    menu_->setObjectName(QStringLiteral("statusMenu"));
    menu_->addActions(entries_);
  }
  return *menu_;
}

PopoverWindow& StatusItem::popover() {
  if (!popover_) {
    popover_ = std::make_unique<PopoverWindow>();
    connect(popover_.get(), &PopoverWindow::closed, this, [this] { sinceClosed_.start(); });
    // X11 popups swallow the press that closes them; a right press on the XEmbed icon
    // still opens the menu.
    connect(popover_.get(), &PopoverWindow::closedByPressOutside, this,
            [this](QPoint position, Qt::MouseButton button) {
              if (button == Qt::RightButton && tray_ && tray_->geometry().contains(position)) {
                showMenu();
              }
            });
  }
  return *popover_;
}

bool StatusItem::popoverOpen() const {
  return popover_ && popover_->isOpen();
}

QString StatusItem::accessibilityLabel() const {
  return toQString(shown_.accessibilityLabel);
}

void StatusItem::scheduleRedraw() {
  debounce_->start(debounceInterval);
  // The values change only after this notification; the icons are drawn from them once
  // they are stored, so the redraw finds them ready instead of waiting for the drawing.
  if (drawAheadPosted_) return;
  drawAheadPosted_ = true;
  mainQueue_.post([self = QPointer<StatusItem>(this)] {
    if (self) self->drawAhead();
  });
}

TrafficPresentation StatusItem::presentationNow() const {
  return TrafficPresentation::make(TrafficSnapshot::of(service_),
                                   DisplaySettings::read(defaults_, systemNumberLocale()));
}

PanelEntryForm StatusItem::formNow() const {
  // An XEmbed cell is a square whatever is chosen.
  return tray_ ? PanelEntryForm::square : resolvedForm(storedPanelEntryForm(defaults_), host_);
}

StatusItem::IconInputs StatusItem::iconInputs(const TrafficPresentation& shown,
                                              PanelEntryForm form) const {
  IconInputs key{form,
                 shown.configured,
                 shown.live,
                 shown.upCompact,
                 shown.downCompact,
                 shown.panelGraph,
                 pixelRatio(),
                 host_.darkBar};
  if (form == PanelEntryForm::wide) {
    key.up = shown.upText;
    key.down = shown.downText;
  }
  if (form == PanelEntryForm::label) {
    // The small icon beside the label only knows whether the line is live.
    key.up.clear();
    key.down.clear();
    key.graph.reset();
  }
  return key;
}

void StatusItem::drawAhead() {
  drawAheadPosted_ = false;
  IconInputs key = iconInputs(presentationNow(), formNow());
  if (drawnFrom_ == key || (drawnAhead_ && drawnAhead_->from == key)) return;
  drawnAhead_ = startDrawing(key);
}

void StatusItem::redraw() {
  shown_ = presentationNow();
  form_ = formNow();
  IconInputs key = iconInputs(shown_, form_);
  std::optional<IconDrawing> ahead = std::exchange(drawnAhead_, std::nullopt);
  if (drawnFrom_ != key) {
    // No drawing ahead of exactly these values (the first draw, or a change since it
    // began): drawn now, and waited for.
    if (!ahead || ahead->from != key) ahead = startDrawing(key);
    drawnFrom_ = std::move(key);
    icons_ = ahead->images.get();
    notifier_->setIcon(icons_);
    if (tray_ && !icons_.isEmpty()) {
      QIcon icon;
      for (const QImage& image : std::as_const(icons_))
        icon.addPixmap(QPixmap::fromImage(image));
      tray_->setIcon(icon);
    }
  }

  const bool label = form_ == PanelEntryForm::label && shown_.configured;
  notifier_->setLabel(label ? toQString(shown_.panelLabel) : QString(),
                      label ? toQString(shown_.panelLabelGuide) : QString());
  notifier_->setToolTip(toQString(shown_.tooltipTitle), toQString(shown_.tooltipBody));
  if (tray_) tray_->setToolTip(accessibilityLabel());
  Q_EMIT redrawn();
}

// Qt 6.4's raster engine splits every fill of more than about a hundred spans across the
// global thread pool and waits for the parts, unless it already runs on one of the pool's
// threads: dozens of wakeups of three threads for each redraw of a few small icons. Drawn
// whole on one pool thread they cost one hand-off.
StatusItem::IconDrawing StatusItem::startDrawing(const IconInputs& inputs) {
  auto task =
      std::make_shared<std::packaged_task<QList<QImage>()>>([inputs] { return drawIcons(inputs); });
  IconDrawing drawing{inputs, task->get_future()};
  QThreadPool::globalInstance()->start([task] { (*task)(); });
  return drawing;
}

QList<QImage> StatusItem::drawIcons(const IconInputs& inputs) {
  const auto tone = inputs.darkBar ? RouterMenuBarGraph::BarTone::dark
                                   : RouterMenuBarGraph::BarTone::followPalette;
  QList<QImage> images;
  if (!inputs.configured || inputs.form == PanelEntryForm::label) {
    for (const int size : squareSizes) {
      images.append(RouterMenuBarGraph::routerSymbol(size, inputs.pixelRatio, inputs.live, tone));
    }
    return images;
  }
  if (inputs.form == PanelEntryForm::wide) {
    images.append(RouterMenuBarGraph::image(inputs.down, inputs.up, inputs.graph, wideHeight,
                                            inputs.pixelRatio, !inputs.live, tone));
    return images;
  }
  for (const int size : squareSizes) {
    images.append(RouterMenuBarGraph::numbersSquare(inputs.up, inputs.down, inputs.graph, size,
                                                    inputs.pixelRatio, !inputs.live, tone));
  }
  return images;
}

void StatusItem::followWatcher(bool present) {
  if (present) {
    // The host's own entry replaces the XEmbed icon.
    trayPoll_.stop();
    tray_.reset();
    const std::optional<uint> pid = notifier_->watcherProcessId();
    host_ = PanelHost::byWatcherProcess(pid ? toStdString(processName(*pid)) : std::string());
  } else {
    host_ = PanelHost::embedded();
    checkForTray();
  }
  updateHostMenu();
  redraw();
}

void StatusItem::updateHostMenu() {
  QList<QAction*> actions;
  if (host_.menuOnLeftClick) actions << showTraffic_.get() << showTrafficSeparator_.get();
  actions << entries_;
  notifier_->setMenu(actions);
}

void StatusItem::checkForTray() {
  if (notifier_->watcherPresent()) return;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    if (!trayPoll_.isActive()) trayPoll_.start();
    return;
  }
  trayPoll_.stop();
  if (tray_) return;
  tray_ = std::make_unique<QSystemTrayIcon>();
  connect(tray_.get(), &QSystemTrayIcon::activated, this, &StatusItem::clicked);
  drawnFrom_.reset();
  redraw();
  // From here on Qt itself follows the tray when it restarts.
  tray_->show();
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
    case QSystemTrayIcon::MiddleClick:
      togglePopover();
      break;
    case QSystemTrayIcon::Context:
      showMenu();
      break;
    default:
      break;
  }
}

void StatusItem::hostActivated(QPoint position) {
  // The press that closed the popover outside it was this very click on the entry.
  if (!popoverOpen() && sinceClosed_.isValid() && sinceClosed_.elapsed() < sameClickMs) {
    return;
  }
  togglePopover(onScreen(position));
}

void StatusItem::togglePopover(std::optional<QPoint> position) {
  if (popoverOpen()) {
    popover_->close();
  } else {
    openPopover(position);
  }
}

void StatusItem::openPopover(std::optional<QPoint> position) {
  auto* view = new PopoverView(service_, defaults_, [this] {
    popover_->close();
    if (showSettings_) showSettings_();
  });
  QRect anchor = tray_ ? tray_->geometry() : QRect();
  if (anchor.isEmpty() && position) anchor = QRect(*position, QSize(1, 1));
  popover().open(view, anchor, QCursor::pos());
}

void StatusItem::showMenu() {
  if (popover_) popover_->close();
  menu().popup(QCursor::pos());
}

}  // namespace pulsewell
