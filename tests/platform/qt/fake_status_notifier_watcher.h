#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

namespace pulsewell::test {

class FakeStatusNotifierWatcherAdaptor;

// A StatusNotifierWatcher on a connection of its own, as a panel would run it: it lists
// what registers, forgets an item whose name leaves the bus, and can be told to behave like
// GNOME's AppIndicator extension and forget an item without a word. Destroying it takes
// its name off the bus; a new one is a restarted watcher with a new owner.
class FakeStatusNotifierWatcher : public QObject {
  Q_OBJECT

 public:
  explicit FakeStatusNotifierWatcher(const QString& address);
  ~FakeStatusNotifierWatcher() override;
  FakeStatusNotifierWatcher(const FakeStatusNotifierWatcher&) = delete;
  FakeStatusNotifierWatcher& operator=(const FakeStatusNotifierWatcher&) = delete;

  bool isServing() const { return serving_; }
  QStringList items() const { return items_; }
  // RegisterStatusNotifierItem calls so far, whatever became of them.
  int registrations() const { return registrations_; }

  // Accepts the next `count` registrations without listing them.
  void ignoreRegistrations(int count) { ignored_ = count; }
  // Forgets `item`; with `announce`, says so with StatusNotifierItemUnregistered.
  void drop(const QString& item, bool announce);
  // Emits StatusNotifierHostRegistered, as when a panel starts hosting items.
  void announceHost();

 private:
  friend class FakeStatusNotifierWatcherAdaptor;

  void registerItem(const QString& serviceOrPath, const QDBusMessage& message);
  void nameLeft(const QString& name);

  static inline int instances = 0;
  QString connectionName_;
  QDBusConnection connection_;
  FakeStatusNotifierWatcherAdaptor* adaptor_;
  QDBusServiceWatcher leaving_;
  QStringList items_;
  int registrations_ = 0;
  int ignored_ = 0;
  bool serving_ = false;
};

class FakeStatusNotifierWatcherAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)

 public:
  explicit FakeStatusNotifierWatcherAdaptor(FakeStatusNotifierWatcher* watcher)
      : QDBusAbstractAdaptor(watcher), watcher_(watcher) {}

  QStringList registeredStatusNotifierItems() const { return watcher_->items_; }
  static bool isStatusNotifierHostRegistered() { return true; }
  static int protocolVersion() { return 0; }

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
    watcher_->registerItem(service, message);
  }
  void RegisterStatusNotifierHost(const QString& service) { (void)service; }

 Q_SIGNALS:
  void StatusNotifierItemRegistered(const QString& item);
  void StatusNotifierItemUnregistered(const QString& item);
  void StatusNotifierHostRegistered();
  void StatusNotifierHostUnregistered();

 private:
  FakeStatusNotifierWatcher* watcher_;
};

inline FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(const QString& address)
    : connectionName_(QStringLiteral("fake-watcher-%1").arg(++instances)),
      connection_(QDBusConnection::connectToBus(address, connectionName_)),
      adaptor_(new FakeStatusNotifierWatcherAdaptor(this)) {
  leaving_.setConnection(connection_);
  leaving_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  QObject::connect(&leaving_, &QDBusServiceWatcher::serviceUnregistered, this,
                   &FakeStatusNotifierWatcher::nameLeft);
  serving_ = connection_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                        QDBusConnection::ExportAdaptors) &&
             connection_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

inline FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher() {
  // Other references keep a connection open; the name has to go now, as if the panel quit.
  connection_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  connection_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
  QDBusConnection::disconnectFromBus(connectionName_);
}

inline void FakeStatusNotifierWatcher::drop(const QString& item, bool announce) {
  items_.removeAll(item);
  if (announce) Q_EMIT adaptor_->StatusNotifierItemUnregistered(item);
}

inline void FakeStatusNotifierWatcher::announceHost() {
  Q_EMIT adaptor_->StatusNotifierHostRegistered();
}

inline void FakeStatusNotifierWatcher::registerItem(const QString& serviceOrPath,
                                                    const QDBusMessage& message) {
  ++registrations_;
  // An object path alone means the item lives on the caller's own connection.
  const QString service = serviceOrPath.startsWith(u'/') ? message.service() : serviceOrPath;
  const QString item = serviceOrPath.startsWith(u'/') ? service + serviceOrPath : service;
  if (ignored_ > 0) {
    --ignored_;
    return;
  }
  if (items_.contains(item)) return;
  items_.append(item);
  leaving_.addWatchedService(service);
  Q_EMIT adaptor_->StatusNotifierItemRegistered(item);
}

inline void FakeStatusNotifierWatcher::nameLeft(const QString& name) {
  leaving_.removeWatchedService(name);
  const QStringList items = items_;
  for (const QString& item : items) {
    if (item == name || item.startsWith(name + u'/')) drop(item, true);
  }
}

// The signals of an item and of its menu as a host receives them.
class ItemSignals : public QDBusAbstractInterface {
  Q_OBJECT

 public:
  ItemSignals(const QString& service, const QDBusConnection& bus)
      : QDBusAbstractInterface(service, QStringLiteral("/StatusNotifierItem"),
                               "org.kde.StatusNotifierItem", bus, nullptr) {}

 Q_SIGNALS:
  void NewIcon();
  void NewToolTip();
  void NewTitle();
  void NewStatus(const QString& status);
  void XAyatanaNewLabel(const QString& label, const QString& guide);
};

class MenuSignals : public QDBusAbstractInterface {
  Q_OBJECT

 public:
  MenuSignals(const QString& service, const QDBusConnection& bus)
      : QDBusAbstractInterface(service, QStringLiteral("/MenuBar"), "com.canonical.dbusmenu", bus,
                               nullptr) {}

 Q_SIGNALS:
  // The whole message, for the test to read its arguments by hand.
  void ItemsPropertiesUpdated(const QDBusMessage& message);
  void LayoutUpdated(uint revision, int parent);
};

}  // namespace pulsewell::test
