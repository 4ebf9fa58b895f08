// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The kernel's table of mounts (/proc/self/mountinfo), as the watcher and the directory chooser
// read it.

#include <string>
#include <string_view>
#include <vector>

namespace mv {

struct TMountEntry {
  std::string id;     // a new mount on the same point has another
  std::string point;  // with the table's \ooo escapes (space, tab, newline, backslash) decoded
  std::string type;   // as the table names it: "ext4", "fuse.sshfs"
};

// The mounts in the table's order, so the last one on a point is the one on top; a line that is
// not complete is left out.
std::vector<TMountEntry> ParseMountInfo(std::string_view table);

// File systems of the kernel that hold no files of users (proc, sysfs, cgroup and the like).
bool IsPseudoFsType(std::string_view type);

}  // namespace mv
