#include "platform/qt/logind_sleep_watcher.h"

#include <QString>

namespace pulsewell {

LogindSleepWatcher::LogindSleepWatcher(QObject* parent)
    : LogindSleepWatcher(QDBusConnection::systemBus(), parent) {}

LogindSleepWatcher::LogindSleepWatcher(const QDBusConnection& bus, QObject* parent)
    : QObject(parent) {
  if (!bus.isConnected()) return;
  QDBusConnection connection(bus);
  // Naming the service makes the bus deliver only what logind itself sends, not a
  // look-alike signal from any other client. QtDBus offers bus signals only by slot name.
  watching_ = connection.connect(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
      SLOT(prepareForSleep(bool)));
}

void LogindSleepWatcher::prepareForSleep(bool start) {
  if (start) {
    Q_EMIT willSleep();
  } else {
    Q_EMIT didWake();
  }
}

}  // namespace pulsewell
