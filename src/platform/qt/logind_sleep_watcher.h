#pragma once

#include <QDBusConnection>
#include <QObject>

namespace pulsewell {

// The system's will-sleep and did-wake notifications: systemd-logind's
// PrepareForSleep(bool) on the system bus. Without a bus, or without logind, nothing is
// ever reported and nothing fails.
class LogindSleepWatcher : public QObject {
  Q_OBJECT

 public:
  explicit LogindSleepWatcher(QObject* parent = nullptr);
  // Watches `bus` instead of the system bus.
  explicit LogindSleepWatcher(const QDBusConnection& bus, QObject* parent = nullptr);

  // True when the subscription on the bus is in place.
  bool isWatching() const { return watching_; }

 Q_SIGNALS:
  void willSleep();
  void didWake();

 private Q_SLOTS:
  void prepareForSleep(bool start);

 private:
  bool watching_ = false;
};

}  // namespace pulsewell
