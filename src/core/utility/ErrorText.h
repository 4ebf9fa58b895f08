// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the application's error box words an error's message, for every place that shows one
// (the Qt and Win32 error boxes, the command-line tool).

#include <string>

namespace mv {

// The message with "." appended when its last character sorts after "." in byte order. A
// multi-byte character counts as one: all its bytes lie above 0x7F (UTF-8) or its trail byte
// above 0x3F (the double-byte code pages), so its last byte decides for it.
inline std::string ErrorMessageText(const std::string& message) {
  if (!message.empty() &&
      static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

}  // namespace mv
