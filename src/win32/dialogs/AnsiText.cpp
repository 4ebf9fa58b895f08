// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/AnsiText.h"

#include <windows.h>

#include <vector>

namespace mv {

std::string AnsiText(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii || text.size() > 0x7FFFFFF) return std::string(text);
  const int size = static_cast<int>(text.size());
  const int wide =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (wide <= 0) return std::string(text);
  std::vector<wchar_t> units(static_cast<std::size_t>(wide));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, units.data(), wide);
  const int narrow =
      WideCharToMultiByte(CP_ACP, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::string(text);
  std::string out(static_cast<std::size_t>(narrow), '\0');
  WideCharToMultiByte(CP_ACP, 0, units.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
}

}  // namespace mv
