// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's default handler on Windows is the shell's execute operation.
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include "utility/ShellOpen.h"

namespace mv {

std::string ShellWorkingDirectory(std::string_view target) {
  return ShellWorkingDirectory(target, "\\:", LeadBytes());
}

bool ShellOpen(const std::string& target, const std::string& parameters) {
  if (target.empty()) return false;
  const std::string dir = ShellWorkingDirectory(target);
  // No verb: the target's default action. Values above 32 mean success.
  const HINSTANCE result = ShellExecuteA(GetActiveWindow(), nullptr, target.c_str(),
                                         parameters.c_str(), dir.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace mv
