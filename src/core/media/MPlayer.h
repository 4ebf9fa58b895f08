// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TMediaPlayer: the invisible media player of the main window. It owns at most one open media
// device, opens it for one file, starts and stops playback and turns device failures into
// EMCIDeviceError. The device itself sits behind IMediaDevice (MediaDevice.h); on Linux it is
// a GStreamer playbin.
//
// Units: length and position are milliseconds.
//
// Threading: every member runs on the window thread (the thread of the dispatcher given to the
// constructor). The device's end-of-play notice arrives through IMainThreadDispatcher::Post as
// a task of the player's own; it is dropped when the player has gone meanwhile.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/MediaDevice.h"
#include "utility/Dispatcher.h"

namespace mv {

class TMediaPlayer {
 public:
  using TNotifyEvent = std::function<void(TMediaPlayer& sender)>;

  // device: the backend to use, its audio output chosen when it was made (CreateMediaDevice
  // with TDeviceOptions); null picks the platform's own with the default output.
  explicit TMediaPlayer(IMainThreadDispatcher& dispatcher,
                        std::unique_ptr<IMediaDevice> device = nullptr);
  // Closes the open device without waiting for the end of playback; never raises.
  ~TMediaPlayer();
  TMediaPlayer(const TMediaPlayer&) = delete;
  TMediaPlayer& operator=(const TMediaPlayer&) = delete;

  // --- operations -----------------------------------------------------------------------
  // Closes any open device, then opens FileName() synchronously (unless SetWait(false)).
  // Raises EMCIDeviceError with the device's own error text, or text::kUnknownErrorCode.
  void Open();
  // Closes the open device; never raises; nothing happens when nothing is open.
  void Close();
  // Starts playback from the current position and returns at once (unless SetWait(true));
  // rewinds first when the position stands at the end and AutoRewind() holds.
  // Raises EMCIDeviceError(text::kNoDeviceOpen) when nothing is open; a device error only
  // goes into Error().
  void Play();
  // Stops playback, keeping the position. Raises like Play; device errors go into Error().
  void Stop();
  // Runs AutoOpen: opens when SetAutoOpen(true) was called. The window calls it once it is set up.
  void Loaded();

  // --- properties -----------------------------------------------------------------------
  // Writing only stores the name (bytes in the locale's encoding); the next Open uses it.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name) { fileName_ = name; }

  bool AutoRewind() const { return autoRewind_; }
  void SetAutoRewind(bool on) { autoRewind_ = on; }
  void SetAutoOpen(bool on) { autoOpen_ = on; }
  void SetShareable(bool on) { shareable_ = on; }

  bool Opened() const { return opened_; }
  std::uint16_t DeviceID() const { return deviceId_; }
  // Device result of the last command that records one (0 = success).
  std::int32_t Error() const { return error_; }
  // The readable text of Error() (empty when 0; text::kUnknownErrorCode when unknown).
  std::string ErrorMessage() const;

  // Use-once overrides of the wait / notify choice, consumed by the next Open, Close, Play or
  // Stop. Defaults: Open/Close/Stop wait and do not notify; Play notifies and does not wait.
  void SetWait(bool on);
  void SetNotify(bool on);

  // Length of the medium; raises EMCIDeviceError(text::kNoDeviceOpen) when nothing is open.
  std::int32_t Length();
  // Current position and mode; 0 / mpNotReady when nothing is open (never raise).
  std::int32_t Position();
  TMPModes Mode();

  // Notice code of the last completion notice handled.
  TMPNotifyValues NotifyValue() const { return notifyValue_; }
  // Raised on the window thread after each completion notice.
  TNotifyEvent OnNotify;

 private:
  // The wait choice and the notice (empty when none) of one command.
  struct TFlags {
    bool wait;
    IMediaDevice::TNotifyFn notify;
  };
  TFlags TakeFlags(bool defaultWait, bool defaultNotify);
  IMediaDevice::TNotifyFn MakeNotifier();
  void HandleNotify(TMPNotifyValues value);
  void RequireOpened() const;

  IMainThreadDispatcher& dispatcher_;
  std::unique_ptr<IMediaDevice> device_;
  // Posted notices hold a weak reference; they are dropped once the player is gone.
  std::shared_ptr<TMediaPlayer*> self_;

  std::string fileName_;
  bool autoRewind_ = true;
  bool autoOpen_ = false;
  bool shareable_ = false;
  bool opened_ = false;
  std::uint16_t deviceId_ = 0;
  std::int32_t error_ = 0;
  bool wait_ = false, waitSet_ = false;
  bool notify_ = false, notifySet_ = false;
  TMPNotifyValues notifyValue_ = nvSuccessful;
};

}  // namespace mv
