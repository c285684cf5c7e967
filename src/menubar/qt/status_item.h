#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "menubar/panel_host.h"
#include "menubar/traffic_presentation.h"
#include "traffic/defaults_store.h"
#include "traffic/main_queue.h"
#include "traffic/signal.h"
#include "traffic/snmp_traffic_service.h"

class QAction;

namespace pulsewell {

class PopoverWindow;
class StatusNotifierItem;

// The program's entry in the panel. It is a StatusNotifierItem of its own wherever a
// watcher runs on the session bus, and an XEmbed icon only where none does, moving to the
// watcher as soon as one appears. It shows the rates in the best form the host offers (a
// label, the wide two-line image, or a square of two numbers) and follows the traffic
// service and the display settings: every change of either restarts a 50 ms timer, and
// when it runs out the entry is redrawn once, sending hosts only what changed. The icons
// for the new values are drawn on a pool thread as soon as the values are stored, so the
// redraw finds them ready rather than waking once more to wait for them. A left (or
// middle) click opens or closes the popover; a right click gives the menu.
class StatusItem : public QObject {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds debounceInterval{50};
  // How often to look for an XEmbed tray while neither it nor a watcher is there.
  static constexpr std::chrono::milliseconds trayPollInterval{1000};

  // `menu` lists the menu's entries in order (separators as separator actions); the
  // actions stay owned by the caller. The debounce runs on `mainQueue`'s clock. `showSettings`
  // opens the settings window. `bus` is where watchers are looked for (the session bus; tests pass
  // a private one).
  StatusItem(SNMPTrafficService& service, DefaultsStore& defaults, MainQueue& mainQueue,
             const QList<QAction*>& menu, std::function<void()> showSettings,
             const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
  ~StatusItem() override;
  StatusItem(const StatusItem&) = delete;
  StatusItem& operator=(const StatusItem&) = delete;

  // "Pulsewell: Download 1.2 MB/s, Upload 80 KB/s" or "Pulsewell: <status>".
  QString accessibilityLabel() const;
  const TrafficPresentation& presentation() const { return shown_; }
  // The form drawn now, and the host it was chosen for.
  PanelEntryForm form() const { return form_; }
  const PanelHost& host() const { return host_; }
  // The images last handed to the panel, one per size.
  const QList<QImage>& icons() const { return icons_; }

  StatusNotifierItem& statusNotifier() { return *notifier_; }
  // The XEmbed icon while no watcher runs, else null.
  QSystemTrayIcon* embeddedIcon() const { return tray_.get(); }
  // The menu and the popover are made on first use: until then no widget exists, which
  // keeps the widget style and its code out of a program that only sits in the panel.
  QMenu& menu();
  PopoverWindow& popover();
  // The entry that opens the popover from the menu, on hosts that give the menu on a left
  // click.
  QAction& showTrafficAction() { return *showTraffic_; }

 public Q_SLOTS:
  // Opens the popover near `position` (global coordinates; none means at the cursor), or
  // closes it when it is open.
  void togglePopover(std::optional<QPoint> position = std::nullopt);
  void showMenu();
  // The XEmbed icon's click: Trigger (left) toggles the popover, or with Control opens the
  // menu; the middle button opens the popover too; Context (right) opens the menu.
  void clicked(QSystemTrayIcon::ActivationReason reason);

 Q_SIGNALS:
  // After every redraw of the entry.
  void redrawn();

 private:
  struct IconInputs;
  void scheduleRedraw();
  void drawAhead();
  void redraw();
  TrafficPresentation presentationNow() const;
  PanelEntryForm formNow() const;
  IconInputs iconInputs(const TrafficPresentation& shown, PanelEntryForm form) const;
  void followWatcher(bool present);
  void checkForTray();
  void hostActivated(QPoint position);
  void openPopover(std::optional<QPoint> position);
  bool popoverOpen() const;
  void updateHostMenu();
  struct IconDrawing;
  static IconDrawing startDrawing(const IconInputs& inputs);
  static QList<QImage> drawIcons(const IconInputs& inputs);

  SNMPTrafficService& service_;
  DefaultsStore& defaults_;
  MainQueue& mainQueue_;
  std::function<void()> showSettings_;
  QList<QAction*> entries_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QAction> showTraffic_;
  std::unique_ptr<QAction> showTrafficSeparator_;
  std::unique_ptr<PopoverWindow> popover_;
  std::unique_ptr<StatusNotifierItem> notifier_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<MainQueue::Timer> debounce_;
  QTimer trayPoll_;
  // Since the popover last closed: the click that closed it may reach us once more.
  QElapsedTimer sinceClosed_;
  Subscription serviceChanges_;
  Subscription settingsChanges_;

  PanelHost host_ = PanelHost::embedded();
  PanelEntryForm form_ = PanelEntryForm::square;
  TrafficPresentation shown_;
  // What the icons are drawn from, and all they are drawn from: an unchanged entry is not
  // drawn again, and a pool thread draws them from a copy.
  struct IconInputs {
    PanelEntryForm form;
    bool configured;
    bool live;
    std::string up;
    std::string down;
    std::optional<RouterGraphData> graph;
    double pixelRatio;
    bool darkBar;
    bool operator==(const IconInputs&) const = default;
  };
  std::optional<IconInputs> drawnFrom_;
  QList<QImage> icons_;
  // Icons drawn on a pool thread, and what from.
  struct IconDrawing {
    IconInputs from;
    std::future<QList<QImage>> images;
  };
  // Drawn ahead of the redraw that will show them.
  std::optional<IconDrawing> drawnAhead_;
  bool drawAheadPosted_ = false;
};

}  // namespace pulsewell
