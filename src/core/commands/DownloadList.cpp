#include "DownloadList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "FileRules.h"
#include "NameRules.h"

namespace mv {

namespace {

using Clock = std::chrono::steady_clock;

// The window thread's share of a sweep is cut into tasks of about this length, so that
// painting and the watcher's events go on between them.
constexpr auto kSliceBudget = std::chrono::milliseconds(4);
// Bounds a removal batch even when the clock is coarse, so one DeleteMany stays short.
constexpr std::size_t kMaxBatch = 4096;

}  // namespace

struct TDownloadList::TMissing {
  int index;  // where the entry stood when it was copied
  std::string entry;
};

struct TDownloadList::TState {
  TDownloadList* owner = nullptr;

  // Main thread only.
  bool sweepRunning = false;
  unsigned long sweep = 0;  // number of the current (or last) sweep
  unsigned long sweepsDone = 0;
  std::vector<std::string> snapshot;

  // Shared with the checking thread, under mutex.
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<bool> stop = false;
  bool hasJob = false;
  unsigned long jobSweep = 0;
  std::vector<std::string> job;
  std::thread checker;
};

TDownloadList::TDownloadList(TListBoxStrings& list, IMainThreadDispatcher& dispatcher,
                             std::function<std::string()> maskText,
                             std::function<bool()> listAllFiles)
    : list_(list),
      dispatcher_(dispatcher),
      maskText_(std::move(maskText)),
      listAllFiles_(std::move(listAllFiles)),
      state_(std::make_shared<TState>()) {
  state_->owner = this;
}

TDownloadList::~TDownloadList() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->cv.notify_all();
  if (state_->checker.joinable()) state_->checker.join();
}

bool TDownloadList::Consider(const std::string& name) {
  if (list_.ContainsNoCase(name) || !FileIsPresent(name)) return false;
  list_.Add(name);
  if (OnAppended) OnAppended(name);
  return true;
}

void TDownloadList::FileSystemWatcher1Change(TFileOperation /*FileOperation*/,
                                             const std::string& FileName1,
                                             const std::string& FileName2) {
  const std::string mask = maskText_ ? maskText_() : std::string();
  bool added = false;
  if (ExtensionInMask(FileName1, mask) && Consider(FileName1)) added = true;
  if (ExtensionInMask(FileName2, mask) && Consider(FileName2)) added = true;
  if (!added && listAllFiles_ && listAllFiles_()) Consider(FileName1);
}

bool TDownloadList::SweepRunning() const { return state_->sweepRunning; }

unsigned long TDownloadList::SweepsDone() const { return state_->sweepsDone; }

void TDownloadList::Timer1Timer() {
  if (state_->sweepRunning) return;
  state_->sweepRunning = true;
  ++state_->sweep;
  state_->snapshot.clear();
  SnapshotSlice(state_->sweep, 0);
}

void TDownloadList::SnapshotSlice(unsigned long sweep, std::size_t from) {
  TState& s = *state_;
  const auto deadline = Clock::now() + kSliceBudget;
  std::size_t i = from;
  for (;;) {
    const int count = list_.Count();
    if (i >= static_cast<std::size_t>(count)) break;
    s.snapshot.push_back(list_.Get(static_cast<int>(i)));
    ++i;
    if ((i & 255) == 0 && Clock::now() >= deadline) {
      std::weak_ptr<TState> weak = state_;
      dispatcher_.Post([weak, sweep, i] {
        if (auto st = weak.lock(); st && st->sweep == sweep) st->owner->SnapshotSlice(sweep, i);
      });
      return;
    }
  }
  if (s.snapshot.empty()) {
    s.sweepRunning = false;
    ++s.sweepsDone;
    return;
  }
  {
    std::lock_guard lock(s.mutex);
    s.job = std::move(s.snapshot);
    s.jobSweep = sweep;
    s.hasJob = true;
  }
  s.snapshot = {};
  if (!s.checker.joinable()) {
    // The checker only reads its copy of the entries and asks the file system; the list stays
    // on the main thread.
    std::weak_ptr<TState> weak = state_;
    TState* raw = &s;
    IMainThreadDispatcher* dispatcher = &dispatcher_;
    s.checker = std::thread([raw, weak, dispatcher] {
      for (;;) {
        std::vector<std::string> entries;
        unsigned long jobSweep = 0;
        {
          std::unique_lock lock(raw->mutex);
          raw->cv.wait(lock, [raw] { return raw->stop || raw->hasJob; });
          if (raw->stop) return;
          entries = std::move(raw->job);
          raw->job = {};
          raw->hasJob = false;
          jobSweep = raw->jobSweep;
        }
        auto missing = std::make_shared<std::vector<TMissing>>();
        for (std::size_t k = 0; k < entries.size(); ++k) {
          if (raw->stop.load(std::memory_order_relaxed)) return;
          if (!FileIsPresent(entries[k])) {
            missing->push_back({static_cast<int>(k), std::move(entries[k])});
          }
        }
        dispatcher->Post([weak, jobSweep, missing] {
          if (auto st = weak.lock(); st && st->sweep == jobSweep) {
            st->owner->RemoveBatch(jobSweep, missing, missing->size());
          }
        });
      }
    });
  }
  s.cv.notify_one();
}

void TDownloadList::RemoveBatch(unsigned long sweep, std::shared_ptr<std::vector<TMissing>> job,
                                std::size_t remaining) {
  TState& s = *state_;
  auto& missing = *job;
  const auto deadline = Clock::now() + kSliceBudget;
  std::vector<int> indices;
  std::vector<std::string> removed;
  // From the last candidate to the first, so the indices come out highest first and a deletion
  // never moves an entry still to be deleted in this batch.
  while (remaining > 0 && indices.size() < kMaxBatch) {
    TMissing& m = missing[remaining - 1];
    --remaining;
    if (!FileIsPresent(m.entry)) {
      const int count = list_.Count();
      int at = -1;
      if (m.index < count && list_.Get(m.index) == m.entry) {
        at = m.index;
      } else {
        // The list was changed by someone else meanwhile: entries only move towards the front.
        for (int k = std::min(m.index, count - 1); k >= 0; --k) {
          if (list_.Get(k) == m.entry) {
            at = k;
            break;
          }
        }
      }
      if (at >= 0 && (indices.empty() || at < indices.back())) {
        indices.push_back(at);
        removed.push_back(std::move(m.entry));
      }
    }
    if ((remaining & 31) == 0 && Clock::now() >= deadline) break;
  }
  if (!indices.empty()) list_.DeleteMany(std::move(indices));
  if (OnRemoved) {
    for (const std::string& entry : removed) OnRemoved(entry);
  }
  if (remaining > 0) {
    std::weak_ptr<TState> weak = state_;
    dispatcher_.Post([weak, sweep, job, remaining] {
      if (auto st = weak.lock(); st && st->sweep == sweep) {
        st->owner->RemoveBatch(sweep, job, remaining);
      }
    });
    return;
  }
  s.sweepRunning = false;
  ++s.sweepsDone;
}

}  // namespace mv
