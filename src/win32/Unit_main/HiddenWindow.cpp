// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/HiddenWindow.h"

#include <utility>

#include "dialogs/ErrorBox.h"

namespace mv {

THiddenWindow::THiddenWindow(const char* className, UINT message, std::function<void()> onMessage)
    : message_(message), onMessage_(std::move(onMessage)) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, className, &wc)) {
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
  }
  window_ =
      CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window_ != nullptr) SetWindowLongPtrA(window_, GWLP_USERDATA, LONG_PTR(this));
}

THiddenWindow::~THiddenWindow() {
  if (window_ == nullptr) return;
  // Messages still queued for the window find no owner.
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

LRESULT CALLBACK THiddenWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<THiddenWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || msg != self->message_) return DefWindowProcA(hwnd, msg, wParam, lParam);
  RunGuarded([self] { self->onMessage_(); });
  return 0;
}

}  // namespace mv
