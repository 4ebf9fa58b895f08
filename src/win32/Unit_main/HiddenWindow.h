// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A message-only window that hands one message to its owner on the thread that made it. The
// timer's ticks and the dispatcher's wake-ups arrive this way. Whatever escapes the handler goes
// to the error box: nothing unwinds into the system's dispatch.

#include <windows.h>

#include <functional>

namespace mv {

class THiddenWindow {
 public:
  // className names a window class of this object's kind, registered at its first use. Handle()
  // is null when the window could not be made; the owner raises its own error then.
  THiddenWindow(const char* className, UINT message, std::function<void()> onMessage);
  ~THiddenWindow();
  THiddenWindow(const THiddenWindow&) = delete;
  THiddenWindow& operator=(const THiddenWindow&) = delete;

  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  UINT message_;
  std::function<void()> onMessage_;
  HWND window_ = nullptr;
};

}  // namespace mv
