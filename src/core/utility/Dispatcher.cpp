// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/Dispatcher.h"

#include <chrono>

namespace mv {

void TQueueDispatcher::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  cv_.notify_one();
}

void TQueueDispatcher::RunFront(std::unique_lock<std::mutex>& lock) {
  auto task = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  task();
  lock.lock();
}

void TQueueDispatcher::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (queue_.empty()) {
      cv_.wait(lock);
      continue;
    }
    RunFront(lock);
  }
  quit_ = false;
}

bool TQueueDispatcher::RunUntil(const std::function<bool()>& pred, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  for (;;) {
    lock.unlock();
    if (pred()) return true;
    lock.lock();
    if (queue_.empty()) {
      if (cv_.wait_until(lock, deadline) == std::cv_status::timeout && queue_.empty()) {
        lock.unlock();
        return pred();
      }
      continue;
    }
    RunFront(lock);
  }
}

int TQueueDispatcher::RunPending() {
  int count = 0;
  std::unique_lock lock(mutex_);
  while (!queue_.empty()) {
    RunFront(lock);
    ++count;
  }
  return count;
}

void TQueueDispatcher::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  cv_.notify_one();
}

}  // namespace mv
