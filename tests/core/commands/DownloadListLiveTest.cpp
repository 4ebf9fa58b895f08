// SPDX-License-Identifier: GPL-3.0-or-later
// The sweep behind a watcher whose source the test drives (live, removals, breaks): which
// entries a tick checks, and that an entry whose file has gone still leaves at the next tick
// after the watcher said it may have gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "TestFiles.h"
#include "commands/DownloadList.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"
#include "watcher/FakeChangeSource.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFile;

constexpr int kWaitMs = 5000;

class DownloadListLive : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "sub");
    watcher.SetWatchedDir(dir.Path());
    watcher.SetOnChange([this](TFileOperation op, const std::string& a, const std::string& b) {
      seen.push_back(a);
      downloads.FileChanged(op, a, b);
    });
    watcher.SetOnArmed([this](bool) { ++armed; });
    downloads.AttachWatcher(watcher);
    watcher.SetActived(true);
    ASSERT_TRUE(dispatcher.RunUntil([&] { return armed == 1; }, kWaitMs));
    for (const std::string& name : {dir / "a.mp3", dir / "sub/b.mp3", dir / "sub/c.mp3",
                                    dir / "subway.mp3", other / "o.mp3"}) {
      WriteFile(name, "x");
      downloads.FileChanged(TFileOperation::foAdded, name, "");
    }
    ASSERT_EQ(list.Count(), 5);
    GoLive();
    Sweep();  // everything once: from here on the entries below the watch are relied on
    ASSERT_EQ(Entries(), Initial());
  }

  std::vector<std::string> Initial() const {
    return {dir / "a.mp3", dir / "sub/b.mp3", dir / "sub/c.mp3", dir / "subway.mp3",
            other / "o.mp3"};
  }
  test::TFakeState& Source() { return *hub.sources.back(); }
  void GoLive() {
    Source().PushLive();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return watcher.IsLive(); }, kWaitMs));
  }
  // What the source said reaches the list, in order, before a record said after it.
  void Say(const std::string& rel, bool subtree) {
    Source().PushMayHaveRemoved(rel, subtree);
    const std::string marker = "marker" + std::to_string(++markers);
    Source().Push({{caAdded, marker}});
    ASSERT_TRUE(dispatcher.RunUntil(
        [&] { return std::find(seen.begin(), seen.end(), dir / marker) != seen.end(); }, kWaitMs));
  }
  // One tick with its removals; returns how many entries it checked.
  unsigned long long Sweep() {
    const unsigned long long before = downloads.EntriesChecked();
    const unsigned long done = downloads.SweepsDone();
    downloads.Sweep();
    EXPECT_TRUE(dispatcher.RunUntil([&] { return downloads.SweepsDone() > done; }, kWaitMs));
    return downloads.EntriesChecked() - before;
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
    return out;
  }
  std::vector<std::string> Without(std::vector<std::string> names) const {
    std::vector<std::string> out = Initial();
    std::erase_if(out, [&](const std::string& e) {
      return std::find(names.begin(), names.end(), e) != names.end();
    });
    return out;
  }

  TTempDir dir;
  TTempDir other;  // not watched: its entry is checked at every tick
  TQueueDispatcher dispatcher;
  TMemoryListItems list;
  TDownloadList downloads{list, dispatcher, [] { return std::string("*.mp3"); },
                          [] { return false; }};
  test::TFakeHub hub;
  TFileSystemWatcher watcher{dispatcher, hub.Factory()};
  std::vector<std::string> seen;
  int armed = 0;
  int markers = 0;
};

struct TSignalCase {
  const char* what;
  std::vector<std::string> deleted;                   // files deleted before the signals
  std::vector<std::pair<std::string, bool>> signals;  // (relative path, subtree)
  unsigned long long checks;                          // by the next tick
  std::vector<std::string> gone;                      // entries that left at that tick
};

class DownloadListSignals : public DownloadListLive,
                            public ::testing::WithParamInterface<TSignalCase> {};

TEST_P(DownloadListSignals, ATickChecksWhatMayHaveGoneAndTheEntriesOutsideTheWatch) {
  const TSignalCase& c = GetParam();
  for (const std::string& name : c.deleted) ASSERT_EQ(::unlink((dir / name).c_str()), 0);
  for (const auto& [rel, subtree] : c.signals) Say(rel, subtree);
  EXPECT_EQ(Sweep(), c.checks);
  std::vector<std::string> gone;
  for (const std::string& name : c.gone) gone.push_back(dir / name);
  EXPECT_EQ(Entries(), Without(gone));
  if (!watcher.IsLive()) {
    GoLive();
    EXPECT_EQ(Sweep(), static_cast<unsigned long long>(list.Count()));
  }
  // The tick after checks the outside entry alone.
  EXPECT_EQ(Sweep(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadListSignals,
    ::testing::Values(
        TSignalCase{"idle", {}, {}, 1, {}},
        // The list relies on the live watch: a file gone without a word stays listed.
        TSignalCase{"gone without a word", {"a.mp3"}, {}, 1, {}},
        TSignalCase{"file removed", {"a.mp3"}, {{"a.mp3", false}}, 2, {"a.mp3"}},
        // Removal records do not say whether a file or a folder went.
        TSignalCase{"file removed, maybe a folder", {"a.mp3"}, {{"a.mp3", true}}, 2, {"a.mp3"}},
        TSignalCase{"unlisted names", {}, {{"x.part", false}, {"x.part", true}}, 1, {}},
        TSignalCase{"folder removed",
                    {"sub/b.mp3", "sub/c.mp3"},
                    {{"sub", true}},
                    3,
                    {"sub/b.mp3", "sub/c.mp3"}},
        TSignalCase{"folder of that name in another case", {}, {{"SUB", true}}, 3, {}},
        TSignalCase{"folder without entries", {}, {{"sub/deeper", true}}, 1, {}},
        TSignalCase{
            "whole tree", {"a.mp3", "subway.mp3"}, {{"", true}}, 5, {"a.mp3", "subway.mp3"}}),
    [](const ::testing::TestParamInfo<TSignalCase>& param) {
      std::string name = param.param.what;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST_F(DownloadListLive, EveryEntryIsCheckedWhileNotLiveAndOnceWhenLiveAgain) {
  // Entries appended under the watch were checked when they came.
  WriteFile(dir / "new.mp3", "x");
  downloads.FileChanged(TFileOperation::foAdded, dir / "new.mp3", "");
  EXPECT_EQ(Sweep(), 1u);

  watcher.SetActived(false);
  ::unlink((dir / "a.mp3").c_str());
  EXPECT_EQ(Sweep(), 6u);
  EXPECT_EQ(Sweep(), 5u);
  EXPECT_EQ(list.Count(), 5);

  watcher.SetActived(true);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return armed == 2; }, kWaitMs));
  EXPECT_EQ(Sweep(), 5u);  // armed is not live yet
  GoLive();
  EXPECT_EQ(Sweep(), 5u);
  EXPECT_EQ(Sweep(), 1u);
}

TEST_F(DownloadListLive, ABreakWhileEverythingIsCheckedMeansCheckingEverythingAgain) {
  Say("", true);
  GoLive();
  downloads.Sweep();
  ASSERT_TRUE(downloads.SweepRunning());
  // The watcher loses continuity while the sweep runs: what it checked before may have gone.
  downloads.MayHaveRemoved(dir.Path(), true);
  const unsigned long done = downloads.SweepsDone();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return downloads.SweepsDone() > done; }, kWaitMs));
  EXPECT_EQ(Sweep(), 5u);
  EXPECT_EQ(Sweep(), 1u);
}

TEST_F(DownloadListLive, AnEntryAddedBehindTheListsBackIsCheckedAtTheNextTick) {
  const std::string direct = dir / "direct.mp3";
  list.Add(direct);  // never a file
  EXPECT_EQ(Sweep(), 6u);
  EXPECT_EQ(Entries(), Initial());
  EXPECT_EQ(Sweep(), 1u);
}

}  // namespace
}  // namespace mv
