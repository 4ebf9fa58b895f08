// SPDX-License-Identifier: GPL-3.0-or-later
// The program minus its window: the tick on its own, then the watcher, the list, the tick and
// the commands together, as a front end drives them, on real files under a temporary tree.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "DirectSaveUi.h"
#include "TestFiles.h"
#include "Unit_main/Program.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFile;

constexpr int kWaitMs = 5000;

TEST(Ticker, DefaultsTicksAndStops) {
  TQueueDispatcher mainThread;
  TTicker timer(mainThread);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_FALSE(timer.Running());  // no handler, no ticking
  int ticks = 0;
  timer.SetInterval(20);
  timer.SetOnTimer([&](TTicker& sender) {
    EXPECT_EQ(&sender, &timer);
    ++ticks;
  });
  EXPECT_TRUE(timer.Running());
  EXPECT_TRUE(mainThread.RunUntil([&] { return ticks >= 3; }, kWaitMs));
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Running());
  // A tick posted before the stop does nothing when it arrives.
  const int stopped = ticks;
  mainThread.RunUntil([] { return false; }, 80);
  EXPECT_EQ(ticks, stopped);
  timer.SetEnabled(true);
  EXPECT_TRUE(mainThread.RunUntil([&] { return ticks > stopped; }, kWaitMs));
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Running());
  timer.SetInterval(20);
  EXPECT_TRUE(timer.Running());
  timer.SetOnTimer({});
  EXPECT_FALSE(timer.Running());
}

TEST(Ticker, APropertyChangeStartsANewPeriod) {
  TQueueDispatcher mainThread;
  TTicker timer(mainThread);
  int ticks = 0;
  timer.SetInterval(150);
  timer.SetOnTimer([&](TTicker&) { ++ticks; });
  // Changing the interval faster than it would tick: it never ticks.
  for (int i = 0; i < 6; ++i) {
    mainThread.RunUntil([] { return false; }, 60);
    timer.SetInterval(i % 2 == 0 ? 151 : 150);
  }
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(mainThread.RunUntil([&] { return ticks >= 1; }, kWaitMs));
}

TEST(Ticker, ABusyMainThreadGetsOneTickNotABacklog) {
  TQueueDispatcher mainThread;
  int ticks = 0;
  {
    TTicker timer(mainThread);
    timer.SetInterval(5);
    timer.SetOnTimer([&](TTicker& sender) {
      ++ticks;
      // The handler may replace itself while it runs.
      sender.SetOnTimer([&](TTicker&) { ticks += 100; });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the main thread is busy
    EXPECT_EQ(mainThread.RunPending(), 1);
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(mainThread.RunUntil([&] { return ticks >= 101; }, kWaitMs));
  }
  // Ticks still queued when the timer went do nothing.
  const int before = ticks;
  mainThread.RunPending();
  EXPECT_EQ(ticks, before);
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program =
        std::make_unique<TProgram>(mainThread, list,
                                   TProgramControls{.maskText = [this] { return Mask(); },
                                                    .directoryText = [this] { return dir.Path(); },
                                                    .listAllFiles = [this] { return all; }},
                                   ui, CreateMediaDevice({"fakesink", {}}));
    program->OnWatchingChanged = [this](bool watching) { changes.push_back(watching); };
    program->FileSystemWatcher1().SetOnArmed([this](bool watching) { armed = watching; });
  }
  void TearDown() override { program.reset(); }

  std::string Mask() {
    if (maskFails) throw EStringListError("列表索引越界 (7)");
    return mask;
  }
  void StartWatching() {
    program->StartOrStopWatching();
    ASSERT_TRUE(mainThread.RunUntil([&] { return armed; }, kWaitMs));
  }
  bool Listed(const std::string& name) {
    for (int i = 0; i < list.Count(); ++i) {
      if (list.Get(i) == name) return true;
    }
    return false;
  }

  TTempDir dir;
  TQueueDispatcher mainThread;
  TMemoryListItems list;
  TDirectSaveUi ui;
  std::string mask = kDefaultMask;
  bool all = false;
  bool maskFails = false;
  bool armed = false;
  std::vector<bool> changes;
  std::unique_ptr<TProgram> program;
};

TEST_F(ProgramTest, StartsAsTheStoredDescriptionSays) {
  const TMainFormDesc& desc = Form_mainDesc();
  EXPECT_EQ(program->FileSystemWatcher1().Actived(), desc.FileSystemWatcher1.actived);
  EXPECT_EQ(program->FileSystemWatcher1().WatchedDir(), desc.FileSystemWatcher1.watchedDir);
  EXPECT_TRUE(program->FileSystemWatcher1().WatchSubTree());
  EXPECT_TRUE(program->FileSystemWatcher1().NotifyFilters() ==
              desc.FileSystemWatcher1.notifyFilters);
  EXPECT_EQ(program->Timer1().Interval(), desc.Timer1.interval);
  EXPECT_TRUE(program->Timer1().Running());
  EXPECT_FALSE(program->MediaPlayer1().Opened());
  EXPECT_STREQ(program->WatchCaption(), "开始监视");
}

TEST_F(ProgramTest, WatchesListsAndSweeps) {
  StartWatching();
  EXPECT_EQ(program->FileSystemWatcher1().WatchedDir().rfind(dir.Path(), 0), 0u);
  EXPECT_EQ(changes, std::vector<bool>{true});
  EXPECT_STREQ(program->WatchCaption(), "中止监视");
  const std::string song = dir / "song.MP3";
  const std::string other = dir / "setup.bin";
  WriteFile(other, "x");
  WriteFile(song, "x");
  ASSERT_TRUE(mainThread.RunUntil([&] { return Listed(song); }, kWaitMs));
  EXPECT_FALSE(Listed(other));
  // The mask is read afresh at every event; the list-all switch likewise.
  all = true;
  const std::string later = dir / "later.bin";
  WriteFile(later, "x");
  ASSERT_TRUE(mainThread.RunUntil([&] { return Listed(later); }, kWaitMs));
  // The tick drops entries whose files have gone.
  std::remove(song.c_str());
  ASSERT_TRUE(mainThread.RunUntil([&] { return !Listed(song); }, kWaitMs));
  EXPECT_TRUE(Listed(later));
  program->StartOrStopWatching();
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  EXPECT_STREQ(program->WatchCaption(), "开始监视");
  EXPECT_TRUE(ui.Errors.empty());
}

TEST_F(ProgramTest, AnErrorInAWatcherEventGoesToTheErrorBoxAndWatchingGoesOn) {
  StartWatching();
  maskFails = true;
  WriteFile(dir / "a.mp3", "x");
  ASSERT_TRUE(mainThread.RunUntil([&] { return !ui.Errors.empty(); }, kWaitMs));
  EXPECT_EQ(ui.Errors.front(), "列表索引越界 (7)");
  maskFails = false;
  const std::string next = dir / "b.mp3";
  WriteFile(next, "x");
  EXPECT_TRUE(mainThread.RunUntil([&] { return Listed(next); }, kWaitMs));
}

TEST_F(ProgramTest, CommandsActOnTheListThePlayerAndTheDialogs) {
  const std::string bare = dir / "tagged";
  const std::string wav = dir / "b.wav";
  WriteFile(bare, test::Id3Mp3());
  WriteFile(wav, test::SilentWav());
  list.Add(bare);
  list.Add(wav);
  program->FormCreate();
  EXPECT_EQ(list.ItemIndex(), -1);

  // Play with no current entry does nothing; stop with nothing open is the player's error.
  program->PlayCurrent();
  EXPECT_FALSE(program->MediaPlayer1().Opened());
  EXPECT_THROW(program->StopPlaying(), EMCIDeviceError);
  list.SetItemIndex(1);
  program->PlayCurrent();
  EXPECT_TRUE(program->MediaPlayer1().Opened());
  program->StopPlaying();

  // Save with two selected asks for a directory and copies both into it.
  TTempDir out;
  ui.OnChooseDirectory = [&](std::string& chosen) {
    chosen = out.Path();
    return true;
  };
  std::vector<std::string> infos;
  ui.OnInfoMessage = [&](const std::string& text) { infos.push_back(text); };
  list.SetSelected(0, true);
  list.SetSelected(1, true);
  program->SaveSelected();
  EXPECT_EQ(infos, std::vector<std::string>{FormatD(kCopiedCount, 2)});
  EXPECT_TRUE(test::Exists(out / "tagged.mp3"));
  EXPECT_TRUE(test::Exists(out / "b.wav"));

  // Rename appends the detected extension where the mask lacks it.
  program->RenameAll();
  EXPECT_TRUE(test::Exists(bare + ".mp3"));
  EXPECT_TRUE(test::Exists(wav));
}

TEST_F(ProgramTest, ControlsLeftOutReadAsTheStoredDescriptionCreatesThem) {
  TMemoryListItems own;
  TProgram bare(mainThread, own, {}, ui);
  const std::string tagged = dir / "tagged";
  const std::string wav = dir / "b.WAV";
  WriteFile(tagged, test::Id3Mp3());
  WriteFile(wav, test::SilentWav());
  own.Add(tagged);
  own.Add(wav);
  std::vector<std::pair<std::string, TFileOutcome>> outcomes;
  bare.RenameAll([&](const std::string& from, const std::string&, TFileOutcome outcome,
                     const std::string&) { outcomes.emplace_back(from, outcome); });
  EXPECT_EQ(outcomes, (std::vector<std::pair<std::string, TFileOutcome>>{
                          {wav, TFileOutcome::SkippedInMask}, {tagged, TFileOutcome::Done}}));
}

}  // namespace
}  // namespace mv
