// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Placing the watches over a tree at the start: each directory is watched, then listed, then
// its subdirectories are taken in turn, on as many threads as the machine has. Per directory
// only the open, the watch, the listing and the close reach the system.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mv {

struct TArmedDir {
  int wd;
  int parentWd;
  std::string name;
};

struct TArmStart {
  int parentWd;      // watched already; -1 for the root, or in a walk a parent not watched
  std::string name;  // within the parent
  std::string rel;   // relative to the root, no trailing "/"; "" for the root
};

struct TArmOutcome {
  std::vector<TArmedDir> dirs;  // every directory watched, in no particular order
  int watchError = 0;           // the first refusal of a watch (ENOSPC: the limit)
  int rootError = 0;            // why the root could not be opened
  int openError = 0;            // the first failure to open a directory other than ENOENT
  std::string openErrorPath;
  bool interrupted = false;
};

struct TArmTree {
  std::string root;  // with trailing "/"
  // Watches the directory at path, open as dirFd; the wd, or -1 with errno.
  std::function<int(const std::string& path, int dirFd, bool isRoot)> addWatch;
  // True for directories never to be watched (pseudo file systems), by relative path.
  std::function<bool(const std::string& rel)> skip;
  std::function<bool()> interrupted;  // any thread
  std::vector<int> knownWds;          // wds already placed (a second meeting is a bind loop)
  bool subtree = true;                // false: the start directories only, not listed
  unsigned threads = 0;               // 0: as many as the machine has
};

TArmOutcome ArmTree(const TArmTree& tree, std::vector<TArmStart> start);

}  // namespace mv
