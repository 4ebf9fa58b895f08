// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paths of any length. The kernel refuses a path of PATH_MAX (4,096) bytes or more in one
// piece, yet a tree may be deeper than that: such a path is walked with directory-relative
// opens, one piece that fits at a time, so a file deep in the tree can still be watched,
// listed, checked, copied, renamed and played.

#include <fcntl.h>

#include <string>

#include "utility/UniqueFd.h"

namespace mv {

// open(2) of a path of any length: the descriptor, or -1 with errno.
int OpenLongPath(const std::string& path, int flags);

// Where a *at call (fstatat, renameat2, linkat, unlinkat, openat) finds a path: the path
// itself from the working directory while it fits, else its open parent and its last
// component. A trailing "/" names the directory itself (".").
class TPathAt {
 public:
  explicit TPathAt(const std::string& path);
  TPathAt(const TPathAt&) = delete;  // Name() may point into the object itself
  TPathAt& operator=(const TPathAt&) = delete;
  // False when the parent of a long path could not be opened; errno tells why.
  explicit operator bool() const { return dir_ != -1; }
  int Dir() const { return dir_; }
  const char* Name() const { return name_; }

 private:
  TUniqueFd parent_;
  int dir_ = AT_FDCWD;
  const char* name_;
  std::string last_;
};

}  // namespace mv
