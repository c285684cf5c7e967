#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "traffic/main_queue.h"

class QObject;

namespace pulsewell {

// Runs posted work on the GUI thread as queued calls on an object of its own. Workers
// keep the queue alive through shared pointers and may outlive the application object,
// so the queue is closed on the GUI thread before that object goes away: from then on
// posts are dropped, and work not yet run is discarded with its receiver.
class QtMainQueue final : public MainQueue {
 public:
  // Create on the GUI thread.
  QtMainQueue();
  ~QtMainQueue() override;
  QtMainQueue(const QtMainQueue&) = delete;
  QtMainQueue& operator=(const QtMainQueue&) = delete;

  void post(std::function<void()> work) override;
  std::unique_ptr<Timer> makeTimer(std::function<void()> fire) override;

  // Call on the GUI thread. Idempotent.
  void close();
  bool isClosed() const;

 private:
  mutable std::mutex mutex_;
  // Owned; deleted by close(). Posting happens under the mutex, so it never meets a
  // receiver that is being deleted.
  QObject* receiver_;
};

}  // namespace pulsewell
