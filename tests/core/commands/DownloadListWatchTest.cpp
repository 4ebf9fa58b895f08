// SPDX-License-Identifier: GPL-3.0-or-later
// The download list behind a real watcher: files created, renamed and deleted under a
// temporary tree reach the list through inotify and the main-thread dispatcher.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "TestFiles.h"
#include "commands/DownloadList.h"
#include "commands/WatchControl.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFile;

constexpr int kWaitMs = 5000;

class DownloadListWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    downloads = std::make_unique<TDownloadList>(
        list, dispatcher, [this] { return mask; }, [this] { return all; });
    watcher = std::make_unique<TFileSystemWatcher>(dispatcher);
    watcher->SetWatchSubTree(true);
    watcher->SetNotifyFilters({TNotifyFilter::nfFileNameChange});
    watcher->SetOnChange([this](TFileOperation op, const std::string& a, const std::string& b) {
      seen.push_back(a);
      downloads->FileChanged(op, a, b);
    });
    watcher->SetOnArmed([this](bool watching) {
      ++armed;
      lastArmed = watching;
    });
    Toggle();
    ASSERT_EQ(caption, kCaptionStopWatching);
  }
  void TearDown() override {
    watcher.reset();
    downloads.reset();
  }

  // The start/stop button; after a start, waits until the watches are in place.
  void Toggle() {
    const int before = armed;
    StartOrStopWatching(*watcher, dir.Path(), caption);
    if (watcher->Actived()) {
      ASSERT_TRUE(dispatcher.RunUntil([&] { return armed > before; }, kWaitMs));
      ASSERT_TRUE(lastArmed);
    }
  }

  bool WaitForCount(int n) {
    return dispatcher.RunUntil([&] { return list.Count() == n; }, kWaitMs);
  }
  // Lets every event already on its way arrive: a marker file (no music name; not for use
  // with the all-files switch) is created last and its event waited for, as the events of one
  // directory come in order.
  void Settle() {
    const std::string marker = dir / ("marker" + std::to_string(++markers));
    WriteFile(marker, "");
    ASSERT_TRUE(dispatcher.RunUntil(
        [&] { return std::find(seen.begin(), seen.end(), marker) != seen.end(); }, kWaitMs));
  }

  void Sweep() {
    const unsigned long before = downloads->SweepsDone();
    downloads->Sweep();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return downloads->SweepsDone() > before; }, kWaitMs));
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
    return out;
  }

  TTempDir dir;
  TQueueDispatcher dispatcher;
  TMemoryListItems list;
  std::string mask = "*.wav;*.mp3;*.wma";
  bool all = false;
  std::unique_ptr<TDownloadList> downloads;
  std::unique_ptr<TFileSystemWatcher> watcher;
  std::string caption = kCaptionStartWatching;
  int armed = 0;
  bool lastArmed = false;
  std::vector<std::string> seen;
  int markers = 0;
};

TEST_F(DownloadListWatchTest, CreatedSongIsListedOnceEvenWhenCreatedAgain) {
  const std::string song = dir / "song.mp3";
  WriteFile(song, "x");
  ASSERT_TRUE(WaitForCount(1));
  ::unlink(song.c_str());
  WriteFile(song, "again");
  Settle();
  EXPECT_EQ(Entries(), std::vector<std::string>{song});
  Sweep();
  EXPECT_EQ(Entries(), std::vector<std::string>{song});
}

TEST_F(DownloadListWatchTest, ExtensionCaseAndTheAllFilesSwitch) {
  std::filesystem::create_directories(dir / "deep/er");
  Settle();
  WriteFile(dir / "deep/er/clip.MP3", "x");
  WriteFile(dir / "setup.bin", "MZ");
  Settle();
  EXPECT_EQ(Entries(), std::vector<std::string>{dir / "deep/er/clip.MP3"});
  all = true;
  WriteFile(dir / "setup2.bin", "MZ");
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_EQ(list.Get(1), dir / "setup2.bin");
}

TEST_F(DownloadListWatchTest, EditedMaskTakesEffectAtTheNextEvent) {
  WriteFile(dir / "a.ogg", "x");
  Settle();
  EXPECT_EQ(list.Count(), 0);
  mask = "*.ogg";
  WriteFile(dir / "b.ogg", "x");
  WriteFile(dir / "c.mp3", "x");
  Settle();
  EXPECT_EQ(Entries(), std::vector<std::string>{dir / "b.ogg"});
}

TEST_F(DownloadListWatchTest, DownloadFinishedByRenamingIsListed) {
  const std::string partial = dir / "song.mp3.crdownload";
  WriteFile(partial, "data");
  Settle();
  ASSERT_EQ(list.Count(), 0);
  ASSERT_EQ(::rename(partial.c_str(), (dir / "song.mp3").c_str()), 0);
  ASSERT_TRUE(WaitForCount(1));
  EXPECT_EQ(list.Get(0), dir / "song.mp3");
}

TEST_F(DownloadListWatchTest, OddByteNameIsListedAndRemoved) {
  const std::string odd = dir / "\xFFsong.mp3";
  WriteFile(odd, "x");
  ASSERT_TRUE(WaitForCount(1));
  EXPECT_EQ(list.Get(0), odd);
  ::unlink(odd.c_str());
  Settle();  // a live watch has the list check only what its events say may have gone
  Sweep();
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(DownloadListWatchTest, DeletedFileLeavesAtTheNextSweepWhetherOrNotWatching) {
  WriteFile(dir / "a.mp3", "x");
  WriteFile(dir / "b.mp3", "x");
  WriteFile(dir / "old.mp3", "x");
  ASSERT_TRUE(WaitForCount(3));
  test::SetTimes1970(dir / "old.mp3");
  ::unlink((dir / "a.mp3").c_str());
  Settle();
  Sweep();
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir / "b.mp3", dir / "old.mp3"}));

  Toggle();  // off
  EXPECT_EQ(caption, kCaptionStartWatching);
  ::unlink((dir / "b.mp3").c_str());
  Sweep();
  EXPECT_EQ(Entries(), std::vector<std::string>{dir / "old.mp3"});
}

TEST_F(DownloadListWatchTest, ListSurvivesSwitchingOffAndOn) {
  WriteFile(dir / "a.mp3", "x");
  ASSERT_TRUE(WaitForCount(1));
  Toggle();  // off: nothing new arrives
  WriteFile(dir / "while-off.mp3", "x");
  dispatcher.RunUntil([] { return false; }, 300);
  EXPECT_EQ(list.Count(), 1);
  Toggle();  // on again, the list kept
  EXPECT_EQ(caption, kCaptionStopWatching);
  WriteFile(dir / "b.mp3", "x");
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir / "a.mp3", dir / "b.mp3"}));
  EXPECT_EQ(watcher->LiveWorkerCount(), 1);
}

}  // namespace
}  // namespace mv
