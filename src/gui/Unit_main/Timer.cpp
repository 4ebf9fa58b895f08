// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Timer.h"

#include <algorithm>
#include <climits>

#include "Unit_main/Guarded.h"
#include "utility/SysUtils.h"

namespace mv {

TTimer::TTimer() {
  timer_.setSingleShot(false);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, Guarded([this] { Tick(); }));
}

TTimer::~TTimer() = default;

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
  timer_.stop();
  if (interval_ == 0 || !enabled_ || !onTimer_) return;
  // Longer intervals than the system timer takes are cut to its maximum.
  timer_.start(static_cast<int>(std::min<std::uint32_t>(interval_, INT_MAX)));
  // QTimer refuses outside a thread with an event loop; it only warns, and then holds timer id 0
  // (which isActive() does not see).
  if (timer_.timerId() <= 0) {
    timer_.stop();
    throw EOutOfResources(text::kNoTimers);
  }
}

void TTimer::Tick() {
  // The handler may replace itself (SetOnTimer) while it runs: keep this copy alive meanwhile.
  TNotifyEvent handler = onTimer_;
  if (handler) handler(*this);
}

}  // namespace mv
