// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A change source the test drives by hand: records pushed from the test thread reach the worker
// as if the system had reported them.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/FileSystemWatcher.h"

namespace mv::test {

struct TFakeState {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
  bool open = false;
  bool openResult = true;
  int opens = 0;
  bool destroyed = false;
  TWatchOptions last{};
  std::deque<TChangeRecord> queue;
  std::vector<std::string> noticesOnOpen;

  void Push(std::vector<TChangeRecord> records) {
    {
      std::lock_guard lock(mutex);
      for (auto& r : records) queue.push_back(std::move(r));
    }
    cv.notify_all();
  }
  int Opens() {
    std::lock_guard lock(mutex);
    return opens;
  }
  TWatchOptions Last() {
    std::lock_guard lock(mutex);
    return last;
  }
  bool Destroyed() {
    std::lock_guard lock(mutex);
    return destroyed;
  }
};

class TFakeSource final : public IChangeSource {
 public:
  explicit TFakeSource(std::shared_ptr<TFakeState> s) : s_(std::move(s)) {}
  ~TFakeSource() override {
    std::lock_guard lock(s_->mutex);
    s_->destroyed = true;
  }
  bool Open(const TWatchOptions& options, IChangeSink& sink) override {
    std::vector<std::string> notices;
    bool result;
    {
      std::lock_guard lock(s_->mutex);
      ++s_->opens;
      s_->last = options;
      s_->open = s_->openResult;
      result = s_->openResult;
      notices = s_->noticesOnOpen;
    }
    for (const auto& n : notices) sink.Notice(n);
    return result;
  }
  void Close() override {
    std::lock_guard lock(s_->mutex);
    s_->open = false;
  }
  void WaitAndCollect(IChangeSink& sink) override {
    std::deque<TChangeRecord> records;
    {
      std::unique_lock lock(s_->mutex);
      s_->cv.wait(lock, [&] { return s_->woken || (s_->open && !s_->queue.empty()); });
      s_->woken = false;
      // Records stay for the reopened source when a reopen is already asked for, as they would
      // in the system's queue of the new watch.
      if (s_->open && !sink.Interrupted()) records.swap(s_->queue);
    }
    for (auto& r : records) sink.Add(r.action, std::move(r.name));
  }
  void Wake() override {
    {
      std::lock_guard lock(s_->mutex);
      s_->woken = true;
    }
    s_->cv.notify_all();
  }

 private:
  std::shared_ptr<TFakeState> s_;
};

// Makes fake sources and keeps the state of each, in creation order.
struct TFakeHub {
  std::vector<std::shared_ptr<TFakeState>> sources;
  TChangeSourceFactory Factory() {
    return [this] {
      auto s = std::make_shared<TFakeState>();
      sources.push_back(s);
      return std::make_unique<TFakeSource>(s);
    };
  }
};

}  // namespace mv::test
