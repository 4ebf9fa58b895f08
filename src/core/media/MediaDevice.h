// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media device behind TMediaPlayer: one open medium at a time, commands that answer with a
// result code (0 = success) and a text for each failure code. Each platform provides
// CreateMediaDevice in a file of its own (GstDevice_linux.cpp, MciDevice_windows.cpp).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mv {

enum TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

// Completion notice codes, with the values the notice carries.
enum TMPNotifyValues { nvSuccessful = 1, nvSuperseded = 2, nvAborted = 4, nvFailure = 8 };

// Result codes of a device. Each failure code has a text through ErrorText, except
// kDevErrUnknown, which is a failure the device cannot describe.
inline constexpr std::uint32_t kDevOk = 0;
inline constexpr std::uint32_t kDevErrUnknown = 0x100;   // no text: "未知的错误代号"
inline constexpr std::uint32_t kDevErrOpen = 0x101;      // the backend's text of the open
inline constexpr std::uint32_t kDevErrNotOpen = 0x102;   // a command to a closed device
inline constexpr std::uint32_t kDevErrState = 0x103;     // the pipeline refused a state
inline constexpr std::uint32_t kDevErrPlayback = 0x104;  // the backend's text of a play error
inline constexpr std::uint32_t kDevErrSeek = 0x105;      // a seek was refused

// The open's failure text for a name that is no regular file (a device node, a named pipe, a
// directory): such a thing is never handed to the backend.
inline constexpr const char* kNotAFileText = "该文件不是普通文件，不能播放";

class IMediaDevice {
 public:
  // Receives a completion notice. Called on any thread (often a device thread), at most once
  // per command that asked for one.
  using TNotifyFn = std::function<void(TMPNotifyValues)>;

  struct TOpenRequest {
    std::string element;  // the file name, bytes in the locale's encoding; the device is
                          // chosen from the file
    bool shareable = false;
  };

  virtual ~IMediaDevice() = default;

  // Each command: wait = return only when done; notify (may be empty) = report completion.
  virtual std::uint32_t Open(const TOpenRequest& request, bool wait, TNotifyFn notify) = 0;
  // Never blocks on playback; a pending play notice is reported as aborted.
  virtual std::uint32_t Close(bool wait, TNotifyFn notify) = 0;
  // Plays from the current position to the end. A pending play notice is reported as
  // superseded; the new one reports the end of this playback.
  virtual std::uint32_t Play(bool wait, TNotifyFn notify) = 0;
  // Stops and keeps the position; a pending play notice is reported as aborted.
  virtual std::uint32_t Stop(bool wait, TNotifyFn notify) = 0;
  virtual std::uint32_t SeekToStart() = 0;

  // Identifier of the open medium (nonzero while open).
  virtual std::uint16_t Id() const = 0;
  // Milliseconds; 0 when unknown or closed.
  virtual std::int32_t Length() = 0;
  virtual std::int32_t Position() = 0;
  virtual TMPModes Mode() = 0;

  // The readable text of a result code; false when the code has none.
  virtual bool ErrorText(std::uint32_t code, std::string& text) const = 0;
};

struct TDeviceOptions {
  // The audio output: a GStreamer bin description such as "fakesink" or "pulsesink"; "" = the
  // platform's default. Sinks that can run unsynchronised are made to play in real time unless
  // the description sets sync= itself.
  std::string audioSink;
  // Called on a streaming thread each time the sink renders a buffer (benchmarks, tests); only
  // sinks that signal hand-offs (fakesink) report.
  std::function<void()> onRender;
};

// The platform's device.
std::unique_ptr<IMediaDevice> CreateMediaDevice(const TDeviceOptions& options);

}  // namespace mv
