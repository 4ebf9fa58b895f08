// SPDX-License-Identifier: GPL-3.0-or-later
// The ReadDirectoryChangesW change source on its own, and behind the watcher component, on
// real directories.
#include <windows.h>
// tlhelp32.h needs the types of windows.h.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FileSystemWatcher/ChangeRecords.h"
#include "FileSystemWatcher/DirectoryChangeSource_windows.h"
#include "FileSystemWatcher/FileSystemWatcher.h"
#include "WinTempDir.h"
#include "utility/Dispatcher.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFile;

using K = TChangeKind;

class TCollectSink final : public IChangeSink {
 public:
  void Report(TChange change) override { records.push_back(std::move(change)); }
  bool Interrupted() const override { return false; }
  void Notice(TNoticeKind kind, const std::string& text) override {
    notices.emplace_back(kind, text);
  }
  void Live() override { ++lives; }
  void MayHaveRemoved(std::string rel, bool subtree) override {
    removed.emplace_back(std::move(rel), subtree);
  }
  TChanges records;
  std::vector<std::pair<TNoticeKind, std::string>> notices;
  std::vector<std::pair<std::string, bool>> removed;
  int lives = 0;

  int Count(K kind, const std::string& name) const {
    int n = 0;
    for (const auto& r : records) n += r.kind == kind && r.name == name;
    return n;
  }
  int Notices(TNoticeKind kind) const {
    int n = 0;
    for (const auto& [k, text] : notices) n += k == kind;
    return n;
  }
  int Breaks() const {
    int n = 0;
    for (const auto& [rel, subtree] : removed) n += rel.empty() && subtree;
    return n;
  }
  std::vector<TFileEvent> Events(const std::string& dir) const {
    std::vector<TFileEvent> events;
    for (const auto& r : records) events.push_back(ChangeEvent(r, dir));
    return events;
  }
};

std::string Dump(const TChanges& records) {
  std::string out;
  for (const auto& r : records) {
    out += "\n  " + std::to_string(static_cast<int>(r.kind)) + " " + r.name + " " + r.newName;
  }
  return out;
}

// Wakes the source now and then, so that a wait that finds nothing still returns.
class TTicker {
 public:
  explicit TTicker(IChangeSource& source)
      : thread_([this, &source] {
          while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            source.Wake();
          }
        }) {}
  ~TTicker() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Collects until pred() holds or the time is up; then a little longer, to catch what should
// not come.
template <typename Pred>
bool CollectUntil(IChangeSource& source, TCollectSink& sink, Pred pred, int timeoutMs = 5000) {
  TTicker ticker(source);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred() && std::chrono::steady_clock::now() < deadline) source.WaitAndCollect(sink);
  const bool met = pred();
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < settle) source.WaitAndCollect(sink);
  return met;
}

TWatchOptions Options(const TTempDir& t, std::uint32_t filter = 0x001, bool subtree = true) {
  return TWatchOptions{t.Dir(), filter, subtree};
}

// Runs the loop until pred() holds, looking at it every few milliseconds: worker threads end
// without posting anything that would wake the loop.
template <typename Pred>
bool PollUntil(TQueueDispatcher& loop, Pred pred, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    loop.RunPending();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(5);
  }
}

DWORD HandleCount() {
  DWORD n = 0;
  GetProcessHandleCount(GetCurrentProcess(), &n);
  return n;
}

int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 e{};
  e.dwSize = sizeof e;
  int n = 0;
  for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
    n += e.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snap);
  return n;
}

TEST(DirectoryChangeSource, ASubtreeWatchOfFileNamesAlsoReadsDirectoryNames) {
  EXPECT_EQ(TDirectoryChangeSource::NeedsDirectoryRead(0x001, true), true);
  EXPECT_EQ(TDirectoryChangeSource::NeedsDirectoryRead(0x001, false), false);
  EXPECT_EQ(TDirectoryChangeSource::NeedsDirectoryRead(0x003, true), false);
  EXPECT_EQ(TDirectoryChangeSource::NeedsDirectoryRead(0x110, true), false);
}

// Wine watches only the subdirectories created after a subtree watch began (Wine 8: files in
// older ones are never reported); Windows watches them all. The trees here grow after Open.
TEST(DirectoryChangeSource, ReportsCreationsRenamesAndRemovalsBelowTheRoot) {
  TTempDir t;
  WriteFile(t / "old.part", "");
  TDirectoryChangeSource source;
  TCollectSink sink;
  ASSERT_TRUE(source.Open(Options(t), sink));
  CreateDirectoryA((t / "x").c_str(), nullptr);
  WriteFile(t / "a.mp3", "");
  WriteFile(t / "x\\b.mp3", "");
  ASSERT_TRUE(MoveFileA((t / "old.part").c_str(), (t / "song.mp3").c_str()));
  ASSERT_TRUE(DeleteFileA((t / "a.mp3").c_str()));
  ASSERT_TRUE(CollectUntil(source, sink, [&] { return sink.Count(K::ckRemoved, "a.mp3") == 1; }));
  EXPECT_EQ(sink.Count(K::ckAdded, "a.mp3"), 1);
  EXPECT_EQ(sink.Count(K::ckAdded, "x\\b.mp3"), 1);

  const std::vector<TFileEvent> events = sink.Events(t.Dir());
  const TFileEvent renamed{TFileOperation::foRenamed, t / "old.part", t / "song.mp3"};
  EXPECT_EQ(std::count(events.begin(), events.end(), renamed), 1) << Dump(sink.records);
  const TFileEvent sub{TFileOperation::foAdded, t / "x\\b.mp3", ""};
  EXPECT_EQ(std::count(events.begin(), events.end(), sub), 1) << Dump(sink.records);
  source.Close();
}

TEST(DirectoryChangeSource, WithoutSubtreeOnlyTheRootCounts) {
  TTempDir t;
  CreateDirectoryA((t / "x").c_str(), nullptr);
  TDirectoryChangeSource source;
  TCollectSink sink;
  ASSERT_TRUE(source.Open(Options(t, 0x001, false), sink));
  WriteFile(t / "x\\deep.mp3", "");
  WriteFile(t / "top.mp3", "");
  ASSERT_TRUE(CollectUntil(source, sink, [&] { return sink.Count(K::ckAdded, "top.mp3") == 1; }));
  EXPECT_EQ(sink.Count(K::ckAdded, "x\\deep.mp3"), 0);
}

TEST(DirectoryChangeSource, NamesWithTrailingSpacesAreTrimmedAsTheRecordsAlwaysWere) {
  TTempDir t;
  TDirectoryChangeSource source;
  TCollectSink sink;
  ASSERT_TRUE(source.Open(Options(t), sink));
  // Only the "\\?\" form keeps the spaces: ordinary names lose them on the way in.
  const std::string spaced = "\\\\?\\" + (t / "spaced.mp3  ");
  HANDLE h = CreateFileA(spaced.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(h);
  ASSERT_TRUE(CollectUntil(source, sink, [&] { return !sink.records.empty(); }));
  ASSERT_EQ(sink.records.size(), 1u);
  const std::vector<TFileEvent> events = sink.Events(t.Dir());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name1, t / "spaced.mp3");
  DeleteFileA(spaced.c_str());
}

TEST(DirectoryChangeSource, ANewDirectoryWithFilesAtOnceMissesNoneAndTellsNoneTwice) {
  TTempDir t;
  TDirectoryChangeSource source;
  TCollectSink sink;
  ASSERT_TRUE(source.Open(Options(t), sink));
  constexpr int kDirs = 20;
  constexpr int kFiles = 20;
  for (int d = 0; d < kDirs; ++d) {
    const std::string dir = t / ("burst" + std::to_string(d));
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    for (int f = 0; f < kFiles; ++f) WriteFile(dir + "\\f" + std::to_string(f) + ".mp3", "");
  }
  auto all = [&] {
    std::map<std::string, int> seen;
    for (const auto& r : sink.records) seen[r.name] += r.kind == K::ckAdded;
    for (int d = 0; d < kDirs; ++d) {
      for (int f = 0; f < kFiles; ++f) {
        if (seen["burst" + std::to_string(d) + "\\f" + std::to_string(f) + ".mp3"] == 0) {
          return false;
        }
      }
    }
    return true;
  };
  EXPECT_TRUE(CollectUntil(source, sink, all, 10000));
  std::map<std::string, int> counts;
  for (const auto& r : sink.records) ++counts[r.name];
  for (const auto& [name, n] : counts) EXPECT_EQ(n, 1) << name;
  // Asked for file names only: the directories themselves are not reported.
  EXPECT_EQ(counts.count("burst0"), 0u);
  EXPECT_EQ(source.NewDirectoryScans(), static_cast<std::uint64_t>(kDirs));
}

TEST(DirectoryChangeSource, DirectoriesAreReportedOnlyWhenAskedFor) {
  TTempDir t;
  for (std::uint32_t filter : {0x001u, 0x003u}) {
    TDirectoryChangeSource source;
    TCollectSink sink;
    ASSERT_TRUE(source.Open(Options(t, filter), sink));
    ASSERT_TRUE(CreateDirectoryA((t / "d").c_str(), nullptr));
    ASSERT_TRUE(MoveFileA((t / "d").c_str(), (t / "e").c_str()));
    ASSERT_TRUE(RemoveDirectoryA((t / "e").c_str()));
    WriteFile(t / "marker", "");
    ASSERT_TRUE(CollectUntil(source, sink, [&] { return sink.Count(K::ckAdded, "marker") == 1; }));
    DeleteFileA((t / "marker").c_str());
    if (filter == 0x001u) {
      EXPECT_EQ(sink.records.size(), 1u) << Dump(sink.records);
    } else {
      EXPECT_EQ(sink.Count(K::ckAdded, "d"), 1);
      EXPECT_EQ(sink.Count(K::ckRenamed, "d"), 1);
      EXPECT_EQ(sink.Count(K::ckRemoved, "e"), 1);
    }
  }
}

TEST(DirectoryChangeSource, DroppedChangesAreRecoveredByARescan) {
  TTempDir t;
  TDirectoryChangeSource source;
  TCollectSink sink;
  ASSERT_TRUE(source.Open(Options(t), sink));
  WriteFile(t / "first.mp3", "");
  ASSERT_TRUE(CollectUntil(source, sink, [&] { return sink.Count(K::ckAdded, "first.mp3") == 1; }));
  // Nobody collects meanwhile: far more records than the buffer holds pile up, and the
  // system gives up on them.
  constexpr int kFiles = 1500;
  const std::string pad(60, 'n');
  for (int i = 0; i < kFiles; ++i) WriteFile(t / (pad + std::to_string(i) + ".mp3"), "");
  auto all = [&] {
    for (int i = 0; i < kFiles; ++i) {
      if (sink.Count(K::ckAdded, pad + std::to_string(i) + ".mp3") == 0) return false;
    }
    return true;
  };
  EXPECT_TRUE(CollectUntil(source, sink, all, 15000));
  EXPECT_GE(source.RescanCount(), 1u);
  std::map<std::string, int> counts;
  for (const auto& r : sink.records) counts[r.name] += r.kind == K::ckAdded;
  EXPECT_EQ(counts["first.mp3"], 1);  // reported before the overflow: not again
  for (const auto& [name, n] : counts) EXPECT_LE(n, 1) << name;
  // Each overflow breaks the watch until its rescan, which says once what it recovered.
  EXPECT_GE(sink.Breaks(), 1);
  EXPECT_EQ(sink.Notices(TNoticeKind::nkRecovered), static_cast<int>(source.RescanCount()));
  EXPECT_EQ(sink.lives, 1 + static_cast<int>(source.RescanCount()));
}

TEST(DirectoryChangeSource, AMissingDirectoryGivesNothingAndStillWakes) {
  TTempDir t;
  TDirectoryChangeSource source;
  TCollectSink sink;
  EXPECT_FALSE(source.Open(TWatchOptions{t / "missing\\", 0x001, true}, sink));
  EXPECT_FALSE(source.Open(TWatchOptions{t / "missing\\deeper\\", 0x001, true}, sink));
  WriteFile(t / "x.mp3", "");
  EXPECT_FALSE(source.Open(TWatchOptions{t / "x.mp3", 0x001, true}, sink));  // not a directory
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    source.Wake();
  });
  const auto start = std::chrono::steady_clock::now();
  source.WaitAndCollect(sink);
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(sink.records.empty());
  // Created later: a reopen finds it.
  ASSERT_TRUE(CreateDirectoryA((t / "missing").c_str(), nullptr));
  EXPECT_TRUE(source.Open(TWatchOptions{t / "missing\\", 0x001, true}, sink));
}

TEST(DirectoryChangeSource, LiveOnlyWhereEveryRemovalBelowTheRootIsSeen) {
  TTempDir t;
  const struct {
    std::uint32_t filter;
    bool subtree;
    int lives;
  } cases[] = {{0x001, true, 1}, {0x003, true, 1}, {0x001, false, 0}, {0x002, true, 0}};
  for (const auto& c : cases) {
    TDirectoryChangeSource source;
    TCollectSink sink;
    ASSERT_TRUE(source.Open(Options(t, c.filter, c.subtree), sink));
    EXPECT_EQ(sink.lives, c.lives) << c.filter << " " << c.subtree;
  }
}

// Download clients finish a folder by renaming it: every file is at a new place that no record
// names.
TEST(DirectoryChangeSource, AFolderRenamedAtOnceIsListedWholeAtItsNewPlaceOnce) {
  TTempDir t;
  for (std::uint32_t filter : {0x001u, 0x003u}) {
    TDirectoryChangeSource source;
    TCollectSink sink;
    ASSERT_TRUE(source.Open(Options(t, filter), sink));
    const std::string d = "d" + std::to_string(filter);
    const std::string d2 = d + "-done";
    ASSERT_TRUE(CreateDirectoryA((t / d).c_str(), nullptr));
    for (int f = 0; f < 20; ++f) WriteFile(t / (d + "\\f" + std::to_string(f) + ".mp3"), "x");
    ASSERT_TRUE(MoveFileA((t / d).c_str(), (t / d2).c_str()));
    auto all = [&] {
      for (int f = 0; f < 20; ++f) {
        if (sink.Count(K::ckAdded, d2 + "\\f" + std::to_string(f) + ".mp3") == 0) return false;
      }
      return true;
    };
    EXPECT_TRUE(CollectUntil(source, sink, all, 10000)) << filter << Dump(sink.records);
    for (int f = 0; f < 20; ++f) {
      EXPECT_LE(sink.Count(K::ckAdded, d2 + "\\f" + std::to_string(f) + ".mp3"), 1) << f;
    }
    // What was listed under the old name may be gone: the list hears of it.
    bool oldPlace = false;
    for (const auto& [rel, subtree] : sink.removed) oldPlace |= rel == d && subtree;
    oldPlace |= sink.Count(K::ckRenamed, d) == 1;
    EXPECT_TRUE(oldPlace) << filter;
  }
}

// Gone and made again, or missing at first: the user is told once, and watching resumes by
// itself with what the new directory holds.
TEST(DirectoryChangeSource, AWatchedDirectoryGoneOrMissingIsToldAndWatchedWhenBack) {
  TTempDir t;
  const std::string w = t / "w";
  for (const bool missingAtFirst : {true, false}) {
    TDirectoryChangeSource source;
    TCollectSink sink;
    if (!missingAtFirst) {
      ASSERT_TRUE(CreateDirectoryA(w.c_str(), nullptr));
    }
    EXPECT_EQ(source.Open(TWatchOptions{w + "\\", 0x001, true}, sink), !missingAtFirst);
    if (!missingAtFirst) {
      WriteFile(w + "\\before.mp3", "x");
      ASSERT_TRUE(CollectUntil(source, sink, [&] { return !sink.records.empty(); }));
      // Moved away. (Deleted, it would stay under Wine as long as a handle is open on it, and
      // nothing tells: Wine 8 reports no pending deletion. Deleted from the Linux side, it goes
      // at once; the contract script does that.)
      ASSERT_TRUE(MoveFileA(w.c_str(), (w + "-away").c_str())) << GetLastError();
      ASSERT_TRUE(CollectUntil(
          source, sink, [&] { return sink.Notices(TNoticeKind::nkGone) == 1; }, 5000))
          << Dump(sink.records);
      EXPECT_GE(sink.Breaks(), 1);
    }
    EXPECT_EQ(sink.Notices(TNoticeKind::nkGone), 1);
    const std::string told = sink.notices.back().second;
    EXPECT_EQ(told,
              missingAtFirst ? DirectoryMissingNotice(w + "\\") : DirectoryGoneNotice(w + "\\"));
    const int livesBefore = sink.lives;
    // Made again, with a file in it at once: both the file and what comes later are listed.
    for (int i = 0; i < 20 && !CreateDirectoryA(w.c_str(), nullptr); ++i) Sleep(100);
    WriteFile(w + "\\early.mp3", "x");
    ASSERT_TRUE(CollectUntil(
        source, sink, [&] { return sink.Notices(TNoticeKind::nkResumed) == 1; }, 5000));
    WriteFile(w + "\\late.mp3", "x");
    EXPECT_TRUE(CollectUntil(source, sink, [&] {
      return sink.Count(K::ckAdded, "late.mp3") == 1 && sink.Count(K::ckAdded, "early.mp3") == 1;
    })) << Dump(sink.records);
    EXPECT_EQ(sink.Count(K::ckAdded, "early.mp3"), 1);
    EXPECT_EQ(sink.Notices(TNoticeKind::nkGone), 1);
    EXPECT_EQ(sink.lives, livesBefore + 1);
    source.Close();
    DeleteFileA((w + "\\early.mp3").c_str());
    DeleteFileA((w + "\\late.mp3").c_str());
    RemoveDirectoryA(w.c_str());
    RemoveDirectoryA((w + "-away").c_str());
  }
}

TEST(DirectoryChangeSource, WakeEndsAWaitAtOnceAndIsNotLostBeforeIt) {
  TTempDir t;
  TDirectoryChangeSource source;
  TCollectSink sink;
  ASSERT_TRUE(source.Open(Options(t), sink));
  source.Wake();
  source.WaitAndCollect(sink);  // returns at once: the wake-up came first
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    source.Wake();
  });
  const auto start = std::chrono::steady_clock::now();
  source.WaitAndCollect(sink);
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  // A wake-up given just before a reopen is kept for the wait after it.
  source.Wake();
  ASSERT_TRUE(source.Open(Options(t), sink));
  const auto again = std::chrono::steady_clock::now();
  source.WaitAndCollect(sink);
  EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(3));
  EXPECT_TRUE(sink.records.empty());
}

TEST(DirectoryChangeSource, ReopeningAndClosingLeakNoHandles) {
  TTempDir t;
  CreateDirectoryA((t / "other").c_str(), nullptr);
  TCollectSink sink;
  {
    TDirectoryChangeSource warm;  // first use of the system's machinery
    warm.Open(Options(t), sink);
  }
  const DWORD before = HandleCount();
  {
    TDirectoryChangeSource source;
    for (int i = 0; i < 200; ++i) {
      ASSERT_TRUE(source.Open(Options(t), sink));
      source.Open(TWatchOptions{t / "missing\\", 0x001, true}, sink);
    }
    ASSERT_TRUE(source.Open(TWatchOptions{t / "other\\", 0x001, true}, sink));
    WriteFile(t / "root.mp3", "");
    WriteFile(t / "other\\here.mp3", "");
    ASSERT_TRUE(CollectUntil(source, sink, [&] { return !sink.records.empty(); }));
    EXPECT_EQ(sink.Count(K::ckAdded, "here.mp3"), 1);
    EXPECT_EQ(sink.Count(K::ckAdded, "root.mp3"), 0);
  }
  for (int i = 0; i < 200; ++i) {
    TDirectoryChangeSource source;
    source.Open(Options(t), sink);
  }
  EXPECT_EQ(HandleCount(), before);
}

// The component on Windows: full names with "\", and switching it on and off.
TEST(WatcherWindows, DeliversFullNamesWithBackslashesOnTheMainThread) {
  TTempDir t;
  TQueueDispatcher loop;
  TFileSystemWatcher watcher(loop);
  std::vector<TFileEvent> events;
  const DWORD mainThread = GetCurrentThreadId();
  bool offThread = false;
  bool armed = false;
  watcher.SetOnArmed([&](bool watching) { armed = watching; });
  watcher.SetOnChange([&](TFileOperation op, const std::string& a, const std::string& b) {
    offThread |= GetCurrentThreadId() != mainThread;
    events.push_back(TFileEvent{op, a, b});
  });
  watcher.SetNotifyFilters({TNotifyFilter::nfFileNameChange});
  watcher.SetWatchedDir(t.Dir());
  watcher.SetActived(true);
  ASSERT_TRUE(loop.RunUntil([&] { return armed; }, 5000));
  CreateDirectoryA((t / "x").c_str(), nullptr);
  WriteFile(t / "x\\a.mp3", "");
  ASSERT_TRUE(loop.RunUntil([&] { return !events.empty(); }, 5000));
  EXPECT_EQ(events[0], (TFileEvent{TFileOperation::foAdded, t / "x\\a.mp3", ""}));
  EXPECT_FALSE(offThread);
  EXPECT_EQ(watcher.WatchedDir(), t.Dir());
}

TEST(WatcherWindows, SwitchingOnAndOff200TimesLeavesNoThreadsOrHandles) {
  TTempDir t;
  TQueueDispatcher loop;
  TFileSystemWatcher watcher(loop);
  int added = 0;
  watcher.SetOnChange([&](TFileOperation op, const std::string&, const std::string&) {
    added += op == TFileOperation::foAdded;
  });
  watcher.SetWatchedDir(t.Dir());
  watcher.SetActived(true);  // warm-up: the first worker's one-time costs
  watcher.SetActived(false);
  ASSERT_TRUE(PollUntil(
      loop, [&] { return watcher.LiveWorkerCount() == 0; }, 5000));
  loop.RunPending();
  const DWORD handles = HandleCount();
  const int threads = ThreadCount();
  for (int i = 0; i < 200; ++i) {
    watcher.SetActived(true);
    watcher.SetActived(false);
    loop.RunPending();
  }
  ASSERT_TRUE(PollUntil(
      loop, [&] { return watcher.LiveWorkerCount() == 0; }, 10000));
  loop.RunPending();  // tasks the workers posted hold what they shared with them
  // A worker counts itself out just before its thread ends, and the system may list the thread
  // a moment longer (seen once under load: 2 threads for 1); a leak stays.
  PollUntil(
      loop, [&] { return ThreadCount() == threads && HandleCount() == handles; }, 5000);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(HandleCount(), handles);

  // And it still works afterwards, with exactly one worker delivering.
  bool armed = false;
  watcher.SetOnArmed([&](bool watching) { armed = watching; });
  watcher.SetActived(true);
  ASSERT_TRUE(loop.RunUntil([&] { return armed; }, 5000));
  WriteFile(t / "after.mp3", "");
  ASSERT_TRUE(loop.RunUntil([&] { return added > 0; }, 5000));
  loop.RunUntil([] { return false; }, 300);
  EXPECT_EQ(added, 1);
  EXPECT_EQ(watcher.LiveWorkerCount(), 1);
}

}  // namespace
}  // namespace mv
