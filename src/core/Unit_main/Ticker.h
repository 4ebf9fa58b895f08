// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TTicker: the Timer1 component, a periodic tick on the main thread, the same in every front
// end. Interval 1000 ms and Enabled by default; it ticks while Enabled is on, Interval is not 0
// and an OnTimer handler is set. A helper thread waits out the interval and posts the tick through
// the dispatcher; a tick that has not run yet is not posted twice, so a busy main thread is not
// flooded.
//
// Construct, destroy and call every member on the main thread. A tick posted before the timer
// was destroyed or stopped does nothing when it arrives.

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "utility/Dispatcher.h"

namespace mv {

class TTicker {
 public:
  using TNotifyEvent = std::function<void(TTicker& sender)>;

  explicit TTicker(IMainThreadDispatcher& mainThread);
  ~TTicker();
  TTicker(const TTicker&) = delete;
  TTicker& operator=(const TTicker&) = delete;

  // Each setter that changes its property (OnTimer always counts as a change) stops the timer
  // and starts a new period from now when it may tick; a helper thread that cannot be started
  // raises EOutOfResources "可用的计时器不足".
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  void SetOnTimer(TNotifyEvent handler);

  // True while ticks are being scheduled.
  bool Running() const { return thread_.joinable(); }

 private:
  struct TState;
  void UpdateTimer();
  void StopThread();
  void Tick();

  IMainThreadDispatcher& mainThread_;
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  TNotifyEvent onTimer_;
  std::shared_ptr<TState> state_;
  std::thread thread_;
};

}  // namespace mv
