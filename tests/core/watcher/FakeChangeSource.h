// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A change source the test drives by hand: records pushed from the test thread reach the worker
// as if the system had reported them.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FileSystemWatcher/ChangeRecords.h"
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
  bool liveOnOpen = false;
  TWatchOptions last{};
  // A record, or what the source says besides records: live (record.action 0, name empty),
  // may-have-removed (record.action 0, name relative).
  struct TItem {
    TChangeRecord record;
    bool signal = false;
    bool live = false;
    bool subtree = false;
    std::optional<TChange> change;  // reported as it is
  };
  std::deque<TItem> queue;
  std::vector<std::string> noticesOnOpen;
  std::vector<std::pair<TNoticeKind, std::string>> kindNoticesOnOpen;

  void Push(std::vector<TChangeRecord> records) {
    {
      std::lock_guard lock(mutex);
      for (auto& r : records)
        queue.push_back(TItem{std::move(r), false, false, false, std::nullopt});
    }
    cv.notify_all();
  }
  void PushChange(TChange change) {
    TItem item;
    item.change = std::move(change);
    PushSignal(std::move(item));
  }
  void PushLive() { PushSignal(TItem{{}, true, true, true, std::nullopt}); }
  void PushMayHaveRemoved(std::string rel, bool subtree) {
    PushSignal(TItem{{0, std::move(rel)}, true, false, subtree, std::nullopt});
  }
  void PushSignal(TItem item) {
    {
      std::lock_guard lock(mutex);
      queue.push_back(std::move(item));
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
    std::vector<std::pair<TNoticeKind, std::string>> kindNotices;
    bool result;
    bool live;
    {
      std::lock_guard lock(s_->mutex);
      ++s_->opens;
      s_->last = options;
      s_->open = s_->openResult;
      result = s_->openResult;
      notices = s_->noticesOnOpen;
      kindNotices = s_->kindNoticesOnOpen;
      live = s_->liveOnOpen && result;
    }
    for (const auto& n : notices) sink.Notice(TNoticeKind::nkLimit, n);
    for (const auto& [kind, text] : kindNotices) sink.Notice(kind, text);
    if (live) sink.Live();
    return result;
  }
  void Close() override {
    std::lock_guard lock(s_->mutex);
    s_->open = false;
  }
  void WaitAndCollect(IChangeSink& sink) override {
    std::deque<TFakeState::TItem> records;
    {
      std::unique_lock lock(s_->mutex);
      s_->cv.wait(lock, [&] { return s_->woken || (s_->open && !s_->queue.empty()); });
      s_->woken = false;
      // Records stay for the reopened source when a reopen is already asked for, as they would
      // in the system's queue of the new watch.
      if (s_->open && !sink.Interrupted()) records.swap(s_->queue);
    }
    // Records pushed together are paired as one batch of the system's records.
    TChangeBatch batch;
    auto flush = [&] {
      PairRecords(std::exchange(batch, {}), [&](TChange c, bool alone) {
        if (!alone) {
          sink.Report(std::move(c));
        } else if (c.kind == TChangeKind::ckRemoved) {
          sink.MayHaveRemoved(std::move(c.name), true);
        }
        return true;
      });
    };
    for (auto& r : records) {
      if (!r.change && !r.signal) {
        batch.push_back(std::move(r.record));
        continue;
      }
      flush();
      if (r.change) {
        sink.Report(std::move(*r.change));
      } else if (r.live) {
        sink.Live();
      } else {
        sink.MayHaveRemoved(std::move(r.record.name), r.subtree);
      }
    }
    flush();
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
