// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TTimer: a periodic tick on the main thread, timer 1 of a hidden window of its own. Interval
// 1000 ms and Enabled by default; it ticks while Enabled is on, Interval is not 0 and an OnTimer
// handler is set.

#include <windows.h>

#include <cstdint>
#include <functional>

#include "Unit_main/HiddenWindow.h"

namespace mv {

class TTimer {
 public:
  using TNotifyEvent = std::function<void(TTimer& sender)>;

  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  // Each change kills timer 1 and starts it again with SetTimer when it may tick; when SetTimer
  // fails, EOutOfResources "可用的计时器不足" is raised.
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  void SetOnTimer(TNotifyEvent handler);

  // The hidden window that receives WM_TIMER (tests send it ticks).
  HWND Window() const { return window_.Handle(); }
  bool Running() const { return running_; }

 private:
  void UpdateTimer();
  void Tick();

  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  bool running_ = false;
  TNotifyEvent onTimer_;
  THiddenWindow window_;
};

namespace testing {
// Makes the next SetTimer of a TTimer fail, as when the system has no timer left.
void FailNextSetTimer();
}  // namespace testing

}  // namespace mv
