// SPDX-License-Identifier: GPL-3.0-or-later
// TMediaPlayer on the GStreamer device with real files, played in real time through fakesink.
// The clips come from tests/data/make-audio.sh (0.3 s each; long.wav 10 s).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "media/MPlayer.h"
#include "utility/Dispatcher.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using Clock = std::chrono::steady_clock;

std::string Audio(const std::string& name) {
  return std::string(MELVIGIL_TEST_AUDIO_DIR "/") + name;
}

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class GstPlayer : public ::testing::Test {
 protected:
  GstPlayer() {
    TDeviceOptions options;
    options.audioSink = "fakesink";
    options.onRender = [r = rendered] { ++*r; };
    player = std::make_unique<TMediaPlayer>(dispatcher, CreateMediaDevice(options));
    player->OnNotify = [this](TMediaPlayer& p) {
      notices.push_back(p.NotifyValue());
      noticeThreads.push_back(std::this_thread::get_id());
    };
  }

  // The window's play click.
  void Start(const std::string& file) {
    player->Close();
    player->SetFileName(file);
    player->Open();
    player->Play();
  }
  // Runs the window thread's tasks while polling a condition that no task signals.
  bool Poll(const std::function<bool()>& pred, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      dispatcher.RunPending();
      if (pred()) return true;
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void Idle(int ms) {
    Poll([] { return false; }, ms);
  }
  bool WaitNotices(std::size_t count, int timeoutMs = 5000) {
    return dispatcher.RunUntil([&] { return notices.size() >= count; }, timeoutMs);
  }
  std::string OpenError(const std::string& file) {
    player->SetFileName(file);
    try {
      player->Open();
    } catch (const EMCIDeviceError& e) {
      return e.what();
    }
    return "(nothing raised)";
  }

  TQueueDispatcher dispatcher;
  std::shared_ptr<std::atomic<int>> rendered = std::make_shared<std::atomic<int>>(0);
  std::vector<TMPNotifyValues> notices;
  std::vector<std::thread::id> noticeThreads;
  std::unique_ptr<TMediaPlayer> player;
};

TEST_F(GstPlayer, EachFormatPlaysToTheEndInRealTime) {
  for (const char* name : {"short.wav", "short-id3.mp3", "short-noid3.mp3", "short.wma"}) {
    SCOPED_TRACE(name);
    notices.clear();
    *rendered = 0;
    player->Close();
    player->SetFileName(Audio(name));
    player->Open();
    const std::int32_t length = player->Length();
    EXPECT_GE(length, 280);
    EXPECT_LE(length, 400);
    EXPECT_EQ(player->Mode(), mpStopped);
    EXPECT_EQ(player->Position(), 0);

    const auto start = Clock::now();
    player->Play();
    EXPECT_LT(MsSince(start), 200) << "Play returns at once";
    EXPECT_EQ(player->Mode(), mpPlaying);
    ASSERT_TRUE(WaitNotices(1));
    EXPECT_GE(MsSince(start), 250) << "played in real time, not all at once";
    EXPECT_EQ(notices, std::vector<TMPNotifyValues>{nvSuccessful});
    EXPECT_EQ(noticeThreads.back(), std::this_thread::get_id()) << "notice on the window thread";
    EXPECT_GT(rendered->load(), 0) << "decoded audio reached the sink";
    EXPECT_EQ(player->Mode(), mpStopped);
    EXPECT_EQ(player->Position(), player->Length());
    EXPECT_EQ(player->Error(), 0);
  }
}

TEST_F(GstPlayer, LengthOfAnMp3WithoutLengthHeaderIsKnownAtOpen) {
  player->SetFileName(Audio("long-cbr.mp3"));
  player->Open();
  EXPECT_NEAR(player->Length(), 10000, 200);
}

TEST_F(GstPlayer, UnplayableFilesRaiseTheBackendsText) {
  const std::string text = OpenError(Audio("text.mp3"));
  const std::string empty = OpenError(Audio("empty.mp3"));
  const std::string missing = OpenError(Audio("no-such-file.mp3"));
  for (const auto& message : {text, empty, missing}) {
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message, "(nothing raised)");
    EXPECT_NE(message, text::kUnknownErrorCode);
  }
  // Each names its own cause.
  EXPECT_NE(text, missing);
  EXPECT_NE(empty, missing);
  EXPECT_FALSE(player->Opened());
  EXPECT_NE(player->Error(), 0);
}

// The watcher lists any name that looks like music: whatever it names, the open returns at
// once with a readable reason, and a link to a real song still plays.
TEST_F(GstPlayer, OnlyRegularFilesOpenAndNothingBlocks) {
  test::TTempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);  // no writer ever comes
  ASSERT_EQ(::symlink("/dev/ptmx", (dir / "ptmx.mp3").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/zero", (dir / "zero.wav").c_str()), 0);
  ASSERT_EQ(::mkdir((dir / "folder.mp3").c_str(), 0700), 0);
  for (const char* name : {"pipe.mp3", "ptmx.mp3", "zero.wav", "folder.mp3"}) {
    SCOPED_TRACE(name);
    const auto start = Clock::now();
    const std::string message = OpenError(dir / name);
    // Well inside the 5 s open bound, even on a loaded machine under a sanitizer.
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(message, kNotAFileText);
    EXPECT_FALSE(player->Opened());
  }
  ASSERT_EQ(::symlink(Audio("short.wav").c_str(), (dir / "link.wav").c_str()), 0);
  Start(dir / "link.wav");
  ASSERT_TRUE(WaitNotices(1));
  EXPECT_EQ(notices.back(), nvSuccessful);
}

TEST_F(GstPlayer, FailedOpenHasClosedThePreviousDevice) {
  Start(Audio("long.wav"));
  EXPECT_NE(OpenError(Audio("text.mp3")), "(nothing raised)");
  EXPECT_FALSE(player->Opened());
  EXPECT_EQ(player->DeviceID(), 0);
  ASSERT_TRUE(WaitNotices(1));
  EXPECT_EQ(notices, std::vector<TMPNotifyValues>{nvAborted});
  EXPECT_THROW(player->Stop(), EMCIDeviceError);
}

TEST_F(GstPlayer, StopKeepsThePositionAndPlayGoesOnFromIt) {
  EXPECT_THROW(player->Stop(), EMCIDeviceError);
  Start(Audio("long.wav"));
  ASSERT_TRUE(Poll([&] { return player->Position() >= 300; }, 3000));
  player->Stop();
  EXPECT_EQ(player->Error(), 0);
  EXPECT_EQ(player->Mode(), mpStopped);
  const std::int32_t stoppedAt = player->Position();
  EXPECT_GE(stoppedAt, 300);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NEAR(player->Position(), stoppedAt, 30);
  ASSERT_TRUE(WaitNotices(1));
  EXPECT_EQ(notices, std::vector<TMPNotifyValues>{nvAborted});

  player->Stop();  // stop while stopped: no message
  EXPECT_EQ(player->Error(), 0);
  player->Play();
  ASSERT_TRUE(Poll([&] { return player->Position() >= stoppedAt + 100; }, 3000));
  EXPECT_GE(player->Position(), stoppedAt);
  EXPECT_LT(player->Position(), stoppedAt + 2000) << "no rewind in the middle";
}

TEST_F(GstPlayer, SecondPlaySupersedesTheFirstNotice) {
  Start(Audio("short.wav"));
  player->Play();  // play while playing: nothing raised
  EXPECT_EQ(player->Error(), 0);
  ASSERT_TRUE(WaitNotices(2));
  EXPECT_EQ(notices, (std::vector<TMPNotifyValues>{nvSuperseded, nvSuccessful}));
}

TEST_F(GstPlayer, NewFileReplacesThePlayingOne) {
  Start(Audio("long.wav"));
  const std::uint16_t first = player->DeviceID();
  EXPECT_NE(first, 0);
  Start(Audio("short-id3.mp3"));
  EXPECT_NE(player->DeviceID(), 0);
  EXPECT_LE(player->Length(), 400) << "the second file is the one open";
  ASSERT_TRUE(WaitNotices(2));
  EXPECT_EQ(notices, (std::vector<TMPNotifyValues>{nvAborted, nvSuccessful}));
}

TEST_F(GstPlayer, PlayAtTheEndRewindsFirst) {
  Start(Audio("short.wav"));
  ASSERT_TRUE(WaitNotices(1));
  const auto start = Clock::now();
  player->Play();
  ASSERT_TRUE(WaitNotices(2));
  EXPECT_GE(MsSince(start), 250) << "the whole clip played again";
  EXPECT_EQ(notices.back(), nvSuccessful);

  // Without the rewind, playing from the end completes at once.
  player->SetAutoRewind(false);
  player->Play();
  ASSERT_TRUE(WaitNotices(3, 1000));
  EXPECT_EQ(notices.back(), nvSuccessful);
  EXPECT_EQ(player->Position(), player->Length());
}

TEST_F(GstPlayer, ZeroLengthMediumOpensAndEnds) {
  Start(Audio("zero.wav"));
  EXPECT_EQ(player->Length(), 0);
  ASSERT_TRUE(WaitNotices(1, 2000));
  EXPECT_EQ(notices.back(), nvSuccessful);
  player->Play();
  ASSERT_TRUE(WaitNotices(2, 2000));
  EXPECT_EQ(notices.back(), nvSuccessful);
}

TEST_F(GstPlayer, UseOnceWaitAndNotifyOnARealDevice) {
  player->SetFileName(Audio("short.wav"));
  player->Open();
  player->SetNotify(false);
  player->Play();
  EXPECT_TRUE(Poll([&] { return player->Mode() == mpStopped; }, 3000));
  Idle(200);
  EXPECT_TRUE(notices.empty()) << "no notice was asked for";

  player->SetWait(true);
  const auto start = Clock::now();
  player->Play();  // rewinds, then plays to the end before returning
  EXPECT_GE(MsSince(start), 250);
  EXPECT_EQ(player->Mode(), mpStopped);
  ASSERT_TRUE(WaitNotices(1, 1000));
  EXPECT_EQ(notices.back(), nvSuccessful);

  // Open without waiting, with a notice once it is ready.
  player->SetWait(false);
  player->SetNotify(true);
  player->Open();
  ASSERT_TRUE(WaitNotices(2, 3000));
  EXPECT_EQ(notices.back(), nvSuccessful);
}

TEST_F(GstPlayer, DestructionWhilePlayingReturnsPromptly) {
  Start(Audio("long.wav"));
  ASSERT_TRUE(Poll([&] { return player->Position() >= 100; }, 3000));
  const auto start = Clock::now();
  player.reset();
  EXPECT_LT(MsSince(start), 1000);
  Idle(200);
  EXPECT_TRUE(notices.empty()) << "nothing fires into a destroyed player";
}

TEST_F(GstPlayer, NameWithByteFFPlays) {
  test::TTempDir dir;
  const std::string name = dir / "\xFF\xFE music.wav";
  std::filesystem::copy_file(Audio("short.wav"), name);
  Start(name);
  ASSERT_TRUE(WaitNotices(1));
  EXPECT_EQ(notices.back(), nvSuccessful);
  EXPECT_GT(rendered->load(), 0);
}

// The sink is the device's own: a player whose sink does not exist refuses to open, naming it,
// while another one plays through its own at the same time.
TEST_F(GstPlayer, EachDeviceHasItsOwnSink) {
  TMediaPlayer broken(dispatcher, CreateMediaDevice({"no-such-sink-element", {}}));
  broken.SetFileName(Audio("short.wav"));
  try {
    broken.Open();
    ADD_FAILURE() << "an unknown sink must refuse the open";
  } catch (const EMCIDeviceError& e) {
    EXPECT_NE(std::string(e.what()).find("no-such-sink-element"), std::string::npos) << e.what();
  }
  Start(Audio("short-noid3.mp3"));
  ASSERT_TRUE(WaitNotices(1));
  EXPECT_EQ(notices.back(), nvSuccessful);
  EXPECT_GT(rendered->load(), 0);
}

}  // namespace
}  // namespace mv
