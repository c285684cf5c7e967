#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/qt/dbus_image.h"
#include "platform/qt/dbus_menu_exporter.h"

class QAction;
class QDBusMessage;
class QDBusPendingCall;
class QDBusServiceWatcher;

namespace pulsewell {

class StatusNotifierItemAdaptor;
class StatusNotifierWatcherSignals;

// How patiently the item keeps its place with the watcher. Tests shorten all of it.
struct StatusNotifierTiming {
  // Re-registrations after the watcher failed or forgot us wait firstRetry, then twice as
  // long each time up to longestRetry, at most `retries` times in a row.
  std::chrono::milliseconds firstRetry{500};
  std::chrono::milliseconds longestRetry{8000};
  int retries = 6;
  // A registration that looked fine is checked once more this much later: GNOME's
  // AppIndicator extension can drop an item it has just accepted.
  std::chrono::milliseconds confirmAfter{5000};
};

// The program's icon in the panel: an org.kde.StatusNotifierItem at /StatusNotifierItem
// with its menu (com.canonical.dbusmenu) at /MenuBar, under the bus name
// org.kde.StatusNotifierItem-<pid>-<n>, registered with whichever StatusNotifierWatcher
// comes and goes. One item per bus connection: the object paths are fixed.
//
// Everything happens on the connection's thread (the GUI thread) without blocking on
// another client. What a host asks for (activated, secondaryActivated,
// contextMenuRequested, scrolled) is emitted on a later turn of the event loop, after the
// host has had its reply, so a receiver may take its time or open a window.
class StatusNotifierItem : public QObject {
  Q_OBJECT

 public:
  using Timing = StatusNotifierTiming;

  // `id` names the application to hosts, e.g. "org.pulsewell.Pulsewell".
  StatusNotifierItem(const QDBusConnection& bus, const QString& id, QObject* parent = nullptr);
  StatusNotifierItem(const QDBusConnection& bus, const QString& id, Timing timing,
                     QObject* parent = nullptr);
  // Takes the item off the bus: the watcher sees the name go and forgets it.
  ~StatusNotifierItem() override;
  StatusNotifierItem(const StatusNotifierItem&) = delete;
  StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

  QString serviceName() const { return service_; }
  // False when the name or the object paths could not be taken.
  bool isExported() const { return exported_; }

  DBusMenuExporter& menu() { return menu_; }
  void setMenu(const QList<QAction*>& actions) { menu_.setActions(actions); }

  // Each setter tells hosts only when the value differs from the one held.
  // One image per size; any format, sent as its pixel size, non-square allowed.
  void setIcon(const QList<QImage>& images);
  void setToolTip(const QString& title, const QString& body);
  // Text beside the icon (Ayatana hosts); `guide` is the longest text expected, for width.
  void setLabel(const QString& label, const QString& guide);
  void setTitle(const QString& title);

  // Whether a watcher owns its name on the bus.
  bool watcherPresent() const { return watcherPresent_; }
  // Whether the watcher, as last asked, lists this item.
  bool isRegistered() const { return registered_; }
  // The watcher's process, known by the time watcherPresentChanged(true) is emitted.
  std::optional<uint> watcherProcessId() const { return watcherPid_; }

 Q_SIGNALS:
  void activated(QPoint position);
  void secondaryActivated(QPoint position);
  void contextMenuRequested(QPoint position);
  void scrolled(int delta, Qt::Orientation orientation);
  void watcherPresentChanged(bool present);
  void registeredChanged(bool registered);

 private:
  friend class StatusNotifierItemAdaptor;

  void post(std::function<void()> emission);
  void emitPosted();
  void watcherOwnerChanged(const QString& owner);
  void registerWithWatcher();
  void verify(bool confirmLater);
  void retryLater();
  void itemUnregistered(const QString& item);
  void hostRegistered();
  bool names(const QString& item) const;
  void setWatcherPresent(bool present);
  void setRegistered(bool registered);
  QDBusMessage watcherCall(const QString& method) const;
  template <typename Handler>
  void whenAnswered(const QDBusPendingCall& call, Handler handler);

  QDBusConnection bus_;
  QString id_;
  Timing timing_;
  DBusMenuExporter menu_;
  StatusNotifierItemAdaptor* adaptor_;
  QString service_;
  bool exported_ = false;

  QString title_;
  DBusImageList icon_;
  DBusToolTip toolTip_;
  QString label_;
  QString labelGuide_;

  QDBusServiceWatcher* watcherWatch_ = nullptr;
  StatusNotifierWatcherSignals* watcherSignals_ = nullptr;
  QString watcherOwner_;
  std::optional<uint> watcherPid_;
  bool watcherPresent_ = false;
  bool registered_ = false;
  // Bumped whenever the watcher's owner changes, so answers from an older one are ignored.
  std::uint64_t generation_ = 0;
  int attempts_ = 0;
  std::vector<std::function<void()>> posted_;
  QTimer postTimer_;
  QTimer retryTimer_;
  QTimer confirmTimer_;
};

// The name of process `pid` as the kernel reports it (/proc/<pid>/comm), e.g. to tell
// which panel hosts the watcher; empty when unknown.
QString processName(uint pid);

}  // namespace pulsewell
