#include "app/qt/app_delegate.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <map>
#include <string>
#include <utility>

#include "app/qt/about_dialog.h"
#include "app/qt/settings_window.h"
#include "app/settings_model.h"
#include "menubar/qt/status_item.h"
#include "menubar/strings.h"
#include "platform/qt/logind_sleep_watcher.h"
#include "platform/qt/qt_conversions.h"
#include "traffic/application_identifier.h"
#include "traffic/router_traffic_config.h"
#include "traffic/settings_table.h"

namespace pulsewell {

namespace {

void centreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  window.adjustSize();
  const QSize size = window.frameGeometry().size();
  window.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

void bringForward(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent),
      environment_(std::move(environment)),
      service_(std::make_unique<SNMPTrafficService>(environment_.mainQueue, environment_.interval,
                                                    environment_.makeClient)) {}

AppDelegate::~AppDelegate() {
  delete aboutDialog_;
  settingsWindow_.reset();
  statusItem_.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
  if (statusItem_) return;
  environment_.defaults->registerDefaults(
      {{SettingsKey::menuBarGraph, settingDefault(Setting::menuBarGraph)}});

  menuEntries_ = buildMenu();
  const QPointer<AppDelegate> self(this);
  statusItem_ = std::make_unique<StatusItem>(*service_, *environment_.defaults,
                                             *environment_.mainQueue, menuEntries_, [self] {
                                               if (self) self->showSettings();
                                             });

  if (environment_.watchSleep) {
    sleepWatcher_ = new LogindSleepWatcher(this);
    connect(sleepWatcher_, &LogindSleepWatcher::willSleep, this, &AppDelegate::willSleep);
    connect(sleepWatcher_, &LogindSleepWatcher::didWake, this, &AppDelegate::didWake);
  }

  applyStoredConfiguration();
}

QList<QAction*> AppDelegate::buildMenu() {
  auto* about = new QAction(toQString(Strings::about()), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &AppDelegate::showAbout);

  auto* separator = new QAction(this);
  separator->setSeparator(true);

  auto* settings = new QAction(toQString(Strings::settings()), this);
  settings->setObjectName(QStringLiteral("settingsAction"));
  settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  connect(settings, &QAction::triggered, this, &AppDelegate::showSettings);

  auto* quit = new QAction(toQString(Strings::quit()), this);
  quit->setObjectName(QStringLiteral("quitAction"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setMenuRole(QAction::QuitRole);
  // Queued: the menu finishes closing before the event loop ends.
  connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

  return {about, separator, settings, quit};
}

void AppDelegate::applyStoredConfiguration() {
  const std::optional<std::string> community =
      environment_.secrets->read(std::string(applicationIdentifier));
  service_->apply(RouterTrafficConfig::fromDefaults(*environment_.defaults, community));
}

void AppDelegate::showSettings() {
  if (!settingsWindow_ || !settingsWindow_->isVisible()) {
    // A closed window is replaced; the new form reads the stored values afresh.
    settingsWindow_.reset();
    const QPointer<AppDelegate> self(this);
    auto model = std::make_unique<SettingsModel>(
        *service_,
        [self] {
          if (self) self->applyStoredConfiguration();
        },
        *environment_.defaults, *environment_.secrets, *environment_.loginItem,
        environment_.mainQueue);
    settingsWindow_ = std::make_unique<SettingsWindow>(std::move(model));
    centreOnScreen(*settingsWindow_);
  }
  bringForward(*settingsWindow_);
}

void AppDelegate::showAbout() {
  if (aboutDialog_ == nullptr) aboutDialog_ = new AboutDialog;
  bringForward(*aboutDialog_);
}

AboutDialog* AppDelegate::aboutDialog() const {
  return aboutDialog_.data();
}

void AppDelegate::willSleep() {
  service_->pause();
}

void AppDelegate::didWake() {
  service_->resume();
}

}  // namespace pulsewell
