// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading back what the list menu put on the clipboard, and the menu's captions as UTF-8.
#include <windows.h>

#include <string>

namespace mv::test {

inline std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// The clipboard's CF_TEXT; "<none>" when it holds no text.
inline std::string ClipboardText(HWND owner) {
  std::string text = "<none>";
  if (!OpenClipboard(owner)) return "<not opened>";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
      text = bytes;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

}  // namespace mv::test
