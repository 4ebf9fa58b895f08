// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Ticker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "utility/SysUtils.h"

namespace mv {

// Shared by one period's helper thread and the ticks it posted; a new period gets a new one.
struct TTicker::TState {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;        // the period is over: the thread ends, posted ticks do nothing
  bool tickQueued = false;  // a tick is posted and has not run yet
};

TTicker::TTicker(IMainThreadDispatcher& mainThread) : mainThread_(mainThread) {}

TTicker::~TTicker() { StopThread(); }

void TTicker::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TTicker::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  UpdateTimer();
}

void TTicker::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TTicker::StopThread() {
  if (!state_) return;
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_all();
  if (thread_.joinable()) thread_.join();
  state_.reset();
}

void TTicker::UpdateTimer() {
  StopThread();
  if (interval_ == 0 || !enabled_ || !onTimer_) return;
  auto state = std::make_shared<TState>();
  const auto period = std::chrono::milliseconds(interval_);
  try {
    thread_ = std::thread([this, state, period] {
      std::unique_lock lock(state->mutex);
      auto due = std::chrono::steady_clock::now() + period;
      while (!state->wake.wait_until(lock, due, [&] { return state->stop; })) {
        due += period;
        // After a stall, the next tick is a whole period away rather than a burst.
        const auto now = std::chrono::steady_clock::now();
        if (due < now) due = now + period;
        if (state->tickQueued) continue;
        state->tickQueued = true;
        mainThread_.Post([this, state] {
          {
            std::lock_guard tickLock(state->mutex);
            state->tickQueued = false;
            if (state->stop) return;
          }
          Tick();
        });
      }
    });
  } catch (const std::system_error&) {
    throw EOutOfResources(text::kNoTimers);
  }
  state_ = std::move(state);
}

void TTicker::Tick() {
  // The handler may replace itself (SetOnTimer) while it runs: keep this copy alive meanwhile.
  TNotifyEvent handler = onTimer_;
  if (handler) handler(*this);
}

}  // namespace mv
