#include "platform/qt/qt_main_queue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
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

// Precise, because the debounce promises its 50 ms, not roughly 50 ms.
class QtTimer final : public MainQueue::Timer {
 public:
  explicit QtTimer(std::function<void()> fire) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(fire));
  }
  void start(std::chrono::milliseconds delay) override { timer_.start(delay); }
  void stop() override { timer_.stop(); }

 private:
  QTimer timer_;
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

std::unique_ptr<MainQueue::Timer> QtMainQueue::makeTimer(std::function<void()> fire) {
  return std::make_unique<QtTimer>(std::move(fire));
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
