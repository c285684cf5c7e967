#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>

#include "traffic/defaults_store.h"
#include "traffic/login_item.h"
#include "traffic/main_queue.h"
#include "traffic/secret_store.h"
#include "traffic/snmp_traffic_service.h"

class QAction;

namespace pulsewell {

class AboutDialog;
class LogindSleepWatcher;
class SettingsWindow;
class StatusItem;

// Wires the program together: the one traffic service, the panel entry with its menu, the
// settings window and the about panel, and polling paused across system sleep. Everything
// runs on the GUI thread.
class AppDelegate : public QObject {
  Q_OBJECT

 public:
  // What the program runs on; tests hand in their own stores and a client factory.
  struct Environment {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<DefaultsStore> defaults;
    std::shared_ptr<SecretStore> secrets;
    std::shared_ptr<LoginItem> loginItem;
    std::chrono::milliseconds interval = std::chrono::seconds(2);
    SNMPTrafficService::ClientFactory makeClient = SNMPTrafficService::defaultClient;
    // Follow logind's sleep notifications on the system bus.
    bool watchSleep = true;
  };

  // Creates the service; nothing is shown before applicationDidFinishLaunching().
  explicit AppDelegate(Environment environment, QObject* parent = nullptr);
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Registers the graph style default, builds the menu and the panel entry, follows sleep
  // and wake, and applies the stored configuration. Opens nothing.
  void applicationDidFinishLaunching();

  SNMPTrafficService& service() { return *service_; }
  // Null until launching has finished.
  StatusItem* statusItem() const { return statusItem_.get(); }
  // The settings window last created, also after it was closed; null before the first.
  SettingsWindow* settingsWindow() const { return settingsWindow_.get(); }
  // The about panel once shown, else null.
  AboutDialog* aboutDialog() const;
  // About, a separator, Settings (Ctrl+,), Quit (Ctrl+Q).
  const QList<QAction*>& menuEntries() const { return menuEntries_; }

 public Q_SLOTS:
  // Brings a visible settings window forward, or builds a new one with the stored values.
  void showSettings();
  void showAbout();
  void willSleep();
  void didWake();

 private:
  void applyStoredConfiguration();
  QList<QAction*> buildMenu();

  Environment environment_;
  std::unique_ptr<SNMPTrafficService> service_;
  std::unique_ptr<StatusItem> statusItem_;
  std::unique_ptr<SettingsWindow> settingsWindow_;
  QPointer<AboutDialog> aboutDialog_;
  LogindSleepWatcher* sleepWatcher_ = nullptr;
  QList<QAction*> menuEntries_;
};

}  // namespace pulsewell
