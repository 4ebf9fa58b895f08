// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/ShellOpen.h"

namespace mv {

std::string ShellWorkingDirectory(std::string_view target, std::string_view delimiters,
                                  const TLeadBytes& lead) {
  const int p = LastDelimiterPos(delimiters, target, lead);
  return std::string(target.substr(0, static_cast<std::size_t>(p)));
}

}  // namespace mv
