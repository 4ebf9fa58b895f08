// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/MountTable_linux.h"

#include <algorithm>
#include <iterator>
#include <sstream>

namespace mv {

namespace {

std::string UnescapeMountPath(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::vector<TMountEntry> ParseMountInfo(std::string_view table) {
  std::vector<TMountEntry> mounts;
  std::istringstream in{std::string(table)};
  std::string line;
  while (std::getline(in, line)) {
    // id parent major:minor root mount-point options [optional...] - type source options
    std::istringstream fields(line);
    std::string id, parent, dev, root, point, field, type;
    if (!(fields >> id >> parent >> dev >> root >> point)) continue;
    while (fields >> field && field != "-") {
    }
    if (!(fields >> type)) continue;
    mounts.push_back({std::move(id), UnescapeMountPath(point), std::move(type)});
  }
  return mounts;
}

bool IsPseudoFsType(std::string_view type) {
  static constexpr std::string_view kNames[] = {
      "proc",       "sysfs",   "devtmpfs",   "devpts",  "cgroup",      "cgroup2",
      "securityfs", "debugfs", "tracefs",    "pstore",  "bpf",         "configfs",
      "fusectl",    "mqueue",  "hugetlbfs",  "autofs",  "binfmt_misc", "efivarfs",
      "selinuxfs",  "nsfs",    "rpc_pipefs", "resctrl", "binder"};
  return std::find(std::begin(kNames), std::end(kNames), type) != std::end(kNames);
}

}  // namespace mv
