// SPDX-License-Identifier: GPL-3.0-or-later
// The component over the inotify source on real temporary trees.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "FileSystemWatcher/InotifyChangeSource_linux.h"
#include "WatcherTestSupport.h"
#include "utility/Dispatcher.h"

namespace mv {
namespace {

using test::MakeDir;
using test::MakeFile;
using test::TRecorder;
using test::TTempDir;
using NF = TNotifyFilter;
using Op = TFileOperation;

std::string ReadFirstWord(const std::string& file) {
  std::ifstream in(file);
  std::string s;
  in >> s;
  return s;
}

class InotifyWatch : public ::testing::Test {
 protected:
  void Watch(TNotifyFilters filters = {NF::nfFileNameChange}, bool subtree = true,
             std::string dir = {}, TChangeSourceFactory factory = nullptr) {
    w = std::make_unique<TFileSystemWatcher>(loop, std::move(factory));
    w->SetWatchedDir(dir.empty() ? tmp.Path() : dir);
    w->SetWatchSubTree(subtree);
    w->SetNotifyFilters(filters);
    w->SetOnNotice([this](const std::string& t) { notices.push_back(t); });
    w->SetOnArmed([this](bool ok) {
      ++armed;
      watching = ok;
    });
    w->SetOnChange(rec.Handler());
    w->SetActived(true);
    ASSERT_TRUE(loop.RunUntil([&] { return armed > 0; }, 20000));
  }
  bool WaitEvents(std::size_t n, int ms = 10000) {
    return loop.RunUntil([&] { return rec.events.size() >= n; }, ms);
  }
  // Lets anything still under way arrive.
  void Quiet(int ms = 200) {
    loop.RunUntil([] { return false; }, ms);
  }
  std::string Root() const { return tmp.Path() + "/"; }

  TTempDir tmp;
  TQueueDispatcher loop;
  TRecorder rec;
  std::vector<std::string> notices;
  int armed = 0;
  bool watching = false;
  std::unique_ptr<TFileSystemWatcher> w;
};

TEST_F(InotifyWatch, CreationsInRootAndSubdirectoryGiveFullNames) {
  MakeDir(tmp / "x");
  Watch();
  EXPECT_TRUE(watching);
  MakeFile(tmp / "a.mp3");
  MakeFile(tmp / "x/a.mp3");
  ASSERT_TRUE(WaitEvents(2));
  Quiet();
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, Root() + "a.mp3", ""},
                                                 {Op::foAdded, Root() + "x/a.mp3", ""}}));
  EXPECT_TRUE(notices.empty());
}

TEST_F(InotifyWatch, WithoutSubtreeOnlyTheDirectoryItselfCounts) {
  MakeDir(tmp / "x");
  Watch({NF::nfFileNameChange}, false);
  MakeFile(tmp / "x/inner");
  MakeDir(tmp / "y");
  MakeFile(tmp / "y/inner");
  MakeFile(tmp / "top");
  ASSERT_TRUE(WaitEvents(1));
  Quiet();
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, Root() + "top", ""}}));
}

TEST_F(InotifyWatch, RenamesWithinTheTreeAreOneEvent) {
  MakeDir(tmp / "x");
  MakeDir(tmp / "y");
  MakeFile(tmp / "x/a.part");
  MakeFile(tmp / "b");
  Watch();
  ASSERT_EQ(std::rename((tmp / "x/a.part").c_str(), (tmp / "x/a.mp3").c_str()), 0);
  ASSERT_EQ(std::rename((tmp / "x/a.mp3").c_str(), (tmp / "y/a.mp3").c_str()), 0);
  ASSERT_EQ(std::rename((tmp / "b").c_str(), (tmp / "x/b").c_str()), 0);
  ASSERT_TRUE(WaitEvents(3));
  Quiet();
  EXPECT_EQ(rec.events,
            (std::vector<TFileEvent>{{Op::foRenamed, Root() + "x/a.part", Root() + "x/a.mp3"},
                                     {Op::foRenamed, Root() + "x/a.mp3", Root() + "y/a.mp3"},
                                     {Op::foRenamed, Root() + "b", Root() + "x/b"}}));
}

TEST_F(InotifyWatch, ARenamedDirectoryTakesItsWholeSubtreeAlong) {
  MakeDir(tmp / "d/e/f");
  Watch({NF::nfFileNameChange, NF::nfDirNameChange});
  ASSERT_EQ(std::rename((tmp / "d").c_str(), (tmp / "d2").c_str()), 0);
  MakeFile(tmp / "d2/e/f/song.mp3");
  MakeFile(tmp / "d2/e/g");
  ASSERT_TRUE(WaitEvents(3));
  Quiet();
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foRenamed, Root() + "d", Root() + "d2"},
                                                 {Op::foAdded, Root() + "d2/e/f/song.mp3", ""},
                                                 {Op::foAdded, Root() + "d2/e/g", ""}}));
}

TEST_F(InotifyWatch, MovesInAreAdditionsAndMovesOutRemovals) {
  TTempDir outside;
  MakeFile(outside / "in.mp3");
  MakeDir(tmp / "leaving");
  MakeFile(tmp / "out.mp3");
  Watch({NF::nfFileNameChange, NF::nfDirNameChange});
  ASSERT_EQ(std::rename((outside / "in.mp3").c_str(), (tmp / "in.mp3").c_str()), 0);
  ASSERT_EQ(std::rename((tmp / "out.mp3").c_str(), (outside / "out.mp3").c_str()), 0);
  ASSERT_EQ(std::rename((tmp / "leaving").c_str(), (outside / "leaving").c_str()), 0);
  // Outside the tree now: its watch is gone with it.
  MakeFile(outside / "leaving/later");
  ASSERT_TRUE(WaitEvents(3));
  Quiet();
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, Root() + "in.mp3", ""},
                                                 {Op::foRemoved, Root() + "out.mp3", ""},
                                                 {Op::foRemoved, Root() + "leaving", ""}}));
}

TEST_F(InotifyWatch, NamesAreTrimmedOfTrailingSpaces) {
  Watch();
  MakeFile(tmp / "song.mp3  ");
  MakeFile(tmp / "   ");
  ASSERT_TRUE(WaitEvents(2));
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, Root() + "song.mp3", ""},
                                                 {Op::foAdded, "", ""}}));
}

TEST_F(InotifyWatch, DirectoriesAreReportedOnlyWithTheDirectoryFilter) {
  Watch({NF::nfFileNameChange});
  MakeDir(tmp / "newdir");
  MakeFile(tmp / "newdir/f");
  ASSERT_EQ(std::rename((tmp / "newdir").c_str(), (tmp / "renamed").c_str()), 0);
  MakeFile(tmp / "renamed/g");
  ASSERT_TRUE(WaitEvents(2));
  Quiet();
  ASSERT_EQ(rec.events.size(), 2u);
  // f is named where it was when the watcher met it: before the rename, or listed at the new
  // place when the rename came first.
  EXPECT_TRUE(rec.events[0] == (TFileEvent{Op::foAdded, Root() + "newdir/f", ""}) ||
              rec.events[0] == (TFileEvent{Op::foAdded, Root() + "renamed/f", ""}))
      << rec.events[0].name1;
  EXPECT_EQ(rec.events[1], (TFileEvent{Op::foAdded, Root() + "renamed/g", ""}));
}

TEST_F(InotifyWatch, DirectoriesCreatedWithFilesAtOnceMissNoneAndRepeatNone) {
  Watch();
  constexpr int kDirs = 60;
  constexpr int kFiles = 20;
  std::thread maker([&] {
    for (int d = 0; d < kDirs; ++d) {
      const std::string dir = tmp / ("d" + std::to_string(d));
      MakeDir(dir);
      // Some below a second new level, so that a scan meets a directory it has to enter.
      const std::string sub = d % 3 == 0 ? dir + "/s" : dir;
      if (sub != dir) MakeDir(sub);
      for (int f = 0; f < kFiles; ++f) MakeFile(sub + "/f" + std::to_string(f) + ".mp3");
    }
  });
  const std::size_t expected = kDirs * kFiles;
  const bool all = WaitEvents(expected, 20000);
  maker.join();
  Quiet(300);
  EXPECT_TRUE(all);
  const auto counts = rec.AddedCounts();
  EXPECT_EQ(counts.size(), expected);
  for (const auto& [name, n] : counts) EXPECT_EQ(n, 1) << name;
  EXPECT_EQ(rec.events.size(), expected);
}

TEST_F(InotifyWatch, ANestedTreeMovedInIsReportedWholeAndWatched) {
  TTempDir outside;
  std::set<std::string> expected;
  for (const char* rel : {"t/a.mp3", "t/b.wav", "t/l1/c", "t/l1/l2/d", "t/l1/l2/l3/e", "t/m/f"}) {
    const std::string path = outside / rel;
    MakeDir(path.substr(0, path.rfind('/')));
    MakeFile(path);
    expected.insert(Root() + rel);
  }
  Watch();
  ASSERT_EQ(std::rename((outside / "t").c_str(), (tmp / "t").c_str()), 0);
  ASSERT_TRUE(WaitEvents(expected.size()));
  MakeFile(tmp / "t/l1/l2/l3/later");
  ASSERT_TRUE(WaitEvents(expected.size() + 1));
  Quiet();
  std::set<std::string> got;
  for (std::size_t i = 0; i + 1 < rec.events.size(); ++i) {
    EXPECT_EQ(rec.events[i].operation, Op::foAdded);
    got.insert(rec.events[i].name1);
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(rec.events.size(), expected.size() + 1);
  EXPECT_EQ(rec.events.back(), (TFileEvent{Op::foAdded, Root() + "t/l1/l2/l3/later", ""}));
}

TEST_F(InotifyWatch, ContentAndAttributeFiltersReportModifications) {
  MakeFile(tmp / "f");
  MakeFile(tmp / "g");
  Watch({NF::nfWriteChange, NF::nfAttributeChange});
  MakeFile(tmp / "new");  // a creation alone is not asked for...
  Quiet(100);
  rec.events.clear();  // ...but the write that closes it is
  {
    std::ofstream out(tmp / "f", std::ios::app);
    out << "more";
  }
  ASSERT_TRUE(WaitEvents(1));
  ASSERT_EQ(chmod((tmp / "g").c_str(), 0600), 0);
  ASSERT_TRUE(WaitEvents(2));
  Quiet();
  std::set<std::string> names;
  for (const auto& e : rec.events) {
    EXPECT_EQ(e.operation, Op::foModified);
    names.insert(e.name1);
  }
  EXPECT_EQ(names, (std::set<std::string>{Root() + "f", Root() + "g"}));
}

TEST_F(InotifyWatch, ACreationDateFilterAloneReportsNothing) {
  Watch({NF::nfCreationDateChange});
  MakeFile(tmp / "f", "x");
  MakeDir(tmp / "d");
  Quiet(300);
  EXPECT_TRUE(rec.events.empty());
  EXPECT_TRUE(watching);
}

TEST_F(InotifyWatch, AMissingDirectoryIdlesSilentlyUntilReconfigured) {
  const std::string missing = tmp / "not-yet";
  Watch({NF::nfFileNameChange}, true, missing);
  EXPECT_TRUE(w->Actived());
  EXPECT_FALSE(watching);
  MakeDir(missing);
  MakeFile(missing + "/a");
  Quiet(300);
  EXPECT_TRUE(rec.events.empty());
  EXPECT_TRUE(notices.empty());
  EXPECT_EQ(w->LiveWorkerCount(), 1);
  // Reconfiguring reopens, and now the directory is there.
  w->SetWatchSubTree(false);
  ASSERT_TRUE(loop.RunUntil([&] { return armed == 2; }, 5000));
  EXPECT_TRUE(watching);
  MakeFile(missing + "/b");
  ASSERT_TRUE(WaitEvents(1));
  EXPECT_EQ(rec.events[0].name1, missing + "/b");
}

TEST_F(InotifyWatch, SwitchingOnAndOffAThousandTimesLeaksNothing) {
  MakeDir(tmp / "a/b");
  // A sanitizer runtime starts a helper thread of its own at the first thread a process makes:
  // make that happen before the count is taken.
  std::thread([] {}).join();
  const int fds = test::CountOpenFds();
  const int threads = test::CountThreads();
  {
    Watch();
    int maxLive = 0;
    for (int i = 0; i < 1000; ++i) {
      w->SetActived(false);
      w->SetActived(true);
      if (i % 50 == 0) loop.RunPending();
      maxLive = std::max(maxLive, w->LiveWorkerCount());
    }
    // Stopped workers end on their own, without the main thread's help.
    EXPECT_TRUE(test::Eventually(
        loop, [&] { return w->LiveWorkerCount() == 1; }, 10000));
    EXPECT_LT(maxLive, 100);
    // The one left still delivers, once.
    MakeFile(tmp / "a/b/x");
    ASSERT_TRUE(loop.RunUntil([&] { return rec.Count(Op::foAdded, Root() + "a/b/x") > 0; }, 5000));
    Quiet();
    EXPECT_EQ(rec.events.size(), 1u);
    w.reset();
  }
  loop.RunPending();
  EXPECT_EQ(test::CountOpenFds(), fds);
  EXPECT_EQ(test::CountThreads(), threads);
}

TEST_F(InotifyWatch, AStoppedWorkerEndsWithoutWaitingForAChange) {
  Watch();
  ASSERT_EQ(w->LiveWorkerCount(), 1);
  w->SetActived(false);
  // Nothing changes in the tree; the worker was woken at once.
  EXPECT_TRUE(test::Eventually(
      loop, [&] { return w->LiveWorkerCount() == 0; }, 3000));
  MakeFile(tmp / "after");
  Quiet();
  EXPECT_TRUE(rec.events.empty());
}

TEST_F(InotifyWatch, AReachedWatchLimitIsToldOnceAndThePlacedWatchesStay) {
  for (int i = 0; i < 10; ++i) MakeDir(tmp / ("d" + std::to_string(i)));
  auto calls = std::make_shared<std::atomic<int>>(0);
  Watch({NF::nfFileNameChange}, true, {}, [calls] {
    TInotifyChangeSource::TSystem sys;
    sys.addWatch = [calls](int fd, const char* path, std::uint32_t mask) {
      if (calls->fetch_add(1) >= 3) {
        errno = ENOSPC;
        return -1;
      }
      return inotify_add_watch(fd, path, mask);
    };
    return std::make_unique<TInotifyChangeSource>(std::move(sys));
  });
  EXPECT_TRUE(watching);
  MakeDir(tmp / "fresh");  // one more refusal: no second notice
  MakeFile(tmp / "top.mp3");
  ASSERT_TRUE(WaitEvents(1));
  Quiet();
  const std::string limit = ReadFirstWord("/proc/sys/fs/inotify/max_user_watches");
  EXPECT_EQ(notices,
            std::vector<std::string>{"已达到系统的监视数量上限 (fs.inotify.max_user_watches = " +
                                     limit + ")，部分子目录未被监视。"});
  EXPECT_EQ(rec.Count(Op::foAdded, Root() + "top.mp3"), 1u);
  EXPECT_GT(calls->load(), 4);
}

// The real limit, lowered for a child process only: in a user namespace of its own the
// inotify watch limit is a setting of that namespace and nobody else's.
int RealLimitChild() {
  if (unshare(CLONE_NEWUSER) != 0) return 77;
  {
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream uid("/proc/self/uid_map");
    uid << "0 0 1";
    uid.close();
    std::ofstream gid("/proc/self/gid_map");
    gid << "0 0 1";
  }
  {
    std::ofstream limit("/proc/sys/user/max_inotify_watches");
    limit << "4";
    limit.close();
    if (!limit) return 77;
  }
  if (ReadFirstWord("/proc/sys/user/max_inotify_watches") != "4") return 77;
  TTempDir tmp;
  for (int i = 0; i < 8; ++i) MakeDir(tmp / ("d" + std::to_string(i)));
  TQueueDispatcher loop;
  TRecorder rec;
  std::vector<std::string> notices;
  bool armed = false;
  {
    TFileSystemWatcher w(loop);
    w.SetWatchedDir(tmp.Path());
    w.SetNotifyFilters({NF::nfFileNameChange});
    w.SetOnNotice([&](const std::string& t) { notices.push_back(t); });
    w.SetOnArmed([&](bool ok) { armed = ok; });
    w.SetOnChange(rec.Handler());
    w.SetActived(true);
    if (!loop.RunUntil([&] { return armed; }, 10000)) return 10;
    MakeFile(tmp / "top");
    if (!loop.RunUntil([&] { return !rec.events.empty(); }, 5000)) return 11;
    loop.RunUntil([] { return false; }, 200);
  }
  if (notices.size() != 1) return 12;
  if (notices[0].find("fs.inotify.max_user_watches = ") == std::string::npos) return 13;
  if (rec.events.size() != 1 || rec.events[0].name1 != tmp.Path() + "/top") return 14;
  return 0;
}

TEST_F(InotifyWatch, AReachedRealWatchLimitIsToldOnce) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(RealLimitChild());
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user namespace for a private watch limit";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(InotifyWatch, AnOverflowedQueueIsMadeUpByARescan) {
  TInotifyChangeSource* source = nullptr;
  Watch({NF::nfFileNameChange}, true, {}, [&source] {
    auto s = std::make_unique<TInotifyChangeSource>();
    source = s.get();
    return s;
  });
  // The main thread does not take batches while the files appear, so the worker fills its
  // read-ahead and the system's queue (16,384 events by default) overflows.
  const std::string limit = ReadFirstWord("/proc/sys/fs/inotify/max_queued_events");
  const int queued = std::atoi(limit.c_str());
  const int n = 2 * 16384 + queued + 20000;
  for (int d = 0; d < 50; ++d) MakeDir(tmp / ("d" + std::to_string(d)));
  for (int i = 0; i < n; ++i) {
    MakeFile(tmp / ("d" + std::to_string(i % 50) + "/f" + std::to_string(i)));
  }
  ASSERT_TRUE(loop.RunUntil([&] { return rec.AddedCounts().size() >= std::size_t(n); }, 60000))
      << rec.AddedCounts().size() << " of " << n;
  EXPECT_GE(source->RescanCount(), 1u);
  w.reset();
}

}  // namespace
}  // namespace mv
