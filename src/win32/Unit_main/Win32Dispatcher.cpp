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
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, kClassName, &wc)) {
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
  }
  window_ =
      CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window_ == nullptr) throw EOutOfResources("CreateWindowEx");
  SetWindowLongPtrA(window_, GWLP_USERDATA, LONG_PTR(this));
}

TWin32Dispatcher::~TWin32Dispatcher() {
  // Wake-ups still queued for the window find no owner.
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

LRESULT CALLBACK TWin32Dispatcher::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TWin32Dispatcher*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || msg != kRunTasks) return DefWindowProcA(hwnd, msg, wParam, lParam);
  RunGuarded([self] { self->RunPending(); });
  return 0;
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

}  // namespace mv
