// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MPlayer.h"

#include <utility>

#include "utility/SysUtils.h"

namespace mv {

TMediaPlayer::TMediaPlayer(IMainThreadDispatcher& dispatcher, std::unique_ptr<IMediaDevice> device)
    : dispatcher_(dispatcher),
      device_(device ? std::move(device) : CreateMediaDevice({})),
      self_(std::make_shared<TMediaPlayer*>(this)) {}

TMediaPlayer::~TMediaPlayer() {
  // Notices still queued in the dispatcher find the player gone and drop themselves.
  self_.reset();
  if (deviceId_ != 0) {
    try {
      device_->Close(/*wait=*/true, nullptr);
    } catch (...) {
      // Destruction never raises.
    }
  }
}

void TMediaPlayer::SetWait(bool on) {
  wait_ = on;
  waitSet_ = true;
}

void TMediaPlayer::SetNotify(bool on) {
  notify_ = on;
  notifySet_ = true;
}

TMediaPlayer::TFlags TMediaPlayer::TakeFlags(bool defaultWait, bool defaultNotify) {
  const bool wait = std::exchange(waitSet_, false) ? wait_ : defaultWait;
  const bool notify = std::exchange(notifySet_, false) ? notify_ : defaultNotify;
  return {wait, notify ? MakeNotifier() : nullptr};
}

IMediaDevice::TNotifyFn TMediaPlayer::MakeNotifier() {
  // The device calls this on its own threads; the notice itself runs on the window thread and
  // only if the player still exists then.
  std::weak_ptr<TMediaPlayer*> weak = self_;
  IMainThreadDispatcher* dispatcher = &dispatcher_;
  return [weak, dispatcher](TMPNotifyValues value) {
    dispatcher->Post([weak, value] {
      if (auto self = weak.lock()) (*self)->HandleNotify(value);
    });
  };
}

void TMediaPlayer::HandleNotify(TMPNotifyValues value) {
  notifyValue_ = value;
  if (OnNotify) OnNotify(*this);
}

void TMediaPlayer::RequireOpened() const {
  if (!opened_) throw EMCIDeviceError(text::kNoDeviceOpen);
}

void TMediaPlayer::Close() {
  if (deviceId_ == 0) return;
  const TFlags flags = TakeFlags(/*wait=*/true, /*notify=*/false);
  error_ = static_cast<std::int32_t>(device_->Close(flags.wait, flags.notify));
  if (error_ == 0) {
    opened_ = false;
    deviceId_ = 0;
  }
}

void TMediaPlayer::Open() {
  // The implicit close of the previous device is not the caller's command: it runs with the
  // default flags so that a Wait/Notify override set for this Open reaches the Open.
  if (opened_ && deviceId_ != 0 && device_->Close(true, nullptr) == 0) {
    opened_ = false;
    deviceId_ = 0;
  }

  IMediaDevice::TOpenRequest request;
  request.element = fileName_;
  request.shareable = shareable_;
  const TFlags flags = TakeFlags(/*wait=*/true, /*notify=*/false);
  error_ = static_cast<std::int32_t>(device_->Open(request, flags.wait, flags.notify));
  opened_ = error_ == 0;
  deviceId_ = opened_ ? device_->Id() : 0;
  if (!opened_) throw EMCIDeviceError(ErrorMessage());
}

void TMediaPlayer::Loaded() {
  if (autoOpen_) Open();
}

void TMediaPlayer::Play() {
  RequireOpened();
  if (autoRewind_ && Position() == Length()) {
    device_->SeekToStart();  // its result is not kept
  }
  const TFlags flags = TakeFlags(/*wait=*/false, /*notify=*/true);
  error_ = static_cast<std::int32_t>(device_->Play(flags.wait, flags.notify));
}

void TMediaPlayer::Stop() {
  RequireOpened();
  const TFlags flags = TakeFlags(/*wait=*/true, /*notify=*/false);
  error_ = static_cast<std::int32_t>(device_->Stop(flags.wait, flags.notify));
}

std::int32_t TMediaPlayer::Length() {
  RequireOpened();
  return device_->Length();
}

std::int32_t TMediaPlayer::Position() { return opened_ ? device_->Position() : 0; }

TMPModes TMediaPlayer::Mode() { return opened_ ? device_->Mode() : mpNotReady; }

std::string TMediaPlayer::ErrorMessage() const {
  if (error_ == 0) return {};
  std::string message;
  if (!device_->ErrorText(static_cast<std::uint32_t>(error_), message) || message.empty())
    message = text::kUnknownErrorCode;
  return message;
}

}  // namespace mv
