// SPDX-License-Identifier: GPL-3.0-or-later
// TMediaPlayer's own rules, against a scripted device: which commands reach the device with
// which flags, which raise, what state follows, and how completion notices are delivered.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/MPlayer.h"
#include "utility/Dispatcher.h"
#include "utility/ErrorText.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

struct TCall {
  std::string command;
  bool wait = false;
  bool notify = false;
};

// Shared with the test so that it outlives the player that owns the device.
struct TScript {
  std::vector<TCall> calls;
  std::uint32_t openResult = kDevOk;
  std::uint32_t closeResult = kDevOk;
  std::uint32_t playResult = kDevOk;
  std::string errorText;  // the text for openResult/playResult; empty = none
  std::int32_t length = 1234;
  std::int32_t position = 0;
  TMPModes mode = mpStopped;
  IMediaDevice::TNotifyFn lastNotify;
  IMediaDevice::TOpenRequest lastOpen;
};

class TFakeDevice final : public IMediaDevice {
 public:
  explicit TFakeDevice(std::shared_ptr<TScript> s) : s_(std::move(s)) {}
  std::uint32_t Open(const TOpenRequest& r, bool wait, TNotifyFn n) override {
    s_->lastOpen = r;
    Record("open", wait, n);
    open_ = s_->openResult == kDevOk;
    return s_->openResult;
  }
  std::uint32_t Close(bool wait, TNotifyFn n) override {
    Record("close", wait, n);
    if (s_->closeResult == kDevOk) open_ = false;
    return s_->closeResult;
  }
  std::uint32_t Play(bool wait, TNotifyFn n) override {
    Record("play", wait, n);
    return s_->playResult;
  }
  std::uint32_t Stop(bool wait, TNotifyFn n) override {
    Record("stop", wait, n);
    return kDevOk;
  }
  std::uint32_t SeekToStart() override {
    Record("seek", true, nullptr);
    s_->position = 0;
    return kDevOk;
  }
  std::uint16_t Id() const override { return open_ ? 7 : 0; }
  std::int32_t Length() override { return s_->length; }
  std::int32_t Position() override { return s_->position; }
  TMPModes Mode() override { return s_->mode; }
  bool ErrorText(std::uint32_t code, std::string& text) const override {
    if (code == kDevOk || s_->errorText.empty()) return false;
    text = s_->errorText;
    return true;
  }

 private:
  void Record(const char* command, bool wait, const TNotifyFn& n) {
    s_->calls.push_back({command, wait, static_cast<bool>(n)});
    if (n) s_->lastNotify = n;
  }
  std::shared_ptr<TScript> s_;
  bool open_ = false;
};

class PlayerLogic : public ::testing::Test {
 protected:
  PlayerLogic()
      : script(std::make_shared<TScript>()),
        player(std::make_unique<TMediaPlayer>(dispatcher, std::make_unique<TFakeDevice>(script))) {}

  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const auto& c : script->calls) out.push_back(c.command);
    return out;
  }
  void OpenFile() {
    player->SetFileName("/music/a.mp3");
    player->Open();
  }
  std::string Raised(void (TMediaPlayer::*op)()) {
    try {
      ((*player).*op)();
    } catch (const EMCIDeviceError& e) {
      return e.what();
    }
    return "(nothing raised)";
  }

  TQueueDispatcher dispatcher;
  std::shared_ptr<TScript> script;
  std::unique_ptr<TMediaPlayer> player;
};

using Strings = std::vector<std::string>;

TEST_F(PlayerLogic, PlayAndStopWithNothingOpenRaiseAndSendNothing) {
  EXPECT_EQ(Raised(&TMediaPlayer::Play), text::kNoDeviceOpen);
  EXPECT_EQ(Raised(&TMediaPlayer::Stop), text::kNoDeviceOpen);
  EXPECT_THROW(player->Length(), EMCIDeviceError);
  // Close with nothing open does nothing, and position and mode do not raise.
  player->Close();
  EXPECT_EQ(player->Position(), 0);
  EXPECT_EQ(player->Mode(), mpNotReady);
  EXPECT_TRUE(script->calls.empty());
  // The overrides set before a refused command stay pending for the next one.
  player->SetWait(false);
  EXPECT_THROW(player->Play(), EMCIDeviceError);
  OpenFile();
  EXPECT_FALSE(script->calls.back().wait);
}

TEST_F(PlayerLogic, DefaultFlagsOfEachCommand) {
  OpenFile();
  player->Play();
  player->Stop();
  player->Close();
  ASSERT_EQ(Commands(), (Strings{"open", "play", "stop", "close"}));
  EXPECT_TRUE(script->calls[0].wait);
  EXPECT_FALSE(script->calls[0].notify);
  EXPECT_FALSE(script->calls[1].wait);
  EXPECT_TRUE(script->calls[1].notify);
  EXPECT_TRUE(script->calls[2].wait);
  EXPECT_FALSE(script->calls[2].notify);
  EXPECT_TRUE(script->calls[3].wait);
  EXPECT_FALSE(script->calls[3].notify);
}

TEST_F(PlayerLogic, WaitAndNotifyOverridesServeOneCommand) {
  OpenFile();
  player->SetWait(true);
  player->SetNotify(false);
  player->Play();
  player->Play();
  player->SetWait(false);
  player->SetNotify(true);
  player->Stop();
  player->Stop();
  ASSERT_EQ(Commands(), (Strings{"open", "play", "play", "stop", "stop"}));
  EXPECT_TRUE(script->calls[1].wait);
  EXPECT_FALSE(script->calls[1].notify);
  EXPECT_FALSE(script->calls[2].wait);
  EXPECT_TRUE(script->calls[2].notify);
  EXPECT_FALSE(script->calls[3].wait);
  EXPECT_TRUE(script->calls[3].notify);
  EXPECT_TRUE(script->calls[4].wait);
  EXPECT_FALSE(script->calls[4].notify);
}

TEST_F(PlayerLogic, OverrideForOpenIsNotSwallowedByItsImplicitClose) {
  OpenFile();
  player->SetWait(false);
  player->SetNotify(true);
  player->Open();
  ASSERT_EQ(Commands(), (Strings{"open", "close", "open"}));
  EXPECT_TRUE(script->calls[1].wait);
  EXPECT_FALSE(script->calls[1].notify);
  EXPECT_FALSE(script->calls[2].wait);
  EXPECT_TRUE(script->calls[2].notify);
}

TEST_F(PlayerLogic, AutoRewindOnlyAtTheEnd) {
  OpenFile();
  script->position = 600;
  player->Play();  // in the middle: no rewind
  script->position = script->length;
  player->Play();  // at the end: rewind first
  ASSERT_EQ(Commands(), (Strings{"open", "play", "seek", "play"}));

  script->calls.clear();
  player->SetAutoRewind(false);
  script->position = script->length;
  player->Play();
  EXPECT_EQ(Commands(), (Strings{"play"}));
}

TEST_F(PlayerLogic, ZeroLengthMediumGetsAHarmlessRewind) {
  script->length = 0;
  OpenFile();
  player->Play();
  EXPECT_EQ(Commands(), (Strings{"open", "seek", "play"}));
}

TEST_F(PlayerLogic, OpenFillsStateFromTheDevice) {
  player->SetFileName("/music/\xFF.wav");
  player->SetShareable(true);
  EXPECT_TRUE(script->calls.empty()) << "writing FileName only stores it";
  player->Open();
  EXPECT_EQ(script->lastOpen.element, "/music/\xFF.wav");
  EXPECT_TRUE(script->lastOpen.shareable);
  EXPECT_TRUE(player->Opened());
  EXPECT_EQ(player->DeviceID(), 7);
  EXPECT_EQ(player->Error(), 0);
  EXPECT_EQ(player->Length(), 1234);

  player->Close();
  EXPECT_FALSE(player->Opened());
  EXPECT_EQ(player->DeviceID(), 0);
}

TEST_F(PlayerLogic, RefusedOpenRaisesTheDeviceTextAndLeavesNothingOpen) {
  OpenFile();
  script->openResult = kDevErrOpen;
  script->errorText = "Could not determine type of stream.";
  try {
    player->Open();
    FAIL() << "Open did not raise";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(), "Could not determine type of stream.");
  }
  EXPECT_EQ(Commands(), (Strings{"open", "close", "open"}));
  EXPECT_FALSE(player->Opened());
  EXPECT_EQ(player->DeviceID(), 0);
  EXPECT_EQ(player->Error(), static_cast<std::int32_t>(kDevErrOpen));
  EXPECT_EQ(Raised(&TMediaPlayer::Stop), text::kNoDeviceOpen);

  script->openResult = kDevErrUnknown;
  script->errorText.clear();
  EXPECT_EQ(Raised(&TMediaPlayer::Open), text::kUnknownErrorCode);
}

TEST_F(PlayerLogic, RefusedCloseAndPlayOnlyRecordTheError) {
  OpenFile();
  script->playResult = kDevErrPlayback;
  EXPECT_NO_THROW(player->Play());
  EXPECT_EQ(player->Error(), static_cast<std::int32_t>(kDevErrPlayback));
  script->closeResult = kDevErrState;
  EXPECT_NO_THROW(player->Close());
  EXPECT_EQ(player->Error(), static_cast<std::int32_t>(kDevErrState));
  EXPECT_TRUE(player->Opened()) << "a failed close leaves the device open";
  EXPECT_NE(player->DeviceID(), 0);
  EXPECT_EQ(player->ErrorMessage(), text::kUnknownErrorCode);
}

TEST_F(PlayerLogic, NoticeArrivesThroughTheDispatcher) {
  OpenFile();
  int notices = 0;
  std::thread::id noticeThread;
  player->OnNotify = [&](TMediaPlayer& sender) {
    EXPECT_EQ(&sender, player.get());
    ++notices;
    noticeThread = std::this_thread::get_id();
  };
  player->Play();
  ASSERT_TRUE(script->lastNotify);
  // The device reports from a thread of its own; nothing runs until the window thread does.
  std::thread([fn = script->lastNotify] { fn(nvSuperseded); }).join();
  EXPECT_EQ(notices, 0);
  EXPECT_EQ(dispatcher.RunPending(), 1);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(noticeThread, std::this_thread::get_id());
  EXPECT_EQ(player->NotifyValue(), nvSuperseded);
}

TEST_F(PlayerLogic, NoticeAfterThePlayerIsGoneIsDropped) {
  OpenFile();
  bool raised = false;
  player->OnNotify = [&](TMediaPlayer&) { raised = true; };
  player->Play();
  auto notify = script->lastNotify;
  notify(nvSuccessful);  // queued while the player exists
  player.reset();
  EXPECT_EQ(Commands(), (Strings{"open", "play", "close"}));
  notify(nvAborted);  // and one after it has gone
  EXPECT_EQ(dispatcher.RunPending(), 2);
  EXPECT_FALSE(raised);
}

TEST_F(PlayerLogic, AutoOpenOpensOnLoad) {
  player->SetFileName("/music/a.mp3");
  player->Loaded();
  EXPECT_TRUE(script->calls.empty());
  player->SetAutoOpen(true);
  player->Loaded();
  EXPECT_EQ(Commands(), (Strings{"open"}));
  EXPECT_TRUE(player->Opened());
}

TEST(ErrorMessageText, DotAfterALastCharacterThatSortsAfterDot) {
  EXPECT_EQ(ErrorMessageText(text::kNoDeviceOpen), std::string(text::kNoDeviceOpen) + ".");
  EXPECT_EQ(ErrorMessageText("Resource not found."), "Resource not found.");
  EXPECT_EQ(ErrorMessageText("stream error"), "stream error.");
  EXPECT_EQ(ErrorMessageText("a/"), "a/.");  // '/' is just above '.'
  EXPECT_EQ(ErrorMessageText("a-"), "a-");   // '-' is just below
  EXPECT_EQ(ErrorMessageText("done!"), "done!");
  EXPECT_EQ(ErrorMessageText("\xB0\xA1"), "\xB0\xA1.");  // a double-byte character
  EXPECT_EQ(ErrorMessageText(""), "");
}

}  // namespace
}  // namespace mv
