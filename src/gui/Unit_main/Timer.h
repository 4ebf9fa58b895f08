// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TTimer: a periodic tick on the main thread. Interval 1000 ms and Enabled by default; it ticks
// while Enabled is on, Interval is not 0 and an OnTimer handler is set.

#include <QTimer>
#include <cstdint>
#include <functional>

namespace mv {

class TTimer {
 public:
  using TNotifyEvent = std::function<void(TTimer& sender)>;

  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  // Each setter that changes its property (OnTimer always counts as a change) stops the timer
  // and starts it again when it may tick; a timer that cannot be started raises
  // EOutOfResources "可用的计时器不足".
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  // True while ticks are being scheduled.
  bool Running() const { return timer_.timerId() > 0; }

 private:
  void UpdateTimer();
  void Tick();

  QTimer timer_;
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  TNotifyEvent onTimer_;
};

}  // namespace mv
