// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Timer.h"

#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr const char* kClassName = "MelvigilTimer";
constexpr UINT_PTR kTimerId = 1;
bool failNextSetTimer = false;

}  // namespace

void testing::FailNextSetTimer() { failNextSetTimer = true; }

// A failing handler is shown by the error box; the timer keeps ticking.
TTimer::TTimer() : window_(kClassName, WM_TIMER, [this] { Tick(); }) {
  if (window_.Handle() == nullptr) throw EOutOfResources(text::kNoTimers);
}

TTimer::~TTimer() { KillTimer(Window(), kTimerId); }

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TTimer::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(Window(), kTimerId);
  running_ = false;
  if (interval_ == 0 || !enabled_ || !onTimer_) return;
  const bool fail = failNextSetTimer;
  failNextSetTimer = false;
  if (fail || SetTimer(Window(), kTimerId, interval_, nullptr) == 0)
    throw EOutOfResources(text::kNoTimers);
  running_ = true;
}

void TTimer::Tick() {
  // The handler may replace itself while it runs: keep this copy alive meanwhile.
  TNotifyEvent handler = onTimer_;
  if (handler) handler(*this);
}

}  // namespace mv
