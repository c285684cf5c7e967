#include "platform/qt/qt_main_queue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <utility>

namespace pulsewell {

namespace {

// One posted piece of work. Qt deletes a posted event after delivering it, and deletes
// the events still pending for an object together with that object.
class WorkEvent : public QEvent {
 public:
  static QEvent::Type type() {
    static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
  }

  explicit WorkEvent(std::function<void()> work) : QEvent(type()), work_(std::move(work)) {}
  void run() const { work_(); }

 private:
  std::function<void()> work_;
};

class WorkReceiver : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != WorkEvent::type()) return QObject::event(event);
    static_cast<const WorkEvent*>(event)->run();
    return true;
  }
};

}  // namespace

QtMainQueue::QtMainQueue() : receiver_(new WorkReceiver) {}

QtMainQueue::~QtMainQueue() {
  QObject* receiver = nullptr;
  {
    const std::lock_guard lock(mutex_);
    receiver = std::exchange(receiver_, nullptr);
  }
  if (receiver == nullptr) return;
  // The last reference may be dropped by a worker; a QObject is deleted on its own thread.
  if (QThread::currentThread() == receiver->thread()) {
    delete receiver;
  } else {
    receiver->deleteLater();
  }
}

void QtMainQueue::post(std::function<void()> work) {
  const std::lock_guard lock(mutex_);
  if (receiver_ == nullptr || !work) return;
  QCoreApplication::postEvent(receiver_, new WorkEvent(std::move(work)));
}

void QtMainQueue::close() {
  QObject* receiver = nullptr;
  {
    const std::lock_guard lock(mutex_);
    receiver = std::exchange(receiver_, nullptr);
  }
  // Deleting the receiver also removes its pending calls; outside the lock because
  // destroying queued work may release objects whose destructors post again.
  delete receiver;
}

bool QtMainQueue::isClosed() const {
  const std::lock_guard lock(mutex_);
  return receiver_ == nullptr;
}

}  // namespace pulsewell
