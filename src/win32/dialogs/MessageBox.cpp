// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/MessageBox.h"

#include <windows.h>

#include "dialogs/AnsiText.h"

namespace mv {

void ShowInfoMessage(const std::string& text) {
  const std::string caption = AnsiText(kInfoCaption);
  const std::string shown = AnsiText(text);
  if (detail::infoMessageCapture) {
    detail::infoMessageCapture(caption, shown);
    return;
  }
  MessageBoxA(nullptr, shown.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace mv
