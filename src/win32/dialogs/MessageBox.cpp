// SPDX-License-Identifier: GPL-3.0-or-later
// Information for the user (the outcome of a copy, the watcher's notices).
#include <windows.h>

#include "dialogs/AnsiText.h"
#include "dialogs/BoxTexts.h"

namespace mv {

// A system message box that disables no window of its own accord. text may be UTF-8 or ANSI
// (AnsiText); a capture receives the caption and the text in ANSI.
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
