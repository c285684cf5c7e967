#pragma once

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "traffic/defaults_store.h"
#include "traffic/signal.h"
#include "traffic/snmp_traffic_service.h"

class QAction;

namespace pulsewell {

class PopoverWindow;

// The program's entry in the panel. Its icon and tooltip (the accessibility label) follow
// the traffic service and the display settings: every change of either restarts a 50 ms
// timer, and when it runs out the entry is redrawn once. A left click opens or closes the
// popover; a right click (or a control-click) closes it and opens the menu.
class StatusItem : public QObject {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds debounceInterval{50};
  // How often to look for a panel while none is there.
  static constexpr std::chrono::milliseconds trayPollInterval{1000};

  // `menu` lists the menu's entries in order (separators as separator actions); the
  // actions stay owned by the caller. `showSettings` opens the settings window.
  StatusItem(SNMPTrafficService& service, DefaultsStore& defaults, const QList<QAction*>& menu,
             std::function<void()> showSettings, QObject* parent = nullptr);
  ~StatusItem() override;
  StatusItem(const StatusItem&) = delete;
  StatusItem& operator=(const StatusItem&) = delete;

  // The tooltip: "Pulsewell: Download 1.2 MB/s, Upload 80 KB/s" or "Pulsewell: <status>".
  QString accessibilityLabel() const;
  QIcon icon() const;
  QSystemTrayIcon& trayIcon() { return *tray_; }
  QMenu& menu() { return *menu_; }
  PopoverWindow& popover() { return *popover_; }

  // For tests: a shorter or longer debounce.
  void setDebounceInterval(std::chrono::milliseconds interval);

 public Q_SLOTS:
  // The panel entry's click: Trigger (left) toggles the popover; Context (right) opens the
  // menu.
  void clicked(QSystemTrayIcon::ActivationReason reason);
  void togglePopover();
  void showMenu();

 Q_SIGNALS:
  // After every redraw of icon and tooltip.
  void redrawn();

 private:
  void scheduleRedraw();
  void redraw();
  void checkForTray();
  void openPopover();

  SNMPTrafficService& service_;
  DefaultsStore& defaults_;
  std::function<void()> showSettings_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<PopoverWindow> popover_;
  QTimer debounce_;
  QTimer trayPoll_;
  Subscription serviceChanges_;
  Subscription settingsChanges_;
  QString label_;
};

}  // namespace pulsewell
