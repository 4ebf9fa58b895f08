// SPDX-License-Identifier: GPL-3.0-or-later
// melvigil.exe: the window program on Windows.
#include <windows.h>

#include <memory>

#include "Unit_main/Unit_main.h"
#include "dialogs/ErrorBox.h"
#include "utility/NameRules.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  // The window scales its layout to the screen's dots per inch itself; without this Windows
  // would report 96 and stretch the finished bitmap instead, blurring the text.
  SetProcessDPIAware();
  mv::InitLeadBytesFromLocale();
  std::unique_ptr<mv::TForm_main> window;
  mv::RunGuarded([&] { window = std::make_unique<mv::TForm_main>(); });
  if (!window) return 1;
  window->QuitOnDestroy = true;
  ShowWindow(window->Handle(), show);
  UpdateWindow(window->Handle());

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the controls, as in a dialog.
    if (IsWindow(window->Handle()) && IsDialogMessageA(window->Handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  mv::RunGuarded([&] { window.reset(); });
  return static_cast<int>(msg.wParam);
}
