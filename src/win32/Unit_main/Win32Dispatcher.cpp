// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Win32Dispatcher.h"

#include "dialogs/ErrorBox.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr const char* kClassName = "MelvigilDispatcher";
constexpr UINT kRunTasks = WM_APP + 1;

}  // namespace

TWin32Dispatcher::TWin32Dispatcher() {
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
  if (window_ == nullptr) throw EOutOfResources("CreateWindowEx");
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWin32Dispatcher::~TWin32Dispatcher() {
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

void TWin32Dispatcher::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(task));
  // One wake-up message at a time: a burst of posts costs one message.
  if (!wakePosted_) wakePosted_ = PostMessageA(window_, kRunTasks, 0, 0) != 0;
}

int TWin32Dispatcher::RunPending() {
  int count = 0;
  std::unique_lock lock(mutex_);
  wakePosted_ = false;
  // Only what is queued now: tasks that post again run at the next wake-up, so that painting
  // and input get their turn.
  std::deque<std::function<void()>> batch;
  batch.swap(queue_);
  lock.unlock();
  for (auto& task : batch) {
    RunGuarded(task);
    ++count;
  }
  return count;
}

LRESULT CALLBACK TWin32Dispatcher::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kRunTasks) {
    RunGuarded([&] {
      if (auto* self = reinterpret_cast<TWin32Dispatcher*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)))
        self->RunPending();
    });
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace mv
