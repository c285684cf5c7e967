#include "platform/qt/qt_main_queue.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace pulsewell {

QtMainQueue::QtMainQueue() : receiver_(new QObject) {}

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
  QMetaObject::invokeMethod(receiver_, std::move(work), Qt::QueuedConnection);
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
