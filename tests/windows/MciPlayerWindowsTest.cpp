// SPDX-License-Identifier: GPL-3.0-or-later
// TMediaPlayer on the MCI device with real clips (tests/data/make-audio.sh, made on the build
// machine). MV_AUDIO_DIR names their folder as a Linux path, reached through Wine's Z: drive.
// ALSA's default output is a null device from the test's own configuration.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "WinTempDir.h"
#include "media/MPlayer.h"
#include "utility/Dispatcher.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using Clock = std::chrono::steady_clock;

std::string Audio(const std::string& name) {
  const char* dir = std::getenv("MV_AUDIO_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

class MciPlayer : public ::testing::Test {
 protected:
  MciPlayer() : player(std::make_unique<TMediaPlayer>(dispatcher)) {
    player->OnNotify = [this](TMediaPlayer& p) { notices.push_back(p.NotifyValue()); };
  }

  void Start(const std::string& file) {
    player->Close();
    player->SetFileName(file);
    player->Open();
    player->Play();
  }
  bool Poll(const std::function<bool()>& pred, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      dispatcher.RunPending();
      if (pred()) return true;
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::string Raised(void (TMediaPlayer::*op)()) {
    try {
      (player.get()->*op)();
    } catch (const EMCIDeviceError& e) {
      return e.what();
    }
    return "(nothing raised)";
  }

  TQueueDispatcher dispatcher;
  std::unique_ptr<TMediaPlayer> player;
  std::vector<TMPNotifyValues> notices;
};

TEST(MciPlayerSetup, ClipsExist) {
  for (const char* name : {"short.wav", "short-id3.mp3", "short.wma", "long.wav"})
    EXPECT_NE(GetFileAttributesA(Audio(name).c_str()), INVALID_FILE_ATTRIBUTES) << Audio(name);
}

// Each clip opens through the default open (MCI picks the driver from the name), reports its
// length and capabilities, plays to its end and reports that end as a successful notice.
TEST_F(MciPlayer, OpensPlaysToTheEndAndNotifies) {
  for (const char* name : {"short.wav", "short-id3.mp3", "short.wma"}) {
    SCOPED_TRACE(name);
    notices.clear();
    ASSERT_NO_THROW(Start(Audio(name)));
    EXPECT_TRUE(player->Opened());
    EXPECT_NE(player->DeviceID(), 0);
    EXPECT_EQ(player->Error(), 0);
    const std::int32_t length = player->Length();
    EXPECT_GT(length, 200);
    EXPECT_LT(length, 2000);
    ASSERT_TRUE(Poll([&] { return !notices.empty(); }, 10000)) << "no end-of-play notice";
    EXPECT_EQ(notices.front(), nvSuccessful);
    EXPECT_EQ(player->Mode(), mpStopped);
  }
}

// Stop keeps the device open and the position where it was; play then goes on from there.
// Close ends the device.
TEST_F(MciPlayer, StopKeepsTheDeviceOpenAndCloseEndsIt) {
  ASSERT_NO_THROW(Start(Audio("long.wav")));
  ASSERT_TRUE(Poll([&] { return player->Position() > 100; }, 5000));
  EXPECT_EQ(player->Mode(), mpPlaying);
  player->Stop();
  EXPECT_EQ(player->Error(), 0);
  EXPECT_EQ(player->Mode(), mpStopped);
  const std::int32_t stoppedAt = player->Position();
  EXPECT_GT(stoppedAt, 100);
  EXPECT_LT(stoppedAt, player->Length());
  // Stop while stopped: MCI's answer goes into Error() only.
  EXPECT_NO_THROW(player->Stop());

  player->Play();
  EXPECT_EQ(player->Error(), 0);
  ASSERT_TRUE(Poll([&] { return player->Position() > stoppedAt; }, 5000));
  player->Close();
  EXPECT_FALSE(player->Opened());
  EXPECT_EQ(player->DeviceID(), 0);
  EXPECT_EQ(Raised(&TMediaPlayer::Stop), text::kNoDeviceOpen);
}

// Playing a file at its end rewinds first (AutoRewind).
TEST_F(MciPlayer, PlayAtTheEndStartsAgainFromTheBeginning) {
  ASSERT_NO_THROW(Start(Audio("short.wav")));
  ASSERT_TRUE(Poll([&] { return !notices.empty(); }, 10000));
  // The wave driver stays at the end once done (Wine's MPEG driver goes back to 0 there).
  ASSERT_EQ(player->Position(), player->Length());
  notices.clear();
  player->Play();
  EXPECT_EQ(player->Error(), 0);
  ASSERT_TRUE(Poll([&] { return !notices.empty(); }, 10000));
  EXPECT_EQ(notices.front(), nvSuccessful);
}

TEST_F(MciPlayer, NothingOpenRaisesTheNoDeviceText) {
  EXPECT_EQ(Raised(&TMediaPlayer::Stop), text::kNoDeviceOpen);
  EXPECT_EQ(Raised(&TMediaPlayer::Play), text::kNoDeviceOpen);
  EXPECT_NO_THROW(player->Close());
}

// A file MCI cannot open raises MCI's own text for the code it gave; the device that played
// before has been closed, so Stop then finds nothing open.
TEST_F(MciPlayer, UnplayableFileRaisesMcisOwnText) {
  test::TTempDir dir;
  const std::string unknown = dir / "notes.melvigil";
  test::WriteFile(unknown, "not music at all");
  const std::string missing = dir / "missing.wav";
  ASSERT_NO_THROW(Start(Audio("long.wav")));

  for (const std::string& file : {unknown, missing}) {
    SCOPED_TRACE(file);
    player->SetFileName(file);
    const std::string message = Raised(&TMediaPlayer::Open);
    EXPECT_NE(player->Error(), 0);
    char expected[4096] = {};
    ASSERT_TRUE(mciGetErrorStringA(static_cast<DWORD>(player->Error()), expected, sizeof expected));
    EXPECT_EQ(message, expected);
    EXPECT_NE(message, text::kUnknownErrorCode);
    EXPECT_FALSE(player->Opened());
    EXPECT_EQ(Raised(&TMediaPlayer::Stop), text::kNoDeviceOpen);
  }
}

TEST(MciDevice, CodesWithoutTextHaveNone) {
  auto device = CreateMediaDevice({});
  std::string text;
  EXPECT_FALSE(device->ErrorText(0x7FFF, text));
  EXPECT_TRUE(device->ErrorText(MCIERR_INVALID_DEVICE_ID, text));
  EXPECT_FALSE(text.empty());
}

}  // namespace
}  // namespace mv
