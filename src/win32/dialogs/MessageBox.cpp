// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/MessageBox.h"

#include <windows.h>

#include "dialogs/AnsiText.h"

namespace mv {
namespace {

testing::InfoMessageCapture& Capture() {
  static testing::InfoMessageCapture capture;
  return capture;
}

}  // namespace

void ShowInfoMessage(const std::string& text) {
  const std::string caption = AnsiText(kInfoCaption);
  const std::string shown = AnsiText(text);
  if (Capture()) {
    Capture()(caption, shown);
    return;
  }
  MessageBoxA(nullptr, shown.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

void testing::SetInfoMessageCapture(InfoMessageCapture capture) { Capture() = std::move(capture); }

}  // namespace mv
