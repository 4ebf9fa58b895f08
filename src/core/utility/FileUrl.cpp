// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/FileUrl.h"

namespace mv {

std::string PercentEncodePath(std::string_view path) {
  static constexpr const char* kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (keep) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string FileUrl(std::string_view path) {
  if (path.empty() || path.front() != '/') return {};
  return "file://" + PercentEncodePath(path);
}

}  // namespace mv
