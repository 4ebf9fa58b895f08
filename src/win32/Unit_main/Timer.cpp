// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Timer.h"

#include "dialogs/ErrorBox.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr const char* kClassName = "MelvigilTimer";
constexpr UINT_PTR kTimerId = 1;
bool failNextSetTimer = false;

}  // namespace

void testing::FailNextSetTimer() { failNextSetTimer = true; }

TTimer::TTimer() {
  static const ATOM atom = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassA(&wc);
  }();
  (void)atom;
  window_ = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (window_ == nullptr) throw EOutOfResources(text::kNoTimers);
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TTimer::~TTimer() {
  KillTimer(window_, kTimerId);
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

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
  KillTimer(window_, kTimerId);
  running_ = false;
  if (interval_ == 0 || !enabled_ || !onTimer_) return;
  const bool fail = failNextSetTimer;
  failNextSetTimer = false;
  if (fail || SetTimer(window_, kTimerId, interval_, nullptr) == 0)
    throw EOutOfResources(text::kNoTimers);
  running_ = true;
}

void TTimer::Tick() {
  // The handler may replace itself while it runs: keep this copy alive meanwhile.
  TNotifyEvent handler = onTimer_;
  if (handler) handler(*this);
}

LRESULT CALLBACK TTimer::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    // A failing handler is shown by the error box; the timer keeps ticking.
    RunGuarded([&] {
      if (auto* self = reinterpret_cast<TTimer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)))
        self->Tick();
    });
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace mv
