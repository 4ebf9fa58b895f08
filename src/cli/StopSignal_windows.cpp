// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "cli/StopSignal.h"

namespace mv::cli {

namespace {

HANDLE g_stop = nullptr;  // auto-reset: one request wakes one wait

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      SetEvent(g_stop);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchStopSignals() {
  if (g_stop != nullptr) return;
  g_stop = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool WaitForStop(int timeoutMs) {
  if (g_stop == nullptr) return false;
  const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  return WaitForSingleObject(g_stop, wait) == WAIT_OBJECT_0;
}

}  // namespace mv::cli
