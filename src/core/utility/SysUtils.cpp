// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/SysUtils.h"

#include <string_view>

namespace mv {

std::string FormatD(std::string_view pattern, long long value) {
  std::string out(pattern);
  // to_string handles the most negative value too (no negation of value is needed).
  if (const std::size_t p = out.find("%d"); p != std::string::npos)
    out.replace(p, 2, std::to_string(value));
  return out;
}

std::string FormatS(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  for (std::size_t p = pattern.find("%s"); p != std::string_view::npos && arg != args.end();
       p = pattern.find("%s")) {
    out.append(pattern.substr(0, p));
    out.append(*arg++);
    pattern.remove_prefix(p + 2);
  }
  out.append(pattern);
  return out;
}

}  // namespace mv
