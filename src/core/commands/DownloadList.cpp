// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/DownloadList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "utility/FileRules.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

using Clock = std::chrono::steady_clock;

// The window thread's share of a sweep is cut into tasks of about this length, so that
// painting and the watcher's events go on between them.
constexpr auto kSliceBudget = std::chrono::milliseconds(4);
// Bounds a removal batch even when the clock is coarse, so one DeleteMany stays short.
constexpr std::size_t kMaxBatch = 4096;
// Entries handed to the checking thread at a time: what it holds stays small, however long the
// list.
constexpr std::size_t kChunk = 1024;
// Past this many names or directories that may have gone before the next tick, checking every
// entry costs no more than finding theirs.
constexpr std::size_t kMaxDirtyNames = 4096;
constexpr std::size_t kMaxDirtyDirs = 64;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         AsciiCompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// True when entry is dir (given with its trailing delimiter) without it, or lies below it.
bool Below(std::string_view entry, std::string_view dir) {
  return StartsWithNoCase(entry, dir) ||
         (entry.size() + 1 == dir.size() && StartsWithNoCase(dir, entry));
}

}  // namespace

struct TDownloadList::TCheck {
  int index;  // where the entry stood when it was copied; -1 when not known
  std::string entry;
};

struct TDownloadList::TState {
  TDownloadList* owner = nullptr;

  // Main thread only.
  int limit = kDefaultEntryLimit;
  bool limitTold = false;
  bool sweepRunning = false;
  unsigned long sweep = 0;  // number of the current (or last) sweep
  unsigned long sweepsDone = 0;
  // The count the list has when nobody but this object changed it, and whether someone else
  // is known to have moved entries (then the next sweep checks everything).
  std::size_t expected = 0;
  bool resync = false;

  // What a sweep may rely on. root: the live watch's directory (with its delimiter) when the
  // last sweep that checked everything started, empty when none was live. trusted: that sweep
  // ended with no break of the watch since it started, so every entry below root has been
  // checked since the last event that may have removed it, except those events noted since.
  std::string root;
  bool trusted = false;
  unsigned long breaks = 0;
  unsigned long breaksAtStart = 0;
  std::vector<std::string> dirtyNames;  // files that may have gone, listed when noted
  std::vector<std::string> dirtyDirs;   // directories, with their delimiter
  std::vector<std::string> outside;     // the entries not below root, checked at every tick
  // The directories below root that hold entries (lower-cased, with their delimiter), with how
  // many: a directory that goes while none of its entries is listed costs nothing. Rebuilt by
  // each sweep that checks everything; a count may be too high, never too low.
  std::unordered_map<std::string, int> dirCounts;
  std::string dirKey;  // reused, so that counting does not allocate per entry

  // The entries whose files were open for writing when last tested, and the round of tests a
  // tick started through them: in slices, so that a burst of files caught open while listed
  // leaves within the tick after it without stalling the window.
  std::unordered_set<std::string> writing;
  bool retesting = false;
  std::vector<std::string> retest;
  std::size_t retestPos = 0;

  // The sweep under way: what it checks, where it is, and what it found missing.
  bool full = false;
  std::vector<std::string> names;  // checked by name: the outside entries and dirtyNames
  std::size_t nextName = 0;
  std::vector<std::string> dirs;  // every entry below these is checked
  bool scanning = false;          // walking the list (all of it when full, else for dirs)
  int scanPos = 0;
  std::vector<TCheck> missing;
  std::size_t remaining = 0;  // missing[0, remaining) still to be removed
  bool removedAny = false;

  // Shared with the checking thread, under mutex (checked and stop are atomic).
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<bool> stop = false;
  bool hasJob = false;
  unsigned long jobSweep = 0;
  std::vector<TCheck> job;
  std::atomic<unsigned long long> checked = 0;
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
}

TDownloadList::~TDownloadList() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->cv.notify_all();
  if (state_->checker.joinable()) state_->checker.join();
}

void TDownloadList::AttachWatcher(TFileSystemWatcher& watcher) {
  std::weak_ptr<TState> weak = state_;
  watcher.SetOnMayHaveRemoved([weak](const std::string& path, bool subtree) {
    if (auto st = weak.lock()) st->owner->MayHaveRemoved(path, subtree);
  });
  liveRoot_ = [&watcher] { return watcher.LiveRoot(); };
}

void TDownloadList::SetEntryLimit(int limit) { state_->limit = limit; }

void TDownloadList::CountDirs(const std::string& entry, int delta) {
  TState& s = *state_;
  if (s.root.empty() || !entry.starts_with(s.root)) return;
  const char delimiter = s.root.back();
  for (std::size_t p = s.root.size(); p < entry.size(); ++p) {
    if (entry[p] != delimiter) continue;
    s.dirKey.assign(entry, 0, p + 1);
    for (char& c : s.dirKey) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    if (delta > 0) {
      s.dirCounts.try_emplace(s.dirKey, 0).first->second += delta;
    } else if (auto it = s.dirCounts.find(s.dirKey); it != s.dirCounts.end()) {
      if ((it->second += delta) <= 0) s.dirCounts.erase(it);
    }
  }
}

bool TDownloadList::IsBeingWritten(const std::string& entry) const {
  const auto& writing = state_->writing;
  return !writing.empty() && writing.count(entry) != 0;
}

void TDownloadList::TestWriting(const std::string& entry) {
  auto& writing = state_->writing;
  const bool now = list_.ContainsNoCase(entry) && FileIsBeingWritten(entry);
  const bool was = writing.count(entry) != 0;
  if (now == was) return;
  if (now) {
    writing.insert(entry);
  } else {
    writing.erase(entry);
  }
  if (OnWritingChanged) OnWritingChanged(entry);
}

void TDownloadList::RetestWriting() {
  TState& s = *state_;
  if (s.retesting) return;
  s.retesting = true;
  s.retest.assign(s.writing.begin(), s.writing.end());
  s.retestPos = 0;
  RetestSlice();
}

void TDownloadList::RetestSlice() {
  TState& s = *state_;
  const auto deadline = Clock::now() + kSliceBudget;
  while (s.retestPos < s.retest.size()) {
    const std::string& entry = s.retest[s.retestPos++];
    if (s.writing.count(entry) != 0) TestWriting(entry);
    if ((s.retestPos & 15) == 0 && Clock::now() >= deadline) break;
  }
  if (s.retestPos < s.retest.size()) {
    std::weak_ptr<TState> weak = state_;
    dispatcher_.Post([weak] {
      if (auto st = weak.lock()) st->owner->RetestSlice();
    });
    return;
  }
  s.retest = {};
  s.retesting = false;
}

bool TDownloadList::Consider(const std::string& name, bool mayBeWritten) {
  TState& s = *state_;
  if (list_.ContainsNoCase(name)) {
    // A listed name changed: a download of it may have ended, or (unless the name went away)
    // begun. Removals of entries nobody writes, the bulk of a large deletion, cost no test.
    if (mayBeWritten || !s.writing.empty()) {
      const int at = list_.IndexOfNoCase(name);
      const std::string entry = at >= 0 ? list_.Get(at) : name;
      if (mayBeWritten || s.writing.count(entry) != 0) TestWriting(entry);
    }
    return false;
  }
  if (!FileIsPresent(name)) return false;
  if (list_.Count() >= s.limit) {
    if (!s.limitTold) {
      s.limitTold = true;
      if (OnNotice) OnNotice(FormatD(text::kListFull, s.limit));
    }
    return false;
  }
  // Decided before the row exists, so that it is never shown complete while being written.
  if (FileIsBeingWritten(name)) s.writing.insert(name);
  try {
    list_.Add(name);
  } catch (...) {
    s.writing.erase(name);
    throw;
  }
  ++s.expected;
  if (!s.root.empty() && !name.starts_with(s.root)) s.outside.push_back(name);
  CountDirs(name, 1);
  if (OnAppended) OnAppended(name);
  return true;
}

void TDownloadList::FileChanged(TFileOperation FileOperation, const std::string& FileName1,
                                const std::string& FileName2) {
  const std::string mask = maskText_ ? maskText_() : std::string();
  // Listing treats every operation alike; only whether a writer may have opened the name
  // depends on it (a removed name and a rename's old name have none).
  const bool written1 =
      FileOperation == TFileOperation::foAdded || FileOperation == TFileOperation::foModified;
  bool added = false;
  const bool masked1 = ExtensionInMask(FileName1, mask);
  if (masked1 && Consider(FileName1, written1)) added = true;
  if (ExtensionInMask(FileName2, mask) && Consider(FileName2, true)) added = true;
  if (!added && !masked1 && listAllFiles_ && listAllFiles_()) Consider(FileName1, written1);
}

void TDownloadList::MayHaveRemoved(const std::string& path, bool subtree) {
  TState& s = *state_;
  // Without a live root every entry is checked at every tick anyway.
  if (s.root.empty()) return;
  auto lose = [&s] {
    ++s.breaks;
    s.trusted = false;
    s.dirtyNames.clear();
    s.dirtyDirs.clear();
  };
  // Whether a file or a directory went is not always known: the entry of that name, if any,
  // and (subtree) those below it.
  if (list_.ContainsNoCase(path)) {
    if (s.dirtyNames.size() >= kMaxDirtyNames) return lose();
    s.dirtyNames.push_back(path);
  }
  if (!subtree) return;
  const char delimiter = s.root.back();
  std::string dir = path;
  if (dir.empty() || dir.back() != delimiter) dir += delimiter;
  // The watched directory itself or one above it: nothing below can be relied on.
  if (path.empty() || StartsWithNoCase(s.root, dir)) return lose();
  // Elsewhere than below root the entries are checked at every tick.
  if (!StartsWithNoCase(dir, s.root) || s.dirCounts.find(AsciiLower(dir)) == s.dirCounts.end())
    return;
  if (s.dirtyDirs.size() >= kMaxDirtyDirs) return lose();
  s.dirtyDirs.push_back(std::move(dir));
}

bool TDownloadList::SweepRunning() const { return state_->sweepRunning; }

unsigned long TDownloadList::SweepsDone() const { return state_->sweepsDone; }

unsigned long long TDownloadList::EntriesChecked() const { return state_->checked.load(); }

void TDownloadList::Sweep() {
  TState& s = *state_;
  if (!s.writing.empty()) RetestWriting();
  if (s.sweepRunning) return;
  s.sweepRunning = true;
  ++s.sweep;
  s.missing.clear();
  s.removedAny = false;
  s.nextName = 0;
  s.scanPos = 0;
  const std::string root = liveRoot_ ? liveRoot_() : std::string();
  const bool changed = s.resync || static_cast<std::size_t>(list_.Count()) != s.expected;
  if (!s.trusted || root.empty() || root != s.root || changed) {
    s.full = true;
    s.root = root;
    s.trusted = false;
    s.breaksAtStart = s.breaks;
    s.expected = static_cast<std::size_t>(list_.Count());
    s.resync = false;
    s.dirtyNames.clear();
    s.dirtyDirs.clear();
    s.outside.clear();
    s.dirCounts.clear();
    s.names.clear();
    s.dirs.clear();
    s.scanning = true;
  } else {
    s.full = false;
    s.names = s.outside;
    s.names.insert(s.names.end(), std::make_move_iterator(s.dirtyNames.begin()),
                   std::make_move_iterator(s.dirtyNames.end()));
    s.dirtyNames.clear();
    s.dirs = std::move(s.dirtyDirs);
    s.dirtyDirs.clear();
    s.scanning = !s.dirs.empty();
  }
  Feed(s.sweep);
}

void TDownloadList::Feed(unsigned long sweep) {
  TState& s = *state_;
  const auto deadline = Clock::now() + kSliceBudget;
  std::vector<TCheck> chunk;
  while (chunk.size() < kChunk && s.nextName < s.names.size()) {
    const std::string& name = s.names[s.nextName++];
    const int at = list_.IndexOfNoCase(name);
    if (at >= 0) chunk.push_back({at, list_.Get(at)});
  }
  while (s.scanning && chunk.size() < kChunk) {
    if (s.scanPos >= list_.Count()) {
      s.scanning = false;
      break;
    }
    std::string entry = list_.Get(s.scanPos);
    if (s.full) {
      if (!s.root.empty() && !entry.starts_with(s.root)) s.outside.push_back(entry);
      CountDirs(entry, 1);
      chunk.push_back({s.scanPos, std::move(entry)});
    } else if (std::any_of(s.dirs.begin(), s.dirs.end(),
                           [&entry](const std::string& dir) { return Below(entry, dir); })) {
      chunk.push_back({s.scanPos, std::move(entry)});
    }
    ++s.scanPos;
    if ((s.scanPos & 255) == 0 && Clock::now() >= deadline) break;
  }
  std::weak_ptr<TState> weak = state_;
  if (chunk.empty()) {
    if (s.scanning) {
      // A slice of the walk below dirs that found nothing to check: go on in a new task.
      dispatcher_.Post([weak, sweep] {
        if (auto st = weak.lock(); st && st->sweep == sweep) st->owner->Feed(sweep);
      });
      return;
    }
    // Every check is back. Removal goes from the highest index down, so that a deletion never
    // moves an entry still to be deleted; those whose place is not known go last.
    std::sort(s.missing.begin(), s.missing.end(),
              [](const TCheck& a, const TCheck& b) { return a.index < b.index; });
    s.remaining = s.missing.size();
    RemoveBatch(sweep);
    return;
  }
  {
    std::lock_guard lock(s.mutex);
    s.job = std::move(chunk);
    s.jobSweep = sweep;
    s.hasJob = true;
  }
  StartChecker();
  s.cv.notify_one();
}

void TDownloadList::StartChecker() {
  TState& s = *state_;
  if (s.checker.joinable()) return;
  // The checker only reads the entries it is handed and asks the file system; the list stays
  // on the main thread.
  std::weak_ptr<TState> weak = state_;
  TState* raw = &s;
  IMainThreadDispatcher* dispatcher = &dispatcher_;
  s.checker = std::thread([raw, weak, dispatcher] {
    for (;;) {
      std::vector<TCheck> job;
      unsigned long jobSweep = 0;
      {
        std::unique_lock lock(raw->mutex);
        raw->cv.wait(lock, [raw] { return raw->stop || raw->hasJob; });
        if (raw->stop) return;
        raw->hasJob = false;
        jobSweep = raw->jobSweep;
        job = std::move(raw->job);
        raw->job = {};
      }
      auto missing = std::make_shared<std::vector<TCheck>>();
      for (TCheck& check : job) {
        if (raw->stop.load(std::memory_order_relaxed)) return;
        if (!FileIsPresent(check.entry)) missing->push_back(std::move(check));
      }
      raw->checked += job.size();
      dispatcher->Post([weak, jobSweep, missing] {
        if (auto st = weak.lock(); st && st->sweep == jobSweep) {
          st->owner->Checked(jobSweep, std::move(*missing));
        }
      });
    }
  });
}

void TDownloadList::Checked(unsigned long sweep, std::vector<TCheck> missing) {
  TState& s = *state_;
  s.missing.insert(s.missing.end(), std::make_move_iterator(missing.begin()),
                   std::make_move_iterator(missing.end()));
  Feed(sweep);
}

void TDownloadList::RemoveBatch(unsigned long sweep) {
  TState& s = *state_;
  const auto deadline = Clock::now() + kSliceBudget;
  std::vector<std::pair<int, std::string>> batch;
  while (s.remaining > 0 && batch.size() < kMaxBatch) {
    TCheck& m = s.missing[--s.remaining];
    if (!FileIsPresent(m.entry)) {
      int at = -1;
      if (m.index >= 0 && m.index < list_.Count() && list_.Get(m.index) == m.entry) {
        at = m.index;
      } else {
        // Someone else changed the list meanwhile: find the entry by its text, and check
        // everything at the next sweep.
        if (m.index >= 0) s.resync = true;
        const int found = list_.IndexOfNoCase(m.entry);
        if (found >= 0 && list_.Get(found) == m.entry) at = found;
      }
      if (at >= 0) batch.emplace_back(at, std::move(m.entry));
    }
    if ((s.remaining & 31) == 0 && Clock::now() >= deadline) break;
  }
  std::sort(batch.begin(), batch.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  batch.erase(std::unique(batch.begin(), batch.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              batch.end());
  if (!batch.empty()) {
    std::vector<int> indices;
    indices.reserve(batch.size());
    for (const auto& item : batch) {
      indices.push_back(item.first);
      CountDirs(item.second, -1);
      s.writing.erase(item.second);
    }
    list_.DeleteMany(indices);
    s.expected -= std::min(s.expected, indices.size());
    s.removedAny = true;
    if (OnRemoved) {
      for (const auto& item : batch) OnRemoved(item.second);
    }
  }
  if (s.remaining > 0) {
    std::weak_ptr<TState> weak = state_;
    dispatcher_.Post([weak, sweep] {
      if (auto st = weak.lock(); st && st->sweep == sweep) st->owner->RemoveBatch(sweep);
    });
    return;
  }
  Finish();
}

void TDownloadList::Finish() {
  TState& s = *state_;
  if (s.full) s.trusted = !s.root.empty() && s.breaks == s.breaksAtStart && !s.resync;
  if (!s.trusted) {
    s.outside = {};
    if (s.root.empty()) s.dirCounts = {};
  } else if (s.removedAny) {
    std::erase_if(s.outside, [this](const std::string& e) { return !list_.ContainsNoCase(e); });
  }
  s.names = {};
  s.dirs = {};
  s.missing = {};
  s.scanning = false;
  if (s.limitTold && list_.Count() < s.limit - s.limit / 10) s.limitTold = false;
  s.sweepRunning = false;
  ++s.sweepsDone;
}

}  // namespace mv
