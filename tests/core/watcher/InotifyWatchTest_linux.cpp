// SPDX-License-Identifier: GPL-3.0-or-later
// The component over the inotify source on real temporary trees.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>

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
    w->SetOnMayHaveRemoved(
        [this](const std::string& path, bool below) { mayHaveRemoved.emplace(path, below); });
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
  std::set<std::pair<std::string, bool>> mayHaveRemoved;
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
  MakeFile(tmp / "d/e/old.mp3");
  Watch({NF::nfFileNameChange, NF::nfDirNameChange});
  ASSERT_EQ(std::rename((tmp / "d").c_str(), (tmp / "d2").c_str()), 0);
  // Everything below is named at its new place, as for a tree moved in from outside.
  ASSERT_TRUE(WaitEvents(4));
  MakeFile(tmp / "d2/e/f/song.mp3");
  MakeFile(tmp / "d2/e/g");
  ASSERT_TRUE(WaitEvents(6));
  Quiet();
  ASSERT_EQ(rec.events.size(), 6u);
  EXPECT_EQ(rec.events[0], (TFileEvent{Op::foRenamed, Root() + "d", Root() + "d2"}));
  EXPECT_EQ(std::set<std::string>({rec.events[1].name1, rec.events[2].name1, rec.events[3].name1}),
            (std::set<std::string>{Root() + "d2/e", Root() + "d2/e/f", Root() + "d2/e/old.mp3"}));
  EXPECT_EQ(rec.events[4], (TFileEvent{Op::foAdded, Root() + "d2/e/f/song.mp3", ""}));
  EXPECT_EQ(rec.events[5], (TFileEvent{Op::foAdded, Root() + "d2/e/g", ""}));
}

// The way download clients finish a folder: made, filled and renamed at once. Each file is
// named at the new place exactly once, whatever the watcher had seen of the old place.
TEST_F(InotifyWatch, AFolderFilledAndRenamedAtOnceIsListedWholeAtItsNewPlace) {
  Watch();
  constexpr int kTries = 40;
  constexpr int kFiles = 20;
  for (int t = 0; t < kTries; ++t) {
    const std::string d = tmp / ("d" + std::to_string(t));
    MakeDir(d);
    for (int f = 0; f < kFiles; ++f) MakeFile(d + "/f" + std::to_string(f) + ".mp3");
    ASSERT_EQ(std::rename(d.c_str(), (d + "x").c_str()), 0);
  }
  std::map<std::string, int> atNewPlace;
  ASSERT_TRUE(loop.RunUntil(
      [&] {
        atNewPlace.clear();
        for (const auto& [name, n] : rec.AddedCounts()) {
          if (name.size() > 1 && name.find("x/", Root().size()) != std::string::npos) {
            atNewPlace[name] = n;
          }
        }
        return atNewPlace.size() == std::size_t{kTries * kFiles};
      },
      20000))
      << atNewPlace.size() << " of " << kTries * kFiles;
  Quiet(300);
  for (const auto& [name, n] : rec.AddedCounts()) {
    if (name.find("x/", Root().size()) != std::string::npos) {
      EXPECT_EQ(n, 1) << name;
    }
  }
}

TEST_F(InotifyWatch, MovesInAreAdditionsAndMovesOutRemovals) {
  TTempDir outside;
  MakeFile(outside / "in.mp3");
  MakeDir(tmp / "leaving");
  MakeFile(tmp / "out.mp3");
  Watch({NF::nfFileNameChange, NF::nfDirNameChange});
  ASSERT_EQ(std::rename((outside / "in.mp3").c_str(), (tmp / "in.mp3").c_str()), 0);
  ASSERT_EQ(std::rename((tmp / "out.mp3").c_str(), (outside / "out.mp3").c_str()), 0);
  MakeFile(tmp / "out.mp3");  // a new one of the same name: listed, not lost to the move out
  ASSERT_EQ(std::rename((tmp / "leaving").c_str(), (outside / "leaving").c_str()), 0);
  // Outside the tree now: its watch is gone with it.
  MakeFile(outside / "leaving/later");
  ASSERT_TRUE(WaitEvents(4));
  Quiet();
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, Root() + "in.mp3", ""},
                                                 {Op::foRemoved, Root() + "out.mp3", ""},
                                                 {Op::foAdded, Root() + "out.mp3", ""},
                                                 {Op::foRemoved, Root() + "leaving", ""}}));
}

// Such names are legal here and name the file only as they are: never trimmed.
TEST_F(InotifyWatch, NamesAreDeliveredExactlyAsTheFileSystemHasThem) {
  Watch();
  MakeFile(tmp / "song.mp3  ");
  MakeFile(tmp / "   ");
  ASSERT_TRUE(WaitEvents(2));
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, Root() + "song.mp3  ", ""},
                                                 {Op::foAdded, Root() + "   ", ""}}));
}

// The download list may leave entries unchecked only under a live watch: it hears of every
// removal, including those no record names.
TEST_F(InotifyWatch, TheListHearsOfEveryRemovalAndWhenTheWatchIsLive) {
  TTempDir outside;
  MakeDir(tmp / "d/e");
  MakeFile(tmp / "d/e/x.mp3");
  MakeDir(tmp / "gone");
  MakeDir(tmp / "out");
  MakeFile(tmp / "f.mp3");
  Watch({NF::nfFileNameChange});
  ASSERT_TRUE(loop.RunUntil([&] { return w->IsLive(); }, 5000));
  EXPECT_EQ(w->LiveRoot(), Root());
  ASSERT_EQ(std::rename((tmp / "d").c_str(), (tmp / "d2").c_str()), 0);
  ASSERT_EQ(rmdir((tmp / "gone").c_str()), 0);
  ASSERT_EQ(std::rename((tmp / "out").c_str(), (outside / "out").c_str()), 0);
  ASSERT_EQ(unlink((tmp / "f.mp3").c_str()), 0);
  const std::set<std::pair<std::string, bool>> expected{{Root(), true},
                                                        {Root() + "d", true},
                                                        {Root() + "gone", true},
                                                        {Root() + "out", true},
                                                        {Root() + "f.mp3", false}};
  EXPECT_TRUE(loop.RunUntil([&] { return mayHaveRemoved == expected; }, 5000));
  Quiet();
  EXPECT_EQ(mayHaveRemoved, expected);
  EXPECT_TRUE(w->IsLive());
}

TEST_F(InotifyWatch, DirectoriesAreReportedOnlyWithTheDirectoryFilter) {
  Watch({NF::nfFileNameChange});
  MakeDir(tmp / "newdir");
  MakeFile(tmp / "newdir/f");
  ASSERT_EQ(std::rename((tmp / "newdir").c_str(), (tmp / "renamed").c_str()), 0);
  MakeFile(tmp / "renamed/g");
  ASSERT_TRUE(
      loop.RunUntil([&] { return rec.Count(Op::foAdded, Root() + "renamed/g") > 0; }, 10000));
  Quiet();
  // f is named at the new place; at the old one too when the watcher met it before the rename.
  EXPECT_EQ(rec.Count(Op::foAdded, Root() + "renamed/f"), 1u);
  EXPECT_EQ(rec.Count(Op::foAdded, Root() + "renamed/g"), 1u);
  EXPECT_LE(rec.Count(Op::foAdded, Root() + "newdir/f"), 1u);
  EXPECT_EQ(rec.events.size(), 2 + rec.Count(Op::foAdded, Root() + "newdir/f"));
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

// Wide enough for the arming to share the tree among threads: every directory is watched.
TEST_F(InotifyWatch, EveryDirectoryOfALargeTreeIsWatched) {
  std::vector<std::string> dirs;
  for (int a = 0; a < 70; ++a) {
    for (int b = 0; b < 10; ++b)
      dirs.push_back(tmp / ("a" + std::to_string(a) + "/b" + std::to_string(b)));
  }
  for (const auto& d : dirs) MakeDir(d);
  TInotifyChangeSource* source = nullptr;
  Watch({NF::nfFileNameChange}, true, {}, [&source] {
    auto s = std::make_unique<TInotifyChangeSource>();
    source = s.get();
    return s;
  });
  EXPECT_EQ(source->WatchCount(), 1 + 70 + dirs.size());
  for (const auto& d : dirs) MakeFile(d + "/x.mp3");
  ASSERT_TRUE(WaitEvents(dirs.size())) << rec.events.size();
  Quiet();
  EXPECT_EQ(rec.AddedCounts().size(), dirs.size());
  EXPECT_EQ(rec.events.size(), dirs.size());
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

// Missing at the start, deleted, or moved away: the user is told once, and watching begins by
// itself when the directory exists again.
TEST_F(InotifyWatch, AMissingWatchedDirectoryIsToldOnceAndWatchedOnceItExists) {
  enum class TLoss { MissingAtStart, Deleted, MovedAway };
  for (TLoss loss : {TLoss::MissingAtStart, TLoss::Deleted, TLoss::MovedAway}) {
    const std::string dir = tmp / ("w" + std::to_string(static_cast<int>(loss)));
    SCOPED_TRACE(dir);
    rec.events.clear();
    notices.clear();
    armed = 0;
    if (loss != TLoss::MissingAtStart) MakeDir(dir);
    Watch({NF::nfFileNameChange}, true, dir);
    EXPECT_EQ(watching, loss != TLoss::MissingAtStart);
    if (loss == TLoss::Deleted) std::filesystem::remove_all(dir);
    if (loss == TLoss::MovedAway) {
      ASSERT_EQ(std::rename(dir.c_str(), (dir + ".old").c_str()), 0);
      MakeFile(dir + ".old/not-watched");
    }
    ASSERT_TRUE(loop.RunUntil([&] { return !notices.empty(); }, 5000));
    MakeDir(dir);
    MakeFile(dir + "/a");
    ASSERT_TRUE(WaitEvents(1));
    MakeFile(dir + "/b");
    ASSERT_TRUE(WaitEvents(2));
    Quiet();
    EXPECT_EQ(rec.events, (std::vector<TFileEvent>{{Op::foAdded, dir + "/a", ""},
                                                   {Op::foAdded, dir + "/b", ""}}));
    EXPECT_EQ(notices, (std::vector<std::string>{loss == TLoss::MissingAtStart
                                                     ? DirectoryMissingNotice(dir + "/")
                                                     : DirectoryGoneNotice(dir + "/"),
                                                 DirectoryResumedNotice(dir + "/")}));
    EXPECT_TRUE(w->IsLive());
    EXPECT_TRUE(w->Actived());
    EXPECT_EQ(w->LiveWorkerCount(), 1);
  }
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
    // Stopped workers end on their own, without the main thread's help. The last one must have
    // armed the tree before the file is made: a file made while the arming walks past its folder
    // is one that was there before the watch, not a new one.
    EXPECT_TRUE(test::Eventually(
        loop, [&] { return w->LiveWorkerCount() == 1 && w->IsLive(); }, 10000));
    // Workers that never ended would pile up to 1,000 here; how many
    // overlap while they wind down depends on the machine's load, so the bound is loose.
    EXPECT_LT(maxLive, 500);
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
  // The system-wide setting is the lower one here, so it is the one named.
  TTempDir procSys;
  MakeDir(procSys / "fs/inotify");
  MakeDir(procSys / "user");
  MakeFile(procSys / "fs/inotify/max_user_watches", "8192\n");
  MakeFile(procSys / "user/max_inotify_watches", "9000\n");
  Watch({NF::nfFileNameChange}, true, {}, [calls, &procSys] {
    TInotifyChangeSource::TSystem sys;
    sys.procSys = procSys.Path();
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
  EXPECT_EQ(notices, std::vector<std::string>{"已达到系统的监视数量上限 "
                                              "(fs.inotify.max_user_watches = 8192)，"
                                              "部分子目录未被监视。"});
  EXPECT_EQ(rec.Count(Op::foAdded, Root() + "top.mp3"), 1u);
  EXPECT_GT(calls->load(), 4);
  EXPECT_FALSE(w->IsLive());  // the unwatched part must still be checked
}

// A user namespace of this process's own, where it is root: the inotify limits are settings of
// that namespace and nobody else's, and (with mounts) its mounts are its own.
bool EnterOwnNamespace(bool mounts) {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | (mounts ? CLONE_NEWNS : 0)) != 0) return false;
  std::ofstream("/proc/self/setgroups") << "deny";
  std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
  std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  return !mounts || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool WriteSetting(const std::string& file, const std::string& value) {
  {
    std::ofstream out(file);
    out << value;
  }
  return ReadFirstWord(file) == value;
}

// Runs body in a child process; 77 from it means the system offers what it needs not.
void InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(body());
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user namespace of our own here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Watches a tree of 8 directories and creates one file in it; the notices and what was
// reported are compared (exit status 0 when they match).
int LimitChild(const std::string& expectedNotice, bool expectWatching) {
  TTempDir tmp;
  for (int i = 0; i < 8; ++i) MakeDir(tmp / ("d" + std::to_string(i)));
  TQueueDispatcher loop;
  TRecorder rec;
  std::vector<std::string> notices;
  int armed = 0;
  bool watching = false;
  {
    TFileSystemWatcher w(loop);
    w.SetWatchedDir(tmp.Path());
    w.SetNotifyFilters({NF::nfFileNameChange});
    w.SetOnNotice([&](const std::string& t) { notices.push_back(t); });
    w.SetOnArmed([&](bool ok) {
      ++armed;
      watching = ok;
    });
    w.SetOnChange(rec.Handler());
    w.SetActived(true);
    if (!loop.RunUntil([&] { return armed > 0; }, 10000)) return 10;
    if (watching != expectWatching) return 11;
    if (expectWatching) {
      MakeFile(tmp / "top");
      if (!loop.RunUntil([&] { return !rec.events.empty(); }, 5000)) return 12;
    }
    loop.RunUntil([] { return false; }, 200);
  }
  if (notices != std::vector<std::string>{expectedNotice}) {
    for (const auto& n : notices) std::fprintf(stderr, "notice: %s\n", n.c_str());
    return 13;
  }
  if (expectWatching && (rec.events.size() != 1 || rec.events[0].name1 != tmp.Path() + "/top")) {
    return 14;
  }
  return 0;
}

// Each notice names the limit that was actually hit, with the value the kernel applies here.
TEST_F(InotifyWatch, AReachedRealLimitIsNamedWithItsValue) {
  InChild([] {
    if (!EnterOwnNamespace(false) || !WriteSetting("/proc/sys/user/max_inotify_watches", "4")) {
      return 77;
    }
    return LimitChild(
        "已达到系统的监视数量上限 (user.max_inotify_watches = 4)，部分子目录未被监视。", true);
  });
  InChild([] {
    if (!EnterOwnNamespace(false) || !WriteSetting("/proc/sys/user/max_inotify_instances", "0")) {
      return 77;
    }
    return LimitChild(
        "已达到系统的监视实例数量上限 (user.max_inotify_instances = 0)，无法监视该目录。", false);
  });
  InChild([] {
  // Every descriptor but one in use: the watcher's wake-up event takes it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' own memory checks open a pipe; without a descriptor to spare they report
    // our objects as invalid, so this case runs in the plain build only.
    return 77;
#endif
    rlimit rl{64, 64};
    if (setrlimit(RLIMIT_NOFILE, &rl) != 0) return 77;
    std::vector<int> held;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held.push_back(fd);
    if (held.empty()) return 77;
    close(held.back());
    return LimitChild("已达到本进程的打开文件数上限 (RLIMIT_NOFILE = 64)，无法监视该目录。", false);
  });
}

// A tmpfs mounted below the tree is watched, an unmount uncovers the directory beneath and that
// is watched again; a pseudo file system stays unwatched.
TEST_F(InotifyWatch, MountsAndUnmountsBelowTheTreeAreFollowed) {
  InChild([] {
    if (!EnterOwnNamespace(true) || unshare(CLONE_NEWIPC) != 0) return 77;
    TTempDir tmp;
    MakeDir(tmp / "m");
    MakeFile(tmp / "m/under.mp3");  // hidden while the tmpfs is mounted over it
    MakeDir(tmp / "p");
    TQueueDispatcher loop;
    TRecorder rec;
    bool armed = false;
    TFileSystemWatcher w(loop);
    w.SetWatchedDir(tmp.Path());
    w.SetNotifyFilters({NF::nfFileNameChange});
    w.SetOnArmed([&](bool ok) { armed = ok; });
    w.SetOnChange(rec.Handler());
    w.SetActived(true);
    if (!loop.RunUntil([&] { return armed; }, 10000)) return 10;
    auto seen = [&](const std::string& rel) {
      return loop.RunUntil([&] { return rec.Count(Op::foAdded, tmp / rel) > 0; }, 5000);
    };
    if (mount("mqueue", (tmp / "p").c_str(), "mqueue", 0, nullptr) != 0) return 77;
    if (mount("tmpfs", (tmp / "m").c_str(), "tmpfs", 0, nullptr) != 0) return 77;
    MakeFile(tmp / "m/on-tmpfs.mp3");
    MakeFile(tmp / "p/queue");
    if (!seen("m/on-tmpfs.mp3")) return 11;
    if (umount((tmp / "m").c_str()) != 0) return 12;
    MakeFile(tmp / "m/after.mp3");
    if (!seen("m/after.mp3")) return 13;
    loop.RunUntil([] { return false; }, 200);
    // What the unmount uncovered is listed too: it had been out of sight.
    const std::map<std::string, int> expected{
        {tmp / "m/after.mp3", 1}, {tmp / "m/on-tmpfs.mp3", 1}, {tmp / "m/under.mp3", 1}};
    if (rec.AddedCounts() != expected || rec.events.size() != expected.size()) {
      for (const auto& e : rec.events) std::fprintf(stderr, "got %s\n", e.name1.c_str());
      return 14;
    }
    umount((tmp / "p").c_str());
    return 0;
  });
}

// Beyond PATH_MAX (4,096 bytes) directories are opened piece by piece and watched through their
// descriptors.
TEST_F(InotifyWatch, PathsLongerThanPathMaxAreWatchedAndReported) {
  const std::string part(240, 'n');
  std::string rel;
  int dirFd = open(tmp.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  auto down = [&](const std::string& name) {
    ASSERT_EQ(mkdirat(dirFd, name.c_str(), 0755), 0);
    const int next = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    close(dirFd);
    dirFd = next;
    rel += name + "/";
  };
  auto touch = [&](const char* name) {
    const int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
  };
  for (int i = 0; i < 20; ++i) down(part + std::to_string(i));
  ASSERT_GT((Root() + rel).size(), std::size_t{PATH_MAX});
  Watch();
  EXPECT_TRUE(notices.empty());
  touch("deep.mp3");
  ASSERT_TRUE(WaitEvents(1));
  down("new");  // a new directory there is listed and watched too
  touch("f.mp3");
  ASSERT_TRUE(WaitEvents(2));
  touch("g.mp3");
  ASSERT_TRUE(WaitEvents(3));
  close(dirFd);
  Quiet();
  EXPECT_EQ(rec.events, (std::vector<TFileEvent>{
                            {Op::foAdded, Root() + rel.substr(0, rel.size() - 4) + "deep.mp3", ""},
                            {Op::foAdded, Root() + rel + "f.mp3", ""},
                            {Op::foAdded, Root() + rel + "g.mp3", ""}}));
  EXPECT_TRUE(notices.empty());
}

TEST_F(InotifyWatch, AnOverflowedQueueIsMadeUpByARescan) {
  TInotifyChangeSource* source = nullptr;
  Watch({NF::nfFileNameChange}, true, {}, [&source] {
    auto s = std::make_unique<TInotifyChangeSource>();
    source = s.get();
    return s;
  });
  std::vector<std::string> recovered;
  w->SetOnNoticeOfKind([&](TNoticeKind kind, const std::string& text) {
    if (kind == TNoticeKind::nkRecovered) recovered.push_back(text);
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
  Quiet(500);
  // Nothing twice: neither what the records had told before the rescan, nor what they tell
  // after it about names the rescan found.
  EXPECT_EQ(rec.events.size(), std::size_t(n));
  for (const auto& [name, count] : rec.AddedCounts()) ASSERT_EQ(count, 1) << name;
  // One line per rescan says how many names it recovered.
  EXPECT_GE(source->RescanCount(), 1u);
  EXPECT_EQ(recovered.size(), source->RescanCount());
  for (const std::string& text : recovered) EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_TRUE(w->IsLive());
  w.reset();
}

}  // namespace
}  // namespace mv
