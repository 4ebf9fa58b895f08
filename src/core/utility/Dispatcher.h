// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hands work to the main (window) thread. The window implements it with Qt's event loop; the
// command-line tool and tests run a TQueueDispatcher on their main thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace mv {

class IMainThreadDispatcher {
 public:
  virtual ~IMainThreadDispatcher() = default;
  // Queues task to run on the main thread, in posting order. Callable from any thread; never
  // runs the task inline.
  virtual void Post(std::function<void()> task) = 0;
};

// A plain event loop for the main thread of the command-line tool and of tests.
class TQueueDispatcher : public IMainThreadDispatcher {
 public:
  void Post(std::function<void()> task) override;
  // Runs queued tasks until Quit() is called.
  void Run();
  // Runs queued tasks until pred() holds or the timeout passes; returns pred().
  bool RunUntil(const std::function<bool()>& pred, int timeoutMs);
  // Runs what is queued now (and what those tasks queue) without waiting; returns the count.
  int RunPending();
  void Quit();

 private:
  // Runs the task at the front with the lock released; the queue must not be empty.
  void RunFront(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;
};

}  // namespace mv
