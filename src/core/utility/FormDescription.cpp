// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/FormDescription.h"

#include <algorithm>

#include "utility/SysUtils.h"

namespace mv {

const TControlDesc& TFormDesc::Control(const std::string& controlName) const {
  for (const TControlDesc& control : controls) {
    if (control.name == controlName) return control;
  }
  throw Exception("no control " + controlName + " in " + name);
}

std::vector<const TControlDesc*> TFormDesc::TabChain() const {
  std::vector<std::string> parents;
  for (const TControlDesc& control : controls) {
    if (std::find(parents.begin(), parents.end(), control.parent) == parents.end()) {
      parents.push_back(control.parent);
    }
  }
  std::vector<const TControlDesc*> chain;
  for (const std::string& parent : parents) {
    const std::size_t first = chain.size();
    for (const TControlDesc& control : controls) {
      if (control.parent == parent && control.tabOrder >= 0) chain.push_back(&control);
    }
    std::stable_sort(
        chain.begin() + static_cast<std::ptrdiff_t>(first), chain.end(),
        [](const TControlDesc* a, const TControlDesc* b) { return a->tabOrder < b->tabOrder; });
  }
  return chain;
}

}  // namespace mv
