#include "platform/qt/qt_main_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace pulsewell {
namespace {

TEST(QtMainQueue, RunsWorkPostedFromWorkersOnTheGuiThreadInOrder) {
  QtMainQueue queue;
  std::vector<int> order;
  std::vector<QThread*> threads;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      queue.post([&order, &threads, i] {
        order.push_back(i);
        threads.push_back(QThread::currentThread());
      });
    }
  });
  worker.join();
  EXPECT_TRUE(order.empty());  // queued, not run on the worker
  ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 3; }, 5000));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  for (QThread* thread : threads)
    EXPECT_EQ(thread, QCoreApplication::instance()->thread());
}

TEST(QtMainQueue, DropsWorkPostedAfterClosingAndReleasesIt) {
  QtMainQueue queue;
  queue.close();
  EXPECT_TRUE(queue.isClosed());
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = token;
  bool ran = false;
  queue.post([&ran, token = std::move(token)] { ran = true; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  // What a worker handed over is released at once, so it is not kept waiting.
  EXPECT_TRUE(watch.expired());
}

TEST(QtMainQueue, ClosingDiscardsWorkNotYetRun) {
  QtMainQueue queue;
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = token;
  bool ran = false;
  queue.post([&ran, token = std::move(token)] { ran = true; });
  queue.close();
  EXPECT_TRUE(watch.expired());
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST(QtMainQueue, WorkersPostingWhileTheQueueClosesNeitherCrashNorRunLate) {
  auto queue = std::make_shared<QtMainQueue>();
  std::atomic<bool> stop = false;
  std::atomic<int> ran = 0;
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([queue, &stop, &ran] {
      for (int i = 0; i < 5000 && !stop; ++i)
        queue->post([&ran] { ++ran; });
    });
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return ran > 100; }, 5000));
  queue->close();
  QCoreApplication::processEvents();
  const int afterClose = ran;
  QCoreApplication::processEvents();
  EXPECT_EQ(ran, afterClose);
  stop = true;
  for (auto& worker : workers)
    worker.join();
}

}  // namespace
}  // namespace pulsewell
