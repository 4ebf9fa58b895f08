// SPDX-License-Identifier: GPL-3.0-or-later
// The component's properties, its worker's lifecycle and the hand-over to the main thread,
// against a change source driven by the test.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "FakeChangeSource.h"
#include "FileSystemWatcher/FileSystemWatcher.h"
#include "WatcherTestSupport.h"
#include "utility/Dispatcher.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using test::Eventually;
using test::TFakeHub;
using test::TRecorder;
using NF = TNotifyFilter;

// Keeps posted tasks until the test runs them: the worker then waits on a main thread that is
// busy elsewhere.
class THeldDispatcher final : public IMainThreadDispatcher {
 public:
  void Post(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  std::size_t Size() {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }
  bool WaitForTasks(std::size_t n, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Size() < n) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  void RunAll() {
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

TEST(NotifyFilters, MaskFollowsTheMembersAndSkips0x80) {
  EXPECT_EQ(NotifyFilterMask({NF::nfSecurityChange}), 0x100u);
  EXPECT_EQ(NotifyFilterMask({NF::nfFileNameChange, NF::nfDirNameChange}), 0x003u);
  EXPECT_EQ(NotifyFilterMask({}), 0u);
  const std::uint32_t bits[] = {0x001, 0x002, 0x004, 0x008, 0x010, 0x020, 0x040, 0x100};
  std::uint32_t all = 0;
  TNotifyFilters every;
  for (unsigned i = 0; i < 8; ++i) {
    EXPECT_EQ(NotifyFilterMask({static_cast<NF>(i)}), bits[i]) << i;
    all |= bits[i];
    every.Include(static_cast<NF>(i));
  }
  EXPECT_EQ(every.Bits(), 0xFF);
  EXPECT_EQ(NotifyFilterMask(every), all);
}

TEST(NotifyFilters, IsOneByteSetWithOneBitPerValueInOrder) {
  static_assert(sizeof(TNotifyFilters) == 1);
  TNotifyFilters s{NF::nfDirNameChange, NF::nfSecurityChange};
  EXPECT_EQ(s.Bits(), 0x82);
  EXPECT_TRUE(s.Contains(NF::nfSecurityChange));
  EXPECT_FALSE(s.Contains(NF::nfFileNameChange));
  s.Include(NF::nfFileNameChange);
  EXPECT_EQ(s, (TNotifyFilters{NF::nfFileNameChange, NF::nfDirNameChange, NF::nfSecurityChange}));
  EXPECT_FALSE(s == TNotifyFilters{});
}

TEST(FileOperation, NamesAreTheEnumerationNames) {
  EXPECT_STREQ(FileOperationName(TFileOperation::foAdded), "foAdded");
  EXPECT_STREQ(FileOperationName(TFileOperation::foRemoved), "foRemoved");
  EXPECT_STREQ(FileOperationName(TFileOperation::foModified), "foModified");
  EXPECT_STREQ(FileOperationName(TFileOperation::foRenamed), "foRenamed");
  EXPECT_EQ(static_cast<int>(TFileOperation::foRenamed), 3);
}

class ScopedHome {
 public:
  explicit ScopedHome(const char* value) {
    if (const char* h = std::getenv("HOME")) saved_ = h, had_ = true;
    if (value) {
      setenv("HOME", value, 1);
    } else {
      unsetenv("HOME");
    }
  }
  ~ScopedHome() {
    if (had_) {
      setenv("HOME", saved_.c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST(WatcherComponent, DefaultsOfANewComponent) {
  ScopedHome home("/home/someone");
  TQueueDispatcher loop;
  TFileSystemWatcher w(loop);
  EXPECT_FALSE(w.Actived());
  EXPECT_EQ(w.WatchedDir(), "/home/someone/");
  EXPECT_TRUE(w.WatchSubTree());
  EXPECT_EQ(w.NotifyFilters(), (TNotifyFilters{NF::nfFileNameChange, NF::nfDirNameChange}));
  EXPECT_FALSE(w.OnChange());
  EXPECT_EQ(w.LiveWorkerCount(), 0);
}

TEST(WatcherComponent, HomeFallsBackToThePasswordDatabase) {
  {
    ScopedHome home("/srv/x/");
    EXPECT_EQ(DefaultWatchedDir(), "/srv/x/");  // no second delimiter
  }
  ScopedHome none(nullptr);
  const passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  std::string expected = pw->pw_dir;
  if (expected.empty() || expected.back() != '/') expected += '/';
  EXPECT_EQ(DefaultWatchedDir(), expected);
}

TEST(WatcherComponent, SettersCompareBeforeTheyReopen) {
  ScopedHome home("/home/someone");
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder rec;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  ASSERT_EQ(hub.sources.size(), 1u);
  const auto base = w.ResetCount();
  EXPECT_GE(base, 1u);

  // The stored form value "C:\" in any case names the home directory the component holds.
  w.SetWatchedDir("c:\\");
  w.SetWatchedDir("C:\\");
  w.SetWatchedDir("c:/");
  w.SetWatchedDir("/HOME/SomeOne/");  // equal ignoring ASCII case: kept as it was
  EXPECT_EQ(w.WatchedDir(), "/home/someone/");
  w.SetWatchSubTree(true);
  w.SetNotifyFilters({NF::nfDirNameChange, NF::nfFileNameChange});
  w.SetActived(true);
  EXPECT_EQ(w.ResetCount(), base);

  w.SetWatchedDir("/home/someone/x");
  EXPECT_EQ(w.ResetCount(), base + 1);
  w.SetWatchSubTree(false);
  EXPECT_EQ(w.ResetCount(), base + 2);
  w.SetNotifyFilters({NF::nfSecurityChange});
  EXPECT_EQ(w.ResetCount(), base + 3);
  EXPECT_EQ(hub.sources.size(), 1u);

  // The worker ends up with the last options, the directory with its delimiter.
  auto& s = *hub.sources[0];
  ASSERT_TRUE(Eventually(
      loop,
      [&] {
        const auto o = s.Last();
        return o.directory == "/home/someone/x/" && o.notifyFilter == 0x100 && !o.watchSubTree;
      },
      5000));
}

TEST(WatcherComponent, ActivatingWithoutHandlerStartsNoWorker) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetActived(true);
  EXPECT_TRUE(w.Actived());
  EXPECT_TRUE(hub.sources.empty());
  EXPECT_EQ(w.LiveWorkerCount(), 0);
  // Assigning the handler while active starts it.
  TRecorder rec;
  int armed = 0;
  w.SetOnArmed([&](bool) { ++armed; });
  w.SetOnChange(rec.Handler());
  ASSERT_EQ(hub.sources.size(), 1u);
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 1; }, 5000));
  hub.sources[0]->Push({{caAdded, "a.mp3"}});
  ASSERT_TRUE(loop.RunUntil([&] { return rec.events.size() == 1; }, 5000));
  EXPECT_EQ(rec.events[0], (TFileEvent{TFileOperation::foAdded, w.WatchedDir() + "a.mp3", ""}));
}

TEST(WatcherComponent, OnOffOnLeavesExactlyOneWorkerDelivering) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder rec;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetWatchedDir("/data");
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  w.SetActived(false);
  w.SetActived(true);
  ASSERT_EQ(hub.sources.size(), 2u);
  ASSERT_TRUE(Eventually(
      loop, [&] { return w.LiveWorkerCount() == 1; }, 5000));
  for (auto& s : hub.sources) s->Push({{caAdded, "x"}});
  loop.RunUntil([] { return false; }, 200);
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{TFileOperation::foAdded, "/data/x", ""}}));
}

TEST(WatcherComponent, NewHandlerWhileActiveRetiresTheRunningWorker) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder first, second;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetWatchedDir("/d/");
  int armed = 0;
  w.SetOnArmed([&](bool) { ++armed; });
  w.SetOnChange(first.Handler());
  w.SetActived(true);
  w.SetOnChange(second.Handler());
  armed = 0;  // what the first worker posted does nothing now
  ASSERT_EQ(hub.sources.size(), 2u);
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 1; }, 5000));
  for (auto& s : hub.sources) s->Push({{caRemoved, "f"}});
  ASSERT_TRUE(loop.RunUntil([&] { return second.events.size() == 1; }, 5000));
  loop.RunUntil([] { return false; }, 100);
  EXPECT_TRUE(first.events.empty());
  EXPECT_EQ(second.events.size(), 1u);
  EXPECT_TRUE(Eventually(
      loop, [&] { return w.LiveWorkerCount() == 1; }, 5000));
  // Clearing the handler stops the worker.
  w.SetOnChange(nullptr);
  EXPECT_TRUE(Eventually(
      loop, [&] { return w.LiveWorkerCount() == 0; }, 5000));
  EXPECT_TRUE(w.Actived());
}

TEST(WatcherComponent, ABatchDecodedAfterSwitchingOffDeliversNothing) {
  THeldDispatcher main;
  TFakeHub hub;
  TRecorder rec;
  TFileSystemWatcher w(main, hub.Factory());
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  hub.sources[0]->Push({{caAdded, "late"}});
  ASSERT_TRUE(main.WaitForTasks(2));  // the arming notice and the batch
  w.SetActived(false);
  main.RunAll();
  EXPECT_TRUE(rec.events.empty());
}

TEST(WatcherComponent, DestroyingWhileTheWorkerWaitsOnTheMainThreadEndsIt) {
  THeldDispatcher main;
  TFakeHub hub;
  TRecorder rec;
  int armed = 0;
  {
    TFileSystemWatcher w(main, hub.Factory());
    w.SetOnArmed([&](bool) { ++armed; });
    w.SetOnChange(rec.Handler());
    w.SetActived(true);
    // More than the worker collects while a batch is out: it has to wait for this thread,
    // which is busy destroying the component.
    std::vector<TChangeRecord> records(40000, TChangeRecord{caAdded, "a"});
    hub.sources[0]->Push(std::move(records));
    ASSERT_TRUE(main.WaitForTasks(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(hub.sources[0]->Destroyed());  // the held tasks still refer to it
  main.RunAll();
  EXPECT_TRUE(rec.events.empty());
  EXPECT_EQ(armed, 0);
  EXPECT_TRUE(hub.sources[0]->Destroyed());
}

TEST(WatcherComponent, BatchesKeepRecordOrderAcrossHandOvers) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder rec;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetWatchedDir("/r");
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  // More than one hand-over's worth, pushed while the main thread is not running tasks.
  std::vector<TChangeRecord> records;
  const int n = 40000;
  for (int i = 0; i < n; ++i) records.push_back({caAdded, std::to_string(i)});
  records.push_back({caRenamedOld, "old"});
  records.push_back({caRenamedNew, "new"});
  hub.sources[0]->Push(std::move(records));
  ASSERT_TRUE(loop.RunUntil([&] { return rec.events.size() == n + 1u; }, 20000));
  for (int i = 0; i < n; ++i) ASSERT_EQ(rec.events[i].name1, "/r/" + std::to_string(i));
  EXPECT_EQ(rec.events.back(), (TFileEvent{TFileOperation::foRenamed, "/r/old", "/r/new"}));
}

TEST(WatcherComponent, AThrowingHandlerCostsNoEventsAndItsErrorReachesTheLoop) {
  TQueueDispatcher loop;
  TFakeHub hub;
  std::vector<std::string> seen;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetWatchedDir("/r/");
  w.SetOnChange([&](TFileOperation, const std::string& a, const std::string&) {
    seen.push_back(a);
    if (a == "/r/bad") throw EListError("列表索引越界 (1)");
  });
  w.SetActived(true);
  hub.sources[0]->Push({{caAdded, "bad"}, {caAdded, "good"}});
  bool thrown = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (seen.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    try {
      loop.RunUntil([&] { return seen.size() >= 2; }, 100);
    } catch (const EListError& e) {
      thrown = true;
      EXPECT_STREQ(e.what(), "列表索引越界 (1)");
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(seen, (std::vector<std::string>{"/r/bad", "/r/good"}));
  // The worker goes on.
  hub.sources[0]->Push({{caRemoved, "good"}});
  EXPECT_TRUE(loop.RunUntil([&] { return seen.size() == 3; }, 5000));
}

TEST(WatcherComponent, NoticesReachTheUserOncePerActivation) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder rec;
  std::vector<std::string> notices;
  TFileSystemWatcher w(loop, [&] {
    auto make = hub.Factory();
    auto source = make();
    hub.sources.back()->noticesOnOpen = {"第一", "第二"};
    return source;
  });
  int armed = 0;
  w.SetOnArmed([&](bool) { ++armed; });
  w.SetOnNotice([&](const std::string& t) { notices.push_back(t); });
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 1; }, 5000));
  w.SetWatchedDir("/elsewhere");  // reopens: no second notice from the same worker
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 2; }, 5000));
  EXPECT_EQ(hub.sources[0]->Opens(), 2);
  EXPECT_EQ(notices, std::vector<std::string>{"第一"});
}

// The download list may skip checking an entry only while the watch is live; every removal the
// watcher saw or may have missed reaches it in order with the changes.
TEST(WatcherComponent, LiveOnlyFromTheSourcesWordUntilABreakOrAReopen) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder rec;
  std::vector<std::pair<std::string, bool>> removed;
  TFileSystemWatcher w(loop, hub.Factory());
  w.SetWatchedDir("/r");
  w.SetOnMayHaveRemoved([&](const std::string& p, bool sub) { removed.emplace_back(p, sub); });
  int armed = 0;
  w.SetOnArmed([&](bool) { ++armed; });
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 1; }, 5000));
  EXPECT_FALSE(w.IsLive());  // armed is not live until the source says the tree is watched
  EXPECT_EQ(w.LiveRoot(), "");
  auto& s = *hub.sources[0];
  using TRemoved = std::vector<std::pair<std::string, bool>>;

  s.PushLive();
  ASSERT_TRUE(loop.RunUntil([&] { return w.IsLive(); }, 5000));
  EXPECT_EQ(w.LiveRoot(), "/r/");
  EXPECT_EQ(removed, (TRemoved{{"/r/", true}}));

  removed.clear();
  s.Push({{caAdded, "d"}, {caRemoved, "a"}, {caRenamedOld, "b"}, {caRenamedNew, "c"}});
  s.PushMayHaveRemoved("gone/dir", true);
  s.Push({{caRenamedOld, "moved-out"}, {caAdded, "e"}});
  ASSERT_TRUE(loop.RunUntil([&] { return rec.events.size() == 4; }, 5000));
  EXPECT_EQ(
      removed,
      (TRemoved{{"/r/a", true}, {"/r/b", true}, {"/r/gone/dir", true}, {"/r/moved-out", true}}));
  EXPECT_TRUE(w.IsLive());  // removals seen are no break

  removed.clear();
  s.PushMayHaveRemoved("", true);
  ASSERT_TRUE(loop.RunUntil([&] { return !w.IsLive(); }, 5000));
  EXPECT_EQ(removed, (TRemoved{{"/r/", true}}));
  EXPECT_EQ(w.LiveRoot(), "");
  s.PushLive();
  ASSERT_TRUE(loop.RunUntil([&] { return w.IsLive(); }, 5000));

  // Any reopen ends it at once, and so does switching off.
  w.SetWatchedDir("/s");
  EXPECT_FALSE(w.IsLive());
  s.PushLive();
  ASSERT_TRUE(loop.RunUntil([&] { return w.IsLive(); }, 5000));
  EXPECT_EQ(w.LiveRoot(), "/s/");
  w.SetActived(false);
  EXPECT_FALSE(w.IsLive());
  EXPECT_EQ(w.LiveRoot(), "");
}

TEST(WatcherComponent, ALiveWordOfAnEarlierConfigurationDoesNotCount) {
  THeldDispatcher main;
  TFakeHub hub;
  TRecorder rec;
  int removals = 0;
  TFileSystemWatcher w(main, [&] {
    auto source = hub.Factory()();
    hub.sources.back()->liveOnOpen = true;
    return source;
  });
  w.SetOnMayHaveRemoved([&](const std::string&, bool) { ++removals; });
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  ASSERT_TRUE(main.WaitForTasks(2));  // live, then armed
  {
    std::lock_guard lock(hub.sources[0]->mutex);
    hub.sources[0]->liveOnOpen = false;
  }
  w.SetWatchedDir("/elsewhere");
  ASSERT_TRUE(main.WaitForTasks(3));
  main.RunAll();
  EXPECT_FALSE(w.IsLive());
  EXPECT_EQ(removals, 0);
}

TEST(WatcherComponent, NoticesCarryTheirKindAndOnlyLimitsAreOncePerWorker) {
  TQueueDispatcher loop;
  TFakeHub hub;
  TRecorder rec;
  using TKinded = std::vector<std::pair<TNoticeKind, std::string>>;
  const TKinded said = {{TNoticeKind::nkLimit, "限"},
                        {TNoticeKind::nkGone, "无"},
                        {TNoticeKind::nkRecovered, "回"},
                        {TNoticeKind::nkResumed, "复"}};
  TFileSystemWatcher w(loop, [&] {
    auto source = hub.Factory()();
    hub.sources.back()->kindNoticesOnOpen = said;
    return source;
  });
  int armed = 0;
  w.SetOnArmed([&](bool) { ++armed; });
  TKinded all;
  w.SetOnNoticeOfKind([&](TNoticeKind k, const std::string& t) { all.emplace_back(k, t); });
  w.SetOnChange(rec.Handler());
  w.SetActived(true);
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 1; }, 5000));
  EXPECT_EQ(all, said);
  // The plain form is the window's: it hears nothing of what a rescan recovered.
  std::vector<std::string> shown;
  w.SetOnNotice([&](const std::string& t) { shown.push_back(t); });
  w.SetWatchedDir("/again");
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 2; }, 5000));
  EXPECT_EQ(shown, (std::vector<std::string>{"无", "复"}));
}

TEST(WatcherNotices, NameTheDirectoryOrTheCount) {
  for (const std::string& text :
       {DirectoryGoneNotice("/m/"), DirectoryMissingNotice("/m/"), DirectoryResumedNotice("/m/")}) {
    EXPECT_NE(text.find("/m/"), std::string::npos) << text;
  }
  EXPECT_NE(DirectoryGoneNotice("/m/"), DirectoryMissingNotice("/m/"));
  EXPECT_NE(OverflowRecoveredNotice(16384).find("16384"), std::string::npos);
  EXPECT_EQ(OverflowRecoveredNotice(1).find('\n'), std::string::npos);
}

}  // namespace
}  // namespace mv
