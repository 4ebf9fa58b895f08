// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ErrorBox.h"

#include <windows.h>

#include <cstdio>
#include <optional>

#include "dialogs/AnsiText.h"

namespace mv {
namespace {

// The monitor the box goes to, for its CBT hook (the box is shown on this thread only).
thread_local HMONITOR boxMonitor = nullptr;
thread_local HHOOK boxHook = nullptr;

LRESULT CALLBACK PlaceBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT r{};
    if (boxMonitor != nullptr && GetMonitorInfoA(boxMonitor, &info) && GetWindowRect(box, &r)) {
      const RECT& work = info.rcWork;
      const int w = r.right - r.left;
      const int h = r.bottom - r.top;
      SetWindowPos(box, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const HHOOK hook = boxHook;
    boxHook = nullptr;
    UnhookWindowsHookEx(hook);
    return 0;
  }
  return CallNextHookEx(boxHook, code, wParam, lParam);
}

void CancelMouseCapture() {
  if (const HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
}

void ShowBox(const std::optional<std::string>& shown) {
  CancelMouseCapture();
  if (!shown) return;
  const std::string caption = CurrentApplicationTitle();
  const std::string text = AnsiText(*shown);
  if (detail::errorBoxCapture) {
    detail::errorBoxCapture(caption, text);
    return;
  }
  const HWND active = GetActiveWindow();
  const HWND focus = GetFocus();
  boxMonitor = active != nullptr ? MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST) : nullptr;
  boxHook = SetWindowsHookExA(WH_CBT, PlaceBox, nullptr, GetCurrentThreadId());
  // Task-modal: every window of this thread is disabled while the box is up.
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
  if (boxHook != nullptr) {
    UnhookWindowsHookEx(boxHook);
    boxHook = nullptr;
  }
  if (active != nullptr && IsWindow(active)) SetActiveWindow(active);
  if (focus != nullptr && IsWindow(focus)) SetFocus(focus);
}

}  // namespace

std::string CurrentApplicationTitle() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "Melvigil";
  return ApplicationTitle(std::string(path, n));
}

void ShowErrorBox(const std::exception& e) { ShowBox(ErrorBoxText(e)); }

void HandleEscapedException(std::exception_ptr error) noexcept {
  if (!error) return;
  try {
    ShowBox(ErrorBoxText(error));
  } catch (...) {
    // Showing the box failed (out of memory, say); the program must still go on.
    std::fputs("melvigil: an error could not be shown\n", stderr);
  }
}

}  // namespace mv
