// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/DownloadList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "utility/FileRules.h"
#include "utility/NameRules.h"

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
  int index;  // where the entry stands in the checker's copy, which mirrors the list
  std::string entry;
};

struct TDownloadList::TState {
  TDownloadList* owner = nullptr;

  // Main thread only.
  bool sweepRunning = false;
  unsigned long sweep = 0;  // number of the current (or last) sweep
  unsigned long sweepsDone = 0;
  unsigned long fullCopies = 0;
  // The count the list has when nobody but this object changed it, and whether the checker's
  // copy is known to be out of step (then the next sweep copies the list afresh).
  std::size_t expected = 0;
  bool resync = false;
  std::vector<std::string> snapshot;  // a fresh copy being taken
  std::vector<int> removed;           // positions removed by the current sweep, descending

  // Shared with the checking thread, under mutex. The checker's copy equals the list once
  // pendingRemovals (positions, descending) are taken out of it and pendingAdds appended.
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<bool> stop = false;
  bool hasJob = false;
  bool replace = false;  // the job brings a fresh copy in job
  unsigned long jobSweep = 0;
  std::vector<std::string> job;
  std::vector<std::string> pendingAdds;
  std::vector<int> pendingRemovals;
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
  state_->expected = static_cast<std::size_t>(list_.Count());
  state_->resync = state_->expected != 0;
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
  ++state_->expected;
  {
    std::lock_guard lock(state_->mutex);
    state_->pendingAdds.push_back(name);
  }
  if (OnAppended) OnAppended(name);
  return true;
}

void TDownloadList::FileChanged(TFileOperation /*FileOperation*/, const std::string& FileName1,
                                const std::string& FileName2) {
  const std::string mask = maskText_ ? maskText_() : std::string();
  bool added = false;
  if (ExtensionInMask(FileName1, mask) && Consider(FileName1)) added = true;
  if (ExtensionInMask(FileName2, mask) && Consider(FileName2)) added = true;
  if (!added && listAllFiles_ && listAllFiles_()) Consider(FileName1);
}

bool TDownloadList::SweepRunning() const { return state_->sweepRunning; }

unsigned long TDownloadList::SweepsDone() const { return state_->sweepsDone; }

unsigned long TDownloadList::FullCopies() const { return state_->fullCopies; }

void TDownloadList::Sweep() {
  TState& s = *state_;
  if (s.sweepRunning) return;
  s.sweepRunning = true;
  ++s.sweep;
  s.removed.clear();
  if (s.resync || static_cast<std::size_t>(list_.Count()) != s.expected) {
    s.snapshot.clear();
    ++s.fullCopies;
    SnapshotSlice(s.sweep, 0);
  } else {
    HandOver(s.sweep, false);
  }
}

void TDownloadList::SnapshotSlice(unsigned long sweep, std::size_t from) {
  TState& s = *state_;
  const auto deadline = Clock::now() + kSliceBudget;
  std::size_t i = from;
  for (;;) {
    if (i >= static_cast<std::size_t>(list_.Count())) break;
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
  // The copy ends at the list's end with no task in between: it holds every entry.
  s.expected = s.snapshot.size();
  s.resync = false;
  HandOver(sweep, true);
}

void TDownloadList::HandOver(unsigned long sweep, bool replace) {
  TState& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    if (replace) {
      s.job = std::move(s.snapshot);
      s.pendingAdds.clear();
      s.pendingRemovals.clear();
    }
    s.replace = replace;
    s.jobSweep = sweep;
    s.hasJob = true;
  }
  s.snapshot = {};
  if (!s.checker.joinable()) {
    // The checker only reads its own copy of the entries and asks the file system; the list
    // stays on the main thread.
    std::weak_ptr<TState> weak = state_;
    TState* raw = &s;
    IMainThreadDispatcher* dispatcher = &dispatcher_;
    s.checker = std::thread([raw, weak, dispatcher] {
      std::vector<std::string> mirror;
      for (;;) {
        unsigned long jobSweep = 0;
        {
          std::unique_lock lock(raw->mutex);
          raw->cv.wait(lock, [raw] { return raw->stop || raw->hasJob; });
          if (raw->stop) return;
          raw->hasJob = false;
          jobSweep = raw->jobSweep;
          if (raw->replace) {
            mirror = std::move(raw->job);
            raw->job = {};
          } else {
            // Removals first: the positions are those of the list before this sweep's
            // appends, which all went to its end.
            std::vector<int>& gone = raw->pendingRemovals;
            std::size_t write = 0, next = gone.size();  // gone is descending: walk it back
            for (std::size_t read = 0; read < mirror.size(); ++read) {
              if (next > 0 && static_cast<std::size_t>(gone[next - 1]) == read) {
                --next;
                continue;
              }
              if (write != read) mirror[write] = std::move(mirror[read]);
              ++write;
            }
            mirror.resize(write);
          }
          raw->pendingRemovals.clear();
          for (std::string& e : raw->pendingAdds) mirror.push_back(std::move(e));
          raw->pendingAdds.clear();
        }
        auto missing = std::make_shared<std::vector<TMissing>>();
        for (std::size_t k = 0; k < mirror.size(); ++k) {
          if (raw->stop.load(std::memory_order_relaxed)) return;
          if (!FileIsPresent(mirror[k])) missing->push_back({static_cast<int>(k), mirror[k]});
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
  // never moves an entry still to be deleted, in this batch or a later one.
  while (remaining > 0 && indices.size() < kMaxBatch) {
    TMissing& m = missing[remaining - 1];
    --remaining;
    if (!FileIsPresent(m.entry)) {
      const int count = list_.Count();
      int at = -1;
      if (m.index < count && list_.Get(m.index) == m.entry) {
        at = m.index;
      } else {
        // The list was changed by someone else meanwhile; entries only move towards the front.
        // The checker's copy is out of step from now on.
        s.resync = true;
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
        if (at == m.index) s.removed.push_back(at);
      }
    }
    if ((remaining & 31) == 0 && Clock::now() >= deadline) break;
  }
  s.expected -= std::min(s.expected, indices.size());
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
  if (!s.resync) {
    std::lock_guard lock(s.mutex);
    s.pendingRemovals = std::move(s.removed);
  }
  s.removed = {};
  s.sweepRunning = false;
  ++s.sweepsDone;
}

}  // namespace mv
