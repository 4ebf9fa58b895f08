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

void WaitForStop() {
  if (g_stop != nullptr) WaitForSingleObject(g_stop, INFINITE);
}

}  // namespace mv::cli
