// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/AnsiText.h"

#include <windows.h>

#include <algorithm>

#include "utility/NameRules.h"

namespace mv {

std::string AnsiText(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii || text.size() > 0x7FFFFFF) return std::string(text);
  const int size = static_cast<int>(text.size());
  const int wide =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (wide <= 0) return std::string(text);
  std::u16string units(static_cast<std::size_t>(wide), u'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size,
                      reinterpret_cast<wchar_t*>(units.data()), wide);
  std::string out = WideToAnsi(units.data(), units.size());
  return out.empty() ? std::string(text) : out;
}

}  // namespace mv
